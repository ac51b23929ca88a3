// Whole flights: the executor's worker against the in-process simulator in virtual time (and
// against the scripted peer where no flying is needed).  Log texts are compared whole where they
// are deterministic.

#include "FakePeer.h"
#include "PausingClock.h"
#include "TestScripts.h"

#include <fssim/InProcess.h>
#include <ipc/Protocol.h>
#include <kestro/Execute.h>
#include <kestro/FSUIPC.h>
#include <tavola/GreatCircle.h>
#include <tavola/Units.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

namespace {

using namespace kestro;
using namespace kestro_test;

struct Flight {
    ExecutionResult result;
    std::vector<fssim::TrackPoint> track;
    fssim::State end;
    fssim::Controls controls;
};

/// Flies `script` with the in-process simulator parked on `runway`.
Flight Fly(const xml::DocumentPtr& script, const Runway& runway = {},
           std::int64_t limitMs = 3 * 3600 * 1000,
           const std::function<void(fssim::InProcessSim&)>& prepare = {}) {
    fssim::SimConfig config;
    config.start = {runway.latitude, runway.longitude, runway.heading, runway.elevation_ft};
    fssim::InProcessSim sim(config);
    if (prepare)
        prepare(sim);
    FlightOptions options;
    options.clock = sim.Clock();
    options.timeLimitMs = limitMs;
    Flight flight;
    flight.result = Execute(script, options);
    flight.track = sim.Sim().Track();
    flight.end = sim.Sim().Model().GetState();
    flight.controls = sim.Sim().Model().GetControls();
    return flight;
}

TEST(Flight, SchipholDepartureClimbsThrough200And500MetresAndLevels) {
    const Flight f = Fly(Script(TakeoffPhase()));
    EXPECT_EQ(f.result.log, TakeoffFlightLog());
    EXPECT_EQ(f.result.exitCode, 0);
    EXPECT_TRUE(f.result.messageBoxes.empty());

    // The track: on the ground first, through 200 m and 500 m, and levelled at the end.
    ASSERT_GT(f.track.size(), 60u);
    const double ground = -11 * tavola::kMetresPerFoot;
    EXPECT_NEAR(f.track.front().altitude_m, ground, 3.0);
    double t200 = -1, t500 = -1;
    for (const auto& p : f.track) {
        if (t200 < 0 && p.altitude_m >= 200)
            t200 = p.time_s;
        if (t500 < 0 && p.altitude_m >= 500)
            t500 = p.time_s;
    }
    EXPECT_GT(t200, 0);
    EXPECT_GT(t500, t200);
    EXPECT_GE(f.end.altitude_m, 500);
    EXPECT_LT(f.end.altitude_m, 700);
    EXPECT_NEAR(std::fabs(f.end.pitch_deg), 1.0, 0.5);
    // Laterally neutral: still on the runway heading.
    EXPECT_NEAR(f.end.heading_deg, Runway{}.heading, 1.0);
}

TEST(Flight, TakeOffSetsTheMixtureRich) {
    // Parked with the mixture at idle cut-off, the engine gives no power: the take-off must
    // move the lever to the rich end for the aircraft to fly at all.
    const Flight f = Fly(Script(TakeoffPhase()), Runway{}, 3600 * 1000, [](fssim::InProcessSim& s) {
        CFSUIPCClient client(s.Clock());
        const std::int16_t cutOff = 0;
        ASSERT_TRUE(client.Open() && client.WriteNow(ipc::protocol::offsets::kMixture, 2, &cutOff));
    });
    EXPECT_EQ(f.result.exitCode, 0);
    EXPECT_GE(f.end.altitude_m, 500);
    EXPECT_GE(f.controls.mixture, 16384 - 150);
}

struct LegCase {
    const char* name;
    double north, east; // target offset from the runway threshold, degrees
};

class CruiseLegs : public testing::TestWithParam<LegCase> {};

TEST_P(CruiseLegs, ReachTheTargetWithin002DegreesOfArc) {
    const LegCase& c = GetParam();
    const Runway runway;
    const double lat = runway.latitude + c.north;
    const double lon = runway.longitude + c.east;
    const Flight f =
        Fly(Script(TakeoffPhase() + "<phase name=\"cruise\">" + CruiseTask(lat, lon) + "</phase>"));
    EXPECT_EQ(f.result.exitCode, 0) << f.result.log.substr(0, 2000);
    const std::string& log = f.result.log;
    const std::string tail =
        "\tTarget reached. Cruise task done.\r\n\r\n" + std::string(kNextPhase) + kFinished;
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    EXPECT_EQ(log.substr(0, std::strlen(kStartLog) + kTakeoffLog.size()), kStartLog + kTakeoffLog);
    EXPECT_LE(::GreatCircleDistance(f.end.latitude_deg, f.end.longitude_deg, lat, lon), 0.02);
}

INSTANTIATE_TEST_SUITE_P(
    AllQuadrants, CruiseLegs,
    testing::Values(LegCase{"NorthEast", 0.12, 0.25}, LegCase{"SouthEast", -0.12, 0.25},
                    LegCase{"SouthWest", -0.15, -0.15}, LegCase{"NorthWest", 0.15, -0.15},
                    // Behind the aircraft after the take-off to the east: a turn of about 180
                    LegCase{"TurnOfMoreThan150Degrees", 0.0, -0.2}),
    [](const testing::TestParamInfo<LegCase>& info) { return std::string(info.param.name); });

TEST(Flight, UnknownTaskNamesGiveOnlyNextPhase) {
    const Flight f =
        Fly(Script(TakeoffPhase() + "<phase name=\"landing\"><task name=\"land\"/><task "
                                    "name=\"taxi\"/></phase><phase name=\"x\"/>"));
    EXPECT_EQ(f.result.log,
              kStartLog + kTakeoffLog + kNextPhase + kNextPhase + kNextPhase + kFinished);
    EXPECT_EQ(f.result.exitCode, 0);
}

TEST(Flight, TimeLimitEndsAFlightThatDoesNotFinish) {
    const Flight f = Fly(Script(TakeoffPhase()), Runway{}, 30 * 1000);
    EXPECT_TRUE(f.result.timeLimitReached);
    EXPECT_FALSE(f.result.stopped);
    EXPECT_EQ(f.result.exitCode, 1);
    EXPECT_EQ(f.result.log.find("Finished"), std::string::npos);
    EXPECT_LE(f.track.back().time_s, 32.0);
}

// ---------------------------------------------------------------------------------------------
// Scripts that cannot be flown, and links that cannot be opened: the scripted peer suffices.

ExecutionResult RunWithPeer(const xml::DocumentPtr& script, FakePeer& peer) {
    FlightOptions options;
    options.clock = peer.Clock();
    options.timeLimitMs = 60 * 1000; // the peer does not fly: a script it takes off with ends here
    return Execute(script, options);
}

TEST(Flight, ScriptsThatCannotBeFlownAreRefusedBeforeTheLinkOpens) {
    const std::string takeoff = TakeoffPhase();
    const auto without = [&](const std::string& element) {
        std::string s = takeoff;
        const std::size_t a = s.find("<" + element + ">");
        const std::size_t b = s.find("</" + element + ">") + element.size() + 3;
        return s.erase(a, b - a);
    };
    // `text` with the first `from` replaced by `to`.
    const auto with = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const auto cruise = [&](const std::string& from, const std::string& to) {
        return takeoff + "<phase name=\"cruise\">" + CruiseTask(52.5, 4.9, 1) +
               with(CruiseTask(52.4, 4.9, 3), from, to) + "</phase>";
    };
    const std::string runway = "steer point 0 (take-off procedure): ";
    const std::string leg = "steer point 3 (cruise task 2 of phase 2): ";
    struct {
        std::string body;
        std::string line;
    } cases[] = {
        {"<phase name=\"cruise\">" + CruiseTask(52.4, 4.9) + "</phase>",
         "it has no take-off procedure (phase \"takeoff\", task \"takeoff\", procedure "
         "\"takeoff\")"},
        {"", "it has no take-off procedure (phase \"takeoff\", task \"takeoff\", procedure "
             "\"takeoff\")"},
        {without("GPSRunway"), "the take-off procedure has no GPSRunway/longitude"},
        {without("latitude"), "the take-off procedure has no GPSRunway/latitude"},
        {without("runwayHeading"), "the take-off procedure has no runwayHeading"},
        {without("runwayMagnVar"), "the take-off procedure has no runwayMagnVar"},
        {without("runwayElevation"), "the take-off procedure has no runwayElevation"},
        {takeoff + "<phase name=\"cruise\">" + CruiseTask(52.4, 4.9) + "<task/></phase>",
         "task 2 of phase 2 has no name"},
        {takeoff + "<phase name=\"cruise\"><task name=\"cruise\"><GPSCoordinate><latitude>52"
                   "</latitude></GPSCoordinate></task></phase>",
         "the cruise task 1 of phase 2 has no GPSCoordinate/longitude"},
        {takeoff + "<phase name=\"cruise\"><task name=\"cruise\"/></phase>",
         "the cruise task 1 of phase 2 has no GPSCoordinate/latitude"},
        // Values that are no finite number or lie out of their range, named by steer point.
        {with(takeoff, "52.31662258", "nan"),
         runway + "GPSRunway/latitude \"nan\" is not a finite number"},
        {with(takeoff, "4.74629843", ""),
         runway + "GPSRunway/longitude \"\" is not a finite number"},
        {with(takeoff, "52.31662258", "-90.5"),
         runway + "GPSRunway/latitude -90.5 is out of range (-90 to 90)"},
        {with(takeoff, "86.77796500", "inf"),
         runway + "runwayHeading \"inf\" is not a finite number"},
        {with(takeoff, ">1.77<", ">east<"),
         runway + "runwayMagnVar \"east\" is not a finite number"},
        {with(takeoff, "-11.00000000", "1e9"),
         runway + "runwayElevation 1e9 is out of range (-1500 to 30000)"},
        {cruise("52.40000000", "NaN"),
         leg + "GPSCoordinate/latitude \"NaN\" is not a finite number"},
        {cruise("52.40000000", "52.4 N"),
         leg + "GPSCoordinate/latitude \"52.4 N\" is not a finite number"},
        {cruise("52.40000000", "95"),
         leg + "GPSCoordinate/latitude 95 is out of range (-90 to 90)"},
        {cruise("4.90000000", "-"), leg + "GPSCoordinate/longitude \"-\" is not a finite number"},
        {cruise("4.90000000", "180.000001"),
         leg + "GPSCoordinate/longitude 180.000001 is out of range (-180 to 180)"},
        {cruise(">100<", ">-90<"), leg + "procedure/airspeed -90 is out of range (0 to 1e+06)"},
        {cruise(">3000<", ">1e400<"), leg + "procedure/altitude \"1e400\" is not a finite number"},
        // A task without its steer point's number is named by its place alone.
        {takeoff + "<phase name=\"cruise\">" +
             with(with(CruiseTask(52.4, 4.9), " steerpoint=\"1\"", ""), "4.90000000", "x") +
             "</phase>",
         "cruise task 1 of phase 2: GPSCoordinate/longitude \"x\" is not a finite number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        FakePeer peer;
        const ExecutionResult r = RunWithPeer(Script(c.body), peer);
        EXPECT_EQ(r.log, "Starting flight script execution.\r\n\r\nCannot fly the flight script: " +
                             c.line + ".\r\n\r\n");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.refused);
        EXPECT_EQ(peer.exchanges, 0u); // the simulator was not even asked for its version
    }
    FakePeer peer;
    const ExecutionResult r = RunWithPeer(nullptr, peer);
    EXPECT_EQ(r.log, "Starting flight script execution.\r\n\r\n"
                     "Cannot fly the flight script: there is no flight script.\r\n\r\n");
}

TEST(Flight, ALinkThatCannotBeOpenedShowsItsErrorTextAndNothingElse) {
    {
        // No simulator at all.
        // A virtual clock of its own that nothing answers; the time lives in a shared cell so
        // the clock never refers to a peer that is gone.
        auto now = std::make_shared<std::int64_t>(0);
        FlightOptions options;
        options.clock = std::make_shared<ipc::VirtualClock>([now](std::uint32_t ms) { *now += ms; },
                                                            [now] { return *now; });
        const ExecutionResult r = Execute(Script(TakeoffPhase()), options);
        EXPECT_EQ(r.log, "Starting flight script execution.\r\n\r\n");
        EXPECT_EQ(r.messageBoxes, std::vector<std::string>{"Cannot link to FSUIPC or WideClient"});
        EXPECT_EQ(r.exitCode, 1);
    }
    {
        // A peer with a wrong version word.
        FakePeer peer;
        peer.Put<std::uint32_t>(0x3304, 0x19980004);
        const ExecutionResult r = RunWithPeer(Script(TakeoffPhase()), peer);
        EXPECT_EQ(r.log, "Starting flight script execution.\r\n\r\n");
        EXPECT_EQ(r.messageBoxes,
                  std::vector<std::string>{"Incorrect version of FSUIPC, or not FSUIPC"});
    }
}

TEST(Flight, ALinkThatBreaksMidFlightEndsTheFlightWithTheLinkError) {
    fssim::SimConfig config;
    config.start = {Runway{}.latitude, Runway{}.longitude, Runway{}.heading, -11};
    fssim::InProcessSim sim(config);
    FlightOptions options;
    options.clock = sim.Clock();
    // The simulator closes the link after 1,000 exchanges, during the take-off roll.  The next
    // exchange fails all its sends (9, 100 ms apart) and ends the flight; nothing flies blind
    // to the time limit.
    sim.Sim().MutableFaults().closeAfter = 1000;
    options.timeLimitMs = 400 * 1000;
    const ExecutionResult r = Execute(Script(TakeoffPhase()), options);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.timeLimitReached);
    EXPECT_EQ(r.messageBoxes, std::vector<std::string>{"IPC sendmessage failed all retries"});
    EXPECT_EQ(r.log.find("Finished"), std::string::npos);
}

