#pragma once
// The profile of a flight: altitude (feet) and indicated airspeed (knots) over the flight's time
// (seconds), flown against the planned values of each cruise leg, as a Qt chart.  The executor's
// window shows it while and after the script is flown; avilo-map --profile saves it as a PNG.
//
// A leg's span: the first leg starts where the aircraft first reaches the level-off altitude
// (FlightReport::kLevelOff_m within kLevelOffTolerance_m), each leg ends at the first sample
// within 0.02 degrees of arc of its target (the executor's own criterion), and the next starts
// there; a leg the track never reaches ends with the track, and later legs have no span.  Times
// are as good as the track's sampling period.

#include "kestro/Export.h"
#include "kestro/FlightReport.h"

#include <xml/Dom.h>

#include <optional>
#include <string>
#include <vector>

class QChart;
class QSize;

namespace kestro {

/// The planned values of a cruise leg and when it was flown.
struct LegSpan {
    double start_s = 0, end_s = 0; ///< flight time, seconds
    double targetLatitude_deg = 0, targetLongitude_deg = 0;
    bool reached = false;              ///< the track came within 0.02 degrees of the target
    std::optional<double> altitude_ft; ///< planned, feet (none when not planned)
    std::optional<double> airspeed_kt; ///< planned, indicated knots
};

/// The spans of the cruise legs of `script` that `track` flew, in order (see above).
KESTRO_API std::vector<LegSpan> FlownLegSpans(const xml::DocumentPtr& script,
                                              const std::vector<FlightSample>& track);

/// A new chart (the caller owns it) with the profile of `track` against `script`.
KESTRO_API QChart* CreateProfileChart(const xml::DocumentPtr& script,
                                      const std::vector<FlightSample>& track);
/// Replaces the series of a chart made by CreateProfileChart with those of `track`.
KESTRO_API void UpdateProfileChart(QChart& chart, const xml::DocumentPtr& script,
                                   const std::vector<FlightSample>& track);

/// Draws the profile into a PNG of `size` pixels at `path`; false with `*error` set when the file
/// cannot be written.  Needs a QApplication.
KESTRO_API bool SaveProfilePng(const xml::DocumentPtr& script,
                               const std::vector<FlightSample>& track, const std::string& path,
                               const QSize& size, std::string* error);

} // namespace kestro
