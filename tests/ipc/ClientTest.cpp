// The client against the in-process simulator in virtual time: opening, the result codes with
// their real causes (or a failure hook where the platform cannot be made to fail), the batch
// limits, and values read and written through the offsets.
#include "TestSupport.h"

#include <fssim/InProcess.h>
#include <ipc/Protocol.h>
#include <kestro/FSUIPC.h>
#include <kestro/FSUIPCAircraft.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <future>

using kestro::CFSUIPCClient;
using linktest::IpcDirTest;

namespace {

class ClientTest : public IpcDirTest {
protected:
    fssim::SimConfig Config() const {
        fssim::SimConfig c;
        c.start = {52.30173122, 4.73740403, 3.205903, -11.0};
        return c;
    }
};

TEST_F(ClientTest, OpenWithoutSimulatorFindsNoEndpoint) {
    CFSUIPCClient client;
    EXPECT_FALSE(client.Open());
    EXPECT_EQ(client.GetLastResult(), 2u);
    EXPECT_EQ(client.GetErrorText(), "Cannot link to FSUIPC or WideClient");
    EXPECT_FALSE(client.IsOpen());
}

TEST_F(ClientTest, OpenHandshakesAndReportsVersions) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open()) << client.GetErrorText();
    EXPECT_EQ(client.GetLastResult(), 0u);
    EXPECT_EQ(client.GetFSVersion(), 6u);
    EXPECT_EQ(client.GetFSUIPCVersion(), 0x30000000u);
    // One exchange (1 ms) and the 100 ms pause of the one handshake pass.
    EXPECT_EQ(sim.Sim().RequestCount(), 1u);
    EXPECT_EQ(sim.Sim().NowMs(), 101);
    // The client told its version (1004) at 0x330A.
    std::uint16_t lib = 0;
    std::memcpy(&lib, sim.Sim().OffsetSpace() + ipc::protocol::offsets::kClientVersion, 2);
    EXPECT_EQ(lib, 1004);
}

TEST_F(ClientTest, SecondOpenFailsAndLeavesTheLinkAlone) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    EXPECT_FALSE(client.Open());
    EXPECT_EQ(client.GetLastResult(), 1u);
    EXPECT_TRUE(client.IsOpen());
    std::int32_t ias = -1;
    EXPECT_TRUE(client.ReadNow(0x02BC, 4, &ias));
    EXPECT_EQ(ias, 0);
}

TEST_F(ClientTest, PlatformFailuresDuringOpenReleaseEverything) {
    struct Case {
        std::atomic<bool> ipc::FailureHooks::*hook;
        std::uint32_t result;
    };
    const Case cases[] = {
        {&ipc::FailureHooks::registerMessage, 3},
        {&ipc::FailureHooks::addAtom, 4},
        {&ipc::FailureHooks::createMapping, 5},
        {&ipc::FailureHooks::mapView, 6},
    };
    fssim::InProcessSim sim(Config());
    for (const Case& c : cases) {
        CFSUIPCClient client(sim.Clock());
        {
            ipc::ScopedFailure failure(c.hook);
            EXPECT_FALSE(client.Open());
        }
        EXPECT_EQ(client.GetLastResult(), c.result);
        EXPECT_FALSE(client.IsOpen());
        EXPECT_TRUE(linktest::OwnMappings().empty()) << "mapping left behind, result " << c.result;
        // Nothing half-open remains: the next Open works.
        EXPECT_TRUE(client.Open()) << client.GetErrorText();
        client.Close();
    }
    EXPECT_EQ(sim.Sim().RequestCount(), 4u); // only the four successful opens reached the peer
}

