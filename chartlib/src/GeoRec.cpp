// CGEORec: the reference file record with its polynomial and projected conversions.
#include <tavola/GeoRec.h>

#include "LeastSquares.h"

#include <numbers/Numbers.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <set>
#include <utility>
#include <vector>

namespace {

using tavola::GeoPoint;

std::vector<GeoPoint> GeoPointsOf(const RefPointList& points) {
    std::vector<GeoPoint> v;
    v.reserve(points.size());
    for (const auto& p : points)
        v.push_back({double(p->m_nX), double(p->m_nY), p->m_dLongitude, p->m_dLatitude});
    return v;
}

// Pixel coordinate from a conversion result, truncated toward zero; values that are not
// finite or lie outside int become 0 or the nearest int instead of undefined behaviour.
int TruncPixel(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(v);
}

int ClampInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
}

void ComputeVertexPixels(CGEORec& rec) {
    for (auto& v : rec.m_Vertices) {
        double x = 0, y = 0;
        rec.wpxy(v->m_dLongitude, v->m_dLatitude, &x, &y);
        v->m_nX = TruncPixel(x);
        v->m_nY = TruncPixel(y);
    }
}

template <typename Value>
void SplitList(const RefPointList& all, RefPointList& lower, RefPointList& upper, double* split,
               Value value) {
    double lo = DBL_MAX, hi = -DBL_MAX;
    for (const auto& p : all) {
        lo = std::min(lo, value(*p));
        hi = std::max(hi, value(*p));
    }
    const tavola::SplitBand band(lo, hi);
    *split = band.mid;
    for (const auto& p : all) {
        if (band.InLower(value(*p)))
            lower.push_back(std::make_unique<CRefPoint>(*p));
        if (band.InUpper(value(*p)))
            upper.push_back(std::make_unique<CRefPoint>(*p));
    }
}

std::size_t DistinctCount(const std::vector<std::pair<double, double>>& positions) {
    return std::set<std::pair<double, double>>(positions.begin(), positions.end()).size();
}

// Why the conversions just fitted for `rec` cannot be used, or empty when they can: too few
// distinct points, points on one line in the inputs of either direction of the fit, or values
// that are not finite.
std::string ProblemOfFit(const CGEORec& rec) {
    const std::size_t n = rec.m_RefPoints.size();
    if (n == 0)
        return CGEORec::kNoReferencePoints;
    if (n < 3)
        return "only " + std::to_string(n) + (n == 1 ? " reference point" : " reference points") +
               ", at least three are needed";
    const bool projected = rec.m_Projection.m_nProjection != 0;
    const bool wrap = rec.m_Polynomials.m_n180Wrap != 0;
    std::vector<std::pair<double, double>> pixelsAt, worldAt;
    std::vector<tavola::detail::FitSample> pixels, world;
    for (const auto& p : rec.m_RefPoints) {
        if (!std::isfinite(p->m_dLongitude) || !std::isfinite(p->m_dLatitude))
            return "reference point " + p->m_strName +
                   " has a position that is not a finite number";
        // The inputs of the world-to-pixel fit: projected metres, or the longitude the
        // polynomials were fitted with (east shifted west across the 180-degree meridian).
        double a = p->m_dLongitude, b = p->m_dLatitude;
        if (projected)
            rec.ProjFwd(p->m_dLongitude, p->m_dLatitude, &a, &b);
        else if (wrap && a > 0.0)
            a -= 360.0;
        if (!std::isfinite(a) || !std::isfinite(b))
            return "reference point " + p->m_strName +
                   " has no finite position in the chart's projection";
        pixelsAt.emplace_back(p->m_nX, p->m_nY);
        worldAt.emplace_back(p->m_dLongitude, p->m_dLatitude);
        pixels.push_back({double(p->m_nX), double(p->m_nY), 0.0, 0.0});
        world.push_back({a, b, 0.0, 0.0});
    }
    if (const std::size_t d = DistinctCount(pixelsAt); d < 3)
        return "the reference points have only " + std::to_string(d) +
               (d == 1 ? " distinct pixel position" : " distinct pixel positions") +
               ", at least three are needed";
    if (const std::size_t d = DistinctCount(worldAt); d < 3)
        return "the reference points have only " + std::to_string(d) +
               (d == 1 ? " distinct longitude and latitude"
                       : " distinct longitudes and latitudes") +
               ", at least three are needed";
    if (!tavola::detail::InputsSpanAPlane(pixels, CGEORec::kLineConditionLimit))
        return "the reference points lie on one line on the chart";
    if (!tavola::detail::InputsSpanAPlane(world, CGEORec::kLineConditionLimit))
        return projected ? "the reference points lie on one line in the chart's projection"
                         : "the reference points lie on one line in longitude and latitude";
    for (const auto& p : rec.m_RefPoints) {
        double lon = 0, lat = 0, x = 0, y = 0;
        rec.pwxy(p->m_nX, p->m_nY, &lon, &lat);
        rec.wpxy(p->m_dLongitude, p->m_dLatitude, &x, &y);
        if (!std::isfinite(lon) || !std::isfinite(lat) || !std::isfinite(x) || !std::isfinite(y))
            return "the reference data give positions that are not finite numbers (at reference "
                   "point " +
                   p->m_strName + ")";
    }
    return {};
}

} // namespace