TEST(Flight, ASecondExecutionInTheSameProcessCanLinkAgain) {
    for (int i = 0; i < 2; ++i) {
        // The scripted peer does not fly: the time limit ends the take-off roll.
        FakePeer peer;
        FlightOptions options;
        options.clock = peer.Clock();
        options.timeLimitMs = 1000;
        const ExecutionResult r = Execute(Script(TakeoffPhase()), options);
        EXPECT_TRUE(r.timeLimitReached);
        EXPECT_EQ(r.log.substr(0, std::strlen(kStartLog)), kStartLog) << "execution " << i;
        EXPECT_FALSE(TheFSUIPCClient().IsOpen());
    }
}

// ---------------------------------------------------------------------------------------------
// Closing the window (threads): the window is closed while the worker is held in a wait.

/// Flies `script` through `clock` (over a simulator's clock) and closes the window as soon as the
/// clock holds the worker.
ExecutionResult FlyAndClose(const xml::DocumentPtr& script,
                            const std::shared_ptr<PausingClock>& clock) {
    FlightOptions options;
    options.clock = clock;
    CConsoleWindow window([](std::string_view) {}, [](std::string_view) {});
    std::thread closer([&window, clock] {
        clock->WaitUntilPaused();
        window.RequestClose();
    });
    const ExecutionResult r = ExecuteFlightScript(script, options, window);
    closer.join();
    return r;
}

