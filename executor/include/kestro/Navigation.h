#pragma once
// Spherical navigation formulas of the cruise leg: great-circle distance and initial true course
// between two points, and the elementary functions they are built on.
//
// The formulas are those of the classical "Aviation Formulary" (Ed Williams): the haversine
// distance and the initial course by atan2, on a sphere, with longitudes taken west positive
// inside (the functions negate them on entry).  Pi is the ten-decimal constant kPi, used for
// every conversion between degrees and radians, so results differ from full-precision ones by
// about 3e-9 relative (less than 0.1 mm of arc per degree).  On the sphere the distance is exact
// to rounding (about 1e-13 degrees of arc for points more than 1e-6 degrees apart); against
// the WGS84 ellipsoid it is within 0.5 %.

namespace kestro {

/// Pi as the executor uses it: ten decimals, deliberately not the full double value.
inline constexpr double kPi = 3.1415926535;
/// Below this, in radians, two points count as one and a cosine as zero.
inline constexpr double kEps = 1e-11;

/// Arc sine by the half-angle identity: 2 atan(x / (1 + sqrt(1 - x^2))).
/// @param x in [-1, 1]; outside, the result is NaN.
/// @return radians in [-pi/2, pi/2].
double ArcSin(double x);

/// Four-quadrant arc tangent of y / x built on atan.
/// @param y, x any finite values.
/// @return radians in (-pi, pi]; 0 when both are 0.
double ArcTan2(double y, double x);

/// Reduces an angle to (0, 2 pi]: 2 pi - mod(2 pi - angle, 2 pi), mod truncating towards zero.
/// An angle of exactly 0 gives 2 pi, so due north is reported as 360 degrees.
/// @param angle radians, any finite value (the result is in (0, 2 pi] for angles in
///        (-2 pi, 2 pi]; farther out it follows the truncating mod).
/// @return radians.
double ModTwoPi(double angle);

/// Great-circle distance between two points.
/// @param lat1, lat2 latitudes, degrees in [-90, 90], north positive.
/// @param lon1, lon2 longitudes, degrees in [-180, 180] (any range works), east positive.
/// @return degrees of arc in [0, 180].
double GreatCircleDistance(double lat1, double lon1, double lat2, double lon2);

/// Initial true course of the great circle from point 1 to point 2.
/// @param lat1, lon1, lat2, lon2 as for GreatCircleDistance.
/// @return degrees clockwise from true north in (0, 360]; 0 when the points coincide (closer
///         than kEps degrees of arc), 180 from the north pole and 360 from the south pole.
double TrueCourse(double lat1, double lon1, double lat2, double lon2);

} // namespace kestro