CGEORec::CGEORec() = default;
CGEORec::~CGEORec() = default;

// ---- reference file ---------------------------------------------------------------------------

void CGEORec::ReadGEO(const std::string& path, int referenceOnly) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        // The record is left as it is; only the reason it has no reference data is told.
        if (!HasReferenceData())
            m_strReferenceProblem = "no reference file (" + path + " cannot be read)";
        return;
    }
    ReadGEOStream(in, referenceOnly);
}

void CGEORec::ReadGEOStream(std::istream& in, int referenceOnly) {
    tavola::ReadReferenceFile(in, *this, [this]() -> tavola::ReferenceRecord& {
        m_Insets.push_back(std::make_unique<CGEORec>());
        return *m_Insets.back();
    });
    if (referenceOnly != 0) {
        if (!HasReferenceData())
            m_strReferenceProblem = "the reference file was read without fitting";
        return;
    }
    m_nLeft = m_nTop = m_nRight = m_nBottom = 0;
    solvepoly();
    ComputeVertexPixels(*this);
    for (auto& inset : m_Insets) {
        inset->solvepoly();
        ComputeVertexPixels(*inset);
        if (inset->m_RefPoints.empty()) {
            inset->m_nLeft = inset->m_nTop = inset->m_nRight = inset->m_nBottom = 0;
            continue;
        }
        int minX = INT_MAX, maxX = INT_MIN, minY = INT_MAX, maxY = INT_MIN;
        for (const auto& p : inset->m_RefPoints) {
            minX = std::min(minX, p->m_nX);
            maxX = std::max(maxX, p->m_nX);
            minY = std::min(minY, p->m_nY);
            maxY = std::max(maxY, p->m_nY);
        }
        inset->m_nLeft = ClampInt(std::int64_t{minX} - 80);
        inset->m_nTop = ClampInt(std::int64_t{minY} - 80);
        inset->m_nRight = ClampInt(std::int64_t{maxX} + 80);
        inset->m_nBottom = ClampInt(std::int64_t{maxY} + 80);
    }
}

std::string CGEORec::deg2dms(double d) {
    // An infinite or undefined angle (a reference file may hold "1e999") has no degrees,
    // minutes and seconds: it is named, with the sign rule of the finite form.
    if (!std::isfinite(d))
        return std::isnan(d) ? "-nan" : d > 0 ? "+inf" : "-inf";
    const double a = std::fabs(d);
    const double whole = std::floor(a);
    const double f = a - whole;
    const double minutes = std::floor(f * 60.0);
    const double seconds = f * 3600.0 - minutes * 60.0;
    return numbers::Format(d > 0 ? "+%3.3d %2.2d %05.2f" : "-%3.3d %2.2d %05.2f", TruncPixel(whole),
                           static_cast<int>(minutes), seconds);
}

// ---- georeferencing ---------------------------------------------------------------------------

void CGEORec::solvepoly() {
    const std::vector<GeoPoint> points = GeoPointsOf(m_RefPoints);
    m_Polynomials.Reset();
    m_Polynomials.m_n180Wrap = tavola::PolynomialGeoref::Straddles180(points) ? 1 : 0;
    ProjectionInit();
    if (m_Projection.m_nProjection == 0)
        m_Polynomials.Fit(points);
    m_strReferenceProblem = ProblemOfFit(*this);
}

void CGEORec::pwxy(double x, double y, double* longitude, double* latitude) const {
    if (m_Projection.m_nProjection == 0) {
        m_Polynomials.PixelToWorld(x, y, longitude, latitude);
        return;
    }
    // A chart across the 180-degree meridian is never projected, so no wrap applies here.
    double e = 0, n = 0;
    m_Projection.PixelToProjected(x, y, &e, &n);
    ProjInv(e, n, longitude, latitude);
}

void CGEORec::wpxy(double longitude, double latitude, double* x, double* y) const {
    if (m_Projection.m_nProjection == 0) {
        m_Polynomials.WorldToPixel(longitude, latitude, x, y);
        return;
    }
    double e = 0, n = 0;
    ProjFwd(longitude, latitude, &e, &n);
    m_Projection.ProjectedToPixel(e, n, x, y);
}

