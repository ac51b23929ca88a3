// The georeferencing record of a chart: the content of its reference file and the conversions
// between chart pixels and the earth fitted from it.
//
// CGEORec is the reference file record (<tavola/ReferenceFile.h>) of the chart itself, with
// one further CGEORec per "[Inset" section, plus the conversions fitted from its reference
// points:
//  - without a known projection: the pw and wp polynomials of degree 1 to 3, split at the
//    middle where that fits better, with the 180-degree wrap (<tavola/Polynomial.h>);
//  - with a projection named Mercator, polyconic, UTM/transverse Mercator or Lambert: the
//    points projected on the ellipsoid of datum table entry 17 and an affine map between
//    pixels and projected metres (<tavola/ProjectedGeoref.h>).  The reference file's latitude
//    and longitude offsets are added to positions before they are projected and subtracted
//    after the inverse.
// Accuracy: see those headers; the sample chart (Lambert) reproduces its reference points
// within 0.001 pixel.
//
// Coordinates: pixel x = column (0 at the left), pixel y = row (0 at the top), as doubles;
// longitude and latitude in decimal degrees, east and north positive.  Every conversion
// takes its inputs in the order (x, y) or (longitude, latitude).  Before a fit, or with fewer
// than 3 reference points, all conversions return 0.
//
// Usable reference data: HasReferenceData() says whether the last fit can convert positions at
// all.  It cannot without a reference file, with fewer than three distinct reference points,
// with points on one line (on the chart, or in longitude and latitude, or in the projected
// plane for a projected chart: the fit is then undetermined across that line), with positions
// that are not finite, or when the fitted conversions give values that are not finite (an
// offset or projection parameter such as "nan").  The conversions of such a record are still
// what the fit gives (zero, one constant point or the minimum-norm solution); users that place
// or read positions check HasReferenceData() first and treat the chart as one without
// reference data.  ReferenceProblem() says why, for messages.
#pragma once

#include <tavola/Export.h>
#include <tavola/Polynomial.h>
#include <tavola/ProjectedGeoref.h>
#include <tavola/ReferenceFile.h>

#include <istream>
#include <list>
#include <memory>
#include <string>

class CGEORec;
using GeoRecList = std::list<std::unique_ptr<CGEORec>>;

class TAVOLA_API CGEORec : public tavola::ReferenceRecord {
public:
    CGEORec();
    ~CGEORec();
    CGEORec(const CGEORec&) = delete;
    CGEORec& operator=(const CGEORec&) = delete;

    // ---- reference file ---------------------------------------------------------------------
    // Reads the reference file at `path` into this record (and new inset records), see
    // tavola::ReadReferenceFile.  When referenceOnly is 0 it then fits the conversions of this
    // record and of every inset, computes the vertices' pixels (truncated toward zero) and
    // sets this record's rectangle to 0 and each inset's to its reference points' bounding
    // box widened by 80 pixels.  A file that cannot be opened leaves the record unchanged.
    void ReadGEO(const std::string& path, int referenceOnly);
    // The same from an open stream (used by ReadGEO and by tests).
    void ReadGEOStream(std::istream& in, int referenceOnly);

    // Formats an angle in degrees as "+DDD MM SS.ss" (d > 0) or "-DDD MM SS.ss" (otherwise),
    // in the C locale; "+inf", "-inf" or "-nan" for an angle that is not finite.
    static std::string deg2dms(double degrees);

    // ---- georeferencing ---------------------------------------------------------------------
    // Fits every conversion from the reference points (which it leaves unchanged): the
    // projected georeference when the "Projection" value names a known projection and the
    // chart does not straddle the 180-degree meridian, else the polynomials.
    void solvepoly();
    double pwx(double x, double y) const;
    double pwy(double x, double y) const;
    void pwxy(double x, double y, double* longitude, double* latitude) const;
    double wpx(double longitude, double latitude) const;
    double wpy(double longitude, double latitude) const;
    void wpxy(double longitude, double latitude, double* x, double* y) const;

    // Value of the 21-term polynomial `coefficients` at (a, b).
    static double Evaluate(const double* coefficients, double a, double b);
    // Value of term `term` (0..20) at (a, b); 0 for other terms.
    static double polyfunc(int term, double a, double b);
    int SelectPWpoly(double x, double y) const;
    int SelectWPpoly(double longitude, double latitude) const;

