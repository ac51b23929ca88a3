// Ellipsoidal Mercator, polyconic, transverse Mercator and Lambert conformal conic.
#include <tavola/Datum.h>
#include <tavola/Projection.h>
#include <tavola/Units.h>

#include <cmath>

namespace tavola {

const tagPPARMS kDefaultPParms = {6378137.0,
                                  0.0033528106647474805,
                                  0.08181919084262,
                                  0.006694379990141,
                                  4.48147234524e-05,
                                  3.000067879435e-07,
                                  0.0,
                                  0.0,
                                  1.0,
                                  0.0,
                                  0.0,
                                  0.0,
                                  0.0,
                                  0.0,
                                  0.0,
                                  0.0,
                                  0.0,
                                  0.0,
                                  0.0,
                                  0.0};

namespace {

constexpr double kK0 = 0.9996;
constexpr double kInvK0 = 1.0004001600640255;

const tagPPARMS& Parms(const tagPPARMS* parms) {
    return parms ? *parms : kDefaultPParms;
}

// The series coefficients of the meridian distance (without the factor a).
struct MeridianSeries {
    double c0, c2, c4, c6;
    explicit MeridianSeries(const tagPPARMS& p)
        : c0(1.0 - p.e2 / 4.0 - 3.0 * p.e4 / 64.0 - 5.0 * p.e6 / 256.0),
          c2(3.0 * p.e2 / 8.0 + 3.0 * p.e4 / 32.0 + 45.0 * p.e6 / 1024.0),
          c4(15.0 * p.e4 / 256.0 + 45.0 * p.e6 / 1024.0), c6(35.0 * p.e6 / 3072.0) {}
    double operator()(double phi) const {
        return c0 * phi - c2 * std::sin(2.0 * phi) + c4 * std::sin(4.0 * phi) -
               c6 * std::sin(6.0 * phi);
    }
    double derivative(double phi) const {
        return c0 - 2.0 * c2 * std::cos(2.0 * phi) + 4.0 * c4 * std::cos(4.0 * phi) -
               6.0 * c6 * std::cos(6.0 * phi);
    }
};

// ((1 - e sin phi) / (1 + e sin phi))^(e/2)
double ConformalFactor(const tagPPARMS& p, double phi) {
    const double es = p.e * std::sin(phi);
    return std::pow((1.0 - es) / (1.0 + es), p.e / 2.0);
}

double LccT(const tagPPARMS& p, double phi) {
    return std::tan(kChartQuarterPi - phi / 2.0) / ConformalFactor(p, phi);
}

double LccM(const tagPPARMS& p, double phi) {
    const double s = std::sin(phi);
    return std::cos(phi) / std::sqrt(1.0 - p.e2 * s * s);
}

void FillEllipsoid(int datum, tagPPARMS* parms) {
    parms->a = DatumA(datum);
    parms->f = DatumF(datum);
    parms->e2 = 2.0 * parms->f - parms->f * parms->f;
    parms->e = std::sqrt(parms->e2);
    parms->e4 = std::pow(parms->e, 4.0);
    parms->e6 = std::pow(parms->e, 6.0);
}

void InitKind(int kind, double p1, double p2, double p3, double p4, tagPPARMS* parms) {
    switch (kind) {
    case kProjMercator:
        mercator_init(p1, p2, parms);
        break;
    case kProjPolyconic:
        polyconic_init(0.0, p2, parms);
        break;
    case kProjTM:
        utm_init(p1, p2, parms);
        break;
    case kProjLambert:
        lambert_init(p1, p2, p3, p4, parms);
        break;
    default:
        break;
    }
}

} // namespace
} // namespace tavola

using namespace tavola;

double meridian_distance(const tagPPARMS* parms, double phi) {
    const tagPPARMS& p = Parms(parms);
    return p.a * MeridianSeries(p)(phi);
}

void project_init(int kind, double p1, double p2, int datum, tagPPARMS* parms) {
    if (!parms)
        return;
    FillEllipsoid(datum, parms);
    InitKind(kind, p1, p2, p1, p1, parms);
}

void project_init2(int kind, double p1, double p2, double p3, double p4, int datum,
                   tagPPARMS* parms) {
    if (!parms)
        return;
    FillEllipsoid(datum, parms);
    InitKind(kind, p1, p2, p3, p4, parms);
}

