// Chart reference files and the georeferencing fitted from them.
//
// A reference file (extension .GEO) is a text file of key=value lines describing a raster
// chart: name, scale, projection, datum, its border polygon ("Vertex" lines) and reference
// points ("Point" lines) known both as chart pixels and as longitude/latitude.  CGEORec holds
// one such file (plus one record per "[Inset" section) and fits from its reference points
// the conversions between chart pixels and the earth:
//  - without a known projection: bivariate polynomials of degree 1 to 3 in each direction,
//    pixel -> world ("pw") and world -> pixel ("wp"), fitted by least squares through a
//    singular value decomposition (Golub-Reinsch as in Numerical Recipes, 2nd ed., 2.6),
//    with singular values below 1e-10 of the largest set to zero.  Inputs are centred and
//    scaled before each decomposition so that this rule acts on a well-conditioned problem;
//    the coefficients are then expressed in raw coordinates again.  The degree is the one
//    with the smallest residual; a chart may be split at its middle into two overlapping
//    halves with a polynomial each.  Charts across the 180-degree meridian are fitted with
//    shifted longitudes.  Accuracy: that of the reference points and of the polynomial
//    model; a cubic on a 2500 x 2000 pixel chart reproduces a conic projection to a few
//    tenths of a pixel.
//  - with a projection named Mercator, polyconic, UTM/transverse Mercator or Lambert: the
//    points are projected (<tavola/Projection.h>, ellipsoid of datum table entry 17) and an
//    affine map between pixels and projected metres is fitted.  Accuracy: that of the
//    reference points (the sample chart reproduces its points within 0.001 pixel).
//
// Coordinates: pixel x = column (0 at the left), pixel y = row (0 at the top), as doubles;
// longitude and latitude in decimal degrees, east and north positive.  Every conversion
// takes its inputs in the order (x, y) or (longitude, latitude).  Before a fit, or with fewer
// than 3 reference points, all conversions return 0.
#pragma once

#include <tavola/Projection.h>

#include <cfloat>
#include <istream>
#include <list>
#include <memory>
#include <string>

// A named position known as a chart pixel and/or as longitude/latitude: a border vertex or a
// reference point.
class CRefPoint {
public:
    CRefPoint() = default;
    CRefPoint(const CRefPoint&) = default;
    CRefPoint(const char* name, int x, int y, double longitude, double latitude);
    virtual ~CRefPoint() = default;
    CRefPoint& operator=(const CRefPoint&) = default;

    std::string m_strName;
    int m_nX = 0;            // pixel column
    int m_nY = 0;            // pixel row
    double m_dLongitude = 0; // degrees, east positive
    double m_dLatitude = 0;  // degrees, north positive
};

class CGEORec;
using RefPointList = std::list<std::unique_ptr<CRefPoint>>;
using GeoRecList = std::list<std::unique_ptr<CGEORec>>;

class CGEORec {
public:
    CGEORec();
    ~CGEORec();
    CGEORec(const CGEORec&) = delete;
    CGEORec& operator=(const CGEORec&) = delete;

    // Reads the reference file at `path` into this record (and new inset records).  When
    // referenceOnly is 0 it then fits the conversions and computes the vertices' pixels.
    // A file that cannot be opened leaves the record unchanged.  Lines longer than 511
    // characters are skipped whole.
    void ReadGEO(const std::string& path, int referenceOnly);
    // The same from an open stream (used by ReadGEO and by tests).
    void ReadGEOStream(std::istream& in, int referenceOnly);

    // Recomputes the latitude and longitude bounds of the border polygon.
    void MinMeanMaxLL();
    // Formats an angle in degrees as "+DDD MM SS.ss" (d > 0) or "-DDD MM SS.ss" (otherwise);
    // "+inf", "-inf" or "-nan" for an angle that is not finite.
    static std::string deg2dms(double degrees);

    // ---- georeferencing -------------------------------------------------------------------
    void solvepoly();
    double pwx(double x, double y);
    double pwy(double x, double y);
    void pwxy(double x, double y, double* longitude, double* latitude);
    double wpx(double longitude, double latitude);
    double wpy(double longitude, double latitude);
    void wpxy(double longitude, double latitude, double* x, double* y);

    // Value of the 21-term polynomial `coefficients` at (a, b).
    static double Evaluate(const double* coefficients, double a, double b);
    // Value of term `term` (0..20) at (a, b); 0 for other terms.
    static double polyfunc(int term, double a, double b);
    int SelectPWpoly(double x, double y) const;
    int SelectWPpoly(double longitude, double latitude) const;

