// Polynomial and projection-based georeferencing of a chart's reference points.
#include <tavola/GeoRec.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <strings.h>
#include <vector>

namespace {

constexpr int kTermsOfDegree[6] = {1, 3, 6, 10, 15, 21};
constexpr double kSingularRatio = 1e-10;
constexpr int kMaxSvdIterations = 30;

int TermCount(int degree) {
    return kTermsOfDegree[std::clamp(degree, 0, 5)];
}

// A 1-based matrix with row pointers, as the decomposition routines expect.
class Matrix {
public:
    Matrix(int rows, int cols)
        : m_data(static_cast<std::size_t>(rows + 1) * (cols + 1), 0.0), m_rows(rows + 1) {
        for (int i = 0; i <= rows; ++i)
            m_rows[i] = m_data.data() + static_cast<std::size_t>(i) * (cols + 1);
    }
    double** get() { return m_rows.data(); }
    double* operator[](int i) { return m_rows[i]; }

private:
    std::vector<double> m_data;
    std::vector<double*> m_rows;
};

// Centre and half-range of a set of values, so that (v - centre) / scale lies in [-1, 1].
struct Scaling {
    double centre = 0.0, scale = 1.0;
};

Scaling ScalingOf(const std::vector<double>& v) {
    Scaling s;
    if (v.empty())
        return s;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    s.centre = (*lo + *hi) * 0.5;
    const double half = (*hi - *lo) * 0.5;
    s.scale = (half > 0.0 && std::isfinite(half)) ? half : 1.0;
    return s;
}

double Binomial(int n, int k) {
    static constexpr double kTable[6][6] = {{1, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0},
                                            {1, 2, 1, 0, 0, 0}, {1, 3, 3, 1, 0, 0},
                                            {1, 4, 6, 4, 1, 0}, {1, 5, 10, 10, 5, 1}};
    return kTable[n][k];
}

// Term number of a^i b^j.
int TermIndex(int i, int j) {
    const int d = i + j;
    return d * (d + 1) / 2 + j;
}

// Rewrites t coefficients of a polynomial in scaled inputs a' = (a - ca) / sa,
// b' = (b - cb) / sb as coefficients in the raw inputs (a, b).
void Unscale(const double* scaled, int t, const Scaling& sa, const Scaling& sb, double* raw) {
    std::fill(raw, raw + t, 0.0);
    const double alpha = 1.0 / sa.scale, beta = -sa.centre / sa.scale;
    const double gamma = 1.0 / sb.scale, delta = -sb.centre / sb.scale;
    for (int d = 0; d <= 5; ++d) {
        for (int j = 0; j <= d; ++j) {
            const int i = d - j;
            const int term = TermIndex(i, j);
            if (term >= t || scaled[term] == 0.0)
                continue;
            // (alpha a + beta)^i (gamma b + delta)^j, expanded.
            for (int k = 0; k <= i; ++k) {
                const double fa = Binomial(i, k) * std::pow(alpha, k) * std::pow(beta, i - k);
                for (int l = 0; l <= j; ++l) {
                    const double fb = Binomial(j, l) * std::pow(gamma, l) * std::pow(delta, j - l);
                    raw[TermIndex(k, l)] += scaled[term] * fa * fb;
                }
            }
        }
    }
}

// Least-squares fit of t terms to the inputs (a, b) and two target vectors; writes the first
// t coefficients of each and returns the summed squared residuals (largest double when the
// data are not finite).
double SolveSVD(int degree, const std::vector<double>& a, const std::vector<double>& b,
                const std::vector<double>& target1, const std::vector<double>& target2,
                double* first, double* second) {
    const int m = static_cast<int>(a.size());
    const int t = TermCount(degree);
    const Scaling sa = ScalingOf(a), sb = ScalingOf(b);
    // Zero rows do not change a least-squares solution; padding to at least t rows keeps the
    // decomposition in its m >= n form for every point count.
    const int rows = std::max(m, t);
    Matrix u(rows, t), v(t, t);
    std::vector<double> w(t + 1, 0.0), b1(rows + 1, 0.0), b2(rows + 1, 0.0), x1(t + 1), x2(t + 1);
    for (int i = 0; i < m; ++i) {
        const double as = (a[i] - sa.centre) / sa.scale, bs = (b[i] - sb.centre) / sb.scale;
        for (int j = 0; j < t; ++j) {
            const double value = CGEORec::polyfunc(j, as, bs);
            if (!std::isfinite(value))
                return DBL_MAX;
            u[i + 1][j + 1] = value;
        }
        b1[i + 1] = target1[i];
        b2[i + 1] = target2[i];
    }
    Matrix design(rows, t);
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= t; ++j)
            design[i][j] = u[i][j];

