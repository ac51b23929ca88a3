// Map projections against PROJ (run as a black box when these tables were made).
#include <tavola/Projection.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct ProjCase {
    const char* what;
    int kind;
    double p1, p2, p3, p4;
    int datum;
    double lon, lat;
    double easting, northing; // PROJ
    double tolerance;         // metres
    bool inverse = true;      // false: far from the central meridian, where the inverse
                              // iteration (PROJ's as well) does not converge
};

// Datums: 117 WGS-84, 17 Bessel 1841, 2 Clarke 1866.  Reference commands:
//  Mercator:   proj +proj=merc +lat_ts=0 +lon_0=L0 +ellps=...
//  polyconic:  proj +proj=poly +lat_0=0 +lon_0=-96 +ellps=clrk66
//  TM:         proj +proj=tmerc +approx +lat_0=52 +lon_0=5 +k_0=0.9996 +x_0=0 +y_0=0
//              +ellps=WGS84 (the same series, PP 1395 8-9 to 8-10)
//  Lambert:    proj +proj=lcc +lat_0=.. +lon_0=.. +lat_1=.. +lat_2=.. +ellps=...
const ProjCase kCases[] = {
    {"merc origin", 1, 0, 0, 0, 0, 117, 0, 0, 0.0, 0.0, 1e-6},
    {"merc Amsterdam", 1, 0, 0, 0, 0, 117, 4.76, 52.3, 529880.7762, 6820721.4158, 1e-3},
    {"merc San Francisco", 1, 0, 0, 0, 0, 117, -122.5, 37.75, -13636637.6222, 4518006.9976, 1e-3},
    {"merc south", 1, 0, 0, 0, 0, 117, 170, -60, 18924313.4349, -8362698.5485, 1e-3},
    {"merc Bessel", 1, 0, 5, 0, 0, 17, 4.76, 52.3, -26713.5787, 6820031.4731, 1e-3},
    {"merc Bessel south", 1, 0, 5, 0, 0, 17, -3, -45, -890452.6245, -5590737.7714, 1e-3},
    {"tm near meridian", 3, 52, 5, 0, 0, 117, 4.76, 52.3, -16365.7534, 33394.8282, 2e-3},
    {"tm 2 degrees east", 3, 52, 5, 0, 0, 117, 7.0, 50.0, 143329.1239, -220490.8427, 2e-3},
    {"tm 2 degrees west", 3, 52, 5, 0, 0, 117, 3.0, 55.5, -126332.0306, 391212.4329, 2e-3},
    {"poly north-east", 2, 0, -96, 0, 0, 2, 4.76, 52.3, 4860870.7988, 9855327.9906, 1e-3, false},
    {"poly near meridian", 2, 0, -96, 0, 0, 2, -100, 40, -341469.7668, 4436981.9288, 1e-3},
    {"poly near equator", 2, 0, -96, 0, 0, 2, 0, 0.5, 10686002.4671, 133407.4396, 1e-3, false},
    {"lcc origin", 4, 52.3, 4.76, 51, 53.5, 17, 4.76, 52.3, 0.0, 0.0, 1e-3},
    {"lcc south-west", 4, 52.3, 4.76, 51, 53.5, 17, 2.0, 50.6, -195369.6195, -185374.0932, 1e-3},
    {"lcc north-east", 4, 52.3, 4.76, 51, 53.5, 17, 8.6, 53.6, 254078.7986, 151367.9669, 1e-3},
    {"lcc one parallel", 4, 33, -96, 33, 33, 2, -100, 35, -365296.3440, 228829.2088, 1e-3},
    {"lcc one parallel 2", 4, 33, -96, 33, 33, 2, -90, 30, 579396.9012, -316246.3120, 1e-3},
};

TEST(Projection, ForwardMatchesProjAndInverseReturns) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        tagPPARMS p{};
        project_init2(c.kind, c.p1, c.p2, c.p3, c.p4, c.datum, &p);
        double e = -1, n = -1;
        project_f(c.kind, &p, c.lat, c.lon, &e, &n);
        EXPECT_NEAR(e, c.easting, c.tolerance);
        EXPECT_NEAR(n, c.northing, c.tolerance);
        double lat = -1, lon = -1;
        project_i(c.kind, &p, c.easting, c.northing, &lat, &lon); // must end, converging or not
        if (!c.inverse)
            continue;
        // The inverses converge to 1e-7 degree or radian: 1e-6 degree is 0.1 m.
        EXPECT_NEAR(lat, c.lat, 1e-6);
        EXPECT_NEAR(lon, c.lon, 1e-6);
    }
}

