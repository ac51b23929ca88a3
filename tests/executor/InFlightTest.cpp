// Taking over in the air with the stabilised law: a script that begins with a cruise leg is flown
// from where the aircraft is, and refused on the ground; the law stays sound when the state comes
// as a simulator on the wall clock serves it (10 Hz, 100 ms late) and across a simulator that
// stands still while its clock runs.
#include "LateModel.h"
#include "StabilisedFlights.h"

#include <fssim/FlightModel.h>
#include <kestro/FlightExecutor.h>

#include <functional>
#include <memory>

namespace {

using namespace kestro_test;

/// Over the sea west of Schiphol: where the aircraft is handed over.
constexpr double kLatitude = 52.35, kLongitude = 4.40;
constexpr double kAltitude_ft = 2500, kAirspeed_kt = 95, kHeading_deg = 270;

/// The builtin trainer flying level at the hand-over point.
void PlaceInTheAir(fssim::AircraftModel& model) {
    auto& trainer = static_cast<fssim::FlightModel&>(model);
    fssim::State& s = trainer.MutableState();
    s.latitude_deg = kLatitude;
    s.longitude_deg = kLongitude;
    s.altitude_m = kAltitude_ft * tavola::kMetresPerFoot;
    s.groundElevation_m = 0;
    s.tas_mps = kAirspeed_kt * tavola::kMetresPerSecondPerKnot * 1.04;
    s.heading_deg = kHeading_deg;
    s.pitch_deg = 2;
    s.onGround = false;
    trainer.GetControls().parkingBrake = 0;
    trainer.GetControls().throttle = 10000;
}

/// Two legs of about 6 km, the second at another altitude and airspeed.
const std::vector<Leg> kLegs = {{0.0, -0.09, 3000, 100}, {0.04, -0.17, 2500, 85}};

xml::DocumentPtr CruiseOnly() {
    return Script(CruisePhase(kLegs, Runway{kLatitude, kLongitude, 0, 0}));
}

/// Flies the two legs from the hand-over point (or parked, when not `inAir`); `frozen`, when
/// given, receives the controls as the standing still began and ended.
Flown FlyFrom(LateModel::Timing timing, bool inAir,
              std::pair<fssim::Controls, fssim::Controls>* frozen = nullptr) {
    fssim::SimConfig config;
    config.trackPeriodMs = 200;
    auto model = std::make_unique<LateModel>(
        std::make_unique<fssim::FlightModel>(fssim::Aircraft{}, fssim::Weather{}), timing,
        inAir ? PlaceInTheAir : std::function<void(fssim::AircraftModel&)>{});
    LateModel* served = model.get();
    fssim::InProcessSim sim(config, std::move(model));
    kestro::FlightOptions options;
    options.clock = sim.Clock();
    options.timeLimitMs = 3600 * 1000;
    options.law = kestro::ControlLaw::Stabilised;
    Flown f;
    f.script = CruiseOnly();
    f.result = Execute(f.script, options);
    std::vector<fssim::TrackPoint> track = sim.Sim().Track();
    track.push_back(sim.Sim().CurrentPoint()); // where the flight ended, between two points
    for (const fssim::TrackPoint& p : track)
        f.track.push_back({p.time_s, p.latitude_deg, p.longitude_deg, p.altitude_m, p.airspeed_kt,
                           p.pitch_deg, p.bank_deg, p.heading_deg});
    if (frozen)
        *frozen = {served->atFreeze, served->atThaw};
    return f;
}

TEST(InFlight, TakesOverInTheAirAndStaysSoundOnALateOrFrozenState) {
    struct Case {
        const char* what;
        LateModel::Timing timing;
    };
    const Case cases[] = {
        {"every step", {}},
        {"10 Hz, 100 ms late", {0.1, 0.1}},
        {"60 Hz, 100 ms late", {1.0 / 60, 0.1}},
        {"standing still for 60 s in the first climb", {0.05, 0.05, 0, 5, 65}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::pair<fssim::Controls, fssim::Controls> frozen;
        const Flown f = FlyFrom(c.timing, true, &frozen);
        // Nothing winds up while the simulator stands still: the controls it finds when it runs
        // again are those it stood still with, but for the damping of the rates that stopped
        // (wound up, the elevator would be at its stop, 12000 units away).
        EXPECT_NEAR(frozen.second.elevator, frozen.first.elevator, 2000);
        EXPECT_NEAR(frozen.second.throttle, frozen.first.throttle, 300);
        ASSERT_EQ(f.result.exitCode, 0) << f.result.log;
        EXPECT_NE(f.result.log.find("Taking over in the air."), std::string::npos);
        const kestro::FlightReport report(f.script, f.track);
        SCOPED_TRACE(report.Text());
        for (const kestro::FlightSample& p : f.track)
            ASSERT_LE(std::fabs(p.bank_deg), 30.0) << "at " << p.time_s << " s";
        ASSERT_EQ(report.Legs().size(), kLegs.size());
        for (const kestro::LegFigures& leg : report.Legs()) {
            EXPECT_TRUE(leg.reached);
            EXPECT_LE(leg.closestApproach_deg, 0.02);
            ASSERT_TRUE(leg.altitude_ft.settledAfter_s.has_value());
            EXPECT_LE(leg.altitude_ft.maxDeviation, 150.0);
            ASSERT_TRUE(leg.airspeed_kt.settledAfter_s.has_value());
            EXPECT_LE(leg.airspeed_kt.maxDeviation, 10.0);
        }
    }
}

TEST(InFlight, OnTheGroundItIsRefused) {
    const Flown f = FlyFrom({}, false);
    EXPECT_EQ(f.result.exitCode, 1);
    EXPECT_TRUE(f.result.refused);
    EXPECT_NE(f.result.log.find("Cannot fly the flight script: it has no take-off procedure and "
                                "the aircraft is on the ground"),
              std::string::npos)
        << f.result.log;
    // With the classic law such a script is refused before the link opens, as before.
    kestro::FlightOptions options;
    fssim::InProcessSim sim;
    options.clock = sim.Clock();
    const kestro::ExecutionResult classic = Execute(CruiseOnly(), options);
    EXPECT_TRUE(classic.refused);
    EXPECT_NE(classic.log.find("it has no take-off procedure (phase"), std::string::npos);
}

} // namespace
