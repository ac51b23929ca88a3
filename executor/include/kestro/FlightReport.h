#pragma once
// The flight report: figures of a flown track measured against its flight script, for comparing
// control laws and aircraft.  Computed from the track alone (no access to the simulator), so it
// applies to any recorded flight.
//
// Take-off: ground roll (metres from the first track point to lift-off, great circle on the
// executor's sphere), lift-off speed (indicated knots at lift-off: the first point more than
// kLiftOffHeight_m above the first point's altitude), the greatest deviation from the runway
// heading before lift-off (the runway heading is the heading of the first point, where the
// aircraft stands parked), the greatest distance off the centre line before lift-off (the line
// through the first point along the runway heading), the largest bank from lift-off to the
// level-off, and the time to the level-off altitude (500 m above sea level, within
// kLevelOffTolerance_m: a law that captures the altitude approaches it from below).
//
// Cruise legs, one per cruise task of the script in document order: a leg ends at the first
// point within 0.02 degrees of arc of its target (the executor's own criterion), or at the end
// of the track when it never gets there; the next leg starts there.  The first leg starts when
// the aircraft first reaches the level-off altitude; without that, no leg counts as flown.  A
// script without a take-off task was handed over in the air: its first leg starts at the first
// point, and there are no take-off figures.  Per
// leg: the closest approach to the target, the greatest cross-track error from the line between the
// previous target (for the first leg: the leg's first point) and the target, the same once the
// aircraft is on course after its turn (from the first point with the ground track (from the point
// before) within kOnCourse_deg of the line's course and the wings within kWingsLevel_deg of level:
// in wind the aircraft flies crabbed into it, so the heading is not what counts),
// the leg's time, the largest bank and pitch magnitudes, and the altitude and airspeed held against
// the task's planned values (feet and knots): the greatest deviation from kSettleTime_s after the
// aircraft first came within kAltitudeSettle_ft of the altitude, and for the airspeed, from
// kSettleTime_s after it first came within kAirspeedSettle_kt of the airspeed once the altitude had
// settled (a climb flies its own speed).
//
// In turbulence (a track whose airspeed's second difference averages more than kRoughAir_kps2
// knots per second squared after the level-off: still air stays under a tenth of that, light
// turbulence gives tens) the airspeed held is judged on its means over the last kGustMean_s,
// since each gust moves the indicated airspeed by several knots whatever the aircraft does.
//
// Accuracy: cross-track errors on a local plane about each point (<kestro/Guidance.h>); times and
// figures at the track's sampling period.

#include "kestro/Export.h"

#include <xml/Dom.h>

#include <optional>
#include <string>
#include <vector>

namespace kestro {

/// One point of a flown track (the columns of the track CSV).
struct FlightSample {
    double time_s = 0;        ///< simulated seconds since the start
    double latitude_deg = 0;  ///< north positive
    double longitude_deg = 0; ///< east positive
    double altitude_m = 0;    ///< above sea level
    double airspeed_kt = 0;   ///< indicated
    double pitch_deg = 0;     ///< nose up positive
    double bank_deg = 0;      ///< right wing down positive
    double heading_deg = 0;   ///< true, [0, 360)
};

struct TakeoffFigures {
    bool planned = true; ///< false: the script has no take-off (handed over in the air)
    bool liftedOff = false;
    double groundRoll_m = 0;
    double liftOffSpeed_kt = 0;
    double maxHeadingDeviation_deg = 0;     ///< on the roll, magnitude
    double maxCentreLineDistance_m = 0;     ///< on the roll, magnitude
    double maxBank_deg = 0;                 ///< from lift-off to the level-off, magnitude
    std::optional<double> timeToLevelOff_s; ///< to 500 m above sea level (within 10 m)
};

/// How well a planned value was held.
struct HeldFigure {
    std::optional<double> planned;
    std::optional<double> settledAfter_s; ///< seconds into the leg; none if never settled
    /// From kSettleTime_s after settling (over the whole leg if it never settled; 0 if the leg
    /// ended before).
    double maxDeviation = 0;
    double final = 0; ///< the value at the leg's end
};

struct LegFigures {
    double targetLatitude_deg = 0, targetLongitude_deg = 0;
    bool flown = false; ///< the track has points of this leg (none before the level-off)
    bool reached = false;
    double closestApproach_deg = 0; ///< degrees of arc (180 when not flown)
    double maxCrossTrack_m = 0;
    std::optional<double> maxCrossTrackOnCourse_m; ///< none if never on course
    double time_s = 0;
    double maxBank_deg = 0, maxPitch_deg = 0; ///< magnitudes
    HeldFigure altitude_ft, airspeed_kt;
};

class KESTRO_CORE_API FlightReport {
public:
    static constexpr double kLiftOffHeight_m = 0.5;
    static constexpr double kLevelOff_m = 500.0;
    static constexpr double kLevelOffTolerance_m = 10.0;
    static constexpr double kOnCourse_deg = 5.0;
    static constexpr double kWingsLevel_deg = 3.0;
    static constexpr double kAltitudeSettle_ft = 50.0;
    static constexpr double kAirspeedSettle_kt = 5.0;
    static constexpr double kSettleTime_s = 20.0;
    static constexpr double kRoughAir_kps2 = 2.5;
    static constexpr double kGustMean_s = 5.0;

    /// Measures `track` against `script` (take-off if the track has points, one leg per cruise
    /// task with coordinates).
    FlightReport(const xml::DocumentPtr& script, const std::vector<FlightSample>& track);

    const TakeoffFigures& Takeoff() const { return m_takeoff; }
    const std::vector<LegFigures>& Legs() const { return m_legs; }
    /// The track was flown in turbulence (airspeeds judged on their means).
    bool Turbulent() const { return m_turbulent; }
    /// The report as text, one block per part, lines ending in "\n".
    std::string Text() const;

private:
    TakeoffFigures m_takeoff;
    std::vector<LegFigures> m_legs;
    bool m_turbulent = false;
};

} // namespace kestro
