// Rhumb-line (Mercator sailing) navigation: meridional parts and their inverse, course and
// distance between two positions, time to go, advancing a position along a course, and the
// foot of the perpendicular on a rhumb line.
//
// The functions work in the Mercator plane whose x is the longitude in minutes of arc and
// whose y is the meridional parts of the latitude, also in minutes:
//   M(phi) = 7915.704486 log10|tan(phi/2 + pi/4)| - 23.268932 sin phi + 0.0525 sin^3 phi
//            + 0.000213 sin^5 phi
// (the series of Bowditch, American Practical Navigator, Table 6, on the Clarke 1866
// spheroid).  The series is accurate to about 0.01 minute up to 80 degrees of latitude;
// distances are then good to about 0.1 % of the distance run.
//
// Units: latitudes and longitudes in decimal degrees unless a parameter says radians;
// distances in nautical miles (minutes of arc); speeds in knots; times in seconds; courses
// in degrees clockwise from true north, 0 <= course < 360.  Angles of m_theta and m_line are
// radians counter-clockwise from east in the Mercator plane.  Latitudes must lie strictly
// between -90 and 90 degrees.
#pragma once

#include <tavola/Export.h>

// Meridional parts (minutes) of a latitude in radians.
TAVOLA_API double m_parts(double latitude);
// Inverse of m_parts: latitude in degrees of meridional parts M (minutes); three fixed-point
// refinements, good to 1e-5 minute up to 80 degrees.
TAVOLA_API double m_parts_inv(double M);
// M(lat2) - M(lat1); latitudes in radians.
TAVOLA_API double m_diff(double lat1, double lat2);
// Course in degrees (0 north, 90 east) of a Mercator-plane vector (east, north).  A zero
// vector gives 90.
TAVOLA_API double m_angle(double east, double north);
// Rhumb-line course from point 1 to point 2 in degrees.  The longitude difference is not
// reduced across the 180-degree meridian.
TAVOLA_API double m_bearing(double lat1, double lon1, double lat2, double lon2);
// Direction of the rhumb line from point 1 to point 2: radians counter-clockwise from east.
TAVOLA_API double m_theta(double lat1, double lon1, double lat2, double lon2);
// Moves point 2 to the foot of its perpendicular on the rhumb line through point 1 with
// direction theta (radians, as m_theta), in the Mercator plane.
TAVOLA_API void m_line(double lat1, double lon1, double* lat2, double* lon2, double theta);
// Rhumb-line distance in nautical miles, the short way across the 180-degree meridian.
TAVOLA_API double m_distance(double lat1, double lon1, double lat2, double lon2);
// Distance (nautical miles) as m_distance, and the course (degrees) into *course.
TAVOLA_API double m_b_d(double lat1, double lon1, double lat2, double lon2, double* course);
// Time to go in whole seconds at speed knots (truncated).
TAVOLA_API long m_ttg(double lat1, double lon1, double lat2, double lon2, double speed);
// Advances (*lat, *lon) by distance nautical miles along course degrees; returns distance.
// The longitude is not reduced to -180..180.
TAVOLA_API double m_advance_d(double* lat, double* lon, double distance, double course);
// As m_advance_d with distance = speed (knots) x seconds / 3600; returns the distance run.
TAVOLA_API double m_advance_t(double* lat, double* lon, double speed, double seconds,
                              double course);
