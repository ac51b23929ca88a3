// Polynomial and projection georeferencing: degree choice, splits, 180-degree wrap,
// conditioning of the fit, projection choice.
#include <tavola/GeoRec.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

constexpr double kDeg = 0.017453292519944444;

using WorldOf = std::function<void(double x, double y, double* lon, double* lat)>;

void AddPoints(CGEORec& rec, const std::vector<std::pair<int, int>>& pixels, const WorldOf& f) {
    int i = 0;
    for (auto [x, y] : pixels) {
        double lon, lat;
        f(x, y, &lon, &lat);
        rec.m_RefPoints.push_back(
            std::make_unique<CRefPoint>(("Point" + std::to_string(++i)).c_str(), x, y, lon, lat));
    }
}

std::vector<std::pair<int, int>> Grid(int nx, int ny, int width, int height) {
    std::vector<std::pair<int, int>> v;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            v.push_back(
                {(width - 1) * i / std::max(1, nx - 1), (height - 1) * j / std::max(1, ny - 1)});
    return v;
}

bool HigherTermsZero(const double* c, int from) {
    for (int i = from; i < 21; ++i)
        if (c[i] != 0.0)
            return false;
    return true;
}

const WorldOf kAffine = [](double x, double y, double* lon, double* lat) {
    *lon = 5.0 + 0.001 * x + 0.0002 * y;
    *lat = 52.0 - 0.0008 * y + 0.0001 * x;
};
const WorldOf kQuadratic = [](double x, double y, double* lon, double* lat) {
    *lon = 5.0 + 0.001 * x + 2e-7 * x * y;
    *lat = 52.0 - 0.0008 * y + 3e-7 * x * x;
};
const WorldOf kCubic = [](double x, double y, double* lon, double* lat) {
    *lon = 5.0 + 0.001 * x + 2e-7 * x * y + 1e-10 * x * x * x;
    *lat = 52.0 - 0.0008 * y + 3e-7 * x * x - 2e-10 * y * y * y;
};

TEST(Georef, PolyfuncTermsAndEvaluate) {
    const double a = 1.5, b = -2.0;
    const double expected[21] = {1,
                                 a,
                                 b,
                                 a * a,
                                 a * b,
                                 b * b,
                                 a * a * a,
                                 a * a * b,
                                 a * b * b,
                                 b * b * b,
                                 std::pow(a, 4),
                                 a * a * a * b,
                                 a * a * b * b,
                                 a * b * b * b,
                                 std::pow(b, 4),
                                 std::pow(a, 5),
                                 std::pow(a, 4) * b,
                                 std::pow(a, 3) * b * b,
                                 a * a * std::pow(b, 3),
                                 a * std::pow(b, 4),
                                 std::pow(b, 5)};
    double c[21];
    double sum = 0;
    for (int t = 0; t < 21; ++t) {
        EXPECT_DOUBLE_EQ(CGEORec::polyfunc(t, a, b), expected[t]) << t;
        c[t] = t + 1;
        sum += c[t] * expected[t];
    }
    EXPECT_EQ(CGEORec::polyfunc(21, a, b), 0.0);
    EXPECT_EQ(CGEORec::polyfunc(-1, a, b), 0.0);
    EXPECT_NEAR(CGEORec::Evaluate(c, a, b), sum, 1e-12 * std::fabs(sum));
}

TEST(Georef, DegreeFollowsThePointCount) {
    struct Case {
        int points;
        const WorldOf* world;
        int expectedTerms; // 3, 6 or 10: the chosen degree's terms
    };
    const Case cases[] = {
        {3, &kQuadratic, 3}, {5, &kQuadratic, 3}, // only degree 1 may be fitted
        {6, &kQuadratic, 6}, {9, &kCubic, 6},     // degree 2 competes (and wins)
        {12, &kCubic, 10},   {25, &kCubic, 10},   // degree 3 competes (and wins)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.points);
        CGEORec rec;
        std::vector<std::pair<int, int>> pixels;
        std::mt19937 rng(c.points);
        std::uniform_int_distribution<int> dx(0, 3999), dy(0, 2999);
        for (int i = 0; i < c.points; ++i)
            pixels.push_back({dx(rng), dy(rng)});
        AddPoints(rec, pixels, *c.world);
        double lon[21] = {}, lat[21] = {}, error = -1;
        rec.FindBestPolyPW(rec.m_RefPoints, lon, lat, &error);
        EXPECT_TRUE(HigherTermsZero(lon, c.expectedTerms));
        EXPECT_TRUE(HigherTermsZero(lat, c.expectedTerms));
        EXPECT_FALSE(HigherTermsZero(lat, c.expectedTerms - 1));
        EXPECT_GE(error, 0.0);
    }
}

