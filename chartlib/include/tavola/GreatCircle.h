// Great-circle distance and initial course on a sphere: the formulas the executor's cruise legs
// fly by, and the related elementary functions.
//
// Formulas: the haversine distance and the initial course by atan2 (Williams, "Aviation
// Formulary", sections "Distance between points" and "Course between points"), with longitudes
// negated inside (west positive, as the formulary writes them).  Pi is kCruisePi = 3.1415926535
// (ten decimals), used for every conversion between degrees and radians as well, so results
// differ from full-precision ones by about 3e-11 relative (less than 0.1 mm of arc per degree).
// On the sphere the distance is exact to rounding (about 1e-13 degrees of arc for points more
// than 1e-6 degrees apart); against the WGS-84 ellipsoid it errs by up to 0.5 % and the course
// by up to about 0.2 degree.
//
// Units: latitudes and longitudes in decimal degrees, north and east positive; distances in
// degrees of arc (x 60 for nautical miles on the sphere of one minute per nautical mile).
#pragma once

#include <tavola/Export.h>
#include <tavola/Units.h>

namespace tavola {
/// Below this, in radians, two points count as one and a cosine as zero.
inline constexpr double kCruiseEps = 1e-11;
} // namespace tavola

/// Great-circle distance between two points.
/// @param lat1, lat2 latitudes, degrees in [-90, 90].
/// @param lon1, lon2 longitudes, degrees (any range).
/// @return degrees of arc in [0, 180]; antipodal points give 180, never NaN.
TAVOLA_API double GreatCircleDistance(double lat1, double lon1, double lat2, double lon2);

/// Initial true course of the great circle from point 1 to point 2.
/// @param lat1, lon1, lat2, lon2 as for GreatCircleDistance.
/// @return degrees clockwise from true north in (0, 360]: due north is 360.  0 when the points
///         coincide (closer than kCruiseEps degrees of arc); from a pole (|cos lat1| below
///         kCruiseEps) 180 at the north pole and 360 at the south pole.
TAVOLA_API double TrueCourse(double lat1, double lon1, double lat2, double lon2);

/// Arc sine by the half-angle identity 2 atan(x / (1 + sqrt(1 - x^2))).
/// @param x in [-1, 1]; outside, the result is NaN.
/// @return radians in [-pi/2, pi/2].
TAVOLA_API double ArcSin(double x);

/// Four-quadrant arc tangent of y / x built on atan.
/// @param y, x any finite values.
/// @return radians in (-pi, pi]; 0 when both are 0.
TAVOLA_API double ArcTan2(double y, double x);

/// Reduces an angle to (0, 2 pi]: 2 pi - mod(2 pi - angle, 2 pi), the mod truncating towards
/// zero.  An angle of exactly 0 gives 2 pi, so due north is reported as 360 degrees.
/// @param angle radians; the result is in (0, 2 pi] for angles in (-2 pi, 2 pi], farther out
///        it follows the truncating mod.
/// @return radians.
TAVOLA_API double ModTwoPi(double angle);
