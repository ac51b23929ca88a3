#pragma once
// Flights with the stabilised law for the tests of either flight model: scripts of several
// legs, flying them in virtual time, and the figures every sound flight must show.

#include "TestScripts.h"

#include <fssim/InProcess.h>
#include <kestro/Execute.h>
#include <kestro/FlightReport.h>
#include <tavola/GreatCircle.h>
#include <tavola/Units.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestro_test {

/// A cruise leg: target offset from the runway threshold (degrees), planned altitude (feet) and
/// airspeed (knots).
struct Leg {
    double north, east;
    double altitude_ft, airspeed_kt;
};

inline std::string CruisePhase(const std::vector<Leg>& legs, const Runway& runway = {}) {
    std::string phase = "<phase name=\"cruise\">";
    int steerpoint = 1;
    for (const Leg& leg : legs)
        phase += "<task name=\"cruise\" steerpoint=\"" + std::to_string(steerpoint++) +
                 "\"><procedure name=\"cruise\"><airspeed>" + Num(leg.airspeed_kt) +
                 "</airspeed><altitude>" + Num(leg.altitude_ft) +
                 "</altitude></procedure><GPSCoordinate><longitude>" +
                 Num(runway.longitude + leg.east) + "</longitude><latitude>" +
                 Num(runway.latitude + leg.north) + "</latitude></GPSCoordinate></task>";
    return phase + "</phase>";
}

/// Legs from Schiphol's runway 09 (east): north-east, south-east, south-west, north-west, then
/// a reversal of about 165 degrees onto a 20 km leg south; climbs, a descent, several speeds.
inline std::vector<Leg> QuadrantLegs() {
    return {{0.06, 0.20, 2000, 90},
            {-0.10, 0.35, 3000, 100},
            {-0.16, 0.05, 2500, 110},
            {0.02, -0.02, 3000, 95},
            {-0.16, -0.03, 3500, 100}};
}

struct Flown {
    kestro::ExecutionResult result;
    std::vector<kestro::FlightSample> track;
    xml::DocumentPtr script;
};

/// Flies `script` with the stabilised law on the chosen model (or on `model`, when given),
/// parked on `runway`; the track at 200 ms, with the final state appended.
inline Flown FlyStabilised(fssim::Fdm fdm, const xml::DocumentPtr& script,
                           const Runway& runway = {},
                           const std::function<void(fssim::SimConfig&)>& configure = {},
                           std::int64_t limitMs = 2 * 3600 * 1000,
                           std::unique_ptr<fssim::AircraftModel> model = {}) {
    fssim::SimConfig config;
    config.fdm = fdm;
    config.start = {runway.latitude, runway.longitude, runway.heading, runway.elevation_ft};
    config.trackPeriodMs = 200;
    if (configure)
        configure(config);
    fssim::InProcessSim sim =
        model ? fssim::InProcessSim(config, std::move(model)) : fssim::InProcessSim(config);
    kestro::FlightOptions options;
    options.clock = sim.Clock();
    options.timeLimitMs = limitMs;
    options.law = kestro::ControlLaw::Stabilised;
    Flown f;
    f.script = script;
    f.result = Execute(script, options);
    std::vector<fssim::TrackPoint> track = sim.Sim().Track();
    const fssim::TrackPoint last = sim.Sim().CurrentPoint();
    if (track.empty() || last.time_s > track.back().time_s)
        track.push_back(last);
    for (const fssim::TrackPoint& p : track)
        f.track.push_back({p.time_s, p.latitude_deg, p.longitude_deg, p.altitude_m, p.airspeed_kt,
                           p.pitch_deg, p.bank_deg, p.heading_deg});
    return f;
}

/// What a sound flight of `legs` shows: every target within 0.02 degrees of arc, never more than
/// 30 degrees of bank, within 10 degrees of the runway heading on the roll, each planned altitude
/// held within 100 ft and airspeed within 10 kt once settled, and the cross-track error after a
/// turn under 300 m on legs of 15 km or more.
inline void ExpectSoundFlight(const Flown& f, const std::vector<Leg>& legs,
                              const Runway& runway = {}) {
    const kestro::FlightReport report(f.script, f.track);
    SCOPED_TRACE(report.Text());
    const kestro::TakeoffFigures& t = report.Takeoff();
    EXPECT_TRUE(t.liftedOff);
    EXPECT_LT(t.maxHeadingDeviation_deg, 10.0);
    EXPECT_GT(t.liftOffSpeed_kt, 45.0);
    EXPECT_LT(t.liftOffSpeed_kt, 80.0);
    EXPECT_TRUE(t.timeToLevelOff_s.has_value());
    for (const kestro::FlightSample& p : f.track)
        ASSERT_LE(std::fabs(p.bank_deg), 30.0) << "at " << p.time_s << " s";

    ASSERT_EQ(report.Legs().size(), legs.size());
    double previousNorth = 0, previousEast = 0;
    for (std::size_t i = 0; i < legs.size(); ++i) {
        SCOPED_TRACE("leg " + std::to_string(i + 1));
        const kestro::LegFigures& leg = report.Legs()[i];
        EXPECT_TRUE(leg.reached);
        EXPECT_LE(leg.closestApproach_deg, 0.02);
        ASSERT_TRUE(leg.altitude_ft.settledAfter_s.has_value());
        EXPECT_LE(leg.altitude_ft.maxDeviation, 100.0);
        ASSERT_TRUE(leg.airspeed_kt.settledAfter_s.has_value());
        EXPECT_LE(leg.airspeed_kt.maxDeviation, 10.0);
        const double length_m =
            ::GreatCircleDistance(runway.latitude + previousNorth, runway.longitude + previousEast,
                                  runway.latitude + legs[i].north,
                                  runway.longitude + legs[i].east) *
            tavola::kMetresPerDegreeOfLatitude;
        if (i > 0 && length_m >= 15000) {
            ASSERT_TRUE(leg.maxCrossTrackOnCourse_m.has_value());
            EXPECT_LT(*leg.maxCrossTrackOnCourse_m, 300.0);
        }
        previousNorth = legs[i].north;
        previousEast = legs[i].east;
    }
}

} // namespace kestro_test