void project_f(int kind, const tagPPARMS* parms, double latitude, double longitude, double* easting,
               double* northing) {
    switch (kind) {
    case kProjMercator:
        mercator_f(parms, latitude, longitude, easting, northing);
        break;
    case kProjPolyconic:
        polyconic_f(parms, latitude, longitude, easting, northing);
        break;
    case kProjTM:
        utm_f(parms, latitude, longitude, easting, northing);
        break;
    case kProjLambert:
        lambert_f(parms, latitude, longitude, easting, northing);
        break;
    default:
        break;
    }
}

void project_i(int kind, const tagPPARMS* parms, double easting, double northing, double* latitude,
               double* longitude) {
    switch (kind) {
    case kProjMercator:
        mercator_i(parms, easting, northing, latitude, longitude);
        break;
    case kProjPolyconic:
        polyconic_i(parms, easting, northing, latitude, longitude);
        break;
    case kProjTM:
        utm_i(parms, easting, northing, latitude, longitude);
        break;
    case kProjLambert:
        lambert_i(parms, easting, northing, latitude, longitude);
        break;
    default:
        break;
    }
}

// ---- Mercator ---------------------------------------------------------------------------

void mercator_init(double phi0, double lambda0, tagPPARMS* parms) {
    parms->phi0 = phi0 * kChartDegToRad;
    parms->lambda0 = lambda0 * kChartDegToRad;
    const double s = std::sin(parms->phi0);
    parms->mercK = std::cos(parms->phi0) / std::sqrt(1.0 - parms->e2 * s * s);
}

void mercator_f(const tagPPARMS* parms, double latitude, double longitude, double* easting,
                double* northing) {
    const tagPPARMS& p = Parms(parms);
    const double phi = latitude * kChartDegToRad, lam = longitude * kChartDegToRad;
    *easting = p.a * (lam - p.lambda0);
    *northing =
        p.a * std::log(std::fabs(std::tan(kChartQuarterPi + phi / 2.0)) * ConformalFactor(p, phi));
}

void mercator_i(const tagPPARMS* parms, double easting, double northing, double* latitude,
                double* longitude) {
    const tagPPARMS& p = Parms(parms);
    *longitude = (easting / p.a + p.lambda0) * kChartRadToDeg;
    const double t = std::pow(2.71828182846, -northing / p.a);
    double phi = kChartHalfPi - 2.0 * std::atan(t);
    // The iteration converges in a handful of steps for finite input; the bound only ends
    // it for input that never converges (NaN, infinities).
    for (int i = 0; i < kMaxInverseIterations; ++i) {
        const double next = kChartHalfPi - 2.0 * std::atan(t * ConformalFactor(p, phi));
        const double change = std::fabs(next - phi) * kChartRadToDeg;
        phi = next;
        if (change <= 1e-07)
            break;
    }
    *latitude = phi * kChartRadToDeg;
}

// ---- Polyconic --------------------------------------------------------------------------

void polyconic_init(double phi0, double lambda0, tagPPARMS* parms) {
    parms->phi0 = phi0 * kChartDegToRad;
    parms->lambda0 = lambda0 * kChartDegToRad;
    parms->polyM0 = meridian_distance(parms, parms->phi0);
}

void polyconic_f(const tagPPARMS* parms, double latitude, double longitude, double* easting,
                 double* northing) {
    const tagPPARMS& p = Parms(parms);
    const double phi = latitude * kChartDegToRad, lam = longitude * kChartDegToRad;
    if (phi == 0.0) {
        *easting = p.a * (lam - p.lambda0);
        *northing = -p.polyM0;
        return;
    }
    const double s = std::sin(phi);
    const double n = p.a / std::sqrt(1.0 - p.e2 * s * s);
    const double e = (lam - p.lambda0) * s;
    const double cot = 1.0 / std::tan(phi);
    *easting = n * cot * std::sin(e);
    *northing = p.a * MeridianSeries(p)(phi) - p.polyM0 + n * cot * (1.0 - std::cos(e));
}