TEST(Georef, FewerThanThreePointsFitNothing) {
    CGEORec rec;
    AddPoints(rec, {{10, 10}, {100, 50}}, kAffine);
    double lon[21] = {7}, lat[21] = {}, error = 42;
    rec.FindBestPolyPW(rec.m_RefPoints, lon, lat, &error);
    EXPECT_EQ(lon[0], 7); // untouched
    EXPECT_EQ(error, 42);
    rec.solvepoly();
    EXPECT_EQ(rec.pwx(10, 10), 0.0);
    EXPECT_EQ(rec.wpy(5, 52), 0.0);
}

TEST(Georef, ExactAffinePointsAreReproduced) {
    // 16 points on an affine map: degrees 1 to 3 compete.  Their residuals are all at the
    // rounding level, so whichever wins, its higher terms must be negligible and the map
    // must come back exactly.
    CGEORec rec;
    AddPoints(rec, Grid(4, 4, 4000, 3000), kAffine);
    double lon[21], lat[21], error = -1;
    rec.FindBestPolyPW(rec.m_RefPoints, lon, lat, &error);
    EXPECT_LT(error, 1e-20);
    for (int t = 3; t < 21; ++t) {
        // A term of 1e-18 per pixel^k still moves the result by < 1e-9 degree at 4000 px.
        EXPECT_LT(std::fabs(lon[t]) * std::pow(4000.0, t < 6 ? 2 : t < 10 ? 3 : 4), 1e-9) << t;
        EXPECT_LT(std::fabs(lat[t]) * std::pow(4000.0, t < 6 ? 2 : t < 10 ? 3 : 4), 1e-9) << t;
    }
    rec.solvepoly();
    for (auto [x, y] : std::vector<std::pair<double, double>>{
             {1234.5, 2345.25}, {0, 0}, {3999, 2999}, {-500, 4000}}) {
        double l, b;
        kAffine(x, y, &l, &b);
        EXPECT_NEAR(rec.pwx(x, y), l, 1e-9);
        EXPECT_NEAR(rec.pwy(x, y), b, 1e-9);
        EXPECT_NEAR(rec.wpx(l, b), x, 1e-6);
        EXPECT_NEAR(rec.wpy(l, b), y, 1e-6);
    }
}

TEST(Georef, SplitOnlyWithSixPointsOnEachSide) {
    // A map that bends at the middle row: two halves fit better than one polynomial.
    const WorldOf kinked = [](double x, double y, double* lon, double* lat) {
        *lon = 5.0 + 0.001 * x;
        *lat = 52.0 - 0.0008 * y - (y > 1500 ? 1e-6 * (y - 1500) * (y - 1500) / 100 : 0.0);
    };
    {
        CGEORec rec;
        AddPoints(rec, Grid(4, 8, 4000, 3000), kinked); // 32 points, 16+ per side
        rec.solvepoly();
        EXPECT_NEAR(rec.m_Polynomials.m_dPWSplit, 1499.5, 1e-9);
        EXPECT_EQ(rec.SelectPWpoly(0, 1499.5), 0);
        EXPECT_EQ(rec.SelectPWpoly(0, 1500), 1);
        double lon, lat;
        kinked(2000, 2900, &lon, &lat);
        // Both halves straddle the bend, so neither is exact, but the split fit must beat
        // the whole-chart fit where the bend is strongest.
        double wholeLon[21] = {}, wholeLat[21] = {}, error = 0;
        rec.FindBestPolyPW(rec.m_RefPoints, wholeLon, wholeLat, &error);
        const double wholeMiss = std::fabs(CGEORec::Evaluate(wholeLat, 2000, 2900) - lat);
        const double splitMiss = std::fabs(rec.pwy(2000, 2900) - lat);
        EXPECT_LT(splitMiss, 0.5 * wholeMiss);
        EXPECT_LT(splitMiss, 5e-5);
    }
    {
        CGEORec rec;
        AddPoints(rec, Grid(2, 4, 4000, 3000), kinked); // 8 points: 4 per side
        rec.solvepoly();
        EXPECT_EQ(rec.m_Polynomials.m_dPWSplit, DBL_MAX);
        EXPECT_EQ(rec.m_Polynomials.m_dWPSplit, DBL_MAX);
        EXPECT_EQ(rec.SelectPWpoly(0, 1e9), 0);
        EXPECT_EQ(rec.SelectWPpoly(0, 89.9), 0);
    }
}

