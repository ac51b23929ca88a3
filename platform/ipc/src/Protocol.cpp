#include "ipc/Protocol.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ipc::protocol {

// The angles are reduced with std::remainder, which is exact: the result is the angle less a
// whole number of turns, in [-180, 180].  Both ends encode as the most negative value, the one
// bit pattern of the half turn.

std::int64_t EncodeLatitude(double degrees) {
    return static_cast<std::int64_t>(std::llround(degrees * kLatitudeScale));
}

std::int64_t EncodeLongitude(double degrees) {
    const double scaled = std::remainder(degrees, 360.0) * kLongitudeScale;
    if (scaled >= 9223372036854775807.0 || scaled <= -9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(scaled);
}

std::int64_t EncodeAltitude(double metres) {
    return static_cast<std::int64_t>(std::llround(metres * kAltitudeScale));
}

std::int32_t EncodeAngle(double degrees) {
    const double scaled = std::remainder(degrees, 360.0) * kAngleUnitsPerDegree;
    if (scaled >= 2147483647.0 || scaled <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(std::lround(scaled));
}

std::int32_t EncodeScaled(double value, double scale) {
    return static_cast<std::int32_t>(
        std::clamp(std::round(value * scale), -2147483648.0, 2147483647.0));
}

} // namespace ipc::protocol
