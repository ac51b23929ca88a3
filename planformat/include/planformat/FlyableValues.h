#pragma once
// The numbers a flight script or plan carries that something will fly or place an aircraft at,
// and the ranges they must lie in.  Shared by the executor (which refuses a script before it
// links) and the simulator's start position (which refuses a runway before it places the
// aircraft), so both say the same of the same value.

#include "planformat/Export.h"

#include <cmath>
#include <limits>
#include <string>

namespace planformat {

/// A number below some element (`path`, relative to it) and the closed range [lo, hi] it must
/// lie in.  An infinite bound leaves that side open; the value itself must still be finite.
struct ValueRange {
    const char* path;
    double lo;
    double hi;
};

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

/// The take-off runway, below the take-off procedure of a script or the airport of a plan:
/// a position on the earth (degrees), any heading (degrees true), a magnetic variation of at
/// most half a turn (degrees) and an elevation (feet) between the lowest shore on earth (Dead
/// Sea, about -1,400 ft) and twice the highest airport (about 14,500 ft).
inline constexpr ValueRange kRunwayLatitude{"GPSRunway/latitude", -90, 90};
inline constexpr ValueRange kRunwayLongitude{"GPSRunway/longitude", -180, 180};
inline constexpr ValueRange kRunwayHeading{"runwayHeading", -kUnbounded, kUnbounded};
inline constexpr ValueRange kRunwayMagneticVariation{"runwayMagnVar", -180, 180};
inline constexpr ValueRange kRunwayElevation{"runwayElevation", -1500, 30000};

/// What is wrong with `text` as the value of `range`: "" when it is a finite number filling the
/// whole text (C locale) within the range; else `<path> "<text>" is not a finite number` or
/// `<path> <text> is out of range (<lo> to <hi>)`.  Text that is no number would otherwise be
/// read as 0 and fly towards 0 N 0 E.
AVILO_PLANFORMAT_API std::string ValueProblem(const ValueRange& range, const std::string& text);

/// " is out of range (<lo> to <hi>)", the bounds as %g in the C locale.
AVILO_PLANFORMAT_API std::string OutOfRangeText(const ValueRange& range);

/// Whether `value` is finite and within `range`.
inline bool InRange(const ValueRange& range, double value) {
    return std::isfinite(value) && value >= range.lo && value <= range.hi;
}

} // namespace planformat
