// Spherical great-circle formulas used to fly cruise legs.
//
// Formulas: the haversine distance and the initial great-circle course (Williams, Aviation
// Formulary, "Distance between points" and "Course between points"), with longitudes
// negated inside (west positive).  On a sphere they are exact; against the WGS-84 ellipsoid
// the distance errs by up to 0.5 % and the course by up to about 0.2 degree.
//
// Pi is the 10-decimal constant 3.1415926535, used for every degree/radian conversion (so
// results differ from full-precision ones by about 1e-11 relative).
//
// Units: latitudes and longitudes in decimal degrees (north and east positive).
#pragma once

namespace tavola {
inline constexpr double kGcPi = 3.1415926535;
inline constexpr double kGcEps = 1e-11;
} // namespace tavola

// Great-circle distance between two points, in degrees of arc (0..180).
double GreatCircleDistance(double lat1, double lon1, double lat2, double lon2);
// Initial great-circle course from point 1 to point 2, degrees clockwise from north, in
// (0, 360]: due north is 360.  Coincident points give 0; from the north pole pi (180), from
// the south pole 2 pi (360).  The pole test is |cos(lat1)| < 1e-11 with the 10-decimal pi, so
// a start at exactly +-90 takes the general formula (the start meridian sets the course).
double TrueCourse(double lat1, double lon1, double lat2, double lon2);
// arcsine by 2 atan(x / (1 + sqrt(1 - x^2))); x in [-1, 1]; radians.
double ArcSin(double x);
// Four-quadrant arctangent of y / x in radians, (-pi, pi]; 0 when both are 0.
double ArcTan2(double y, double x);
// 2 pi - mod(2 pi - angle, 2 pi) with a truncating mod: maps an angle (radians) in
// (-inf, 2 pi] to (0, 2 pi]; larger angles land in [2 pi, 4 pi).
double ModTwoPi(double angle);
