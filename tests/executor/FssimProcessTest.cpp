// Real-time flights against fssim running as a separate process: the executor connects over
// the Unix-socket endpoint and shared memory and flies a take-off at a raised simulation rate, and
// notices at once when the simulator goes away.  Real time (label "realtime"): the flight keeps
// pace with a simulator that runs on its own.

#include "../ipc/FssimProcess.h"
#include "TestScripts.h"

#include <kestro/Execute.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace kestro;
using namespace kestro_test;

class FssimProcessTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir =
            std::filesystem::temp_directory_path() / ("kestro-fssim-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
        ::setenv("AVILO_IPC_DIR", (m_dir / "ipc").c_str(), 1);
    }
    /// The process serving the endpoint "UIPCMAIN", as the socket reports its peer.
    pid_t EndpointProcess() const {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s",
                      (m_dir / "ipc" / "UIPCMAIN").c_str());
        ucred peer{};
        socklen_t size = sizeof peer;
        const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
                        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
        ::close(fd);
        return ok ? peer.pid : -1;
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

    linktest::FssimProcess fssim(
        FSSIM_PATH, {"--start", scriptPath.string(), "--rate", "10", "--duration", "1200"});
    ASSERT_TRUE(fssim.WaitReady()) << "fssim did not come up";

    FlightOptions options;
    options.clock = std::make_shared<ipc::RealClock>();
    options.timeLimitMs = 90 * 1000;
    const ExecutionResult r = Execute(Script(body), options);
    EXPECT_FALSE(r.timeLimitReached);
    EXPECT_TRUE(r.messageBoxes.empty());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.log, TakeoffFlightLog());
}

TEST_F(FssimProcessTest, AFlightWhoseSimulatorGoesAwayEndsOnTheLinkError) {
    // The simulator goes away during the take-off roll: killed, terminated, or closing the link
    // itself.  The next exchange fails every send (9, 100 ms apart) and ends the flight with the
    // link's error, well before the time limit.
    const std::string body = TakeoffPhase();
    const auto scriptPath = m_dir / "script.xml";
    std::ofstream(scriptPath) << "<?xml version=\"1.0\"?><flightscript>" << body
                              << "</flightscript>";
    struct Case {
        const char* what;
        int signal; ///< sent once the aircraft rolls; 0: the simulator closes the link itself
        std::vector<std::string> options;
    };
    const Case cases[] = {{"killed", SIGKILL, {}},
                          {"terminated", SIGTERM, {}},
                          {"closing the link", 0, {"--close-after", "300"}}};
    using clock = std::chrono::steady_clock;
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--start", scriptPath.string(), "--rate", "10"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        linktest::FssimProcess fssim(FSSIM_PATH, args);
        ASSERT_TRUE(fssim.WaitReady()) << "fssim did not come up";
        const pid_t pid = EndpointProcess();
        ASSERT_GT(pid, 0);

        std::mutex mutex;
        std::condition_variable wake;
        bool rolling = false, ended = false;
        clock::time_point gone{};
        std::thread killer([&] {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return rolling || ended; });
            if (rolling && c.signal != 0) {
                gone = clock::now();
                ::kill(pid, c.signal);
            }
        });
        kestro::CConsoleWindow window(
            [&](std::string_view text) {
                if (text.find("Waiting for speed") != std::string_view::npos) {
                    std::lock_guard lock(mutex);
                    rolling = true;
                    wake.notify_all();
                }
            },
            [](std::string_view) {});
        FlightOptions options;
        options.clock = std::make_shared<ipc::RealClock>();
        options.timeLimitMs = 60 * 1000;
        const ExecutionResult r = kestro::ExecuteFlightScript(Script(body), options, window);
        const clock::time_point end = clock::now();
        {
            std::lock_guard lock(mutex);
            ended = true;
            wake.notify_all();
        }
        killer.join();

        EXPECT_FALSE(r.timeLimitReached) << c.what;
        EXPECT_EQ(r.exitCode, 1) << c.what;
        EXPECT_EQ(r.messageBoxes, std::vector<std::string>{"IPC sendmessage failed all retries"})
            << c.what;
        EXPECT_EQ(r.log.find("Finished"), std::string::npos) << c.what;
        if (c.signal != 0) {
            ASSERT_NE(gone, clock::time_point{}) << c.what << ": the take-off roll never began";
            // The retries take 0.8 s, and the law waits at most half a second between exchanges.
            EXPECT_LT(end - gone, std::chrono::seconds(2)) << c.what;
        }
    }
}

} // namespace