    // Fit of degree 1 to 3, the smallest residual winning; outputs untouched if no degree
    // could be fitted (fewer than 3 points).
    static void FindBestPolyPW(const RefPointList& points, double* first, double* second,
                               double* error);
    static void FindBestPolyWP(const RefPointList& points, double* first, double* second,
                               double* error);
    // One least-squares fit of the given degree; writes the first TermCount(degree)
    // coefficients.
    static void SolveSVDpw(int degree, const RefPointList& points, double* first, double* second,
                           double* error);
    static void SolveSVDwp(int degree, const RefPointList& points, double* first, double* second,
                           double* error);
    // Divides the points at the middle row (pw) or latitude (wp) into two lists sharing a band
    // 20 % of the range wide; the points are copied.
    static void SplitListNSpw(const RefPointList& all, RefPointList& lower, RefPointList& upper,
                              double* split);
    static void SplitListNSwp(const RefPointList& all, RefPointList& lower, RefPointList& upper,
                              double* split);
    // Sets the wrap flag from the points (see tavola::PolynomialGeoref::Straddles180).
    void Check180Wrap(const RefPointList& points);
    // With the wrap flag set: shift longitudes east of 0 by -360, and back those below -180.
    void WrapLongitude(RefPointList& points) const;
    void UnWrapLongitude(RefPointList& points) const;

    // Singular value decomposition a = u w v^T of the m x n matrix a (1-based; u replaces a;
    // w holds n values, those beyond min(m, n) zero).  Eigen's Jacobi SVD, to rounding.
    static void svdcmp(double** a, int m, int n, double* w, double** v);
    // Solves u w v^T x = b (1-based) in the least-squares sense, terms with w[j] = 0
    // contributing nothing.
    static void svbksb(double** u, const double* w, double** v, int m, int n, const double* b,
                       double* x);
    // sqrt(a^2 + b^2) without destructive overflow or underflow.
    static double pythag(double a, double b);

    // ---- usable reference data -------------------------------------------------------------
    // True when the last solvepoly found reference data the conversions can use (see above).
    bool HasReferenceData() const { return m_strReferenceProblem.empty(); }
    // Why not ("only 2 reference points, at least three are needed", "the reference points lie
    // on one line on the chart", ...); empty when HasReferenceData().
    const std::string& ReferenceProblem() const { return m_strReferenceProblem; }
    // A design of the degree-1 fit whose condition number may reach this (the bound of
    // LeastSquares.h) counts as points on one line: the fit then fixes the direction across
    // the points to roughly a millionth of their spread or worse (a metre or two across a chart
    // 1,600 km wide), while sound charts stay far below (a 3 x 3 grid of points gives 3.1).
    static constexpr double kLineConditionLimit = 1e6;

    // ---- projection-based georeferencing ------------------------------------------------
    // Chooses the projection by the "Projection" value and fits the affine maps (projection
    // kind 0 for an unknown name or a chart across the 180-degree meridian).  Parameters:
    // P1 (latitude of origin), PP (central meridian), P5 and P6 (standard parallels), each
    // defaulting to the middle latitude or longitude of the border polygon.
    void ProjectionInit();
    // Projection of a position with the reference file's offsets added, and its inverse.
    void ProjFwd(double longitude, double latitude, double* easting, double* northing) const;
    void ProjInv(double easting, double northing, double* longitude, double* latitude) const;
    // The same without the offsets.
    void ProjFwdWGS84(double longitude, double latitude, double* easting, double* northing) const;
    void ProjInvWGS84(double easting, double northing, double* longitude, double* latitude) const;

    GeoRecList m_Insets;                    // inset records (base record only)
    tavola::PolynomialGeoref m_Polynomials; // the polynomial conversions and the wrap flag
    tavola::ProjectedGeoref m_Projection;   // projection, parameters and affine maps
    // Why the conversions cannot be used; empty when they can (set by solvepoly, ReadGEO and
    // the chart reader's CloseTavola).
    std::string m_strReferenceProblem = kNoReferencePoints;
    static constexpr const char* kNoReferencePoints = "no reference points";
};