TEST_F(ClientTest, StaleMappingsDoNotBlockOpeningAndThoseOfDeadProcessesGo) {
    // Blocks of killed clients stay behind.  One of an earlier process that had this process's
    // id sits at the name the next opening would take; one of a process that is gone, and one
    // of a process that runs (process 1), carry other ids.
    fssim::InProcessSim sim(Config());
    CFSUIPCClient first(sim.Clock());
    ASSERT_TRUE(first.Open());
    const auto names = linktest::OwnMappings();
    ASSERT_EQ(names.size(), 1u);
    const std::string name = names[0];
    const auto colon = name.rfind(':');
    const unsigned counter = std::stoul(name.substr(colon + 1), nullptr, 16);
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const auto shmName = [](unsigned pid, unsigned n) {
        char text[64];
        std::snprintf(text, sizeof text, "/FsasmLib:IPC:%X:%X", pid, n);
        return std::string(text);
    };
    const std::string ours = shmName(static_cast<unsigned>(::getpid()), counter + 1);
    const std::string ofDead = shmName(static_cast<unsigned>(dead), 1);
    const std::string ofLive = shmName(1, 0xA5A5);
    for (const std::string& stale : {ours, ofDead, ofLive}) {
        const int fd = ::shm_open(stale.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        ASSERT_GE(fd, 0) << stale;
        ::close(fd);
    }

    CFSUIPCClient second(sim.Clock());
    EXPECT_TRUE(second.Open()) << second.GetErrorText();
    std::uint32_t version = 0;
    EXPECT_TRUE(second.ReadNow(0x3308, 4, &version)); // the peer found the block by its name
    EXPECT_EQ(version, 0xFADE0006u);
    const auto exists = [](const std::string& n) {
        const int fd = ::shm_open(n.c_str(), O_RDONLY, 0);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    };
    EXPECT_FALSE(exists(ofDead));
    EXPECT_TRUE(exists(ofLive));
    EXPECT_TRUE(first.IsOpen());
    for (const std::string& n : {ours, ofLive})
        ::shm_unlink(n.c_str());
}

TEST_F(ClientTest, AnIpcFolderThatIsNotThisUsersOwnIsRefused) {
    // Whoever can put a socket in the folder receives the link's requests.  Each folder holds a
    // listening socket under the simulator's class name.
    const std::string mine = m_dir + "/mine";
    ASSERT_EQ(::mkdir(mine.c_str(), 0700), 0);
    struct Case {
        const char* what;
        std::string path;
    };
    std::vector<Case> cases = {{"open to others", m_dir + "/open"},
                               {"symbolic link to a private folder", m_dir + "/link"}};
    ASSERT_EQ(::mkdir(cases[0].path.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(cases[0].path.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(mine.c_str(), cases[1].path.c_str()), 0);
    if (::geteuid() == 0) { // only root can make a folder of another user
        cases.push_back({"another user's", m_dir + "/foreign"});
        ASSERT_EQ(::mkdir(cases[2].path.c_str(), 0700), 0);
        ASSERT_EQ(::chown(cases[2].path.c_str(), 65534, 65534), 0);
    }
    std::vector<int> listeners;
    for (const std::string& folder : {mine, cases[0].path, cases.back().path}) {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/UIPCMAIN", folder.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(fd, 4), 0);
        listeners.push_back(fd);
    }
    for (const Case& c : cases) {
        ::setenv("AVILO_IPC_DIR", c.path.c_str(), 1);
        std::string problem;
        EXPECT_EQ(ipc::IpcDirectory(&problem), "") << c.what;
        EXPECT_NE(problem.find(c.path), std::string::npos) << c.what << ": " << problem;
        EXPECT_FALSE(ipc::FindWindow(ipc::protocol::kClassName)) << c.what;
    }
    struct stat st {};
    ASSERT_EQ(::stat(cases[0].path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u); // refused, not repaired: it is not ours to change

    // The private folder is used as it is; a missing one is made private whatever the umask.
    ::setenv("AVILO_IPC_DIR", mine.c_str(), 1);
    std::string problem = "x";
    EXPECT_EQ(ipc::IpcDirectory(&problem), mine);
    EXPECT_EQ(problem, "");
    EXPECT_TRUE(ipc::FindWindow(ipc::protocol::kClassName));
    const std::string made = m_dir + "/new/ipc";
    ::setenv("AVILO_IPC_DIR", made.c_str(), 1);
    const mode_t umask = ::umask(0);
    EXPECT_EQ(ipc::IpcDirectory(), made);
    ::umask(umask);
    ASSERT_EQ(::lstat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    for (const int fd : listeners)
        ::close(fd);
}

TEST_F(ClientTest, ConnectingToAnEndpointThatAcceptsNothingGivesUp) {
    // An endpoint whose queue of connections not yet accepted is full, as when the simulator is
    // stuck or out of file descriptors: connecting must not wait for ever.
    const int listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/UIPCMAIN", m_dir.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<int> queued;
    for (int i = 0; i < 8; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        queued.push_back(fd);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
            break; // the queue is full
    }
    auto opened = std::async(std::launch::async, [] {
        CFSUIPCClient client; // real time
        client.Open();
        return client.GetLastResult();
    });
    // A generous bound that only tells giving up from hanging.
    const bool ended = opened.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    ::close(listener); // wakes a connect that still waits
    EXPECT_TRUE(ended) << "connecting did not give up";
    EXPECT_EQ(opened.get(), 2u);
    EXPECT_EQ(CFSUIPCClient::GetErrorText(2), "Cannot link to FSUIPC or WideClient");
    for (const int fd : queued)
        ::close(fd);
}

TEST_F(ClientTest, VersionChecks) {
    struct Case {
        const char* what;
        std::string className;
        std::uint32_t linkVersion;
        std::uint32_t simVersion;
        std::uint32_t requested;
        std::uint32_t result;
    };
    const Case cases[] = {
        {"current peer", "UIPCMAIN", 0x30000000, 0xFADE0006, 0, 0},
        {"oldest accepted version word", "UIPCMAIN", 0x19980005, 0xFADE0006, 0, 0},
        {"version word too old", "UIPCMAIN", 0x19980004, 0xFADE0006, 0, 7},
        {"not the protocol's simulator word", "UIPCMAIN", 0x30000000, 0x12340006, 0, 7},
        {"old name, old version word", "FS98MAIN", 0x19980004, 0xFADE0006, 0, 14},
        {"old name, good words", "FS98MAIN", 0x30000000, 0xFADE0006, 0, 0},
        {"requested version served", "UIPCMAIN", 0x30000000, 0xFADE0006, 6, 0},
        {"requested 6, simulator 5", "UIPCMAIN", 0x30000000, 0xFADE0005, 6, 8},
        {"requested 5, simulator 6", "UIPCMAIN", 0x30000000, 0xFADE0006, 5, 8},
    };
    for (const Case& c : cases) {
        auto config = Config();
        config.faults.linkVersion = c.linkVersion;
        config.faults.simVersion = c.simVersion;
        fssim::InProcessSim sim(config, c.className);
        CFSUIPCClient client(sim.Clock());
        EXPECT_EQ(client.Open(c.requested), c.result == 0) << c.what;
        EXPECT_EQ(client.GetLastResult(), c.result) << c.what;
        EXPECT_EQ(client.IsOpen(), c.result == 0) << c.what;
        if (c.result == 0) {
            EXPECT_EQ(client.GetFSVersion(), c.simVersion & 0xFFFF) << c.what;
        }
    }
}

TEST_F(ClientTest, CallsOnAClosedLink) {
    CFSUIPCClient client;
    std::uint32_t v = 7;
    EXPECT_FALSE(client.Read(0x3304, 4, &v));
    EXPECT_EQ(client.GetLastResult(), 9u);
    EXPECT_FALSE(client.Write(0x088C, 4, &v));
    EXPECT_EQ(client.GetLastResult(), 9u);
    EXPECT_FALSE(client.Process());
    EXPECT_EQ(client.GetLastResult(), 9u);
    EXPECT_FALSE(client.ReadNow(0x3304, 4, &v));
    EXPECT_EQ(v, 7u);
    client.Close(); // nothing open: harmless
    client.Close();
    EXPECT_EQ(CFSUIPCClient::GetErrorText(16), "Unknown error"); // past the table of texts
}

TEST_F(ClientTest, ProcessWithNothingQueuedChangesNothing) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    const auto requests = sim.Sim().RequestCount();
    EXPECT_FALSE(client.Process());
    EXPECT_EQ(client.GetLastResult(), 10u);
    EXPECT_EQ(client.GetErrorText(), "Call cannot execute: No requests accumulated");
    EXPECT_EQ(sim.Sim().RequestCount(), requests);
    EXPECT_TRUE(client.IsOpen());
}

TEST_F(ClientTest, BatchLimits) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    std::vector<std::uint8_t> buffer(0x8000, 0xAB);

    EXPECT_FALSE(client.Read(0, 0x7EF0, buffer.data()));
    EXPECT_EQ(client.GetLastResult(), 15u);
    EXPECT_FALSE(client.Read(0, 0x7EED, buffer.data())); // 0x7EED + 20 > 0x7F00
    EXPECT_EQ(client.GetLastResult(), 15u);
    EXPECT_FALSE(client.Write(0, 0x7EF1, buffer.data()));
    EXPECT_EQ(client.GetLastResult(), 15u);
    EXPECT_FALSE(client.Process()); // the refusals queued nothing
    EXPECT_EQ(client.GetLastResult(), 10u);

    EXPECT_TRUE(client.Write(0x4000, 0x7EF0, buffer.data())); // exactly fills the batch
    EXPECT_FALSE(client.Write(0, 0, buffer.data()));          // nothing more fits
    EXPECT_EQ(client.GetLastResult(), 15u);
    EXPECT_TRUE(client.Process()) << client.GetErrorText();
    EXPECT_EQ(sim.Sim().OffsetSpace()[0x4000 + 0x7EEF], 0xAB);

    EXPECT_TRUE(client.Read(0x4000, 0x7EEC, buffer.data())); // 0x7EEC + 20 = 0x7F00
    EXPECT_TRUE(client.Process()) << client.GetErrorText();
}

TEST_F(ClientTest, QueuedRequestsStayWhenOneIsRefused) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    std::vector<std::uint8_t> big(0x4000);
    std::int32_t ias = -1;
    std::uint32_t fsVersion = 0;
    ASSERT_TRUE(client.Read(0x02BC, 4, &ias));
    ASSERT_TRUE(client.Read(0x3308, 4, &fsVersion));
    ASSERT_TRUE(client.Read(0x4000, 0x4000, big.data()));
    EXPECT_FALSE(client.Read(0x4000, 0x4000, big.data()));
    EXPECT_EQ(client.GetLastResult(), 15u);
    EXPECT_TRUE(client.Process());
    EXPECT_EQ(ias, 0);
    EXPECT_EQ(fsVersion, 0xFADE0006u);
}

TEST_F(ClientTest, NoAnswerTimesOutEveryRetry) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    const auto requests = sim.Sim().RequestCount();
    const auto t0 = sim.Sim().NowMs();
    sim.Sim().MutableFaults().noAnswer = true;
    std::int32_t ias = 12345;
    EXPECT_FALSE(client.ReadNow(0x02BC, 4, &ias));
    EXPECT_EQ(client.GetLastResult(), 11u);
    EXPECT_EQ(ias, 12345);
    EXPECT_EQ(sim.Sim().RequestCount() - requests, 9u);
    // 9 time-outs of 2000 ms and 8 pauses of 100 ms, in simulated time.
    EXPECT_EQ(sim.Sim().NowMs() - t0, 9 * 2000 + 8 * 100);
    // The queue is empty afterwards.
    sim.Sim().MutableFaults().noAnswer = false;
    EXPECT_FALSE(client.Process());
    EXPECT_EQ(client.GetLastResult(), 10u);
}

TEST_F(ClientTest, OpenAgainstSilentPeerTimesOut) {
    auto config = Config();
    config.faults.noAnswer = true;
    fssim::InProcessSim sim(config);
    CFSUIPCClient client(sim.Clock());
    EXPECT_FALSE(client.Open());
    EXPECT_EQ(client.GetLastResult(), 11u);
    EXPECT_FALSE(client.IsOpen());
    EXPECT_TRUE(linktest::OwnMappings().empty());
}

TEST_F(ClientTest, BrokenLinkFailsEverySend) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    sim.Sim().MutableFaults().closeAfter = static_cast<std::uint32_t>(sim.Sim().RequestCount() + 1);
    std::int32_t ias = 99;
    EXPECT_TRUE(client.ReadNow(0x02BC, 4, &ias));
    EXPECT_EQ(ias, 0);
    ias = 99;
    EXPECT_FALSE(client.ReadNow(0x02BC, 4, &ias));
    EXPECT_EQ(client.GetLastResult(), 12u);
    EXPECT_EQ(client.GetErrorText(), "IPC sendmessage failed all retries");
    EXPECT_EQ(ias, 99);
}

