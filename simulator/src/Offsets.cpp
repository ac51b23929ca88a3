#include "fssim/Offsets.h"

#include <cmath>

namespace fssim::offsets {

namespace {
double Wrap180(double deg) {
    deg = std::fmod(deg, 360.0);
    if (deg > 180.0)
        deg -= 360.0;
    else if (deg <= -180.0)
        deg += 360.0;
    return deg;
}
} // namespace

std::int64_t EncodeLatitude(double degrees) {
    return static_cast<std::int64_t>(std::llround(degrees * kLatitudeScale));
}

std::int64_t EncodeLongitude(double degrees) {
    // 180 degrees is 2^63, one past the largest value: encode as -180 (the same meridian).
    const double scaled = Wrap180(degrees) * kLongitudeScale;
    if (scaled >= 9223372036854775807.0)
        return INT64_MIN;
    return static_cast<std::int64_t>(scaled);
}

std::int64_t EncodeAltitude(double metres) {
    return static_cast<std::int64_t>(std::llround(metres * kMetresScale));
}

std::int32_t EncodeAngle(double degrees) {
    const double scaled = Wrap180(degrees) * kAngleScale;
    if (scaled >= 2147483647.0)
        return INT32_MIN; // +180 is -180
    return static_cast<std::int32_t>(std::lround(scaled));
}

double DecodeLatitude(std::int64_t raw) {
    return static_cast<double>(raw) / kLatitudeScale;
}
double DecodeLongitude(std::int64_t raw) {
    return static_cast<double>(raw) / kLongitudeScale;
}
double DecodeAngle(std::int32_t raw) {
    return raw / kAngleScale;
}

} // namespace fssim::offsets