TEST(FlightThreads, ClosingTheWindowMidFlightStopsTheWorkerWithinOneWait) {
    fssim::SimConfig config;
    config.start = {Runway{}.latitude, Runway{}.longitude, Runway{}.heading, -11};
    fssim::InProcessSim sim(config);
    const ExecutionResult r =
        FlyAndClose(Script(TakeoffPhase()), std::make_shared<PausingClock>(sim.Clock(), 60 * 1000));
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.log.find("Finished"), std::string::npos);
    EXPECT_NE(r.log.find("Task: takeoff"), std::string::npos);
    // Nothing flew on after the wait in which the window was closed.
    EXPECT_LT(sim.Sim().NowMs(), 60 * 1000 + 600);
    EXPECT_FALSE(TheFSUIPCClient().IsOpen());
}

TEST(FlightThreads, ClosingTheWindowBeforeTheConnectionStopsAtOnce) {
    // A simulator that never answers: Open would try 9 times.  The window closes during the
    // pause after the first try; the stop is no link failure, so no message box.
    fssim::SimConfig config;
    config.faults.noAnswer = true;
    fssim::InProcessSim sim(config);
    const ExecutionResult r =
        FlyAndClose(Script(TakeoffPhase()), std::make_shared<PausingClock>(sim.Clock(), 0));
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.messageBoxes.empty());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.log, "Starting flight script execution.\r\n\r\n");
    EXPECT_EQ(sim.Sim().RequestCount(), 1u);
}

} // namespace
