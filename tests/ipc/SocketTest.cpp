// The link between processes: a socket endpoint served on another thread, and the fssim program
// started as a separate process with a private IPC directory.  The suite ProcessRealtime keeps
// pace with the wall clock (label "realtime").
#include "FssimProcess.h"
#include "TestSupport.h"

#include <fssim/Simulator.h>
#include <ipc/Endpoint.h>
#include <ipc/Protocol.h>
#include <kestro/FSUIPC.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>

using kestro::CFSUIPCClient;
using linktest::FssimProcess;
using linktest::IpcDirTest;
namespace protocol = ipc::protocol;

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
    // Leave the socket of a process that died without removing it.
    const std::string path = m_dir + "/UIPCMAIN";
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    EXPECT_FALSE(ipc::FindWindow("UIPCMAIN"));
    EXPECT_NO_THROW(ipc::SocketEndpoint("UIPCMAIN"));
}

TEST_F(SocketTest, StopRequestEndsAWaitForASilentPeer) {
    // The peer asks for the stop when the message arrives, while the client waits for the
    // answer; the wait ends then, with no further tries (all of them would take 9 x 2.1 s).
    auto clock = std::make_shared<ipc::RealClock>();
    ipc::SocketEndpoint endpoint(protocol::kClassName);
    std::atomic<int> messages{0};
    std::atomic<bool> done{false};
    std::thread server([&] {
        const ipc::Handler h = [&](const ipc::Message&) {
            ++messages;
            clock->RequestStop();
            return ipc::Reply::NoAnswer();
        };
        while (!done)
            endpoint.Serve(5, h);
    });
    CFSUIPCClient client(clock);
    EXPECT_FALSE(client.Open());
    EXPECT_EQ(client.GetLastResult(), 11u);
    EXPECT_EQ(messages, 1);
    done = true;
    server.join();
}

class ProcessTest : public IpcDirTest {};
class ProcessRealtime : public IpcDirTest {};

TEST_F(ProcessRealtime, TakeOffRollAtRaisedRate) {
    FssimProcess sim(FSSIM_PATH, {"--rate", "10", "--lat", "52.30173122", "--lon", "4.73740403",
                                  "--heading", "3.205903", "--elevation", "-11"});
    ASSERT_TRUE(sim.WaitReady());
    CFSUIPCClient client;
    ASSERT_TRUE(client.Open()) << client.GetErrorText();
    namespace offsets = protocol::offsets;
    const std::int16_t released = 0, full = protocol::kLeverFull;
    ASSERT_TRUE(client.WriteNow(offsets::kParkingBrake, 2, &released));
    ASSERT_TRUE(client.WriteNow(offsets::kThrottle, 2, &full));
    // About 2 s of wall time are 20 s of roll at rate 10, past the 45 knots of rotation.
    std::int32_t ias = 0;
    for (int i = 0; i < 1000 && ias / 128 < 45; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(client.ReadNow(offsets::kIndicatedAirspeed, 4, &ias));
    }
    EXPECT_GE(ias / 128, 45);
    std::int32_t heading = 0;
    ASSERT_TRUE(client.ReadNow(offsets::kHeading, 4, &heading));
    EXPECT_NEAR(protocol::DecodeAngle(heading), 3.205903, 1e-4); // laterally neutral roll
    client.Close();
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(ProcessTest, FaultModes) {
    struct Case {
        std::vector<std::string> args;
        bool opens;
        std::uint32_t result; // of Open, or of the failing ReadNow after it
    };
    const Case cases[] = {
        {{"--wrong-version"}, false, 7},    {{"--wrong-version", "--class", "FS98MAIN"}, false, 14},
        {{"--sim-version", "5"}, true, 0},  {{"--wrong-answer"}, false, 13},
        {{"--close-after", "3"}, true, 12},
    };
    for (const Case& c : cases) {
        FssimProcess sim(FSSIM_PATH, c.args);
        ASSERT_TRUE(sim.WaitReady()) << c.args[0];
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

TEST_F(ProcessTest, SilentSimulatorLetsTheSendTimeOut) {
    // Each of the client's tries ends so (ClientTest counts the tries in virtual time).
    FssimProcess sim(FSSIM_PATH, {"--no-answer"});
    ASSERT_TRUE(sim.WaitReady());
    const ipc::WindowHandle window = ipc::FindWindow(protocol::kClassName);
    ASSERT_TRUE(window);
    const ipc::SendResult r = ipc::SendMessageTimeout(
        window, ipc::RegisterWindowMessage(protocol::kMessageName), 0, 0, 100);
    EXPECT_EQ(r.status, ipc::SendResult::Status::TimedOut);
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
