// The flight report on tracks built by hand, and the leg guidance it shares with the stabilised
// law (desired track and cross-track error).

#include "TestScripts.h"

#include <kestro/FlightReport.h>
#include <kestro/Guidance.h>
#include <tavola/GreatCircle.h>
#include <tavola/Units.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace kestro;
using namespace kestro_test;

constexpr double kMetresPerDegree = tavola::kMetresPerDegreeOfLatitude;
constexpr double kDeg = tavola::kDegToRad;

// ---------------------------------------------------------------------------------------------
// Guidance along a leg

TEST(LegTrack, SteersBackToTheLineAndThenToTheTarget) {
    // A leg due east along 52 N from 4 E to 5 E (68.4 km); lookahead 2,500 m.
    const double lat = 52.0, cosLat = std::cos(lat * kDeg);
    const double km = 1000.0 / kMetresPerDegree; // one kilometre of latitude, degrees
    struct {
        const char* name;
        double lat, lon;
        double track_deg, crossTrack_m;
        double trackTolerance;
    } cases[] = {
        {"on the line", lat, 4.5, 90.0, 0.0, 0.3},
        {"1 km left (north)", lat + km, 4.5, 90.0 + std::atan(1000 / 2500.0) / kDeg, -1000, 0.3},
        {"1 km right (south)", lat - km, 4.5, 90.0 - std::atan(1000 / 2500.0) / kDeg, 1000, 0.3},
        {"behind the start", lat, 3.9, 90.0, 0.0, 0.3},
        // Within the lookahead of the target: straight at it.
        {"near the target, north", lat + 2 * km, 4.99,
         180 - std::atan2(0.01 * cosLat, 2 * km) / kDeg, -2000, 0.3},
        // Past the target: back to it.
        {"past the target", lat, 5.05, 270.0, 0.0, 0.3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double crossTrack = 1e9;
        const double track = LegTrack(lat, 4.0, lat, 5.0, c.lat, c.lon, 2500, &crossTrack);
        EXPECT_NEAR(track, c.track_deg, c.trackTolerance);
        EXPECT_NEAR(crossTrack, c.crossTrack_m, 5.0);
    }
}

TEST(LegTrack, AZeroLengthLegOrANorthboundOneAcrossTheMeridianAimsSensibly) {
    double crossTrack = 1e9;
    // Start and target the same: straight at the target, no cross-track error.
    EXPECT_NEAR(LegTrack(52, 5, 52, 5, 51.9, 5, 2500, &crossTrack), 0.0, 1e-6);
    EXPECT_EQ(crossTrack, 0.0);
    // Across the antimeridian: the leg is short, not most of the way round the world.
    const double t = LegTrack(10, 179.9, 10, -179.9, 10, 179.95, 2500, &crossTrack);
    EXPECT_NEAR(t, 90.0, 0.5);
    EXPECT_NEAR(crossTrack, 0.0, 5.0);
    // A northbound leg, aircraft 500 m east (right of it): steer left of north.
    const double east = 500.0 / (kMetresPerDegree * std::cos(52 * kDeg));
    const double n = LegTrack(52.0, 5.0, 52.5, 5.0, 52.2, 5.0 + east, 2500, &crossTrack);
    EXPECT_NEAR(n, 360.0 - std::atan(500 / 2500.0) / kDeg, 0.3);
    EXPECT_NEAR(crossTrack, 500.0, 5.0);
}

// ---------------------------------------------------------------------------------------------
// The report

/// Builds tracks at one point per second.
class TrackBuilder {
public:
    explicit TrackBuilder(const FlightSample& start) { m_track.push_back(start); }
    /// Flies `seconds` at `speed_mps` over the ground on `heading_deg`, climbing at `vs_mps`,
    /// showing the indicated airspeed `ias_kt`, bank and pitch.
    TrackBuilder& Fly(int seconds, double speed_mps, double heading_deg, double vs_mps,
                      double ias_kt, double bank = 0, double pitch = 0) {
        for (int i = 0; i < seconds; ++i) {
            FlightSample p = m_track.back();
            p.time_s += 1;
            p.latitude_deg += speed_mps * std::cos(heading_deg * kDeg) / kMetresPerDegree;
            p.longitude_deg += speed_mps * std::sin(heading_deg * kDeg) /
                               (kMetresPerDegree * std::cos(p.latitude_deg * kDeg));
            p.altitude_m += vs_mps;
            p.airspeed_kt = ias_kt;
            p.heading_deg = heading_deg;
            p.bank_deg = bank;
            p.pitch_deg = pitch;
            m_track.push_back(p);
        }
        return *this;
    }
    const std::vector<FlightSample>& Track() const { return m_track; }
    const FlightSample& Last() const { return m_track.back(); }

private:
    std::vector<FlightSample> m_track;
};

FlightSample Parked() {
    FlightSample p;
    p.latitude_deg = 52.0;
    p.longitude_deg = 5.0;
    p.altitude_m = 1.0;
    p.heading_deg = 90.0;
    return p;
}

std::string Cruise(double lat, double lon, const std::string& procedure) {
    return "<task name=\"cruise\"><procedure name=\"cruise\">" + procedure +
           "</procedure><GPSCoordinate><longitude>" + Num(lon) + "</longitude><latitude>" +
           Num(lat) + "</latitude></GPSCoordinate></task>";
}

TEST(FlightReport, TakeOffFigures) {
    TrackBuilder b(Parked());
    b.Fly(2, 0, 90, 0, 0).Fly(10, 15, 90, 0, 30).Fly(1, 15, 92.5, 0, 40).Fly(10, 25, 90, 0, 55);
    const FlightSample beforeLiftOff = b.Last();
    b.Fly(125, 35, 90, 4.0, 74, 1.0, 8.0); // 1 m -> 501 m; 490 m after 123 s of climb
    const FlightReport report(Script(TakeoffPhase()), b.Track());
    const TakeoffFigures& t = report.Takeoff();
    ASSERT_TRUE(t.liftedOff);
    EXPECT_NEAR(t.liftOffSpeed_kt, 74.0, 1e-9); // the first point off the ground
    const double roll_m = 10 * 15 + 15 + 10 * 25 + 35;
    EXPECT_NEAR(t.groundRoll_m, roll_m, 1.0);
    EXPECT_NEAR(t.maxHeadingDeviation_deg, 2.5, 1e-9);
    // One second at 2.5 degrees off the runway heading puts it 15 m x sin(2.5 deg) to the side.
    EXPECT_NEAR(t.maxCentreLineDistance_m, 15 * std::sin(2.5 * kDeg), 0.01);
    EXPECT_EQ(t.maxBank_deg, 1.0);
    ASSERT_TRUE(t.timeToLevelOff_s.has_value());
    EXPECT_NEAR(*t.timeToLevelOff_s, beforeLiftOff.time_s + 123, 1e-9);
    EXPECT_TRUE(report.Legs().empty());
    EXPECT_NE(report.Text().find("500 m after 146 s"), std::string::npos) << report.Text();
}

TEST(FlightReport, ATrackThatNeverLeavesTheGroundOrIsEmpty) {
    TrackBuilder b(Parked());
    b.Fly(30, 10, 90, 0, 20).Fly(5, 10, 60, 0, 20); // veers 30 degrees off
    const std::string cruise =
        "<phase name=\"cruise\">" + Cruise(52.1, 5.1, "<altitude>3000</altitude>") + "</phase>";
    const FlightReport report(Script(TakeoffPhase() + cruise), b.Track());
    EXPECT_FALSE(report.Takeoff().liftedOff);
    EXPECT_NEAR(report.Takeoff().maxHeadingDeviation_deg, 30.0, 1e-9);
    EXPECT_FALSE(report.Takeoff().timeToLevelOff_s.has_value());
    ASSERT_EQ(report.Legs().size(), 1u);
    EXPECT_FALSE(report.Legs()[0].flown); // no take-off, no leg
    EXPECT_FALSE(report.Legs()[0].reached);
    EXPECT_FALSE(report.Legs()[0].altitude_ft.settledAfter_s.has_value());
    const std::string text = report.Text();
    EXPECT_NE(text.find("did not lift off"), std::string::npos) << text;
    EXPECT_NE(text.find("never reached 500 m"), std::string::npos) << text;
    EXPECT_NE(text.find("not flown"), std::string::npos) << text;

    const FlightReport empty(Script(TakeoffPhase() + cruise), {});
    EXPECT_FALSE(empty.Takeoff().liftedOff);
    EXPECT_TRUE(empty.Legs().empty());
    EXPECT_NE(empty.Text().find("Flight report"), std::string::npos);
    EXPECT_TRUE(FlightReport(nullptr, b.Track()).Legs().empty());
}

TEST(FlightReport, LegsAreMeasuredAgainstTheLineBetweenSteerPoints) {
    // Level at 500 m (1,640 ft) from the start, then two legs east: the first flown 200 m north
    // of its line, the second flown back onto the line of the second leg and never reaching it.
    FlightSample start = Parked();
    start.altitude_m = 500;
    TrackBuilder b(start);
    const double lineLat = 52.0;
    const double metres200 = 200.0 / kMetresPerDegree;
    // Leg 1 starts at the first point (52.0, 5.0); its target is 52.0, 5.3 (20.5 km east).
    b.Fly(1, 0, 0, 0, 115);
    b.Fly(4, 50, 0, 0, 115, 20, 3); // 200 m north, banked 20 degrees
    for (int i = 0; i < 800 && ::GreatCircleDistance(b.Last().latitude_deg, b.Last().longitude_deg,
                                                     lineLat, 5.3) > 0.02;
         ++i)
        b.Fly(1, 50, 90, 0.01, i < 30 ? 115 : 104, 0, 2);
    ASSERT_NEAR(b.Last().latitude_deg, lineLat + metres200, 1e-9);
    const double legOneEnd = b.Last().time_s;
    // Leg 2: from 52.0, 5.3 to 52.0, 5.8 (34 km); flown 200 m north still, ending short.
    b.Fly(100, 50, 90, 0, 90, -25, -6);
    const std::string phase =
        "<phase name=\"cruise\">" +
        Cruise(lineLat, 5.3, "<airspeed>100</airspeed><altitude>1640</altitude>") +
        Cruise(lineLat, 5.8, "<airspeed>abc</airspeed><altitude>3000</altitude>") +
        Cruise(52.5, 5.8, "") + "</phase>";
    const FlightReport report(Script(TakeoffPhase() + phase), b.Track());
    ASSERT_TRUE(report.Takeoff().timeToLevelOff_s.has_value());
    EXPECT_EQ(*report.Takeoff().timeToLevelOff_s, 0.0);
    ASSERT_EQ(report.Legs().size(), 3u);
    EXPECT_FALSE(report.Legs()[2].flown); // the track ended on the way to the second target

    const LegFigures& one = report.Legs()[0];
    EXPECT_TRUE(one.reached);
    EXPECT_LE(one.closestApproach_deg, 0.02);
    EXPECT_GT(one.closestApproach_deg, 0.019);
    EXPECT_NEAR(one.time_s, legOneEnd, 1e-9);
    EXPECT_NEAR(one.maxCrossTrack_m, 200.0, 2.0);
    ASSERT_TRUE(one.maxCrossTrackOnCourse_m.has_value());
    EXPECT_NEAR(*one.maxCrossTrackOnCourse_m, 200.0, 2.0);
    EXPECT_EQ(one.maxBank_deg, 20.0);
    EXPECT_EQ(one.maxPitch_deg, 3.0);
    // 500 m is 1,640.4 ft; the climb of 0.01 m/s adds up to about 12 ft over the leg.
    ASSERT_TRUE(one.altitude_ft.settledAfter_s.has_value());
    EXPECT_EQ(*one.altitude_ft.settledAfter_s, 0.0);
    EXPECT_GT(one.altitude_ft.maxDeviation, 5.0);
    EXPECT_LT(one.altitude_ft.maxDeviation, 15.0);
    // The airspeed settles once within 5 kt (after 35 s at 115 kt) and then stays 4 kt off.
    ASSERT_TRUE(one.airspeed_kt.settledAfter_s.has_value());
    EXPECT_NEAR(*one.airspeed_kt.settledAfter_s, 36.0, 1e-9);
    EXPECT_NEAR(one.airspeed_kt.maxDeviation, 4.0, 1e-9);

    const LegFigures& two = report.Legs()[1];
    EXPECT_TRUE(two.flown);
    EXPECT_FALSE(two.reached);
    EXPECT_NEAR(two.time_s, 100.0, 1e-9);
    EXPECT_NEAR(two.maxCrossTrack_m, 200.0, 2.0);
    EXPECT_FALSE(two.maxCrossTrackOnCourse_m.has_value()); // banked all the way
    EXPECT_EQ(two.maxBank_deg, 25.0);
    EXPECT_EQ(two.maxPitch_deg, 6.0);
    EXPECT_EQ(two.altitude_ft.planned, 3000.0);
    EXPECT_FALSE(two.altitude_ft.settledAfter_s.has_value()); // 1,650 ft all the way
    EXPECT_FALSE(two.airspeed_kt.planned.has_value());        // "abc" is no airspeed
    EXPECT_EQ(two.airspeed_kt.final, 90.0);
    const std::string text = report.Text();
    EXPECT_NE(text.find("airspeed: none planned; 90.0 kt at the end"), std::string::npos) << text;
    EXPECT_NE(text.find("NOT reached"), std::string::npos) << text;
    EXPECT_NE(text.find("never settled"), std::string::npos) << text;
    EXPECT_NE(text.find("Leg 3 to 52.500000, 5.800000:\n\tnot flown\n"), std::string::npos) << text;
}

TEST(FlightReport, AFlightHandedOverInTheAirHasNoTakeOffAndItsFirstLegStartsAtOnce) {
    // Handed over at 480 m, climbing to 3,000 ft: the climb through 500 m is no level-off, and
    // the first leg (due east, 20 km) counts from the first point.
    FlightSample start = Parked();
    start.altitude_m = 480;
    TrackBuilder b(start);
    b.Fly(60, 40, 90, 2.0, 74);
    const std::string phase =
        "<phase name=\"cruise\">" + Cruise(52.0, 5.3, "<altitude>3000</altitude>") + "</phase>";
    const FlightReport report(Script(phase), b.Track());
    EXPECT_FALSE(report.Takeoff().planned);
    EXPECT_FALSE(report.Takeoff().timeToLevelOff_s.has_value());
    ASSERT_EQ(report.Legs().size(), 1u);
    EXPECT_TRUE(report.Legs()[0].flown);
    EXPECT_EQ(report.Legs()[0].time_s, 60.0);
    const std::string text = report.Text();
    EXPECT_NE(text.find("Take-off:\n\tnone: taken over in the air\nLeg 1"), std::string::npos)
        << text;
}

TEST(FlightReport, InTurbulenceTheAirspeedIsJudgedOnItsMeans) {
    // Level at 500 m, east at 50 m/s; the pitot reads 92 and 108 kt by turns, a gust a second
    // either way of the planned 100 kt: the aircraft holds its speed, the pitot does not.
    FlightSample start = Parked();
    start.altitude_m = 500;
    TrackBuilder b(start);
    for (int i = 0; i < 300; ++i)
        b.Fly(1, 50, 90, 0, i % 2 ? 108 : 92);
    const std::string phase =
        "<phase name=\"cruise\">" +
        Cruise(52.0, 5.3, "<airspeed>100</airspeed><altitude>1640</altitude>") + "</phase>";
    const FlightReport report(Script(TakeoffPhase() + phase), b.Track());
    ASSERT_TRUE(report.Turbulent());
    ASSERT_EQ(report.Legs().size(), 1u);
    const HeldFigure& airspeed = report.Legs()[0].airspeed_kt;
    ASSERT_TRUE(airspeed.settledAfter_s.has_value());
    EXPECT_LT(airspeed.maxDeviation, 2.0); // 5 s means: 98.4 to 101.6 kt
    EXPECT_NE(report.Text().find("(5 s means: turbulence)"), std::string::npos) << report.Text();
    // The smooth tracks of the other tests are still air.
    EXPECT_FALSE(FlightReport(Script(TakeoffPhase() + phase),
                              TrackBuilder(start).Fly(300, 50, 90, 0, 100).Track())
                     .Turbulent());
}

} // namespace
