// Projected georeferencing: projection set-up and the affine maps to projected metres.
#include <tavola/ProjectedGeoref.h>

#include "LeastSquares.h"

#include <strings.h>
#include <vector>

namespace tavola {
namespace {

// The datum table entry whose ellipsoid every chart projection uses.
constexpr int kChartDatum = 17;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const std::size_t n = std::char_traits<char>::length(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

} // namespace

int ProjectedGeoref::KindOfName(const std::string& projection) {
    if (StartsWithNoCase(projection, "MERCATOR"))
        return kProjMercator;
    if (StartsWithNoCase(projection, "POLYCONIC"))
        return kProjPolyconic;
    if (StartsWithNoCase(projection, "UTM") || StartsWithNoCase(projection, "TRANSVERSE MERCATOR"))
        return kProjTM;
    if (StartsWithNoCase(projection, "LAMBERT"))
        return kProjLambert;
    return kProjNone;
}

void ProjectedGeoref::Reset() {
    *this = ProjectedGeoref{};
}

void ProjectedGeoref::Init(int kind, double p1, double p2, double p3, double p4,
                           std::span<const GeoPoint> points) {
    Reset();
    if (kind == kProjNone)
        return;
    m_nProjection = kind;
    project_init2(kind, p1, p2, p3, p4, kChartDatum, &m_Parms);
    std::vector<detail::FitSample> toPlane, toPixel;
    toPlane.reserve(points.size());
    toPixel.reserve(points.size());
    for (const GeoPoint& p : points) {
        double e = 0, n = 0;
        project_f(kind, &m_Parms, p.lat, p.lon, &e, &n);
        toPlane.push_back({p.x, p.y, e, n});
        toPixel.push_back({e, n, p.x, p.y});
    }
    // Only degree 1 is fitted, so the residuals choose nothing here.
    detail::FitPolynomialPair(1, toPlane, m_dAffPWE, m_dAffPWN);
    detail::FitPolynomialPair(1, toPixel, m_dAffWPX, m_dAffWPY);
}

void ProjectedGeoref::PixelToProjected(double x, double y, double* easting,
                                       double* northing) const {
    *easting = EvaluatePolynomial(m_dAffPWE, x, y);
    *northing = EvaluatePolynomial(m_dAffPWN, x, y);
}

void ProjectedGeoref::ProjectedToPixel(double easting, double northing, double* x,
                                       double* y) const {
    *x = EvaluatePolynomial(m_dAffWPX, easting, northing);
    *y = EvaluatePolynomial(m_dAffWPY, easting, northing);
}

void ProjectedGeoref::Forward(double longitude, double latitude, double* easting,
                              double* northing) const {
    project_f(m_nProjection, &m_Parms, latitude, longitude, easting, northing);
}

void ProjectedGeoref::Inverse(double easting, double northing, double* longitude,
                              double* latitude) const {
    project_i(m_nProjection, &m_Parms, easting, northing, latitude, longitude);
}

} // namespace tavola