TEST(Georef, SplitListsShareABandAroundTheMiddle) {
    RefPointList all, lower, upper;
    for (int y : {0, 10, 40, 45, 50, 55, 60, 90, 100})
        all.push_back(std::make_unique<CRefPoint>("p", 0, y, 0.0, double(y)));
    double split = 0;
    CGEORec::SplitListNSpw(all, lower, upper, &split);
    EXPECT_EQ(split, 50);
    // Band 40..60 exclusive on both sides: lower takes y < 60, upper y > 40.
    EXPECT_EQ(lower.size(), 6u); // 0 10 40 45 50 55
    EXPECT_EQ(upper.size(), 6u); // 45 50 55 60 90 100
    RefPointList l2, u2;
    CGEORec::SplitListNSwp(all, l2, u2, &split);
    EXPECT_EQ(split, 50);
    EXPECT_EQ(l2.size(), 6u);
}

TEST(Georef, WrapAcrossTheAntimeridian) {
    // A chart from 179 E to 179 W: pixel x 0..400 spans 2 degrees of longitude.
    const WorldOf across = [](double x, double y, double* lon, double* lat) {
        double l = 179.0 + 0.005 * x;
        if (l > 180.0)
            l -= 360.0;
        *lon = l;
        *lat = 10.0 - 0.005 * y;
    };
    CGEORec rec;
    AddPoints(rec, Grid(3, 3, 401, 401), across);
    rec.solvepoly();
    EXPECT_EQ(rec.m_Polynomials.m_n180Wrap, 1);
    // The fit leaves the points as they were, the one on the meridian (x = 200) included.
    EXPECT_DOUBLE_EQ(rec.m_RefPoints.back()->m_dLongitude, -179.0);
    for (const auto& p : rec.m_RefPoints) {
        if (p->m_nX == 200) {
            EXPECT_EQ(p->m_dLongitude, 180.0);
        }
    }
    EXPECT_NEAR(rec.pwx(100, 0), 179.5, 1e-9);
    EXPECT_NEAR(rec.pwx(300, 0), -179.5, 1e-9); // -180.5 shifted by 360
    // Either name of the same meridian gives the same pixel.
    EXPECT_NEAR(rec.wpx(179.9, 10), rec.wpx(-180.1, 10), 1e-9);
    EXPECT_NEAR(rec.wpx(-179.5, 10), 300, 1e-6);

    // The other way round (leftmost west, rightmost east) is no wrap.
    CGEORec normal;
    AddPoints(normal, Grid(3, 3, 401, 401), [](double x, double y, double* lon, double* lat) {
        *lon = -1.0 + 0.005 * x;
        *lat = 10.0 - 0.005 * y;
    });
    normal.solvepoly();
    EXPECT_EQ(normal.m_Polynomials.m_n180Wrap, 0);

    // A wrapped chart is never projected.
    CGEORec projected;
    projected.m_strProjection = "MERCATOR";
    AddPoints(projected, Grid(3, 3, 401, 401), across);
    projected.solvepoly();
    EXPECT_EQ(projected.m_Projection.m_nProjection, 0);
}

// A Lambert conformal conic chart of 2500 x 2000 pixels at 300 m a pixel (750 x 600 km, a
// sectional chart), with no projection named in its reference file: fitted by polynomials,
// which must be cubic to follow it.
struct ConicChart {
    tagPPARMS p{};
    ConicChart() { project_init2(4, 45, -95, 33, 45, 117, &p); }
    void World(double x, double y, double* lon, double* lat) const {
        const double e = (x - 1250) * 300.0, n = (1000 - y) * 300.0;
        lambert_i(&p, e, n, lat, lon);
    }
    void Pixel(double lon, double lat, double* x, double* y) const {
        double e, n;
        lambert_f(&p, lat, lon, &e, &n);
        *x = e / 300.0 + 1250;
        *y = 1000 - n / 300.0;
    }
};

