// The simulator in JSBSim mode: the offsets are served from JSBSim's c172p with the link's scales
// and signs, virtual time advances the model by exactly the time waited and exchanged, a program
// that dies breaks the link instead of freezing the aircraft, and what the executor's classic
// control law does with this real aircraft.  Skipped when the JSBSim program is absent.
#include "../executor/TestScripts.h"

#include <fssim/InProcess.h>
#include <fssim/Start.h>
#include <fssim/jsbsim/JsbsimModel.h>
#include <ipc/Protocol.h>
#include <kestro/Execute.h>
#include <kestro/FSUIPC.h>
#include <tavola/Units.h>
#include <ui/ComponentLog.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace fssim;
namespace protocol = ipc::protocol;
namespace fo = ipc::protocol::offsets;

namespace {

constexpr double kFeet = tavola::kMetresPerFoot;

#define SKIP_WITHOUT_JSBSIM()                                                                      \
    do {                                                                                           \
        std::string why;                                                                           \
        if (!jsbsim::Available(&why))                                                              \
            GTEST_SKIP() << "JSBSim is not available: " << why;                                    \
    } while (false)

using tavola::Wrap180;

double DistanceM(double lat1, double lon1, double lat2, double lon2) {
    const double r = tavola::kMeanEarthRadius, d = tavola::kDegToRad;
    const double a =
        std::pow(std::sin((lat2 - lat1) * d / 2), 2) +
        std::cos(lat1 * d) * std::cos(lat2 * d) * std::pow(std::sin((lon2 - lon1) * d / 2), 2);
    return 2 * r * std::asin(std::sqrt(a));
}

SimConfig JsbsimAt(const kestro_test::Runway& r = {}) {
    SimConfig config;
    config.fdm = Fdm::Jsbsim;
    config.start = {r.latitude, r.longitude, r.heading, r.elevation_ft};
    return config;
}

/// The state as a client of the link reads it.
struct Read {
    double lat, lon, alt_m, ias_kt, vs_mps, pitch, bank, heading, groundElev_m;
    bool onGround;
};

Read ReadLink(kestro::CFSUIPCClient& c) {
    std::int64_t lat = 0, lon = 0, alt = 0;
    std::int32_t ias = 0, vs = 0, pitch = 0, bank = 0, heading = 0, ground = 0;
    std::int16_t onGround = 0;
    c.Read(fo::kLatitude, 8, &lat);
    c.Read(fo::kLongitude, 8, &lon);
    c.Read(fo::kAltitude, 8, &alt);
    c.Read(fo::kIndicatedAirspeed, 4, &ias);
    c.Read(fo::kVerticalSpeed, 4, &vs);
    c.Read(fo::kPitch, 4, &pitch);
    c.Read(fo::kBank, 4, &bank);
    c.Read(fo::kHeading, 4, &heading);
    c.Read(fo::kGroundElevation, 4, &ground);
    c.Read(fo::kOnGround, 2, &onGround);
    EXPECT_TRUE(c.Process()) << c.GetErrorText();
    return {protocol::DecodeLatitude(lat),      protocol::DecodeLongitude(lon),
            protocol::DecodeAltitude(alt),      protocol::DecodeKnots(ias),
            protocol::DecodeVerticalSpeed(vs),  protocol::DecodeAngle(pitch),
            protocol::DecodeAngle(bank),        protocol::DecodeAngle(heading),
            ground / protocol::kElevationScale, onGround != 0};
}

void Write16(kestro::CFSUIPCClient& c, std::uint32_t offset, std::int16_t v) {
    ASSERT_TRUE(c.WriteNow(offset, 2, &v)) << c.GetErrorText();
}

double GetProperty(InProcessSim& sim, const std::string& property) {
    const auto replies = sim.Sim().Jsbsim()->Exchange({"get " + property});
    return jsbsim::Process::ParseGet(property, replies.at(0));
}

} // namespace