    CGEORec::svdcmp(u.get(), rows, t, w.data(), v.get());
    double wmax = 0.0;
    for (int j = 1; j <= t; ++j)
        wmax = std::max(wmax, w[j]);
    const double threshold = wmax * kSingularRatio;
    for (int j = 1; j <= t; ++j)
        if (w[j] < threshold)
            w[j] = 0.0;
    CGEORec::svbksb(u.get(), w.data(), v.get(), rows, t, b1.data(), x1.data());
    CGEORec::svbksb(u.get(), w.data(), v.get(), rows, t, b2.data(), x2.data());

    double error = 0.0;
    for (int i = 1; i <= m; ++i) {
        double r1 = b1[i], r2 = b2[i];
        for (int j = 1; j <= t; ++j) {
            r1 -= design[i][j] * x1[j];
            r2 -= design[i][j] * x2[j];
        }
        error += r1 * r1 + r2 * r2;
    }
    Unscale(x1.data() + 1, t, sa, sb, first);
    Unscale(x2.data() + 1, t, sa, sb, second);
    return std::isnan(error) ? DBL_MAX : error;
}

void CopyList(const RefPointList& from, RefPointList& to) {
    to.clear();
    for (const auto& p : from)
        to.push_back(std::make_unique<CRefPoint>(*p));
}

template <typename Value>
void SplitList(const RefPointList& all, RefPointList& lower, RefPointList& upper, double* split,
               Value value) {
    double lo = DBL_MAX, hi = -DBL_MAX;
    for (const auto& p : all) {
        lo = std::min(lo, value(*p));
        hi = std::max(hi, value(*p));
    }
    const double mid = (hi + lo) * 0.5;
    const double d = (hi - lo) * 0.1;
    *split = mid;
    for (const auto& p : all) {
        const double v = value(*p);
        if (v < mid + d)
            lower.push_back(std::make_unique<CRefPoint>(*p));
        if (v > mid - d)
            upper.push_back(std::make_unique<CRefPoint>(*p));
    }
}

