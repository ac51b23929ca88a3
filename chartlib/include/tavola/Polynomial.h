// Polynomial georeferencing: bivariate polynomials fitted by least squares between chart
// pixels and longitude/latitude, in both directions, pixel -> world ("pw") and world -> pixel
// ("wp").
//
// Model: a polynomial is 21 coefficients c[0..20] of the terms, for inputs (a, b),
//   1, a, b, a^2, ab, b^2, a^3, a^2 b, a b^2, b^3, a^4, ..., b^5
// (degree by degree, within degree d the terms a^(d-k) b^k for k = 0..d).  A fit of degree d
// uses the first 1, 3, 6, 10, 15 or 21 terms for d = 0..5 and leaves the others 0.
//
// Fit: least squares with the singular values of the design matrix below 1e-10 of the largest
// set to zero, so that a point set of deficient rank (collinear points) gets the minimum-norm
// solution.  A design whose Householder QR factor R proves every singular value well above
// that limit (||R||_F ||R^-1||_F < 1e8) has the ordinary least-squares solution and is solved
// with R; the others go through Eigen's Jacobi SVD.  Inputs are centred and scaled to [-1, 1]
// before each decomposition, so that this rule acts on a well-conditioned problem; the
// coefficients are then expressed in raw coordinates again.  The degree (1 to 3)
// is the one with the smallest summed squared residual, the lower degree winning ties; degree
// 1 needs 3 points, degree 2 six, degree 3 ten.  Each direction may be split at the middle of
// its range (pixel row for pw, latitude for wp) into two overlapping halves with a polynomial
// each, when their residuals together are smaller than the whole chart's.  Charts across the
// 180-degree meridian (leftmost reference point east, rightmost west) are fitted with the
// eastern longitudes shifted by -360.
//
// Accuracy: that of the reference points and of the polynomial model; a cubic on a
// 2500 x 2000 pixel chart reproduces a Lambert conformal conic projection to a few hundredths
// of a pixel.  Evaluation costs 21 multiplications and allocates nothing.
//
// Units: pixels as column (x, 0 at the left) and row (y, 0 at the top), doubles; longitude
// and latitude in decimal degrees, east and north positive.
#pragma once

#include <tavola/Export.h>

#include <cfloat>
#include <span>

namespace tavola {

/// Coefficients of one polynomial.
inline constexpr int kPolyTerms = 21;

/// Number of terms of a polynomial of `degree` (clamped to 0..5): 1, 3, 6, 10, 15 or 21.
TAVOLA_API int TermCount(int degree);
/// Value of term `term` (0..20, see above) at (a, b); 0 for any other term number.
TAVOLA_API double PolyTerm(int term, double a, double b);
/// Value of the polynomial with kPolyTerms coefficients `c` at (a, b), summed in term order.
TAVOLA_API double EvaluatePolynomial(const double* c, double a, double b);

/// A reference point as the fit sees it.
struct GeoPoint {
    double x = 0, y = 0;     // pixel column and row
    double lon = 0, lat = 0; // degrees
};

/// How a list is split at the middle of its values' range [lo, hi]: the lower half takes the
/// values below mid + band, the upper half those above mid - band, so the halves share a band
/// 20 % of the range wide.
struct SplitBand {
    SplitBand(double lo, double hi) : mid((hi + lo) * 0.5), band((hi - lo) * 0.1) {}
    bool InLower(double v) const { return v < mid + band; }
    bool InUpper(double v) const { return v > mid - band; }
    double mid;
    double band;
};

/// The pw and wp polynomials of one chart, their split values and its 180-degree wrap flag.
class TAVOLA_API PolynomialGeoref {
public:
    /// Back to the state before any fit: every coefficient 0, no split, no wrap.
    void Reset();
    /// Fits both directions from `points` (at least 3 for any fit; with fewer every
    /// conversion gives 0).  The points are not changed.
    void Fit(std::span<const GeoPoint> points);

    /// Pixel (x, y) to (longitude, latitude); longitudes of a wrapped chart come back in
    /// [-180, 180] where the fit gives them below -180.
    void PixelToWorld(double x, double y, double* longitude, double* latitude) const;
    /// (longitude, latitude) to pixel (x, y); a wrapped chart takes a longitude east of 0 as
    /// the same meridian 360 degrees west.
    void WorldToPixel(double longitude, double latitude, double* x, double* y) const;
    /// 1 (the upper-part polynomials) when pixel row y is greater than the pw split, that is
    /// towards the bottom of the chart; else 0 (the lower part, or the whole chart).
    int SelectPW(double y) const { return y > m_dPWSplit ? 1 : 0; }
    /// 1 (the upper-part polynomials) when the latitude is north of the wp split, else 0.
    int SelectWP(double latitude) const { return latitude > m_dWPSplit ? 1 : 0; }

    /// True when the leftmost point (smallest x, the first on ties) lies east of 0 and the
    /// rightmost (largest x, likewise) west of 0: the chart straddles the 180-degree meridian.
    static bool Straddles180(std::span<const GeoPoint> points);
    /// Best fit of degree 1 to 3 of longitude and latitude from pixels (pw) or of pixel x and
    /// y from longitude and latitude (wp); outputs (kPolyTerms each) and error untouched when
    /// no degree could be fitted (fewer than 3 points).
    static void FindBestPW(std::span<const GeoPoint> points, double* longitude, double* latitude,
                           double* error);
    static void FindBestWP(std::span<const GeoPoint> points, double* x, double* y, double* error);
    /// One least-squares fit of `degree`: writes the first TermCount(degree) coefficients of
    /// each output and the summed squared residuals of both (DBL_MAX for inputs that are not
    /// finite).
    static void SolvePW(int degree, std::span<const GeoPoint> points, double* longitude,
                        double* latitude, double* error);
    static void SolveWP(int degree, std::span<const GeoPoint> points, double* x, double* y,
                        double* error);

    int m_n180Wrap = 0;          // 1 when the chart straddles the 180-degree meridian
    double m_dPWSplit = DBL_MAX; // pixel row; DBL_MAX: not split
    double m_dWPSplit = DBL_MAX; // latitude; DBL_MAX: not split
    // wp: pixel x and y of the lower and upper parts, from (longitude, latitude).
    double m_dWPXLower[kPolyTerms] = {}, m_dWPXUpper[kPolyTerms] = {};
    double m_dWPYLower[kPolyTerms] = {}, m_dWPYUpper[kPolyTerms] = {};
    // pw: longitude and latitude of the lower and upper parts, from pixel (x, y).
    double m_dPWLonLower[kPolyTerms] = {}, m_dPWLonUpper[kPolyTerms] = {};
    double m_dPWLatLower[kPolyTerms] = {}, m_dPWLatUpper[kPolyTerms] = {};
};

} // namespace tavola
