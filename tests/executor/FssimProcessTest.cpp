// Real-time flights against fssim running as a separate process: the executor connects over
// the Unix-socket endpoint and shared memory and flies a take-off at a raised simulation rate, on
// the simulator's clock when it serves one (else on the wall clock); a flight at a raised rate
// and paused on the way flies as in virtual time; and the executor notices at once when the
// simulator goes away.  Real time (label "realtime"): the flight keeps pace with a simulator that
// runs on its own.

#include "../ipc/FssimProcess.h"
#include "TestScripts.h"

#include <fssim/InProcess.h>
#include <fssim/Start.h>
#include <kestro/Execute.h>
#include <kestro/FlightReport.h>
#include <numbers/Numbers.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
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

/// The track fssim writes (--track), as the flight report reads it.
std::vector<FlightSample> ReadTrack(const std::filesystem::path& path) {
    std::vector<FlightSample> track;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line); // the header
    while (std::getline(in, line)) {
        double v[8] = {};
        std::size_t from = 0;
        for (double& value : v) {
            const std::size_t comma = line.find(',', from);
            value = numbers::Parse(line.substr(from, comma - from)).value_or(0.0);
            from = comma == std::string::npos ? line.size() : comma + 1;
        }
        track.push_back({v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]});
    }
    return track;
}

TEST_F(FssimProcessTest, TakeOffAtTenfoldRateOnTheSimulatorsClockOrAnOlderSimulatorsWallClock) {
    // The classic take-off takes about 150 simulated seconds, 15 s of wall time at rate 10.  On
    // the simulator's clock a limit of 60 s ends it (after 6 s of wall time); a simulator that
    // serves no time leaves the flight on the wall clock, where it ends within the same limit.
    const std::string body = TakeoffPhase();
    const auto scriptPath = m_dir / "script.xml";
    std::ofstream(scriptPath) << "<?xml version=\"1.0\"?><flightscript>" << body
                              << "</flightscript>";
    struct Case {
        bool servesTime;
        int limit_s;
        bool ends; ///< at the end of the take-off, rather than at the time limit
    };
    for (const Case c : {Case{true, 600, true}, Case{false, 60, true}, Case{true, 60, false}}) {
        SCOPED_TRACE(std::string(c.servesTime ? "" : "no ") + "time served, limit " +
                     std::to_string(c.limit_s) + " s");
        std::vector<std::string> args = {"--start", scriptPath.string(), "--rate", "10"};
        if (!c.servesTime)
            args.push_back("--no-clock");
        linktest::FssimProcess fssim(FSSIM_PATH, args);
        ASSERT_TRUE(fssim.WaitReady()) << "fssim did not come up";

        FlightOptions options;
        options.clock = std::make_shared<ipc::RealClock>();
        options.timeLimitMs = c.limit_s * 1000;
        const ExecutionResult r = Execute(Script(body), options);
        EXPECT_EQ(r.timeLimitReached, !c.ends);
        EXPECT_TRUE(r.messageBoxes.empty());
        if (c.ends) {
            EXPECT_EQ(r.exitCode, 0);
            EXPECT_EQ(r.log, TakeoffFlightLog());
        }
    }
}

