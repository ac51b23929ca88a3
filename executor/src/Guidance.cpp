#include "kestro/Guidance.h"

#include <tavola/LocalPlane.h>
#include <tavola/Units.h>

#include <algorithm>
#include <cmath>

namespace kestro {

double LegTrack(double start_lat, double start_lon, double target_lat, double target_lon,
                double lat, double lon, double lookahead_m, double* crossTrack_m) {
    // The aircraft is the plane's origin: x east, y north.
    const tavola::PlaneOffset start = tavola::LocalOffset(lat, lon, start_lat, start_lon);
    const tavola::PlaneOffset target = tavola::LocalOffset(lat, lon, target_lat, target_lon);
    const double sx = start.east_m, sy = start.north_m;
    const double tx = target.east_m, ty = target.north_m;
    const double dx = tx - sx, dy = ty - sy;
    const double length = std::hypot(dx, dy);
    double aimX = tx, aimY = ty;
    if (crossTrack_m)
        *crossTrack_m = 0;
    if (length > 1.0) {
        const double ux = dx / length, uy = dy / length;
        const double along = -sx * ux - sy * uy;
        if (crossTrack_m)
            *crossTrack_m = -sx * uy + sy * ux;
        const double carrot = std::max(along, 0.0) + lookahead_m;
        if (carrot < length && std::hypot(tx, ty) > lookahead_m) {
            aimX = sx + ux * carrot;
            aimY = sy + uy * carrot;
        }
    }
    return tavola::Wrap360(std::atan2(aimX, aimY) / tavola::kDegToRad);
}

std::optional<double> GroundTrack(double lat0, double lon0, double lat1, double lon1,
                                  double minDistance_m) {
    // The offset back from position 1, turned round: the plane is the one about position 1.
    const tavola::PlaneOffset back = tavola::LocalOffset(lat1, lon1, lat0, lon0);
    const tavola::PlaneOffset step{-back.north_m, -back.east_m};
    if (tavola::Length(step) < minDistance_m)
        return std::nullopt;
    return std::atan2(step.east_m, step.north_m) / tavola::kDegToRad;
}

} // namespace kestro