double CGEORec::pwx(double x, double y) const {
    double lon, lat;
    pwxy(x, y, &lon, &lat);
    return lon;
}
double CGEORec::pwy(double x, double y) const {
    double lon, lat;
    pwxy(x, y, &lon, &lat);
    return lat;
}
double CGEORec::wpx(double longitude, double latitude) const {
    double x, y;
    wpxy(longitude, latitude, &x, &y);
    return x;
}
double CGEORec::wpy(double longitude, double latitude) const {
    double x, y;
    wpxy(longitude, latitude, &x, &y);
    return y;
}

double CGEORec::Evaluate(const double* coefficients, double a, double b) {
    return tavola::EvaluatePolynomial(coefficients, a, b);
}
double CGEORec::polyfunc(int term, double a, double b) {
    return tavola::PolyTerm(term, a, b);
}
int CGEORec::SelectPWpoly(double, double y) const {
    return m_Polynomials.SelectPW(y);
}
int CGEORec::SelectWPpoly(double, double latitude) const {
    return m_Polynomials.SelectWP(latitude);
}

void CGEORec::FindBestPolyPW(const RefPointList& points, double* first, double* second,
                             double* error) {
    tavola::PolynomialGeoref::FindBestPW(GeoPointsOf(points), first, second, error);
}
void CGEORec::FindBestPolyWP(const RefPointList& points, double* first, double* second,
                             double* error) {
    tavola::PolynomialGeoref::FindBestWP(GeoPointsOf(points), first, second, error);
}
void CGEORec::SolveSVDpw(int degree, const RefPointList& points, double* first, double* second,
                         double* error) {
    tavola::PolynomialGeoref::SolvePW(degree, GeoPointsOf(points), first, second, error);
}
void CGEORec::SolveSVDwp(int degree, const RefPointList& points, double* first, double* second,
                         double* error) {
    tavola::PolynomialGeoref::SolveWP(degree, GeoPointsOf(points), first, second, error);
}

void CGEORec::SplitListNSpw(const RefPointList& all, RefPointList& lower, RefPointList& upper,
                            double* split) {
    SplitList(all, lower, upper, split, [](const CRefPoint& p) { return double(p.m_nY); });
}
void CGEORec::SplitListNSwp(const RefPointList& all, RefPointList& lower, RefPointList& upper,
                            double* split) {
    SplitList(all, lower, upper, split, [](const CRefPoint& p) { return p.m_dLatitude; });
}

void CGEORec::Check180Wrap(const RefPointList& points) {
    m_Polynomials.m_n180Wrap = tavola::PolynomialGeoref::Straddles180(GeoPointsOf(points)) ? 1 : 0;
}

void CGEORec::WrapLongitude(RefPointList& points) const {
    if (!m_Polynomials.m_n180Wrap)
        return;
    for (auto& p : points)
        if (p->m_dLongitude > 0.0)
            p->m_dLongitude -= 360.0;
}

void CGEORec::UnWrapLongitude(RefPointList& points) const {
    if (!m_Polynomials.m_n180Wrap)
        return;
    for (auto& p : points)
        if (p->m_dLongitude < -180.0)
            p->m_dLongitude += 360.0;
}

// ---- projection-based georeferencing --------------------------------------------------------

void CGEORec::ProjectionInit() {
    m_Projection.Reset();
    if (m_Polynomials.m_n180Wrap)
        return;
    const int kind = tavola::ProjectedGeoref::KindOfName(m_strProjection);
    if (kind == tavola::kProjNone)
        return;
    std::vector<GeoPoint> points = GeoPointsOf(m_RefPoints);
    for (GeoPoint& p : points) {
        p.lon += m_dLongitudeOffset;
        p.lat += m_dLatitudeOffset;
    }
    MinMeanMaxLL();
    auto value = [](const std::string& text, double fallback) {
        return text.empty() ? fallback : numbers::ToDouble(text);
    };
    m_Projection.Init(kind, value(m_strP1, m_dMidLat), value(m_strPP, m_dMidLon),
                      value(m_strP5, m_dMidLat), value(m_strP6, m_dMidLat), points);
}

void CGEORec::ProjFwd(double longitude, double latitude, double* easting, double* northing) const {
    m_Projection.Forward(longitude + m_dLongitudeOffset, latitude + m_dLatitudeOffset, easting,
                         northing);
}

void CGEORec::ProjInv(double easting, double northing, double* longitude, double* latitude) const {
    double lon = 0, lat = 0;
    m_Projection.Inverse(easting, northing, &lon, &lat);
    *longitude = lon - m_dLongitudeOffset;
    *latitude = lat - m_dLatitudeOffset;
}

void CGEORec::ProjFwdWGS84(double longitude, double latitude, double* easting,
                           double* northing) const {
    m_Projection.Forward(longitude, latitude, easting, northing);
}

void CGEORec::ProjInvWGS84(double easting, double northing, double* longitude,
                           double* latitude) const {
    m_Projection.Inverse(easting, northing, longitude, latitude);
}
