// Short offsets on the plane tangent to the earth at a point: what a control law or a flight
// report needs between two positions a few seconds or a few kilometres apart.
//
// Model: the equirectangular approximation on the sphere of the simulator link (one degree of
// latitude = kMetresPerDegreeOfLatitude, 111,130.6 m); the longitude difference is reduced to
// (-180, 180] and scaled by the cosine of the first point's latitude.  Accuracy: the north
// component is exact on that sphere; the east component errs by about tan(latitude) x the
// latitude difference in radians, relative (0.16 % for 10 km north-south at 52 degrees), and
// the whole by the sphere's 0.002 % against WGS-84 along a meridian.  Not for offsets of more
// than a few hundred kilometres or near the poles.
//
// Units: latitudes and longitudes in decimal degrees, north and east positive; offsets in
// metres; directions in degrees clockwise from true north.
#pragma once

#include <tavola/Units.h>

#include <cmath>

namespace tavola {

/// North and east components of an offset, metres.
struct PlaneOffset {
    double north_m = 0.0;
    double east_m = 0.0;
};

/// The offset of point 2 from point 1.
/// @param lat1, lon1 point 1 (the plane's origin), degrees; |lat1| < 90.
/// @param lat2, lon2 point 2, degrees.
inline PlaneOffset LocalOffset(double lat1, double lon1, double lat2, double lon2) {
    return {(lat2 - lat1) * kMetresPerDegreeOfLatitude,
            Wrap180(lon2 - lon1) * std::cos(lat1 * kDegToRad) * kMetresPerDegreeOfLatitude};
}

/// The direction of an offset.
/// @return degrees clockwise from north, in (-180, 180]; 0 for a zero offset.
inline double Direction(const PlaneOffset& offset) {
    return std::atan2(offset.east_m, offset.north_m) * kRadToDeg;
}

/// The length of an offset, metres.
inline double Length(const PlaneOffset& offset) {
    return std::hypot(offset.north_m, offset.east_m);
}

} // namespace tavola