TEST(SimulatorJsbsim, ServesTheParkedAircraftThroughTheOffsets) {
    SKIP_WITHOUT_JSBSIM();
    const kestro_test::Runway runway;
    InProcessSim sim(JsbsimAt(runway));
    ASSERT_NE(sim.Sim().Jsbsim(), nullptr);
    kestro::CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open()) << client.GetErrorText();
    const Read r = ReadLink(client);
    EXPECT_LT(DistanceM(r.lat, r.lon, runway.latitude, runway.longitude), 0.5);
    EXPECT_NEAR(Wrap180(r.heading - runway.heading), 0.0, 0.3);
    // The centre of gravity stands 4.19 ft above the runway.
    EXPECT_NEAR(r.alt_m, (runway.elevation_ft + 4.19) * kFeet, 0.1);
    EXPECT_NEAR(r.groundElev_m, runway.elevation_ft * kFeet, 0.01);
    EXPECT_TRUE(r.onGround);
    EXPECT_LT(r.ias_kt, 1.0);
    EXPECT_NEAR(r.vs_mps, 0.0, 0.05);
    EXPECT_NEAR(std::abs(r.bank), 0.0, 1.0);
    // Handed over with the engine running, parking brake set, mixture rich, throttle closed.
    EXPECT_GT(sim.Sim().Jsbsim()->EngineRpm(), 500.0);
    std::int16_t brake = 0, mixture = 0, throttle = -1;
    client.Read(fo::kParkingBrake, 2, &brake);
    client.Read(fo::kMixture, 2, &mixture);
    client.Read(fo::kThrottle, 2, &throttle);
    ASSERT_TRUE(client.Process());
    EXPECT_EQ(brake, 32767);
    EXPECT_EQ(mixture, 16384);
    EXPECT_EQ(throttle, 0);
    EXPECT_EQ(GetProperty(sim, "fcs/left-brake-cmd-norm"), 1.0);
    EXPECT_EQ(GetProperty(sim, "fcs/right-brake-cmd-norm"), 1.0);
}

TEST(SimulatorJsbsim, FliesInTheConfiguredWind) {
    SKIP_WITHOUT_JSBSIM();
    struct Case {
        double from_deg, speed_kt, north_fps, east_fps;
    } const cases[] = {
        {270.0, 20.0, 0.0, 33.76}, // from the west: blows east
        {0.0, 10.0, -16.88, 0.0},  // from the north: blows south
    };
    for (const Case& c : cases) {
        SimConfig config = JsbsimAt();
        config.weather.windFrom_deg = c.from_deg;
        config.weather.windSpeed_kt = c.speed_kt;
        InProcessSim sim(config);
        EXPECT_NEAR(GetProperty(sim, "atmosphere/wind-north-fps"), c.north_fps, 0.01);
        EXPECT_NEAR(GetProperty(sim, "atmosphere/wind-east-fps"), c.east_fps, 0.01);
        // Parked, the airspeed indicator shows the wind.
        EXPECT_NEAR(sim.Sim().Model().GetDerived().ias_kt, c.speed_kt, 1.0);
    }
    SimConfig gusty = JsbsimAt();
    gusty.weather.turbulence_mps = 1.0;
    EXPECT_THROW(Simulator{gusty}, std::invalid_argument);
}

