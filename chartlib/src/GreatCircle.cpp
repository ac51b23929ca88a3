// Spherical great-circle distance and course.
#include <tavola/GreatCircle.h>

#include <cmath>

using tavola::kGcEps;
using tavola::kGcPi;

double ArcSin(double x) {
    return 2.0 * std::atan(x / (1.0 + std::sqrt(1.0 - x * x)));
}

double ArcTan2(double y, double x) {
    if (std::fabs(x) > std::fabs(y)) {
        if (x > 0.0)
            return std::atan(y / x);
        return y >= 0.0 ? std::atan(y / x) + kGcPi : std::atan(y / x) - kGcPi;
    }
    if (y > 0.0)
        return kGcPi / 2.0 - std::atan(x / y);
    if (y < 0.0)
        return -kGcPi / 2.0 - std::atan(x / y);
    return 0.0;
}

double ModTwoPi(double angle) {
    const double y = 2.0 * kGcPi - angle;
    const double x = 2.0 * kGcPi;
    return 2.0 * kGcPi - (y - x * std::trunc(y / x));
}

double GreatCircleDistance(double lat1, double lon1, double lat2, double lon2) {
    const double k = kGcPi / 180.0;
    lat1 *= k;
    lat2 *= k;
    lon1 = -lon1 * k;
    lon2 = -lon2 * k;
    const double sLat = std::sin((lat1 - lat2) / 2.0);
    const double sLon = std::sin((lon1 - lon2) / 2.0);
    const double a = sLat * sLat + std::cos(lat1) * std::cos(lat2) * sLon * sLon;
    return 2.0 * ArcSin(std::sqrt(a)) * 180.0 / kGcPi;
}

double TrueCourse(double lat1, double lon1, double lat2, double lon2) {
    if (GreatCircleDistance(lat1, lon1, lat2, lon2) < kGcEps)
        return 0.0;
    const double k = kGcPi / 180.0;
    lat1 *= k;
    lat2 *= k;
    lon1 = -lon1 * k;
    lon2 = -lon2 * k;
    double course;
    if (std::fabs(std::cos(lat1)) < kGcEps) {
        course = (3.0 - std::sin(lat1)) * kGcPi / 2.0;
    } else {
        course = ModTwoPi(ArcTan2(std::sin(lon1 - lon2) * std::cos(lat2),
                                  std::cos(lat1) * std::sin(lat2) -
                                      std::sin(lat1) * std::cos(lat2) * std::cos(lon1 - lon2)));
    }
    return course / kGcPi * 180.0;
}
