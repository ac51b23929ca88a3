// Rhumb-line navigation in the Mercator plane (longitude minutes, meridional parts).
#include <tavola/Navigation.h>
#include <tavola/Units.h>

#include <climits>
#include <cmath>

using tavola::kChartDegToRad;
using tavola::kChartHalfPi;
using tavola::kChartQuarterPi;
using tavola::kChartRadToDeg;

namespace {

// Meridional parts of a latitude in degrees.
double MDeg(double latitude) {
    return m_parts(latitude * kChartDegToRad);
}

// Brings a longitude difference into -180..180 by one step of 360.
double WrapOnce(double d) {
    if (d > 180.0)
        return d - 360.0;
    if (d < -180.0)
        return d + 360.0;
    return d;
}
} // namespace

double m_parts(double latitude) {
    const double s = std::sin(latitude);
    return 7915.704486 * std::log10(std::fabs(std::tan(latitude / 2.0 + kChartQuarterPi))) -
           23.268932 * s + 0.0525 * s * s * s + 0.000213 * s * s * s * s * s;
}

double m_parts_inv(double M) {
    const double k = 0.00012633114358534178;
    double phi = 2.0 * (std::atan(std::pow(10.0, M * k)) - kChartQuarterPi);
    for (int i = 0; i < 3; ++i) {
        const double s = std::sin(phi);
        phi = 2.0 * (std::atan(std::pow(10.0, (M + 23.268932 * s - 0.0525 * s * s * s -
                                               0.000213 * s * s * s * s * s) *
                                                  k)) -
                     kChartQuarterPi);
    }
    return phi * kChartRadToDeg;
}

double m_diff(double lat1, double lat2) {
    return m_parts(lat2) - m_parts(lat1);
}

double m_angle(double east, double north) {
    double alpha;
    if (east == 0.0 && north == 0.0)
        alpha = 0.0;
    else if (east == 0.0)
        alpha = north > 0.0 ? kChartHalfPi : -kChartHalfPi;
    else
        alpha = std::atan2(north, east);
    const double A = alpha * kChartRadToDeg - 90.0;
    return A <= 0.0 ? -A : 360.0 - A;
}

double m_bearing(double lat1, double lon1, double lat2, double lon2) {
    return m_angle((lon2 - lon1) * 60.0, m_diff(lat1 * kChartDegToRad, lat2 * kChartDegToRad));
}

double m_theta(double lat1, double lon1, double lat2, double lon2) {
    const double dx = (lon2 - lon1) * 60.0;
    const double dm = m_diff(lat1 * kChartDegToRad, lat2 * kChartDegToRad);
    if (dx == 0.0 && dm == 0.0)
        return 0.0;
    return std::atan2(dm, dx);
}

void m_line(double lat1, double lon1, double* lat2, double* lon2, double theta) {
    const double x1 = lon1 * 60.0, y1 = MDeg(lat1);
    const double x2 = *lon2 * 60.0, y2 = MDeg(*lat2);
    const double c = std::cos(theta), s = std::sin(theta);
    const double u = (x2 - x1) * c + (y2 - y1) * s;
    *lon2 = (x1 + u * c) / 60.0;
    *lat2 = m_parts_inv(y1 + u * s);
}

double m_distance(double lat1, double lon1, double lat2, double lon2) {
    const double dLon = WrapOnce(WrapOnce(lon2 - lon1));
    const double dLat = lat2 - lat1;
    double dM, latMinutes;
    if (dLat == 0.0) {
        // Along a parallel: the departure comes from a tiny meridional step around it.
        dM = MDeg(lat2 + 0.0001) - MDeg(lat1 - 0.0001);
        latMinutes = 0.012;
    } else {
        dM = MDeg(lat2) - MDeg(lat1);
        latMinutes = dLat * 60.0;
    }
    if (dM == 0.0)
        return 0.0;
    const double departure = latMinutes * dLon * 60.0 / dM;
    const double sum = dLat * 60.0 * dLat * 60.0 + departure * departure;
    return sum == 0.0 ? 0.0 : std::sqrt(sum);
}

double m_b_d(double lat1, double lon1, double lat2, double lon2, double* course) {
    const double dLon = WrapOnce(lon2 - lon1);
    *course = m_angle(dLon * 60.0, m_diff(lat1 * kChartDegToRad, lat2 * kChartDegToRad));
    return m_distance(lat1, lon1, lat2, lon2);
}

long m_ttg(double lat1, double lon1, double lat2, double lon2, double speed) {
    const double t = std::trunc(m_distance(lat1, lon1, lat2, lon2) * 3600.0 / speed);
    // A zero or negative speed gives no finite time: saturate instead of converting an
    // out-of-range double (undefined behaviour).
    if (std::isnan(t))
        return 0;
    if (t >= static_cast<double>(LONG_MAX))
        return LONG_MAX;
    if (t <= static_cast<double>(LONG_MIN))
        return LONG_MIN;
    return static_cast<long>(t);
}

double m_advance_d(double* lat, double* lon, double distance, double course) {
    const bool east = std::fabs(course - 90.0) < 0.01;
    const bool west = std::fabs(course - 270.0) < 0.01;
    const double oldLat = *lat;
    const double newLat =
        (east || west) ? oldLat : oldLat + std::cos(course * kChartDegToRad) * distance / 60.0;
    double dLonMinutes;
    if (newLat == oldLat) {
        const double dM = MDeg(newLat + 0.0001) - MDeg(oldLat - 0.0001);
        dLonMinutes = dM * ((west ? -distance : distance) / 60.0) * 5000.0;
    } else {
        const double dM = MDeg(newLat) - MDeg(oldLat);
        double t = std::fabs(std::tan(course * kChartDegToRad));
        if ((course > 90.0 && course < 180.0) || (course > 270.0 && course < 360.0))
            t = -t;
        dLonMinutes = dM * t;
    }
    *lat = newLat;
    *lon = *lon + dLonMinutes / 60.0;
    return distance;
}

double m_advance_t(double* lat, double* lon, double speed, double seconds, double course) {
    return m_advance_d(lat, lon, speed * seconds / 3600.0, course);
}