TEST(Georef, CubicChartConvertsWithinHalfAPixel) {
    const ConicChart chart;
    CGEORec rec;
    // 8 x 8 points: each half of a split still has 5 distinct rows for its cubic.
    AddPoints(rec, Grid(8, 8, 2500, 2000),
              [&](double x, double y, double* lon, double* lat) { chart.World(x, y, lon, lat); });
    rec.solvepoly();
    ASSERT_EQ(rec.m_Projection.m_nProjection, 0);
    double lon[21] = {}, lat[21] = {}, error = 0;
    rec.FindBestPolyPW(rec.m_RefPoints, lon, lat, &error);
    ASSERT_NE(lon[6], 0.0); // the cubic won
    double worstPw = 0, worstWp = 0;
    for (int y = 0; y <= 2000; y += 100) {
        for (int x = 0; x <= 2500; x += 125) {
            double lon, lat, px, py;
            rec.pwxy(x, y, &lon, &lat);
            chart.Pixel(lon, lat, &px, &py);
            worstPw = std::max(worstPw, std::hypot(px - x, py - y));
            chart.World(x, y, &lon, &lat);
            rec.wpxy(lon, lat, &px, &py);
            worstWp = std::max(worstWp, std::hypot(px - x, py - y));
        }
    }
    // A cubic follows this chart to about 0.02 pixel; a fit on raw pixel coordinates, whose
    // design matrix is so ill-conditioned that the 1e-10 rule drops real information, is
    // off by 0.66 pixel here.
    EXPECT_LT(worstPw, 0.1);
    EXPECT_LT(worstWp, 0.1);
}

TEST(Georef, RankDeficientPointsGiveAMinimumNormFit) {
    CGEORec rec;
    // Collinear points: the second input direction is undetermined.
    AddPoints(rec, {{0, 0}, {100, 100}, {200, 200}, {300, 300}}, kAffine);
    rec.solvepoly();
    const double lon = rec.pwx(150, 150);
    double expected, lat;
    kAffine(150, 150, &expected, &lat);
    EXPECT_NEAR(lon, expected, 1e-9);
    EXPECT_TRUE(std::isfinite(rec.pwy(1000, 0)));
}