void polyconic_i(const tagPPARMS* parms, double easting, double northing, double* latitude,
                 double* longitude) {
    const tagPPARMS& p = Parms(parms);
    if (northing == -p.polyM0) {
        *latitude = 0.0;
        *longitude = (easting / p.a + p.lambda0) * kChartRadToDeg;
        return;
    }
    const MeridianSeries m(p);
    const double A = (p.polyM0 + northing) / p.a;
    const double B = easting * easting / (p.a * p.a) + A * A;
    double phi = A;
    auto cOf = [&](double f) {
        const double s = std::sin(f);
        return std::sqrt(1.0 - p.e2 * s * s) * std::tan(f);
    };
    // Newton iteration; bounded so that input that never converges still ends.
    for (int i = 0; i < kMaxInverseIterations; ++i) {
        const double C = cOf(phi);
        const double Ma = m(phi);
        const double Mp = m.derivative(phi);
        const double s2 = std::sin(2.0 * phi);
        const double num = A * (C * Ma + 1.0) - Ma - 0.5 * (Ma * Ma + B) * C;
        const double den = p.e2 * s2 * (Ma * Ma + B - 2.0 * A * Ma) / (4.0 * C) +
                           (A - Ma) * (C * Mp - 2.0 / s2) - Mp;
        const double change = num / den;
        phi -= change;
        if (!(std::fabs(change) > 1e-07))
            break;
    }
    const double C = cOf(phi);
    *latitude = phi * kChartRadToDeg;
    *longitude = (std::asin(easting * C / p.a) / std::sin(phi) + p.lambda0) * kChartRadToDeg;
}

// ---- Transverse Mercator ----------------------------------------------------------------

void utm_init(double phi0, double lambda0, tagPPARMS* parms) {
    tagPPARMS& p = *parms;
    p.phi0 = phi0 * kChartDegToRad;
    p.lambda0 = lambda0 * kChartDegToRad;
    p.tmEp2 = p.e2 / (1.0 - p.e2);
    const double r = std::sqrt(1.0 - p.e2);
    p.tmE1 = (1.0 - r) / (1.0 + r);
    p.tmA0 = p.a * (1.0 - p.e2 / 4.0 - 3.0 * p.e4 / 64.0 - 5.0 * p.e6 / 256.0);
    p.tmA2 = p.a * (3.0 * p.e2 / 8.0 + 3.0 * p.e4 / 32.0 + 45.0 * p.e6 / 1024.0);
    p.tmA4 = p.a * (15.0 * p.e4 / 256.0 + 45.0 * p.e6 / 1024.0);
    p.tmA6 = p.a * (35.0 * p.e6 / 3072.0);
    p.tmM0 = p.tmA0 * p.phi0 - p.tmA2 * std::sin(2.0 * p.phi0) + p.tmA4 * std::sin(4.0 * p.phi0) -
             p.tmA6 * std::sin(6.0 * p.phi0);
}

void utm_f(const tagPPARMS* parms, double latitude, double longitude, double* easting,
           double* northing) {
    const tagPPARMS& p = Parms(parms);
    const double phi = latitude * kChartDegToRad, lam = longitude * kChartDegToRad;
    const double s = std::sin(phi), c = std::cos(phi), tn = std::tan(phi);
    const double N = p.a / std::sqrt(1.0 - p.e2 * s * s);
    const double T = tn * tn;
    const double C = p.tmEp2 * c * c;
    const double A = (lam - p.lambda0) * c;
    const double M = p.tmA0 * phi - p.tmA2 * std::sin(2.0 * phi) + p.tmA4 * std::sin(4.0 * phi) -
                     p.tmA6 * std::sin(6.0 * phi);
    const double A2 = A * A, A3 = A2 * A, A4 = A3 * A, A5 = A4 * A, A6 = A5 * A;
    *easting = kK0 * N *
               (A + (1.0 - T + C) * A3 / 6.0 +
                (5.0 - 18.0 * T + T * T + 72.0 * C - 58.0 * p.tmEp2) * A5 / 120.0);
    *northing = kK0 * (M - p.tmM0 +
                       N * tn *
                           (A2 / 2.0 + (5.0 - T + 9.0 * C + 4.0 * C * C) * A4 / 24.0 +
                            (61.0 - 58.0 * T + T * T + 600.0 * C - 330.0 * p.tmEp2) * A6 / 720.0));
}

