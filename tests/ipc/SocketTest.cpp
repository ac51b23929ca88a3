// The link between processes: a socket endpoint served on another thread, and the fssim program
// started as a separate process with a private IPC directory.
#include "TestSupport.h"

#include <fssim/Simulator.h>
#include <ipc/Endpoint.h>
#include <kestro/FSUIPC.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using kestro::CFSUIPCClient;
using linktest::IpcDirTest;

namespace {

class SocketTest : public IpcDirTest {};

/// A simulator served through a socket endpoint on its own thread.
class ThreadPeer {
public:
    explicit ThreadPeer(fssim::SimConfig config = {}, const char* className = "UIPCMAIN")
        : m_sim(config), m_endpoint(className) {
        m_thread = std::thread([this] {
            const ipc::Handler h = [this](const ipc::Message& m) { return m_sim.HandleMessage(m); };
            while (!m_stop)
                m_endpoint.Serve(5, h);
        });
    }
    ~ThreadPeer() {
        m_stop = true;
        m_thread.join();
    }
    fssim::Simulator& Sim() {
        return m_sim;
    } // only while the thread is stopped, or for reads of atomics

private:
    fssim::Simulator m_sim;
    ipc::SocketEndpoint m_endpoint;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(SocketTest, ClientOverSocket) {
    ThreadPeer peer;
    CFSUIPCClient client;
    ASSERT_TRUE(client.Open()) << client.GetErrorText();
    EXPECT_EQ(client.GetFSVersion(), 6u);
    std::uint32_t v = 0;
    for (int i = 0; i < 100; ++i) {
        v = 0;
        ASSERT_TRUE(client.ReadNow(0x3308, 4, &v));
        ASSERT_EQ(v, 0xFADE0006u);
    }
    client.Close();
    ASSERT_TRUE(client.Open()) << client.GetErrorText(); // a new mapping, a new connection
}

TEST_F(SocketTest, SecondEndpointOfAClassIsRefused) {
    ipc::SocketEndpoint first("UIPCMAIN");
    EXPECT_THROW(ipc::SocketEndpoint("UIPCMAIN"), std::runtime_error);
}

TEST_F(SocketTest, StaleSocketFileIsReplaced) {
    { ipc::SocketEndpoint gone("UIPCMAIN"); }
    // Leave a file where a dead process's socket would be.
    std::FILE* f = std::fopen((m_dir + "/UIPCMAIN").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_FALSE(ipc::FindWindow("UIPCMAIN"));
    EXPECT_NO_THROW(ipc::SocketEndpoint("UIPCMAIN"));
}

TEST_F(SocketTest, StopRequestEndsAWaitForASilentPeer) {
    fssim::SimConfig config;
    config.faults.noAnswer = true;
    ipc::SocketEndpoint endpoint("UIPCMAIN");
    std::atomic<bool> done{false};
    std::thread server([&] {
        fssim::Simulator sim(config);
        const ipc::Handler h = [&](const ipc::Message& m) { return sim.HandleMessage(m); };
        while (!done)
            endpoint.Serve(5, h);
    });
    auto clock = std::make_shared<ipc::RealClock>();
    CFSUIPCClient client(clock);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        clock->RequestStop();
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Open());
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(client.GetLastResult(), 11u);
    // Well before the 9 x 2.1 s of all retries.
    EXPECT_LT(waited, std::chrono::seconds(5));
    stopper.join();
    done = true;
    server.join();
}

/// fssim in another process, with the test's IPC directory.
class FssimProcess {
public:
    explicit FssimProcess(std::vector<std::string> args) {
        args.insert(args.begin(), FSSIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        m_ok = ::posix_spawn(&m_pid, FSSIM_PATH, &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~FssimProcess() { Stop(); }

    /// Waits until the endpoint answers to its class name.
    bool WaitReady(const char* className = "UIPCMAIN") {
        for (int i = 0; m_ok && i < 500; ++i) {
            if (ipc::FindWindow(className))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    /// Ends the process; its exit status (-1 when it did not exit normally).
    int Stop() {
        if (!m_ok || m_pid <= 0)
            return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    bool m_ok = false;
};

class ProcessTest : public IpcDirTest {};

TEST_F(ProcessTest, TakeOffRollInRealTimeAtRaisedRate) {
    FssimProcess sim({"--rate", "10", "--lat", "52.30173122", "--lon", "4.73740403", "--heading",
                      "3.205903", "--elevation", "-11"});
    ASSERT_TRUE(sim.WaitReady());
    CFSUIPCClient client;
    ASSERT_TRUE(client.Open()) << client.GetErrorText();
    const std::int16_t released = 0, full = 16384;
    ASSERT_TRUE(client.WriteNow(0x0BC8, 2, &released));
    ASSERT_TRUE(client.WriteNow(0x088C, 2, &full));
    // 3 s of wall time are 30 s of flight at rate 10: well past the 45 knots of rotation.
    std::int32_t ias = 0;
    for (int i = 0; i < 300 && ias / 128 < 45; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(client.ReadNow(0x02BC, 4, &ias));
    }
    EXPECT_GE(ias / 128, 45);
    std::int32_t heading = 0;
    ASSERT_TRUE(client.ReadNow(0x0580, 4, &heading));
    EXPECT_NEAR(heading / 11930464.711111112, 3.205903, 1e-4); // laterally neutral roll
    client.Close();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(ProcessTest, FaultModes) {
    struct Case {
        std::vector<std::string> args;
        const char* className;
        bool opens;
        std::uint32_t result; // of Open, or of the failing ReadNow after it
    };
    const Case cases[] = {
        {{"--wrong-version"}, "UIPCMAIN", false, 7},
        {{"--wrong-version", "--class", "FS98MAIN"}, "FS98MAIN", false, 14},
        {{"--sim-version", "5"}, "UIPCMAIN", true, 0},
        {{"--wrong-answer"}, "UIPCMAIN", false, 13},
        {{"--close-after", "3"}, "UIPCMAIN", true, 12},
    };
    for (const Case& c : cases) {
        FssimProcess sim(c.args);
        ASSERT_TRUE(sim.WaitReady(c.className));
        CFSUIPCClient client;
        EXPECT_EQ(client.Open(), c.opens) << c.args[0];
        if (!c.opens) {
            EXPECT_EQ(client.GetLastResult(), c.result) << c.args[0];
            continue;
        }
        if (c.args[0] == "--sim-version") {
            EXPECT_EQ(client.GetFSVersion(), 5u);
            client.Close();
            EXPECT_FALSE(client.Open(6));
            EXPECT_EQ(client.GetLastResult(), 8u);
            continue;
        }
        std::int32_t v = 0;
        EXPECT_TRUE(client.ReadNow(0x02BC, 4, &v));
        EXPECT_TRUE(client.ReadNow(0x02BC, 4, &v));
        v = 77;
        EXPECT_FALSE(client.ReadNow(0x02BC, 4, &v)); // the fourth request: link closed
        EXPECT_EQ(client.GetLastResult(), c.result);
        EXPECT_EQ(v, 77);
    }
}

TEST_F(ProcessTest, SilentSimulatorTimesOutAfterAllRetries) {
    FssimProcess sim({"--no-answer"});
    ASSERT_TRUE(sim.WaitReady());
    CFSUIPCClient client;
    EXPECT_FALSE(client.Open()); // 9 x 2000 ms + 8 x 100 ms of real time
    EXPECT_EQ(client.GetLastResult(), 11u);
    EXPECT_EQ(client.GetErrorText(), "IPC timed out all retries");
}

TEST_F(ProcessTest, BadOptionsAreRefused) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--rate", "fast"},
                                                 {"--hz", "0"},
                                                 {"--bogus"},
                                                 {"--start", "/nonexistent/plan.av"},
                                                 {"--class", "a/b"}}) {
        std::vector<std::string> full = args;
        full.insert(full.begin(), FSSIM_PATH);
        std::vector<char*> argv;
        for (auto& a : full)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid;
        ASSERT_EQ(::posix_spawn(&pid, FSSIM_PATH, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args[0];
    }
}

} // namespace