TEST(SimulatorJsbsim, ControlOffsetsDriveTheModelWithTheirSigns) {
    SKIP_WITHOUT_JSBSIM();
    InProcessSim sim(JsbsimAt());
    kestro::CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    struct Case {
        std::uint32_t offset;
        std::int16_t raw;
        const char* property;
        double expected; // the model's elevator and rudder run the other way
    } const cases[] = {
        {fo::kElevator, 8192, "fcs/elevator-cmd-norm", -0.5},
        {fo::kElevatorTrim, 16383, "fcs/pitch-trim-cmd-norm", -1.0},
        {fo::kElevatorTrim, -4096, "fcs/pitch-trim-cmd-norm", 0.25},
        {fo::kRudder, 16383, "fcs/rudder-cmd-norm", -1.0},
        {fo::kRudder, -8192, "fcs/rudder-cmd-norm", 0.5},
        {fo::kThrottle, 4096, "fcs/throttle-cmd-norm", 0.25},
        {fo::kParkingBrake, 0, "fcs/left-brake-cmd-norm", 0.0},
    };
    for (const Case& c : cases) {
        Write16(client, c.offset, c.raw);
        EXPECT_NEAR(GetProperty(sim, c.property), c.expected, 1e-4) << c.property;
    }
    const std::int32_t aileron = -16383;
    ASSERT_TRUE(client.WriteNow(fo::kAileron, 4, &aileron));
    EXPECT_NEAR(GetProperty(sim, "fcs/aileron-cmd-norm"), -1.0, 1e-4);
    // Toe brakes drive the wheel brakes once the parking brake is off.
    const std::uint8_t toes[2] = {100, 200};
    ASSERT_TRUE(client.WriteNow(fo::kLeftToeBrake, 2, toes));
    EXPECT_NEAR(GetProperty(sim, "fcs/left-brake-cmd-norm"), 0.5, 1e-4);
    EXPECT_NEAR(GetProperty(sim, "fcs/right-brake-cmd-norm"), 1.0, 1e-4);
}

TEST(SimulatorJsbsim, RudderYawsTheTakeOffRollTheWayItSays) {
    SKIP_WITHOUT_JSBSIM();
    // Full throttle for 4 s with the pedal held: right pedal swings the nose right of the
    // runway heading, left pedal left of it (nose-wheel steering; held longer, either ends in
    // a ground loop).  Measured: +2.6 and -19.5 degrees, the engine adding its swing to the left.
    double turned[2];
    for (int i = 0; i < 2; ++i) {
        const std::int16_t pedal = i == 0 ? 6000 : -6000;
        InProcessSim sim(JsbsimAt());
        kestro::CFSUIPCClient client(sim.Clock());
        ASSERT_TRUE(client.Open());
        Write16(client, fo::kRudder, pedal);
        Write16(client, fo::kParkingBrake, 0);
        Write16(client, fo::kThrottle, 16384);
        sim.Clock()->Sleep(4000);
        const Read r = ReadLink(client);
        EXPECT_TRUE(r.onGround);
        EXPECT_GT(r.ias_kt, 5.0);
        turned[i] = Wrap180(r.heading - kestro_test::Runway{}.heading);
    }
    EXPECT_GT(turned[0], 1.0);
    EXPECT_LT(turned[1], -10.0);
}

TEST(SimulatorJsbsim, VirtualTimeAdvancesTheModelExactly) {
    SKIP_WITHOUT_JSBSIM();
    SimConfig config = JsbsimAt();
    config.trackPeriodMs = 500;
    InProcessSim sim(config);
    kestro::CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    const std::uint64_t framesAtOpen = sim.Sim().Jsbsim()->Frames();
    const std::int64_t msAtOpen = sim.Sim().NowMs();
    // 1,000 exchanges of 1 ms and 1,000 waits of 5 ms: 6 s, 720 frames of 1/120 s.
    std::int32_t ias;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(client.ReadNow(fo::kIndicatedAirspeed, 4, &ias));
        sim.Clock()->Sleep(5);
    }
    EXPECT_EQ(sim.Sim().NowMs() - msAtOpen, 6000);
    EXPECT_EQ(sim.Sim().Jsbsim()->Frames() - framesAtOpen, 720u);
    EXPECT_EQ(sim.Sim().Jsbsim()->NowUs(), sim.Sim().NowUs());
    // One long wait still records every track point.
    sim.Clock()->Sleep(10000);
    const auto& track = sim.Sim().Track();
    ASSERT_GE(track.size(), 2u);
    EXPECT_EQ(track.size(), static_cast<std::size_t>(sim.Sim().NowMs() / 500 + 1));
    for (std::size_t i = 1; i < track.size(); ++i)
        EXPECT_NEAR(track[i].time_s - track[i - 1].time_s, 0.5, 1e-9);
}