void utm_i(const tagPPARMS* parms, double easting, double northing, double* latitude,
           double* longitude) {
    const tagPPARMS& p = Parms(parms);
    const double M = northing * kInvK0 + p.tmM0;
    const double mu = M / p.tmA0;
    const double e1 = p.tmE1, e1_2 = e1 * e1, e1_3 = e1_2 * e1, e1_4 = e1_3 * e1;
    const double phi1 = mu + (3.0 * e1 / 2.0 - 27.0 * e1_3 / 32.0) * std::sin(2.0 * mu) +
                        (21.0 * e1_2 / 16.0 - 55.0 * e1_4 / 32.0) * std::sin(4.0 * mu) +
                        (151.0 * e1_3 / 96.0) * std::sin(6.0 * mu) +
                        (1097.0 * e1_4 / 512.0) * std::sin(8.0 * mu);
    const double s = std::sin(phi1), c = std::cos(phi1), tn = std::tan(phi1);
    const double C1 = p.tmEp2 * c * c;
    const double T1 = tn * tn;
    const double w = 1.0 - p.e2 * s * s;
    const double N1 = p.a / std::sqrt(w);
    const double R1 = p.a * (1.0 - p.e2) / std::pow(w, 1.5);
    const double D = easting / (N1 * kK0);
    const double D2 = D * D, D3 = D2 * D, D4 = D3 * D, D5 = D4 * D, D6 = D5 * D;
    const double lat =
        phi1 -
        (N1 * tn / R1) *
            (D2 / 2.0 - (5.0 + 3.0 * T1 + 10.0 * C1 - 4.0 * C1 * C1 - 9.0 * p.tmEp2) * D4 / 24.0 +
             (61.0 + 90.0 * T1 + 298.0 * C1 + 45.0 * T1 * T1 - 252.0 * p.tmEp2 - 3.0 * C1 * C1) *
                 D6 / 720.0);
    const double lon =
        p.lambda0 + (D - (1.0 + 2.0 * T1 + C1) * D3 / 6.0 +
                     (5.0 - 2.0 * C1 + 28.0 * T1 - 3.0 * C1 * C1 + 8.0 * p.tmEp2 + 24.0 * T1 * T1) *
                         D5 / 120.0) /
                        c;
    *latitude = lat * kChartRadToDeg;
    *longitude = lon * kChartRadToDeg;
}

// ---- Lambert conformal conic ------------------------------------------------------------

void lambert_init(double phi0, double lambda0, double phi1, double phi2, tagPPARMS* parms) {
    tagPPARMS& p = *parms;
    const double f0 = phi0 * kChartDegToRad, f1 = phi1 * kChartDegToRad, f2 = phi2 * kChartDegToRad;
    const double m1 = LccM(p, f1), m2 = LccM(p, f2);
    const double t0 = LccT(p, f0), t1 = LccT(p, f1), t2 = LccT(p, f2);
    const double n = (phi1 == phi2) ? std::sin(f1)
                                    : (std::log(m1) - std::log(m2)) / (std::log(t1) - std::log(t2));
    const double F = m1 / (n * std::pow(t1, n));
    p.phi0 = f0;
    p.lambda0 = lambda0 * kChartDegToRad;
    p.lccN = n;
    p.lccF = F;
    p.lccRho0 = p.a * F * std::pow(t0, n);
}

void lambert_f(const tagPPARMS* parms, double latitude, double longitude, double* easting,
               double* northing) {
    const tagPPARMS& p = Parms(parms);
    const double phi = latitude * kChartDegToRad, lam = longitude * kChartDegToRad;
    const double rho = p.a * p.lccF * std::pow(LccT(p, phi), p.lccN);
    const double theta = p.lccN * (lam - p.lambda0);
    *easting = rho * std::sin(theta);
    *northing = p.lccRho0 - rho * std::cos(theta);
}

void lambert_i(const tagPPARMS* parms, double easting, double northing, double* latitude,
               double* longitude) {
    const tagPPARMS& p = Parms(parms);
    const double dy = p.lccRho0 - northing;
    double rho = std::sqrt(easting * easting + dy * dy);
    if (p.lccN < 0.0)
        rho = -rho;
    const double t = std::pow(rho / (p.a * p.lccF), 1.0 / p.lccN);
    const double theta = p.lccN > 0.0 ? std::atan2(easting, dy) : std::atan2(-easting, -dy);
    double phi = kChartHalfPi - 2.0 * std::atan(t);
    for (int i = 0; i < 20; ++i) {
        const double next = kChartHalfPi - 2.0 * std::atan(t * ConformalFactor(p, phi));
        const double change = std::fabs(next - phi);
        phi = next;
        if (!(change > 1e-07))
            break;
    }
    *latitude = phi * kChartRadToDeg;
    *longitude = (theta / p.lccN + p.lambda0) * kChartRadToDeg;
}