template <typename Solve>
void FindBest(const RefPointList& points, double* first, double* second, double* error,
              Solve solve) {
    const std::size_t n = points.size();
    double best1[21] = {}, best2[21] = {};
    double bestError = DBL_MAX;
    int bestDegree = 0;
    for (int degree = 1; degree <= 3; ++degree) {
        const std::size_t needed = degree == 1 ? 3 : degree == 2 ? 6 : 10;
        if (n < needed)
            break;
        double c1[21] = {}, c2[21] = {};
        double e = DBL_MAX;
        solve(degree, points, c1, c2, &e);
        // The first fitted degree is taken even at the largest error; a higher degree must
        // be strictly better, so on equal errors the lower degree wins.
        if (bestDegree == 0 || e < bestError) {
            bestError = e;
            bestDegree = degree;
            std::copy(c1, c1 + 21, best1);
            std::copy(c2, c2 + 21, best2);
        }
    }
    if (bestDegree == 0)
        return;
    std::copy(best1, best1 + 21, first);
    std::copy(best2, best2 + 21, second);
    *error = bestError;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const std::size_t n = std::char_traits<char>::length(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

} // namespace

double CGEORec::polyfunc(int term, double a, double b) {
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

double CGEORec::Evaluate(const double* c, double a, double b) {
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

int CGEORec::SelectPWpoly(double, double y) const {
    return y > m_dPWSplit ? 1 : 0;
}
int CGEORec::SelectWPpoly(double, double latitude) const {
    return latitude > m_dWPSplit ? 1 : 0;
}

void CGEORec::pwxy(double x, double y, double* longitude, double* latitude) {
    double lon, lat;
    if (m_nProjection == 0) {
        const bool upper = SelectPWpoly(x, y) != 0;
        lon = Evaluate(upper ? m_dPWLonUpper : m_dPWLonLower, x, y);
        lat = Evaluate(upper ? m_dPWLatUpper : m_dPWLatLower, x, y);
    } else {
        const double e = Evaluate(m_dAffPWE, x, y);
        const double n = Evaluate(m_dAffPWN, x, y);
        ProjInv(e, n, &lon, &lat);
    }
    if (m_n180Wrap && lon < -180.0)
        lon += 360.0;
    *longitude = lon;
    *latitude = lat;
}

void CGEORec::wpxy(double longitude, double latitude, double* x, double* y) {
    if (m_n180Wrap && longitude > 0.0)
        longitude -= 360.0;
    if (m_nProjection == 0) {
        const bool upper = SelectWPpoly(longitude, latitude) != 0;
        *x = Evaluate(upper ? m_dWPXUpper : m_dWPXLower, longitude, latitude);
        *y = Evaluate(upper ? m_dWPYUpper : m_dWPYLower, longitude, latitude);
    } else {
        double e, n;
        ProjFwd(longitude, latitude, &e, &n);
        *x = Evaluate(m_dAffWPX, e, n);
        *y = Evaluate(m_dAffWPY, e, n);
    }
}

double CGEORec::pwx(double x, double y) {
    double lon, lat;
    pwxy(x, y, &lon, &lat);
    return lon;
}
double CGEORec::pwy(double x, double y) {
    double lon, lat;
    pwxy(x, y, &lon, &lat);
    return lat;
}
double CGEORec::wpx(double longitude, double latitude) {
    double x, y;
    wpxy(longitude, latitude, &x, &y);
    return x;
}
double CGEORec::wpy(double longitude, double latitude) {
    double x, y;
    wpxy(longitude, latitude, &x, &y);
    return y;
}

void CGEORec::SolveSVDpw(int degree, const RefPointList& points, double* first, double* second,
                         double* error) {
    std::vector<double> a, b, t1, t2;
    for (const auto& p : points) {
        a.push_back(p->m_nX);
        b.push_back(p->m_nY);
        t1.push_back(p->m_dLongitude);
        t2.push_back(p->m_dLatitude);
    }
    *error = SolveSVD(degree, a, b, t1, t2, first, second);
}

void CGEORec::SolveSVDwp(int degree, const RefPointList& points, double* first, double* second,
                         double* error) {
    std::vector<double> a, b, t1, t2;
    for (const auto& p : points) {
        a.push_back(p->m_dLongitude);
        b.push_back(p->m_dLatitude);
        t1.push_back(p->m_nX);
        t2.push_back(p->m_nY);
    }
    *error = SolveSVD(degree, a, b, t1, t2, first, second);
}

void CGEORec::FindBestPolyPW(const RefPointList& points, double* first, double* second,
                             double* error) {
    FindBest(points, first, second, error,
             [this](int d, const RefPointList& p, double* c1, double* c2, double* e) {
                 SolveSVDpw(d, p, c1, c2, e);
             });
}

void CGEORec::FindBestPolyWP(const RefPointList& points, double* first, double* second,
                             double* error) {
    FindBest(points, first, second, error,
             [this](int d, const RefPointList& p, double* c1, double* c2, double* e) {
                 SolveSVDwp(d, p, c1, c2, e);
             });
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
    m_n180Wrap = 0;
    const CRefPoint* left = nullptr;
    const CRefPoint* right = nullptr;
    for (const auto& p : points) {
        if (!left || p->m_nX < left->m_nX)
            left = p.get();
        if (!right || p->m_nX > right->m_nX)
            right = p.get();
    }
    if (left && right && right->m_dLongitude < 0.0 && left->m_dLongitude > 0.0)
        m_n180Wrap = 1;
}

void CGEORec::WrapLongitude(RefPointList& points) const {
    if (!m_n180Wrap)
        return;
    for (auto& p : points)
        if (p->m_dLongitude > 0.0)
            p->m_dLongitude -= 360.0;
}

void CGEORec::UnWrapLongitude(RefPointList& points) const {
    if (!m_n180Wrap)
        return;
    for (auto& p : points)
        if (p->m_dLongitude < -180.0)
            p->m_dLongitude += 360.0;
}

void CGEORec::solvepoly() {
    for (double* c : {m_dWPXLower, m_dWPXUpper, m_dWPYLower, m_dWPYUpper, m_dPWLonLower,
                      m_dPWLonUpper, m_dPWLatLower, m_dPWLatUpper})
        std::fill(c, c + 21, 0.0);
    m_dPWSplit = DBL_MAX;
    m_dWPSplit = DBL_MAX;

    Check180Wrap(m_RefPoints);
    WrapLongitude(m_RefPoints);
    ProjectionInit();
    if (m_nProjection != 0) {
        UnWrapLongitude(m_RefPoints);
        return;
    }

    double ePW = DBL_MAX, eWP = DBL_MAX;
    FindBestPolyPW(m_RefPoints, m_dPWLonLower, m_dPWLatLower, &ePW);
    FindBestPolyWP(m_RefPoints, m_dWPXLower, m_dWPYLower, &eWP);

    {
        RefPointList lower, upper;
        double split = DBL_MAX;
        SplitListNSpw(m_RefPoints, lower, upper, &split);
        double eL = DBL_MAX, eU = DBL_MAX;
        double lon1[21] = {}, lat1[21] = {}, lon2[21] = {}, lat2[21] = {};
        if (lower.size() >= 6 && upper.size() >= 6) {
            FindBestPolyPW(lower, lon1, lat1, &eL);
            FindBestPolyPW(upper, lon2, lat2, &eU);
        }
        if (eL + eU < ePW) {
            std::copy(lon1, lon1 + 21, m_dPWLonLower);
            std::copy(lat1, lat1 + 21, m_dPWLatLower);
            std::copy(lon2, lon2 + 21, m_dPWLonUpper);
            std::copy(lat2, lat2 + 21, m_dPWLatUpper);
            m_dPWSplit = split;
        } else {
            m_dPWSplit = DBL_MAX;
        }
    }
    {
        RefPointList lower, upper;
        double split = DBL_MAX;
        SplitListNSwp(m_RefPoints, lower, upper, &split);
        double eL = DBL_MAX, eU = DBL_MAX;
        double x1[21] = {}, y1[21] = {}, x2[21] = {}, y2[21] = {};
        if (lower.size() >= 6 && upper.size() >= 6) {
            FindBestPolyWP(lower, x1, y1, &eL);
            FindBestPolyWP(upper, x2, y2, &eU);
        }
        if (eL + eU < eWP) {
            std::copy(x1, x1 + 21, m_dWPXLower);
            std::copy(y1, y1 + 21, m_dWPYLower);
            std::copy(x2, x2 + 21, m_dWPXUpper);
            std::copy(y2, y2 + 21, m_dWPYUpper);
            m_dWPSplit = split;
        } else {
            m_dWPSplit = DBL_MAX;
        }
    }
    UnWrapLongitude(m_RefPoints);
}

void CGEORec::ProjectionInit() {
    m_nProjection = 0;
    if (m_n180Wrap)
        return;
    int kind = 0;
    if (StartsWithNoCase(m_strProjection, "MERCATOR"))
        kind = 1;
    else if (StartsWithNoCase(m_strProjection, "POLYCONIC"))
        kind = 2;
    else if (StartsWithNoCase(m_strProjection, "UTM"))
        kind = 3;
    else if (StartsWithNoCase(m_strProjection, "TRANSVERSE MERCATOR"))
        kind = 3;
    else if (StartsWithNoCase(m_strProjection, "LAMBERT"))
        kind = 4;
    if (kind == 0)
        return;
    m_nProjection = kind;

    RefPointList projected;
    CopyList(m_RefPoints, projected);
    for (auto& p : projected) {
        p->m_dLongitude += m_dLongitudeOffset;
        p->m_dLatitude += m_dLatitudeOffset;
    }
    MinMeanMaxLL();
    const double p1 = m_strP1.empty() ? m_dMidLat : std::atof(m_strP1.c_str());
    const double p2 = m_strPP.empty() ? m_dMidLon : std::atof(m_strPP.c_str());
    const double p3 = m_strP5.empty() ? m_dMidLat : std::atof(m_strP5.c_str());
    const double p4 = m_strP6.empty() ? m_dMidLat : std::atof(m_strP6.c_str());
    project_init2(kind, p1, p2, p3, p4, 17, &m_Parms);
    for (auto& p : projected) {
        double e = 0, n = 0;
        project_f(kind, &m_Parms, p->m_dLatitude, p->m_dLongitude, &e, &n);
        p->m_dLongitude = e;
        p->m_dLatitude = n;
    }
    for (double* c : {m_dAffWPX, m_dAffWPY, m_dAffPWE, m_dAffPWN})
        std::fill(c, c + 21, 0.0);
    double error = DBL_MAX;
    SolveSVDpw(1, projected, m_dAffPWE, m_dAffPWN, &error);
    SolveSVDwp(1, projected, m_dAffWPX, m_dAffWPY, &error);
}

void CGEORec::ProjFwd(double longitude, double latitude, double* easting, double* northing) {
    project_f(m_nProjection, &m_Parms, latitude + m_dLatitudeOffset, longitude + m_dLongitudeOffset,
              easting, northing);
}

void CGEORec::ProjInv(double easting, double northing, double* longitude, double* latitude) {
    double lat = 0, lon = 0;
    project_i(m_nProjection, &m_Parms, easting, northing, &lat, &lon);
    *longitude = lon - m_dLongitudeOffset;
    *latitude = lat - m_dLatitudeOffset;
}

void CGEORec::ProjFwdWGS84(double longitude, double latitude, double* easting, double* northing) {
    project_f(m_nProjection, &m_Parms, latitude, longitude, easting, northing);
}

void CGEORec::ProjInvWGS84(double easting, double northing, double* longitude, double* latitude) {
    project_i(m_nProjection, &m_Parms, easting, northing, latitude, longitude);
}

// ---- singular value decomposition ---------------------------------------------------------

double CGEORec::pythag(double a, double b) {
    const double absa = std::fabs(a), absb = std::fabs(b);
    if (absa > absb) {
        const double r = absb / absa;
        return absa * std::sqrt(1.0 + r * r);
    }
    if (absb == 0.0)
        return 0.0;
    const double r = absa / absb;
    return absb * std::sqrt(1.0 + r * r);
}

namespace {
double Sign(double a, double b) {
    return b >= 0.0 ? std::fabs(a) : -std::fabs(a);
}
} // namespace

void CGEORec::svdcmp(double** a, int m, int n, double* w, double** v) {
    std::vector<double> rv1(n + 1, 0.0);
    double g = 0.0, scale = 0.0, anorm = 0.0;
    int l = 0;
    // Householder reduction to bidiagonal form.
    for (int i = 1; i <= n; ++i) {
        l = i + 1;
        rv1[i] = scale * g;
        g = 0.0;
        double s = 0.0;
        scale = 0.0;
        if (i <= m) {
            for (int k = i; k <= m; ++k)
                scale += std::fabs(a[k][i]);
            if (scale != 0.0) {
                for (int k = i; k <= m; ++k) {
                    a[k][i] /= scale;
                    s += a[k][i] * a[k][i];
                }
                double f = a[i][i];
                g = -Sign(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][i] = f - g;
                for (int j = l; j <= n; ++j) {
                    s = 0.0;
                    for (int k = i; k <= m; ++k)
                        s += a[k][i] * a[k][j];
                    f = s / h;
                    for (int k = i; k <= m; ++k)
                        a[k][j] += f * a[k][i];
                }
                for (int k = i; k <= m; ++k)
                    a[k][i] *= scale;
            }
        }
        w[i] = scale * g;
        g = 0.0;
        s = 0.0;
        scale = 0.0;
        if (i <= m && i != n) {
            for (int k = l; k <= n; ++k)
                scale += std::fabs(a[i][k]);
            if (scale != 0.0) {
                for (int k = l; k <= n; ++k) {
                    a[i][k] /= scale;
                    s += a[i][k] * a[i][k];
                }
                const double f = a[i][l];
                g = -Sign(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][l] = f - g;
                for (int k = l; k <= n; ++k)
                    rv1[k] = a[i][k] / h;
                for (int j = l; j <= m; ++j) {
                    s = 0.0;
                    for (int k = l; k <= n; ++k)
                        s += a[j][k] * a[i][k];
                    for (int k = l; k <= n; ++k)
                        a[j][k] += s * rv1[k];
                }
                for (int k = l; k <= n; ++k)
                    a[i][k] *= scale;
            }
        }
        anorm = std::max(anorm, std::fabs(w[i]) + std::fabs(rv1[i]));
    }
    // Accumulation of right-hand transformations.
    for (int i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                for (int j = l; j <= n; ++j)
                    v[j][i] = (a[i][j] / a[i][l]) / g; // double division avoids underflow
                for (int j = l; j <= n; ++j) {
                    double s = 0.0;
                    for (int k = l; k <= n; ++k)
                        s += a[i][k] * v[k][j];
                    for (int k = l; k <= n; ++k)
                        v[k][j] += s * v[k][i];
                }
            }
            for (int j = l; j <= n; ++j)
                v[i][j] = v[j][i] = 0.0;
        }
        v[i][i] = 1.0;
        g = rv1[i];
        l = i;
    }
    // Accumulation of left-hand transformations.
    for (int i = std::min(m, n); i >= 1; --i) {
        l = i + 1;
        g = w[i];
        for (int j = l; j <= n; ++j)
            a[i][j] = 0.0;
        if (g != 0.0) {
            g = 1.0 / g;
            for (int j = l; j <= n; ++j) {
                double s = 0.0;
                for (int k = l; k <= m; ++k)
                    s += a[k][i] * a[k][j];
                const double f = (s / a[i][i]) * g;
                for (int k = i; k <= m; ++k)
                    a[k][j] += f * a[k][i];
            }
            for (int j = i; j <= m; ++j)
                a[j][i] *= g;
        } else {
            for (int j = i; j <= m; ++j)
                a[j][i] = 0.0;
        }
        ++a[i][i];
    }
    // Diagonalisation of the bidiagonal form: implicitly shifted QR, at most 30 iterations
    // per singular value; a value that does not converge is left as it is.
    for (int k = n; k >= 1; --k) {
        for (int its = 1; its <= kMaxSvdIterations; ++its) {
            bool flag = true;
            int nm = 0;
            for (l = k; l >= 1; --l) { // test for splitting; rv1[1] is always zero
                nm = l - 1;
                if (l == 1 || std::fabs(rv1[l]) + anorm == anorm) {
                    flag = false;
                    break;
                }
                if (std::fabs(w[nm]) + anorm == anorm)
                    break;
            }
            if (flag) { // cancellation of rv1[l], if l > 1
                double c = 0.0, s = 1.0;
                for (int i = l; i <= k; ++i) {
                    const double f = s * rv1[i];
                    rv1[i] = c * rv1[i];
                    if (std::fabs(f) + anorm == anorm)
                        break;
                    g = w[i];
                    double h = pythag(f, g);
                    w[i] = h;
                    h = 1.0 / h;
                    c = g * h;
                    s = -f * h;
                    for (int j = 1; j <= m; ++j) {
                        const double y = a[j][nm], z = a[j][i];
                        a[j][nm] = y * c + z * s;
                        a[j][i] = z * c - y * s;
                    }
                }
            }
            double z = w[k];
            if (l == k) { // convergence: make the singular value non-negative
                if (z < 0.0) {
                    w[k] = -z;
                    for (int j = 1; j <= n; ++j)
                        v[j][k] = -v[j][k];
                }
                break;
            }
            if (its == kMaxSvdIterations)
                break;       // no convergence: go on with the next value
            double x = w[l]; // shift from the bottom 2 x 2 minor
            nm = k - 1;
            double y = w[nm];
            g = rv1[nm];
            double h = rv1[k];
            double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
            g = pythag(f, 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + Sign(g, f))) - h)) / x;
            double c = 1.0, s = 1.0;
            for (int j = l; j <= nm; ++j) { // next QR transformation
                const int i = j + 1;
                g = rv1[i];
                y = w[i];
                h = s * g;
                g = c * g;
                z = pythag(f, h);
                rv1[j] = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y *= c;
                for (int jj = 1; jj <= n; ++jj) {
                    const double xv = v[jj][j], zv = v[jj][i];
                    v[jj][j] = xv * c + zv * s;
                    v[jj][i] = zv * c - xv * s;
                }
                z = pythag(f, h);
                w[j] = z; // rotation can be arbitrary if z = 0
                if (z != 0.0) {
                    z = 1.0 / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                for (int jj = 1; jj <= m; ++jj) {
                    const double ya = a[jj][j], za = a[jj][i];
                    a[jj][j] = ya * c + za * s;
                    a[jj][i] = za * c - ya * s;
                }
            }
            rv1[l] = 0.0;
            rv1[k] = f;
            w[k] = x;
        }
    }
}

void CGEORec::svbksb(double** u, const double* w, double** v, int m, int n, const double* b,
                     double* x) {
    std::vector<double> tmp(n + 1, 0.0);
    for (int j = 1; j <= n; ++j) {
        double s = 0.0;
        if (w[j] != 0.0) {
            for (int i = 1; i <= m; ++i)
                s += u[i][j] * b[i];
            s /= w[j];
        }
        tmp[j] = s;
    }
    for (int j = 1; j <= n; ++j) {
        double s = 0.0;
        for (int jj = 1; jj <= n; ++jj)
            s += v[j][jj] * tmp[jj];
        x[j] = s;
    }
}