TEST_F(ClientTest, SendFailureHooks) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    std::int32_t v = 5;
    {
        ipc::ScopedFailure failure(EPIPE);
        EXPECT_FALSE(client.ReadNow(0x02BC, 4, &v));
        EXPECT_EQ(client.GetLastResult(), 12u);
    }
    {
        ipc::ScopedFailure failure(&ipc::FailureHooks::sendTimeout);
        EXPECT_FALSE(client.ReadNow(0x02BC, 4, &v));
        EXPECT_EQ(client.GetLastResult(), 11u);
    }
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(client.ReadNow(0x02BC, 4, &v));
    EXPECT_EQ(v, 0);
}

TEST_F(ClientTest, WrongAnswerCopiesNoReads) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    sim.Sim().MutableFaults().wrongAnswer = true;
    std::uint32_t version = 1;
    EXPECT_FALSE(client.ReadNow(0x3308, 4, &version));
    EXPECT_EQ(client.GetLastResult(), 13u);
    EXPECT_EQ(version, 1u); // the peer filled the answer in, but it is not copied
    sim.Sim().MutableFaults().wrongAnswer = false;
    EXPECT_TRUE(client.ReadNow(0x3308, 4, &version));
    EXPECT_EQ(version, 0xFADE0006u);
}

TEST_F(ClientTest, StateReadThroughTheAircraft) {
    // The simulator encodes, the aircraft over the client decodes: the two peers agree.
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    kestro::CFSUIPCAircraft aircraft(client);
    using kestro::StateItem;
    const StateItem items[] = {StateItem::Longitude, StateItem::Latitude,     StateItem::Altitude,
                               StateItem::Heading,   StateItem::Pitch,        StateItem::Bank,
                               StateItem::Airspeed,  StateItem::VerticalSpeed};
    kestro::AircraftState s;
    s.pitch_deg = s.bank_deg = s.airspeed_kt = s.verticalSpeed_mps = 1;
    const auto requests = sim.Sim().RequestCount();
    ASSERT_TRUE(aircraft.Exchange({}, items, s));
    EXPECT_EQ(sim.Sim().RequestCount() - requests, 1u);
    EXPECT_NEAR(s.latitude_deg, 52.30173122, 1e-12);
    EXPECT_NEAR(s.longitude_deg, 4.73740403, 1e-12);
    EXPECT_NEAR(s.altitude_m, -11 * 0.3048, 1e-9);
    EXPECT_NEAR(s.heading_deg, 3.205903, 1e-7);
    EXPECT_EQ(s.pitch_deg, 0);
    EXPECT_EQ(s.bank_deg, 0);
    EXPECT_EQ(s.airspeed_kt, 0);
    EXPECT_EQ(s.verticalSpeed_mps, 0);
}