    // Fit of degree 1 to 3, the smallest residual winning; outputs untouched if no degree
    // could be fitted (fewer than 3 points).
    void FindBestPolyPW(const RefPointList& points, double* first, double* second, double* error);
    void FindBestPolyWP(const RefPointList& points, double* first, double* second, double* error);
    // One least-squares fit of the given degree; writes the first t coefficients.
    void SolveSVDpw(int degree, const RefPointList& points, double* first, double* second,
                    double* error);
    void SolveSVDwp(int degree, const RefPointList& points, double* first, double* second,
                    double* error);
    // Divides the points at the middle row (pw) or latitude (wp) into two lists sharing a band
    // 20 % of the range wide; the points are copied.
    static void SplitListNSpw(const RefPointList& all, RefPointList& lower, RefPointList& upper,
                              double* split);
    static void SplitListNSwp(const RefPointList& all, RefPointList& lower, RefPointList& upper,
                              double* split);
    void Check180Wrap(const RefPointList& points);
    void WrapLongitude(RefPointList& points) const;
    void UnWrapLongitude(RefPointList& points) const;

    // Singular value decomposition a = u w v^T of the m x n matrix a (1-based; u replaces a),
    // at most 30 QR iterations per singular value; values are not sorted.
    static void svdcmp(double** a, int m, int n, double* w, double** v);
    // Solves u w v^T x = b (1-based), terms with w[j] = 0 contributing nothing.
    static void svbksb(double** u, const double* w, double** v, int m, int n, const double* b,
                       double* x);
    // sqrt(a^2 + b^2) without destructive overflow or underflow.
    static double pythag(double a, double b);

    // ---- projection-based georeferencing ------------------------------------------------
    void ProjectionInit();
    void ProjFwd(double longitude, double latitude, double* easting, double* northing);
    void ProjInv(double easting, double northing, double* longitude, double* latitude);
    void ProjFwdWGS84(double longitude, double latitude, double* easting, double* northing);
    void ProjInvWGS84(double easting, double northing, double* longitude, double* latitude);

    // ---- reference file content -----------------------------------------------------------
    std::string m_strBitmap, m_strName, m_strScale, m_strOrder, m_strId, m_strType, m_strSource,
        m_strSourceEdition, m_strCountry, m_strProvinceState, m_strDatePublished, m_strLastUpdate,
        m_strMagDeclDate, m_strMagDecl, m_strMagDeclChange, m_strULLatitude, m_strULLongitude,
        m_strLRLatitude, m_strLRLongitude, m_strDepthUnits, m_strSoundingDatum, m_strProjection,
        m_strPP, m_strP1, m_strP2, m_strP3, m_strP4, m_strP5, m_strP6;
    double m_dSkewAngle = 0;
    std::string m_strResolution, m_strDatum;
    double m_dLatitudeOffset = 0;
    double m_dLongitudeOffset = 0;
    RefPointList m_Vertices;                                  // border polygon, file order
    int m_nLeft = 0, m_nTop = 0, m_nRight = 0, m_nBottom = 0; // chart rectangle, pixels
    RefPointList m_RefPoints;                                 // reference points, file order
    GeoRecList m_Insets;                                      // inset records (base record only)

    // ---- georeferencing state -------------------------------------------------------------
    int m_n180Wrap = 0;
    double m_dPWSplit = DBL_MAX; // pixel row
    double m_dWPSplit = DBL_MAX; // latitude
    double m_dWPXLower[21] = {}, m_dWPXUpper[21] = {}, m_dWPYLower[21] = {}, m_dWPYUpper[21] = {};
    double m_dPWLonLower[21] = {}, m_dPWLonUpper[21] = {}, m_dPWLatLower[21] = {},
           m_dPWLatUpper[21] = {};
    int m_nProjection = 0; // 0 none, 1 Mercator, 2 polyconic, 3 transverse Mercator, 4 Lambert
    tagPPARMS m_Parms = {};
    double m_dAffWPX[21] = {}, m_dAffWPY[21] = {}; // pixel x, y from (easting, northing)
    double m_dAffPWE[21] = {}, m_dAffPWN[21] = {}; // easting, northing from pixel (x, y)
    double m_dMinLat = 0, m_dMidLat = 0, m_dMaxLat = 0, m_dMinLon = 0, m_dMidLon = 0, m_dMaxLon = 0;

    // Longest reference file line accepted (characters, without the line end).
    static constexpr std::size_t kMaxLine = 511;
};
