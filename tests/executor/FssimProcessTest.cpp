// A real-time flight against fssim running as a separate process: the executor connects over
// the Unix-socket endpoint and shared memory and flies a take-off at a raised simulation rate.

#include "TestScripts.h"

#include <ipc/Ipc.h>
#include <kestro/Kestro.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace kestro;
using namespace kestro_test;

/// fssim as a child process, ended (by its own process id) when the object goes.
class FssimProcess {
public:
    explicit FssimProcess(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        std::string path = FSSIM_PATH;
        argv.push_back(path.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, path.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
    }
    ~FssimProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    bool Started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

class FssimProcessTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir =
            std::filesystem::temp_directory_path() / ("kestro-fssim-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
        ::setenv("AVILO_IPC_DIR", (m_dir / "ipc").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::filesystem::path m_dir;
};

TEST_F(FssimProcessTest, TakeOffFlownInRealTimeAtTenfoldRate) {
    const std::string body = TakeoffPhase();
    const auto scriptPath = m_dir / "script.xml";
    std::ofstream(scriptPath) << "<?xml version=\"1.0\"?><flightscript>" << body
                              << "</flightscript>";

    FssimProcess fssim({"--start", scriptPath.string(), "--rate", "10", "--duration", "1200"});
    ASSERT_TRUE(fssim.Started());
    // Wait until its endpoint answers.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ipc::FindWindow("UIPCMAIN") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(ipc::FindWindow("UIPCMAIN")) << "fssim did not come up";

    ExecutionOptions options;
    options.clock = std::make_shared<ipc::RealClock>();
    options.timeLimitMs = 90 * 1000;
    const ExecutionResult r = ExecuteFlightScript(Script(body), options);
    EXPECT_FALSE(r.timeLimitReached);
    EXPECT_TRUE(r.messageBoxes.empty());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.log, std::string(kStartLog) + kTakeoffLog +
                         "Next phase.\r\n\r\nFinished executing the flight script.\r\n\r\n");
}

} // namespace