TEST_F(ClientTest, ControlsWrittenReachTheAircraft) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    const std::int16_t zero16 = 0, full = 16384;
    const std::uint8_t toe = 0;
    ASSERT_TRUE(client.WriteNow(0x0BC8, 2, &zero16));
    ASSERT_TRUE(client.Write(0x0C00, 1, &toe));
    ASSERT_TRUE(client.Write(0x0C01, 1, &toe));
    ASSERT_TRUE(client.Process());
    ASSERT_TRUE(client.WriteNow(0x088C, 2, &full));
    const auto& controls = sim.Sim().Model().GetControls();
    EXPECT_EQ(controls.parkingBrake, 0);
    EXPECT_EQ(controls.throttle, 16384);
    EXPECT_EQ(controls.mixture, 16384); // parked rich
    // Waiting through the clock flies the aircraft: 20 s of full throttle.
    ASSERT_TRUE(sim.Clock()->Sleep(20000));
    std::int32_t ias = 0;
    ASSERT_TRUE(client.ReadNow(0x02BC, 4, &ias));
    EXPECT_GT(ias / 128, 45);
    std::int16_t lever = 0;
    ASSERT_TRUE(client.ReadNow(0x088C, 2, &lever));
    EXPECT_EQ(lever, 16384);
}

TEST_F(ClientTest, StopRequestEndsRetriesAtOnce) {
    fssim::InProcessSim sim(Config());
    CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    sim.Sim().MutableFaults().noAnswer = true;
    sim.Clock()->RequestStop();
    const auto requests = sim.Sim().RequestCount();
    std::int32_t v = 0;
    EXPECT_FALSE(client.ReadNow(0x02BC, 4, &v));
    EXPECT_EQ(client.GetLastResult(), 11u);
    EXPECT_EQ(sim.Sim().RequestCount() - requests, 1u);
}

} // namespace
