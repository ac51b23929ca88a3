// The stabilised control law flying the simulator's own aircraft in virtual time: a departure
// with legs in every quadrant and a turn of more than 150 degrees, measured with the flight
// report; the log of the take-off; altitude and airspeed defaults; a runway above the level-off
// altitude; a link lost in flight; determinism.

#include "StabilisedFlights.h"

#include <kestro/FlightReport.h>
#include <tavola/Units.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using namespace kestro;
using namespace kestro_test;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(StabilisedLaw, DepartureWithLegsInEveryQuadrantAndAReversal) {
    const auto legs = QuadrantLegs();
    const Flown f = FlyStabilised(fssim::Fdm::Builtin, Script(TakeoffPhase() + CruisePhase(legs)));
    ASSERT_EQ(f.result.exitCode, 0) << f.result.log;
    EXPECT_EQ(Count(f.result.log, "\tTarget reached. Cruise task done.\r\n"), legs.size());
    const std::string start = kStartLog + StabilisedTakeoffLog();
    EXPECT_EQ(f.result.log.substr(0, start.size()), start);
    ExpectSoundFlight(f, legs);
}

TEST(StabilisedLaw, ACrosswindDoesNotPushItOffTheLine) {
    // 20 kt from the north-east: the legs east and south fly with a drift of about 8 degrees,
    // which the law measures from the positions and steers against.
    const std::vector<Leg> legs = {{0.0, 0.30, 2000, 100}, {-0.18, 0.30, 2500, 100}};
    const Flown f = FlyStabilised(fssim::Fdm::Builtin, Script(TakeoffPhase() + CruisePhase(legs)),
                                  Runway{}, [](fssim::SimConfig& c) {
                                      c.weather.windFrom_deg = 45;
                                      c.weather.windSpeed_kt = 20;
                                  });
    ASSERT_EQ(f.result.exitCode, 0) << f.result.log;
    ExpectSoundFlight(f, legs);
    const FlightReport report(f.script, f.track);
    ASSERT_TRUE(report.Legs()[1].maxCrossTrackOnCourse_m.has_value());
    EXPECT_LT(*report.Legs()[1].maxCrossTrackOnCourse_m, 150.0) << report.Text();
}

TEST(StabilisedLaw, FlightsAreDeterministic) {
    // In wind, gusts and turbulence too: the weather is seeded.
    const std::string body = TakeoffPhase() + CruisePhase({{0.05, 0.1, 2000, 95}});
    const auto weather = [](fssim::SimConfig& c) {
        c.weather.windFrom_deg = 240;
        c.weather.windSpeed_kt = 20;
        c.weather.gusts_kt = 10;
        c.weather.turbulence = fssim::Turbulence::Light;
        c.weather.seed = 11;
    };
    const Flown a = FlyStabilised(fssim::Fdm::Builtin, Script(body), Runway{}, weather);
    const Flown b = FlyStabilised(fssim::Fdm::Builtin, Script(body), Runway{}, weather);
    ASSERT_EQ(a.result.exitCode, 0);
    ASSERT_EQ(a.track.size(), b.track.size());
    for (std::size_t i = 0; i < a.track.size(); ++i) {
        ASSERT_EQ(a.track[i].latitude_deg, b.track[i].latitude_deg) << i;
        ASSERT_EQ(a.track[i].longitude_deg, b.track[i].longitude_deg) << i;
        ASSERT_EQ(a.track[i].altitude_m, b.track[i].altitude_m) << i;
        ASSERT_EQ(a.track[i].heading_deg, b.track[i].heading_deg) << i;
    }
    EXPECT_EQ(a.result.log, b.result.log);
}

TEST(StabilisedLaw, LegsWithoutAltitudeOrAirspeedKeepTheLevelOff) {
    // A cruise task without the procedure's altitude and airspeed: the aircraft holds the
    // take-off's level-off altitude and keeps its throttle.
    const Runway runway;
    const std::string task = "<task name=\"cruise\"><GPSCoordinate><longitude>" +
                             Num(runway.longitude + 0.2) + "</longitude><latitude>" +
                             Num(runway.latitude + 0.02) + "</latitude></GPSCoordinate></task>";
    const Flown f =
        FlyStabilised(fssim::Fdm::Builtin,
                      Script(TakeoffPhase() + "<phase name=\"cruise\">" + task + "</phase>"));
    ASSERT_EQ(f.result.exitCode, 0) << f.result.log;
    EXPECT_NEAR(f.track.back().altitude_m, 500.0, 100 * tavola::kMetresPerFoot);
    EXPECT_GT(f.track.back().airspeed_kt, 80.0);
}

TEST(StabilisedLaw, ARunwayAboveTheLevelOffAltitudeClimbsClearOfIt) {
    // At 2,600 ft (792 m) the level-off at 500 m above sea level would be under the runway; the
    // law levels off 300 m above it instead.
    Runway high;
    high.elevation_ft = 2600;
    const double runway_m = high.elevation_ft * tavola::kMetresPerFoot;
    const Flown f = FlyStabilised(fssim::Fdm::Builtin, Script(TakeoffPhase(high)), high);
    ASSERT_EQ(f.result.exitCode, 0) << f.result.log;
    EXPECT_NEAR(f.track.back().altitude_m, runway_m + 300, 30);
    const double lowest =
        std::min_element(f.track.begin(), f.track.end(), [](const auto& a, const auto& b) {
            return a.altitude_m < b.altitude_m;
        })->altitude_m;
    EXPECT_GE(lowest, runway_m - 1);
}

TEST(StabilisedLaw, ALinkLostInFlightEndsTheFlightWithItsErrorText) {
    // The simulator closes the link after a number of exchanges, in the middle of the climb.
    const Flown f = FlyStabilised(
        fssim::Fdm::Builtin, Script(TakeoffPhase() + CruisePhase({{0.05, 0.1, 2000, 95}})),
        Runway{}, [](fssim::SimConfig& c) { c.faults.closeAfter = 3000; });
    EXPECT_EQ(f.result.exitCode, 1);
    ASSERT_EQ(f.result.messageBoxes.size(), 1u);
    EXPECT_FALSE(f.result.messageBoxes[0].empty());
    EXPECT_FALSE(f.result.timeLimitReached);
    EXPECT_EQ(f.result.log.find("Finished"), std::string::npos);
    // Promptly: within a few failed exchanges of the last answered one.
    EXPECT_LT(f.track.back().time_s, 3000 * 0.05 + 30);
}

TEST(StabilisedLaw, TheTimeLimitStopsIt) {
    const Flown f =
        FlyStabilised(fssim::Fdm::Builtin, Script(TakeoffPhase()), Runway{}, {}, 40 * 1000);
    EXPECT_TRUE(f.result.timeLimitReached);
    EXPECT_EQ(f.result.exitCode, 1);
    EXPECT_LE(f.track.back().time_s, 41.0);
}

} // namespace