TEST(SimulatorJsbsim, ProgramDyingBreaksTheLinkWithAClearFailure) {
    SKIP_WITHOUT_JSBSIM();
    InProcessSim sim(JsbsimAt());
    kestro::CFSUIPCClient client(sim.Clock());
    ASSERT_TRUE(client.Open());
    sim.Clock()->Sleep(1000);
    const std::size_t points = sim.Sim().Track().size();
    const std::int64_t before = sim.Sim().NowMs();
    ::kill(sim.Sim().Jsbsim()->GetProcess().Pid(), SIGKILL);
    sim.Clock()->Sleep(1000); // no exception: the simulator records the failure
    EXPECT_NE(sim.Sim().Failure().find("JSBSim"), std::string::npos) << sim.Sim().Failure();
    EXPECT_NE(sim.Sim().Failure().find("signal 9"), std::string::npos) << sim.Sim().Failure();
    EXPECT_EQ(sim.Sim().NowMs(), before + 1000); // time still passes
    std::int32_t ias;
    EXPECT_FALSE(client.ReadNow(fo::kIndicatedAirspeed, 4, &ias));
    EXPECT_NE(client.GetLastResult(), kestro::FSUIPC_ERR_OK);
    // The track flown so far is kept.
    EXPECT_GE(sim.Sim().Track().size(), points);
}

