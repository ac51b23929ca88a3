// Polynomial georeferencing: terms, evaluation, best-degree fits, splits and the 180-degree
// wrap.
#include <tavola/Polynomial.h>

#include "LeastSquares.h"

#include <algorithm>
#include <vector>

namespace tavola {
namespace {

using detail::FitSample;

// Longitude of a point of a chart across the 180-degree meridian: east is shifted west.
double Wrapped(double longitude, bool wrap) {
    return wrap && longitude > 0.0 ? longitude - 360.0 : longitude;
}

std::vector<FitSample> PixelToWorldSamples(std::span<const GeoPoint> points) {
    std::vector<FitSample> s;
    s.reserve(points.size());
    for (const GeoPoint& p : points)
        s.push_back({p.x, p.y, p.lon, p.lat});
    return s;
}

std::vector<FitSample> WorldToPixelSamples(std::span<const GeoPoint> points) {
    std::vector<FitSample> s;
    s.reserve(points.size());
    for (const GeoPoint& p : points)
        s.push_back({p.lon, p.lat, p.x, p.y});
    return s;
}

// Best of degrees 1 to 3: degree d is fitted with at least 3, 6 or 10 samples; a higher
// degree must be strictly better, so on equal errors the lower degree wins.
void FindBest(std::span<const FitSample> samples, double* first, double* second, double* error) {
    double best1[kPolyTerms] = {}, best2[kPolyTerms] = {};
    double bestError = DBL_MAX;
    int bestDegree = 0;
    for (int degree = 1; degree <= 3; ++degree) {
        const std::size_t needed = degree == 1 ? 3 : degree == 2 ? 6 : 10;
        if (samples.size() < needed)
            break;
        double c1[kPolyTerms] = {}, c2[kPolyTerms] = {};
        const double e = detail::FitPolynomialPair(degree, samples, c1, c2);
        // The first fitted degree is taken even at the largest error.
        if (bestDegree == 0 || e < bestError) {
            bestError = e;
            bestDegree = degree;
            std::copy(c1, c1 + kPolyTerms, best1);
            std::copy(c2, c2 + kPolyTerms, best2);
        }
    }
    if (bestDegree == 0)
        return;
    std::copy(best1, best1 + kPolyTerms, first);
    std::copy(best2, best2 + kPolyTerms, second);
    *error = bestError;
}

// One direction of the fit: the whole chart into the lower-part polynomials, then the two
// halves split at the middle of `key` (each with at least 6 samples) when their errors
// together beat the whole chart's.  Returns the split value, DBL_MAX when not split.
template <typename Key>
double FitDirection(std::span<const FitSample> samples, Key key, double* lower1, double* lower2,
                    double* upper1, double* upper2) {
    double whole = DBL_MAX;
    FindBest(samples, lower1, lower2, &whole);
    if (samples.empty())
        return DBL_MAX;

    double lo = DBL_MAX, hi = -DBL_MAX;
    for (const FitSample& s : samples) {
        lo = std::min(lo, key(s));
        hi = std::max(hi, key(s));
    }
    const SplitBand split(lo, hi);
    std::vector<FitSample> lower, upper;
    for (const FitSample& s : samples) {
        if (split.InLower(key(s)))
            lower.push_back(s);
        if (split.InUpper(key(s)))
            upper.push_back(s);
    }
    if (lower.size() < 6 || upper.size() < 6)
        return DBL_MAX;
    double l1[kPolyTerms] = {}, l2[kPolyTerms] = {}, u1[kPolyTerms] = {}, u2[kPolyTerms] = {};
    double eL = DBL_MAX, eU = DBL_MAX;
    FindBest(lower, l1, l2, &eL);
    FindBest(upper, u1, u2, &eU);
    if (!(eL + eU < whole))
        return DBL_MAX;
    std::copy(l1, l1 + kPolyTerms, lower1);
    std::copy(l2, l2 + kPolyTerms, lower2);
    std::copy(u1, u1 + kPolyTerms, upper1);
    std::copy(u2, u2 + kPolyTerms, upper2);
    return split.mid;
}

} // namespace

int TermCount(int degree) {
    static constexpr int kTermsOfDegree[6] = {1, 3, 6, 10, 15, 21};
    return kTermsOfDegree[std::clamp(degree, 0, 5)];
}

double PolyTerm(int term, double a, double b) {
    switch (term) {
    case 0:
        return 1.0;
    case 1:
        return a;
    case 2:
        return b;
    case 3:
        return a * a;
    case 4:
        return a * b;
    case 5:
        return b * b;
    case 6:
        return a * a * a;
    case 7:
        return a * a * b;
    case 8:
        return a * b * b;
    case 9:
        return b * b * b;
    case 10:
        return a * a * a * a;
    case 11:
        return a * a * a * b;
    case 12:
        return a * a * b * b;
    case 13:
        return a * b * b * b;
    case 14:
        return b * b * b * b;
    case 15:
        return a * a * a * a * a;
    case 16:
        return a * a * a * a * b;
    case 17:
        return a * a * a * b * b;
    case 18:
        return a * a * b * b * b;
    case 19:
        return a * b * b * b * b;
    case 20:
        return b * b * b * b * b;
    default:
        return 0.0;
    }
}

double EvaluatePolynomial(const double* c, double a, double b) {
    // The 21 terms in term order, with the powers computed once.
    const double a2 = a * a, a3 = a2 * a, a4 = a3 * a, a5 = a4 * a;
    const double b2 = b * b, b3 = b2 * b, b4 = b3 * b, b5 = b4 * b;
    double s = c[0];
    s += c[1] * a + c[2] * b;
    s += c[3] * a2 + c[4] * a * b + c[5] * b2;
    s += c[6] * a3 + c[7] * a2 * b + c[8] * a * b2 + c[9] * b3;
    s += c[10] * a4 + c[11] * a3 * b + c[12] * a2 * b2 + c[13] * a * b3 + c[14] * b4;
    s += c[15] * a5 + c[16] * a4 * b + c[17] * a3 * b2 + c[18] * a2 * b3 + c[19] * a * b4 +
         c[20] * b5;
    return s;
}

void PolynomialGeoref::Reset() {
    *this = PolynomialGeoref{};
}

bool PolynomialGeoref::Straddles180(std::span<const GeoPoint> points) {
    const GeoPoint* left = nullptr;
    const GeoPoint* right = nullptr;
    for (const GeoPoint& p : points) {
        if (!left || p.x < left->x)
            left = &p;
        if (!right || p.x > right->x)
            right = &p;
    }
    return left && right && right->lon < 0.0 && left->lon > 0.0;
}

void PolynomialGeoref::Fit(std::span<const GeoPoint> points) {
    Reset();
    m_n180Wrap = Straddles180(points) ? 1 : 0;
    std::vector<GeoPoint> wrapped(points.begin(), points.end());
    for (GeoPoint& p : wrapped)
        p.lon = Wrapped(p.lon, m_n180Wrap != 0);

    const std::vector<FitSample> pw = PixelToWorldSamples(wrapped);
    m_dPWSplit = FitDirection(
        pw, [](const FitSample& s) { return s.b; }, m_dPWLonLower, m_dPWLatLower, m_dPWLonUpper,
        m_dPWLatUpper);
    const std::vector<FitSample> wp = WorldToPixelSamples(wrapped);
    m_dWPSplit = FitDirection(
        wp, [](const FitSample& s) { return s.b; }, m_dWPXLower, m_dWPYLower, m_dWPXUpper,
        m_dWPYUpper);
}

void PolynomialGeoref::PixelToWorld(double x, double y, double* longitude, double* latitude) const {
    const bool upper = SelectPW(y) != 0;
    double lon = EvaluatePolynomial(upper ? m_dPWLonUpper : m_dPWLonLower, x, y);
    *latitude = EvaluatePolynomial(upper ? m_dPWLatUpper : m_dPWLatLower, x, y);
    if (m_n180Wrap && lon < -180.0)
        lon += 360.0;
    *longitude = lon;
}

void PolynomialGeoref::WorldToPixel(double longitude, double latitude, double* x, double* y) const {
    longitude = Wrapped(longitude, m_n180Wrap != 0);
    const bool upper = SelectWP(latitude) != 0;
    *x = EvaluatePolynomial(upper ? m_dWPXUpper : m_dWPXLower, longitude, latitude);
    *y = EvaluatePolynomial(upper ? m_dWPYUpper : m_dWPYLower, longitude, latitude);
}

void PolynomialGeoref::FindBestPW(std::span<const GeoPoint> points, double* longitude,
                                  double* latitude, double* error) {
    FindBest(PixelToWorldSamples(points), longitude, latitude, error);
}

void PolynomialGeoref::FindBestWP(std::span<const GeoPoint> points, double* x, double* y,
                                  double* error) {
    FindBest(WorldToPixelSamples(points), x, y, error);
}

void PolynomialGeoref::SolvePW(int degree, std::span<const GeoPoint> points, double* longitude,
                               double* latitude, double* error) {
    *error = detail::FitPolynomialPair(degree, PixelToWorldSamples(points), longitude, latitude);
}

void PolynomialGeoref::SolveWP(int degree, std::span<const GeoPoint> points, double* x, double* y,
                               double* error) {
    *error = detail::FitPolynomialPair(degree, WorldToPixelSamples(points), x, y);
}

} // namespace tavola
