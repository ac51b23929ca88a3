// Both control laws flying JSBSim's Cessna 172P in lock-step, virtual time.  Skipped, with the
// reason, when the JSBSim program or the prepared aircraft is missing.
//
// The stabilised law must fly it as it flies the simulator's own aircraft (a departure with legs
// in every quadrant and a reversal onto a 20 km leg).  The classic law cannot: with the real
// aircraft's engine torque and no rudder it leaves the runway heading on the roll and rolls past
// 45 degrees of bank within seconds of lifting off; the test keeps that behaviour on record.

#include "StabilisedFlights.h"

#include <fssim/jsbsim/Process.h>
#include <kestro/FlightReport.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using namespace kestro;
using namespace kestro_test;

/// Why JSBSim cannot fly here; empty when it can.
std::string JsbsimMissing() {
    std::string why;
    if (fssim::jsbsim::Available(&why))
        return {};
    return why.empty() ? "unknown reason" : why;
}

#define SKIP_WITHOUT_JSBSIM()                                                                      \
    if (const std::string why = JsbsimMissing(); !why.empty())                                     \
    GTEST_SKIP() << "JSBSim is not available (" << why << "); scripts/setup fetches it"

/// Legs of about 10 km from Schiphol's runway 09 in every quadrant, then a reversal of about 155
/// degrees onto a 20 km leg south: short enough for lock-step time.
std::vector<Leg> ShortQuadrantLegs() {
    return {{0.05, 0.12, 2000, 95},
            {-0.02, 0.20, 2000, 100},
            {-0.08, 0.08, 2500, 100},
            {0.00, 0.02, 2000, 95},
            {-0.18, 0.01, 2500, 100}};
}

TEST(JsbsimFlight, TheStabilisedLawFliesTheDepartureWithLegsInEveryQuadrant) {
    SKIP_WITHOUT_JSBSIM();
    const auto legs = ShortQuadrantLegs();
    const Flown f = FlyStabilised(fssim::Fdm::Jsbsim, Script(TakeoffPhase() + CruisePhase(legs)),
                                  Runway{}, {}, 3600 * 1000);
    ASSERT_EQ(f.result.exitCode, 0) << f.result.log;
    const std::string finished = "Finished executing the flight script.\r\n\r\n";
    ASSERT_GE(f.result.log.size(), finished.size());
    EXPECT_EQ(f.result.log.substr(f.result.log.size() - finished.size()), finished);
    ExpectSoundFlight(f, legs);
}

TEST(JsbsimFlight, TheClassicLawLosesTheRunwayHeadingAndRollsOver) {
    SKIP_WITHOUT_JSBSIM();
    fssim::SimConfig config;
    config.fdm = fssim::Fdm::Jsbsim;
    const Runway runway;
    config.start = {runway.latitude, runway.longitude, runway.heading, runway.elevation_ft};
    config.trackPeriodMs = 200;
    fssim::InProcessSim sim(config);
    FlightOptions options;
    options.clock = sim.Clock();
    options.timeLimitMs = 45 * 1000;
    const ExecutionResult r = Execute(Script(TakeoffPhase()), options);
    EXPECT_TRUE(r.timeLimitReached); // it never reaches 200 m
    std::vector<FlightSample> track;
    for (const fssim::TrackPoint& p : sim.Sim().Track())
        track.push_back({p.time_s, p.latitude_deg, p.longitude_deg, p.altitude_m, p.airspeed_kt,
                         p.pitch_deg, p.bank_deg, p.heading_deg});
    const FlightReport report(Script(TakeoffPhase()), track);
    SCOPED_TRACE(report.Text());
    EXPECT_GT(report.Takeoff().maxHeadingDeviation_deg, 10.0);
    double maxBank = 0, maxAltitude = -1e9;
    for (const FlightSample& p : track) {
        maxBank = std::max(maxBank, std::fabs(p.bank_deg));
        maxAltitude = std::max(maxAltitude, p.altitude_m);
    }
    EXPECT_GT(maxBank, 45.0);
    EXPECT_LT(maxAltitude, 50.0);
}

} // namespace