// The executor's classic law on the real aircraft.  It sets no rudder and no aileron on the
// take-off roll and leaves the elevator where it stopped stepping.  Measured (Schiphol 09, a
// cruise leg to the north-east after it): the engine's torque, P-factor and propeller wash swing
// the nose left from the first seconds: 49 degrees off the runway heading after 10 s, 136 after
// 20 s (a ground loop at 35-48 KIAS).  It passes 45 knots after 19 s and rotates; it leaves the
// ground about 25 s after the brakes came off at 59 KIAS, already banked 20 degrees left, rolls
// on through 50 degrees within 5 s, and strikes the ground nose down (pitch -44 degrees, bank
// -48, 59 KIAS) about 32 s after brake release, never more than 5 m above the runway.  The law
// itself never notices: its take-off still waits for 200 m when the time limit ends the flight
// (the c172p keeps rolling, circling and hopping on the ground).  The flight is cut at 60 s of
// simulated time.
TEST(SimulatorJsbsim, ClassicLawDoesNotFlyTheRealAircraft) {
    SKIP_WITHOUT_JSBSIM();
    using namespace kestro_test;
    const Runway runway;
    const auto script =
        Script(TakeoffPhase(runway) + "<phase name=\"cruise\">" +
               CruiseTask(runway.latitude + 0.1, runway.longitude + 0.15) + "</phase>");
    std::string error;
    const auto start = StartFromScript(script, error); // parked on the script's runway
    ASSERT_TRUE(start) << error;
    SimConfig config;
    config.fdm = Fdm::Jsbsim;
    config.start = *start;
    config.trackPeriodMs = 250;
    InProcessSim sim(config);
    kestro::FlightOptions options;
    options.clock = sim.Clock();
    options.timeLimitMs = 60 * 1000;
    const kestro::ExecutionResult result = kestro_test::Execute(script, options);
    const auto& track = sim.Sim().Track();
    if (std::getenv("JSBSIM_TEST_TRACE")) {
        std::printf("%s\n", result.log.c_str());
        for (const auto& p : track)
            std::printf("t %.2f alt %.1f ias %.1f pitch %.1f bank %.1f hdg %.1f\n", p.time_s,
                        p.altitude_m, p.airspeed_kt, p.pitch_deg, p.bank_deg, p.heading_deg);
    }

    // How it ended: stopped by the time limit, still in the take-off, nothing finished.
    EXPECT_TRUE(result.timeLimitReached);
    EXPECT_NE(result.exitCode, 0);
    const std::string stuck = "\tChange pitch for actual takeoff to 7 degrees up.\r\n";
    ASSERT_GE(result.log.size(), stuck.size());
    EXPECT_NE(result.log.find(stuck), std::string::npos) << result.log;
    EXPECT_EQ(result.log.find("Altitude is greater than 200 meters."), std::string::npos);
    EXPECT_EQ(result.log.find("Finished executing the flight script."), std::string::npos);

    // What the aircraft did.
    const double ground = runway.elevation_ft * kFeet;
    double off10 = 0, off20 = 0, highest = -1e9, liftOff = -1, liftOffKt = 0, bank50 = -1;
    double down = -1, nosedown = 90;
    for (const auto& p : track) {
        const double off = std::abs(Wrap180(p.heading_deg - runway.heading));
        if (p.time_s <= 10.0)
            off10 = std::max(off10, off);
        if (p.time_s <= 20.0)
            off20 = std::max(off20, off);
        highest = std::max(highest, p.altitude_m - ground);
        if (liftOff < 0 && p.altitude_m - ground > 2.5) {
            liftOff = p.time_s;
            liftOffKt = p.airspeed_kt;
        }
        if (liftOff > 0 && bank50 < 0 && p.bank_deg < -50.0)
            bank50 = p.time_s;
        if (bank50 > 0 && down < 0 && p.altitude_m - ground < 1.5)
            down = p.time_s;
        if (bank50 > 0 && down < 0)
            nosedown = std::min(nosedown, p.pitch_deg);
    }
    RecordProperty("heading_off_after_10s_deg", std::to_string(off10));
    RecordProperty("heading_off_after_20s_deg", std::to_string(off20));
    RecordProperty("lift_off_s", std::to_string(liftOff));
    RecordProperty("banked_50_left_s", std::to_string(bank50));
    RecordProperty("back_on_the_ground_s", std::to_string(down));
    RecordProperty("pitch_before_impact_deg", std::to_string(nosedown));
    EXPECT_GT(off10, 30.0);  // measured 49
    EXPECT_GT(off20, 100.0); // measured 136: a ground loop
    EXPECT_GT(liftOff, 15.0);
    EXPECT_LT(liftOff, 30.0);
    EXPECT_NEAR(liftOffKt, 59.0, 8.0);
    EXPECT_GT(bank50, liftOff); // rolled left beyond 50 degrees ...
    EXPECT_LT(bank50, 40.0);    // ... within seconds of leaving the ground ...
    EXPECT_GT(down, bank50);    // ... and came down again
    EXPECT_LT(highest, 10.0);   // never climbed away
}

#ifdef FSSIM_PATH
namespace {

/// Runs fssim with `args`, its output into `out`; returns the exit status (-1: not started).
struct FssimRun {
    int status = -1;
    std::string output;
    double wall_s = 0;
};

FssimRun RunFssim(const std::vector<std::string>& args, const std::filesystem::path& out,
                  const std::function<void()>& whileRunning = {}) {
    std::vector<std::string> copy = args;
    std::string path = FSSIM_PATH;
    std::vector<char*> argv{path.data()};
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    FssimRun run;
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;
    if (whileRunning)
        whileRunning();
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ostringstream text;
    text << std::ifstream(out).rdbuf();
    run.output = text.str();
    return run;
}

} // namespace

