// Runs the executor's tests with an IPC directory of their own, so that no simulator running on
// this machine answers them, and with the log sink silenced.

#include <gtest/gtest.h>
#include <ui/ComponentLog.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kestro-test-ipc-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all); // closed to others
    ::setenv("AVILO_IPC_DIR", dir.c_str(), 1);
    // The tests read the logs from the results; keep standard output quiet.
    ui::SetLogSink([](std::string_view) {});
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
