#include "kestro/Navigation.h"

#include <cmath>

namespace kestro {

namespace {

double ToRadians(double degrees) {
    return degrees * kPi / 180.0;
}

/// mod(y, x) = y - x trunc(y / x), the remainder truncating towards zero.
double TruncMod(double y, double x) {
    return y - x * std::trunc(y / x);
}

} // namespace

double ArcSin(double x) {
    return 2.0 * std::atan(x / (1.0 + std::sqrt(1.0 - x * x)));
}

double ArcTan2(double y, double x) {
    if (std::fabs(x) > std::fabs(y)) {
        if (x > 0)
            return std::atan(y / x);
        return y >= 0 ? std::atan(y / x) + kPi : std::atan(y / x) - kPi;
    }
    if (y > 0)
        return kPi / 2 - std::atan(x / y);
    if (y < 0)
        return -kPi / 2 - std::atan(x / y);
    return 0.0;
}

double ModTwoPi(double angle) {
    return 2 * kPi - TruncMod(2 * kPi - angle, 2 * kPi);
}

double GreatCircleDistance(double lat1, double lon1, double lat2, double lon2) {
    lat1 = ToRadians(lat1);
    lat2 = ToRadians(lat2);
    lon1 = -ToRadians(lon1);
    lon2 = -ToRadians(lon2);
    const double sLat = std::sin((lat1 - lat2) / 2);
    const double sLon = std::sin((lon1 - lon2) / 2);
    const double a = sLat * sLat + std::cos(lat1) * std::cos(lat2) * sLon * sLon;
    // Rounding can lift a a hair above 1 for antipodal points; ArcSin would then give NaN.
    return 2 * ArcSin(std::sqrt(std::fmin(a, 1.0))) * 180.0 / kPi;
}

double TrueCourse(double lat1, double lon1, double lat2, double lon2) {
    const double distance = GreatCircleDistance(lat1, lon1, lat2, lon2);
    lat1 = ToRadians(lat1);
    lat2 = ToRadians(lat2);
    lon1 = -ToRadians(lon1);
    lon2 = -ToRadians(lon2);
    double course;
    if (distance < kEps)
        course = 0.0;
    else if (std::fabs(std::cos(lat1)) < kEps)
        course = (3 - std::sin(lat1)) * kPi / 2;
    else
        course = ModTwoPi(ArcTan2(std::sin(lon1 - lon2) * std::cos(lat2),
                                  std::cos(lat1) * std::sin(lat2) -
                                      std::sin(lat1) * std::cos(lat2) * std::cos(lon1 - lon2)));
    return course / kPi * 180.0;
}

} // namespace kestro