TEST(Georef, ProjectionChoiceByName) {
    const struct {
        const char* name;
        int kind;
    } cases[] = {{"MERCATOR", 1},
                 {"mercator", 1},
                 {"Polyconic", 2},
                 {"UTM Zone 31", 3},
                 {"Transverse Mercator", 3},
                 {"LAMBERT CONFORMAL CONIC", 4},
                 {"Stereographic", 0},
                 {"", 0},
                 {" MERCATOR", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CGEORec rec;
        rec.m_strProjection = c.name;
        AddPoints(rec, Grid(3, 3, 1000, 1000), kAffine);
        rec.solvepoly();
        EXPECT_EQ(rec.m_Projection.m_nProjection, c.kind);
    }
}

TEST(Georef, LambertWithoutParallelsUsesTheBordersMiddleLatitude) {
    CGEORec rec;
    rec.m_strProjection = "LAMBERT";
    rec.m_Vertices.push_back(std::make_unique<CRefPoint>("Vertex1", 0, 0, 4.0, 51.0));
    rec.m_Vertices.push_back(std::make_unique<CRefPoint>("Vertex2", 0, 0, 6.0, 53.0));
    AddPoints(rec, Grid(3, 3, 1000, 1000), kAffine);
    rec.solvepoly();
    ASSERT_EQ(rec.m_Projection.m_nProjection, 4);
    EXPECT_DOUBLE_EQ(rec.m_Projection.m_Parms.lccN, std::sin(52.0 * kDeg));
    EXPECT_DOUBLE_EQ(rec.m_Projection.m_Parms.lambda0, 5.0 * kDeg);
    EXPECT_DOUBLE_EQ(rec.m_Projection.m_Parms.a, 6377397.155); // datum entry 17: Bessel 1841
}

TEST(Georef, ProjectedChartWithOffsetsRoundTrips) {
    // Points made in Mercator (datum entry 17) with a datum offset applied.
    CGEORec rec;
    rec.m_strProjection = "Mercator";
    rec.m_strP1 = "0";
    rec.m_strPP = "0";
    rec.m_dLatitudeOffset = 0.001;
    rec.m_dLongitudeOffset = -0.002;
    tagPPARMS p{};
    project_init(1, 0, 0, 17, &p);
    double e0, n0;
    mercator_f(&p, 52.0 + 0.001, 4.0 - 0.002, &e0, &n0);
    AddPoints(rec, Grid(3, 3, 2000, 2000), [&](double x, double y, double* lon, double* lat) {
        mercator_i(&p, e0 + 50.0 * x, n0 - 50.0 * y, lat, lon);
        *lat -= 0.001;
        *lon += 0.002;
    });
    rec.solvepoly();
    ASSERT_EQ(rec.m_Projection.m_nProjection, 1);
    for (double x : {0.0, 777.7, 2000.0}) {
        double lon, lat, px, py;
        rec.pwxy(x, 1500, &lon, &lat);
        rec.wpxy(lon, lat, &px, &py);
        EXPECT_NEAR(px, x, 1e-6);
        EXPECT_NEAR(py, 1500, 1e-6);
    }
    double lon, lat;
    rec.pwxy(0, 0, &lon, &lat);
    EXPECT_NEAR(lon, 4.0, 1e-9);
    EXPECT_NEAR(lat, 52.0, 1e-9);
}

// The 1-based decomposition routines: a = u w v^T with orthonormal v, and svbksb's least-
// squares solution, for a tall matrix, a wide one (padded inside) and one of rank 1.
TEST(Georef, DecompositionRoutinesKeepTheirOneBasedContract) {
    const std::vector<std::vector<double>> matrices[] = {
        {{2, 0, 1}, {1, 3, 0}, {0, 1, 4}, {1, 1, 1}}, // 4 x 3
        {{1, 2, 3}, {4, 5, 6}},                       // 2 x 3
        {{1, 2}, {2, 4}, {3, 6}},                     // 3 x 2, rank 1
    };
    for (const auto& rows : matrices) {
        const int m = static_cast<int>(rows.size()), n = static_cast<int>(rows[0].size());
        SCOPED_TRACE(std::to_string(m) + " x " + std::to_string(n));
        std::vector<std::vector<double>> ua(m + 1, std::vector<double>(n + 1, -7)),
            va(n + 1, std::vector<double>(n + 1, -7));
        std::vector<double*> u(m + 1), v(n + 1);
        for (int i = 0; i <= m; ++i)
            u[i] = ua[i].data();
        for (int i = 0; i <= n; ++i)
            v[i] = va[i].data();
        for (int i = 1; i <= m; ++i)
            for (int j = 1; j <= n; ++j)
                u[i][j] = rows[i - 1][j - 1];
        std::vector<double> w(n + 1, -7);
        CGEORec::svdcmp(u.data(), m, n, w.data(), v.data());
        for (int i = 1; i <= m; ++i)
            for (int j = 1; j <= n; ++j) {
                double a = 0;
                for (int k = 1; k <= n; ++k)
                    a += u[i][k] * w[k] * v[j][k];
                EXPECT_NEAR(a, rows[i - 1][j - 1], 1e-12) << i << "," << j;
            }
        for (int j = 1; j <= n; ++j)
            for (int k = 1; k <= n; ++k) {
                double dot = 0;
                for (int i = 1; i <= n; ++i)
                    dot += v[i][j] * v[i][k];
                EXPECT_NEAR(dot, j == k ? 1.0 : 0.0, 1e-12);
            }
        // Least squares through the decomposition, the small singular values zeroed: the
        // residual is orthogonal to the columns (normal equations) and x has no component in
        // the null space.
        double wmax = 0;
        for (int j = 1; j <= n; ++j)
            wmax = std::max(wmax, w[j]);
        for (int j = 1; j <= n; ++j)
            if (w[j] < 1e-10 * wmax)
                w[j] = 0;
        std::vector<double> b(m + 1), x(n + 1);
        for (int i = 1; i <= m; ++i)
            b[i] = 1.0 + i * i;
        CGEORec::svbksb(u.data(), w.data(), v.data(), m, n, b.data(), x.data());
        for (int j = 1; j <= n; ++j) {
            double dot = 0;
            for (int i = 1; i <= m; ++i) {
                double r = b[i];
                for (int k = 1; k <= n; ++k)
                    r -= rows[i - 1][k - 1] * x[k];
                dot += r * rows[i - 1][j - 1];
            }
            EXPECT_NEAR(dot, 0.0, 1e-9) << j;
            if (w[j] == 0) {
                double along = 0;
                for (int k = 1; k <= n; ++k)
                    along += v[k][j] * x[k];
                EXPECT_NEAR(along, 0.0, 1e-12) << "null-space component " << j;
            }
        }
    }
    EXPECT_DOUBLE_EQ(CGEORec::pythag(3e200, 4e200), 5e200); // no overflow
    EXPECT_EQ(CGEORec::pythag(0, 0), 0.0);
}

} // namespace