TEST(Projection, TransverseMercatorRoundTripWithinAMetreNearTheMeridian) {
    tagPPARMS p{};
    project_init(3, 0, 9, 117, &p);
    double worst = 0;
    for (double lat = -80; lat <= 80; lat += 2.5) {
        for (double dl = -3; dl <= 3; dl += 0.5) {
            double e, n, la, lo;
            utm_f(&p, lat, 9 + dl, &e, &n);
            utm_i(&p, e, n, &la, &lo);
            double e2, n2;
            utm_f(&p, la, lo, &e2, &n2);
            worst = std::max(worst, std::hypot(e2 - e, n2 - n));
            EXPECT_NEAR(la, lat, 1e-5);
            EXPECT_NEAR(lo, 9 + dl, 1e-5);
        }
    }
    EXPECT_LT(worst, 1.0);
}

TEST(Projection, LambertWithEqualParallelsUsesSinPhi1) {
    tagPPARMS p{};
    project_init(4, 40, -100, 117, &p);
    EXPECT_DOUBLE_EQ(p.lccN, std::sin(40 * 0.017453292519944444));
    tagPPARMS q{};
    project_init2(4, 40, -100, 40, 40, 117, &q);
    EXPECT_DOUBLE_EQ(q.lccN, p.lccN);
}

TEST(Projection, PolyconicOnTheEquator) {
    tagPPARMS p{};
    project_init(2, 30, 10, 117, &p); // the dispatcher passes phi0 = 0
    EXPECT_DOUBLE_EQ(p.polyM0, 0.0);
    double e, n;
    polyconic_f(&p, 0.0, 12.0, &e, &n);
    EXPECT_DOUBLE_EQ(e, p.a * 2.0 * 0.017453292519944444);
    EXPECT_DOUBLE_EQ(n, -p.polyM0);
    double lat, lon;
    polyconic_i(&p, e, n, &lat, &lon);
    EXPECT_EQ(lat, 0.0);
    EXPECT_NEAR(lon, 12.0, 1e-12);
}

TEST(Projection, NullParametersUseTheDefaultWgs84Mercator) {
    double e = 0, n = 0, e2 = 0, n2 = 0;
    project_f(1, nullptr, 52.3, 4.76, &e, &n);
    EXPECT_NEAR(e, 529880.7762, 1e-3);
    EXPECT_NEAR(n, 6820721.4158, 1e-3);
    tagPPARMS p{};
    project_init(1, 0, 0, 117, &p);
    project_f(1, &p, 52.3, 4.76, &e2, &n2);
    EXPECT_NEAR(n, n2, 1e-6);
}

TEST(Projection, UnknownKindLeavesOutputsAndInitFillsOnlyTheEllipsoid) {
    double e = 7, n = 8;
    project_f(9, nullptr, 1, 2, &e, &n);
    EXPECT_EQ(e, 7);
    EXPECT_EQ(n, 8);
    project_i(0, nullptr, 1, 2, &e, &n);
    EXPECT_EQ(e, 7);
    tagPPARMS p{};
    p.lambda0 = 42;
    project_init(0, 10, 20, 17, &p);
    EXPECT_DOUBLE_EQ(p.a, 6377397.155);
    EXPECT_EQ(p.lambda0, 42);
    project_init(1, 10, 20, 17, nullptr); // nothing happens
}

TEST(Projection, InversesEndOnInputThatNeverConverges) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    tagPPARMS p{};
    project_init(2, 0, 0, 117, &p);
    for (double v : {nan, inf, -inf, 1e300}) {
        double lat, lon;
        mercator_i(nullptr, 0.0, v, &lat, &lon);
        polyconic_i(&p, v, v, &lat, &lon);
        polyconic_i(&p, 1e7, v, &lat, &lon);
    }
    SUCCEED();
}

} // namespace
