#pragma once
// Shared by the link tests: a private IPC directory per test process, so no simulator running on
// the machine is found, and clean failure hooks.

#include <ipc/FailureHooks.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace linktest {

/// Points AVILO_IPC_DIR at a fresh temporary directory for the test; removes it afterwards.
class IpcDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/avilo-ipc-test-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        ::setenv("AVILO_IPC_DIR", m_dir.c_str(), 1);
        ipc::ScopedFailure::Clear();
    }
    void TearDown() override {
        ipc::ScopedFailure::Clear();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::string m_dir;
};

/// Names in /dev/shm of this process's mappings.
inline std::vector<std::string> OwnMappings() {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "FsasmLib:IPC:%X:", static_cast<unsigned>(::getpid()));
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev/shm", ec)) {
        const std::string n = e.path().filename().string();
        if (n.rfind(prefix, 0) == 0)
            names.push_back(n);
    }
    return names;
}

} // namespace linktest
