// Projected georeferencing: for a chart whose reference file names its projection, the
// reference points are projected to plane coordinates (easting, northing in metres) and only
// an affine map is fitted between pixels and those coordinates, in both directions.
//
// Projection: one of <tavola/Projection.h> (Mercator, polyconic, transverse Mercator, Lambert
// conformal conic) on the ellipsoid of datum table entry 17 (see <tavola/Datum.h>).  The
// affine maps are degree-1 polynomials of <tavola/Polynomial.h>, fitted by least squares.
// Accuracy: that of the reference points (the sample chart reproduces its points within
// 0.001 pixel) and of the projection formulas.
//
// Units: pixels as column (x) and row (y), doubles; longitude and latitude in decimal
// degrees, east and north positive; easting and northing in metres.
#pragma once

#include <tavola/Export.h>
#include <tavola/Polynomial.h>
#include <tavola/Projection.h>

#include <span>
#include <string>

namespace tavola {

class TAVOLA_API ProjectedGeoref {
public:
    /// The projection kind a reference file's "Projection" value names, by prefix and
    /// ignoring case: "MERCATOR" 1, "POLYCONIC" 2, "UTM" or "TRANSVERSE MERCATOR" 3,
    /// "LAMBERT" 4; anything else 0.
    static int KindOfName(const std::string& projection);

    /// Back to no projection (kind 0), parameters and coefficients 0.
    void Reset();
    /// Sets up projection `kind` (1..4) with the parameters p1..p4 (degrees; see
    /// project_init2) on datum table entry 17, and fits the affine maps between the pixels of
    /// `points` and the projection of their longitudes and latitudes.  Kind 0 only resets.
    void Init(int kind, double p1, double p2, double p3, double p4,
              std::span<const GeoPoint> points);

    /// Pixel (x, y) to (easting, northing) by the affine map.
    void PixelToProjected(double x, double y, double* easting, double* northing) const;
    /// (easting, northing) to pixel (x, y) by the affine map.
    void ProjectedToPixel(double easting, double northing, double* x, double* y) const;
    /// The projection itself, forward and inverse (degrees, metres).
    void Forward(double longitude, double latitude, double* easting, double* northing) const;
    void Inverse(double easting, double northing, double* longitude, double* latitude) const;

    int m_nProjection = 0; // 0 none, 1 Mercator, 2 polyconic, 3 transverse Mercator, 4 Lambert
    tagPPARMS m_Parms = {};
    double m_dAffWPX[kPolyTerms] = {}, m_dAffWPY[kPolyTerms] = {}; // pixel x, y from (e, n)
    double m_dAffPWE[kPolyTerms] = {}, m_dAffPWN[kPolyTerms] = {}; // e, n from pixel (x, y)
};

} // namespace tavola