// fssim --fdm jsbsim serves the link to other processes in real time, paced to the wall clock
// times the rate, from the runway of the script it is given (label "realtime").
TEST(FssimJsbsimRealtime, ServesTheLinkPacedToTheWallClock) {
    SKIP_WITHOUT_JSBSIM();
    using namespace kestro_test;
    const auto dir = std::filesystem::path(std::getenv("AVILO_IPC_DIR"));
    const auto script = dir / "script.xml";
    std::ofstream(script) << "<?xml version=\"1.0\"?><flightscript>" << TakeoffPhase()
                          << "</flightscript>";
    const auto track = dir / "track.csv";
    Read parked{}, rolling{};
    bool linked = false;
    const FssimRun run =
        RunFssim({"--fdm", "jsbsim", "--start", script.string(), "--rate", "4", "--duration", "8",
                  "--track", track.string()},
                 dir / "fssim.out", [&] {
                     kestro::CFSUIPCClient client; // real time
                     for (int i = 0; i < 100 && !client.Open(); ++i)
                         std::this_thread::sleep_for(std::chrono::milliseconds(50));
                     if (!client.IsOpen())
                         return;
                     linked = true;
                     parked = ReadLink(client);
                     Write16(client, fo::kParkingBrake, 0);
                     Write16(client, fo::kThrottle, 16384);
                     std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                     rolling = ReadLink(client);
                     client.Close();
                 });
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_TRUE(linked) << run.output;
    EXPECT_LT(DistanceM(parked.lat, parked.lon, Runway{}.latitude, Runway{}.longitude), 50.0);
    EXPECT_TRUE(parked.onGround);
    // After a wall second at rate 4 the full-throttle roll has gone on for about 4 s.
    EXPECT_GT(rolling.ias_kt, 3.0);
    EXPECT_GT(DistanceM(parked.lat, parked.lon, rolling.lat, rolling.lon), 2.0);
    EXPECT_NE(run.output.find("stopped after 8"), std::string::npos) << run.output;
    // 8 simulated seconds at rate 4 take at least 2 wall seconds (plus the start).
    EXPECT_GT(run.wall_s, 1.9);
    std::ifstream csv(track);
    std::string line;
    int lines = 0;
    while (std::getline(csv, line))
        ++lines;
    EXPECT_EQ(lines, 1 + 9); // header, 0 s .. 8 s
}

// The weather options: a bad value exits 2 naming the option before anything starts; JSBSim
// takes the turbulence levels, not the builtin model's expert form in m/s.
TEST(FssimJsbsim, WeatherOptions) {
    const auto dir = std::filesystem::path(std::getenv("AVILO_IPC_DIR"));
    struct {
        std::vector<std::string> args;
        const char* message;
    } const refused[] = {
        {{"--wind", "240"}, "fssim: --wind: wants DIR/KT"},
        {{"--turbulence", "heavy"}, "fssim: --turbulence: wants light, moderate or severe"},
        {{"--seed", "1e3x"}, "fssim: --seed:"},
        {{"--fdm", "jsbsim", "--turbulence", "1.5"}, "builtin model's expert form"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--duration", "1"});
        const FssimRun run = RunFssim(args, dir / "weather.out");
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    SKIP_WITHOUT_JSBSIM();
    const FssimRun run =
        RunFssim({"--fdm", "jsbsim", "--wind", "240/20", "--gusts", "5", "--turbulence", "light",
                  "--seed", "9", "--rate", "10", "--duration", "1"},
                 dir / "weather.out");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("stopped after 1"), std::string::npos) << run.output;
}

TEST(FssimJsbsim, MissingProgramIsAClearError) {
    const auto dir = std::filesystem::path(std::getenv("AVILO_IPC_DIR"));
    ::setenv("AVILO_JSBSIM", "/nonexistent/JSBSim", 1);
    const FssimRun run = RunFssim({"--fdm", "jsbsim", "--duration", "1"}, dir / "missing.out");
    ::unsetenv("AVILO_JSBSIM");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("fssim: JSBSim:"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("/nonexistent/JSBSim"), std::string::npos) << run.output;
}
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // An IPC folder of its own, so that no simulator running on this machine answers.
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("avilo-jsbsim-test-ipc-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all); // closed to others
    ::setenv("AVILO_IPC_DIR", dir.c_str(), 1);
    ui::SetLogSink([](std::string_view) {});
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