TEST_F(FssimProcessTest, AFlightAtEightfoldRatePausedOnTheWayFliesAsInVirtualTime) {
    // The stabilised law's take-off and a leg of about 8 km north, paused for 3 s of wall time
    // (24 s of the simulator's time at its rate) ten seconds into the leg.
    const Runway runway;
    const std::string body = TakeoffPhase(runway) + "<phase name=\"cruise\">" +
                             CruiseTask(runway.latitude + 0.08, runway.longitude + 0.08) +
                             "</phase>";
    const xml::DocumentPtr script = Script(body);
    const auto scriptPath = m_dir / "script.xml";
    const auto trackPath = m_dir / "track.csv";
    std::ofstream(scriptPath) << "<?xml version=\"1.0\"?><flightscript>" << body
                              << "</flightscript>";

    // In virtual time, sampled as fssim samples (once a simulated second).  The in-process
    // simulator goes before fssim comes: its endpoint would be found first.
    FlightOptions options;
    options.timeLimitMs = 3600 * 1000;
    options.law = ControlLaw::Stabilised;
    std::vector<FlightSample> virtualTrack;
    {
        fssim::SimConfig config;
        std::string error;
        config.start = fssim::StartFromScript(script, error).value();
        fssim::InProcessSim sim(config);
        options.clock = sim.Clock();
        ASSERT_EQ(Execute(script, options).exitCode, 0);
        for (const fssim::TrackPoint& p : sim.Sim().Track())
            virtualTrack.push_back({p.time_s, p.latitude_deg, p.longitude_deg, p.altitude_m,
                                    p.airspeed_kt, p.pitch_deg, p.bank_deg, p.heading_deg});
    }
    const FlightReport expected(script, virtualTrack);

    ExecutionResult r;
    {
        linktest::FssimProcess fssim(FSSIM_PATH, {"--start", scriptPath.string(), "--rate", "8",
                                                  "--track", trackPath.string()});
        ASSERT_TRUE(fssim.WaitReady()) << "fssim did not come up";
        const pid_t pid = EndpointProcess();
        ASSERT_GT(pid, 0);
        std::mutex mutex;
        std::condition_variable wake;
        bool onLeg = false, ended = false, paused = false;
        int distanceLines = 0; // one as the leg begins, then one every 10 s of its time
        std::thread pauser([&] {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return onLeg || ended; });
            if (ended)
                return;
            paused = ::kill(pid, SIGUSR1) == 0;
            wake.wait_for(lock, std::chrono::seconds(3), [&] { return ended; });
            ::kill(pid, SIGUSR2);
        });
        kestro::CConsoleWindow window(
            [&](std::string_view text) {
                if (text.find("Distance to target") != std::string_view::npos) {
                    std::lock_guard lock(mutex);
                    onLeg = onLeg || ++distanceLines == 2;
                    wake.notify_all();
                }
            },
            [](std::string_view) {});
        options.clock = std::make_shared<ipc::RealClock>();
        r = kestro::ExecuteFlightScript(script, options, window);
        {
            std::lock_guard lock(mutex);
            ended = true;
            wake.notify_all();
        }
        pauser.join();
        EXPECT_TRUE(paused);
        EXPECT_EQ(fssim.Stop(), 0); // writes the track
    }
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.messageBoxes.empty());
    const FlightReport flown(script, ReadTrack(trackPath));
    SCOPED_TRACE("in virtual time:\n" + expected.Text() + "at rate 8, paused:\n" + flown.Text());

    const auto near = [](double a, double b) { return std::fabs(a - b) <= 0.1 * std::fabs(b); };
    const TakeoffFigures &t = flown.Takeoff(), &te = expected.Takeoff();
    EXPECT_TRUE(t.liftedOff);
    EXPECT_TRUE(near(t.groundRoll_m, te.groundRoll_m));
    EXPECT_TRUE(near(t.liftOffSpeed_kt, te.liftOffSpeed_kt));
    ASSERT_TRUE(t.timeToLevelOff_s && te.timeToLevelOff_s);
    EXPECT_TRUE(near(*t.timeToLevelOff_s, *te.timeToLevelOff_s));
    ASSERT_EQ(flown.Legs().size(), 1u);
    const LegFigures &leg = flown.Legs()[0], &le = expected.Legs()[0];
    EXPECT_LE(leg.closestApproach_deg, 0.021); // the executor's 0.02, sampled once a second
    EXPECT_TRUE(near(leg.time_s, le.time_s));
    EXPECT_TRUE(near(leg.altitude_ft.final, le.altitude_ft.final));
    EXPECT_TRUE(near(leg.airspeed_kt.final, le.airspeed_kt.final));
    EXPECT_LE(leg.maxBank_deg, le.maxBank_deg + 3.0);
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
