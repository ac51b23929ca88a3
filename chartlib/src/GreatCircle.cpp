// Spherical great-circle distance and course.
#include <tavola/GreatCircle.h>

#include <cmath>

using tavola::kCruiseEps;
using tavola::kCruisePi;

namespace {

double ToRadians(double degrees) {
    return degrees * kCruisePi / 180.0;
}

} // namespace

double ArcSin(double x) {
    return 2.0 * std::atan(x / (1.0 + std::sqrt(1.0 - x * x)));
}

double ArcTan2(double y, double x) {
    if (std::fabs(x) > std::fabs(y)) {
        if (x > 0.0)
            return std::atan(y / x);
        return y >= 0.0 ? std::atan(y / x) + kCruisePi : std::atan(y / x) - kCruisePi;
    }
    if (y > 0.0)
        return kCruisePi / 2.0 - std::atan(x / y);
    if (y < 0.0)
        return -kCruisePi / 2.0 - std::atan(x / y);
    return 0.0;
}

double ModTwoPi(double angle) {
    const double y = 2.0 * kCruisePi - angle;
    const double x = 2.0 * kCruisePi;
    return 2.0 * kCruisePi - (y - x * std::trunc(y / x));
}

double GreatCircleDistance(double lat1, double lon1, double lat2, double lon2) {
    lat1 = ToRadians(lat1);
    lat2 = ToRadians(lat2);
    lon1 = -ToRadians(lon1);
    lon2 = -ToRadians(lon2);
    const double sLat = std::sin((lat1 - lat2) / 2.0);
    const double sLon = std::sin((lon1 - lon2) / 2.0);
    const double a = sLat * sLat + std::cos(lat1) * std::cos(lat2) * sLon * sLon;
    // Rounding can lift a a hair above 1 for antipodal points; ArcSin would then give NaN.
    return 2.0 * ArcSin(std::sqrt(std::fmin(a, 1.0))) * 180.0 / kCruisePi;
}

double TrueCourse(double lat1, double lon1, double lat2, double lon2) {
    if (GreatCircleDistance(lat1, lon1, lat2, lon2) < kCruiseEps)
        return 0.0;
    lat1 = ToRadians(lat1);
    lat2 = ToRadians(lat2);
    lon1 = -ToRadians(lon1);
    lon2 = -ToRadians(lon2);
    double course;
    if (std::fabs(std::cos(lat1)) < kCruiseEps)
        course = (3.0 - std::sin(lat1)) * kCruisePi / 2.0;
    else
        course = ModTwoPi(ArcTan2(std::sin(lon1 - lon2) * std::cos(lat2),
                                  std::cos(lat1) * std::sin(lat2) -
                                      std::sin(lat1) * std::cos(lat2) * std::cos(lon1 - lon2)));
    return course / kCruisePi * 180.0;
}
