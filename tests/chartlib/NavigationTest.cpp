// Rhumb-line navigation and the great-circle formulas.
#include <tavola/GreatCircle.h>
#include <tavola/Navigation.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

constexpr double kDeg = 0.017453292519944444;

TEST(Navigation, MeridionalPartsMatchTheClarke1866Mercator) {
    // PROJ: proj +proj=merc +ellps=clrk66 +a=1 gives y; parts = y * 10800 / pi minutes.
    // The series adds its sin^3 and sin^5 terms where the ellipsoidal series subtracts
    // them, which puts it up to 2 x (0.0525 + 0.000213) minutes above the ellipsoid at high
    // latitudes; anything beyond that is a fault.
    const struct {
        double lat, y;
    } cases[] = {{10, 0.174250}, {45, 0.876582}, {60, 1.311086}, {80, 2.429566}};
    for (const auto& c : cases) {
        const double expected = c.y * 10800.0 / M_PI;
        const double s = std::sin(c.lat * kDeg);
        const double slack = 2 * (0.0525 * s * s * s + 0.000213 * std::pow(s, 5)) + 0.005;
        EXPECT_NEAR(m_parts(c.lat * kDeg), expected, slack) << c.lat;
        EXPECT_NEAR(m_parts(-c.lat * kDeg), -expected, slack) << c.lat;
    }
    // pi/4 is the 13-digit constant, so the equator is off by a few 1e-10 minutes.
    EXPECT_NEAR(m_parts(0.0), 0.0, 1e-9);
}

TEST(Navigation, InverseMeridionalPartsReturnTheLatitude) {
    for (double lat = -80; lat <= 80; lat += 0.5) {
        // A thousandth of a minute is 1.7e-5 degree.
        EXPECT_NEAR(m_parts_inv(m_parts(lat * kDeg)), lat, 1.0 / 60000.0) << lat;
    }
}

TEST(Navigation, AngleQuadrants) {
    // The radian-to-degree factor 57.29577951307855 is 7e-14 short of 180/pi, so results
    // are off by up to a few 1e-11 degree.
    const double tol = 1e-10;
    EXPECT_NEAR(m_angle(0, 1), 0, tol);
    EXPECT_NEAR(m_angle(1, 0), 90, tol);
    EXPECT_NEAR(m_angle(0, -1), 180, tol);
    EXPECT_NEAR(m_angle(-1, 0), 270, tol);
    EXPECT_DOUBLE_EQ(m_angle(0, 0), 90);
    EXPECT_NEAR(m_angle(1, 1), 45, tol);
    EXPECT_NEAR(m_angle(-1, 1), 315, tol);
    EXPECT_NEAR(m_angle(-1, -1), 225, tol);
    for (double a = -3.0; a <= 3.0; a += 0.37) {
        const double c = m_angle(std::cos(a), std::sin(a));
        EXPECT_GE(c, 0.0);
        EXPECT_LT(c, 360.0);
    }
}

TEST(Navigation, BearingAndDistance) {
    EXPECT_DOUBLE_EQ(m_bearing(10, 20, 10, 20), 90); // identical points
    EXPECT_NEAR(m_bearing(50, 5, 51, 5), 0, 1e-12);
    EXPECT_NEAR(m_bearing(50, 5, 49, 5), 180, 1e-12);
    EXPECT_NEAR(m_bearing(50, 5, 50, 6), 90, 1e-12);
    // On the equator one degree of longitude is about 60.4 nautical miles (the spheroid's
    // equatorial degree, 60.1 nm, stretched by the departure approximation).
    EXPECT_NEAR(m_distance(0, 0, 0, 1), 60.4, 0.1);
    // North-south: the latitude difference in minutes.
    EXPECT_NEAR(m_distance(10, 3, 11, 3), 60.0, 1e-9);
    // Across the 180-degree meridian the short way: 1 degree of longitude at 10 degrees.
    const double across = m_distance(10, 179.5, 10, -179.5);
    EXPECT_NEAR(across, m_distance(10, -0.5, 10, 0.5), 1e-9);
    EXPECT_LT(across, 61.0);
    EXPECT_DOUBLE_EQ(m_distance(10, 20, 10, 20), 0.0);

    double course = -1;
    const double d = m_b_d(50, 5, 51, 6, &course);
    EXPECT_DOUBLE_EQ(d, m_distance(50, 5, 51, 6));
    EXPECT_DOUBLE_EQ(course, m_bearing(50, 5, 51, 6));
    EXPECT_GT(course, 0);
    EXPECT_LT(course, 90);
    m_b_d(10, 179.5, 10, -179.5, &course); // the course also goes the short way, east
    EXPECT_NEAR(course, 90, 1e-9);
}

TEST(Navigation, TimeToGo) {
    EXPECT_EQ(m_ttg(10, 3, 11, 3, 120), 1800);
    EXPECT_EQ(m_ttg(10, 3, 11, 3, 7), 30857);    // truncated, not rounded
    EXPECT_EQ(m_ttg(10, 3, 11, 3, 0), LONG_MAX); // no speed: no finite time
    EXPECT_EQ(m_ttg(10, 3, 10, 3, 0), 0);
}

TEST(Navigation, AdvanceAlongCourses) {
    double lat = 50, lon = 5;
    EXPECT_DOUBLE_EQ(m_advance_d(&lat, &lon, 60, 0), 60);
    EXPECT_NEAR(lat, 51, 1e-12);
    EXPECT_DOUBLE_EQ(lon, 5);

    lat = 50, lon = 5;
    m_advance_d(&lat, &lon, 30, 90.005); // within 0.01 of east: the latitude is kept
    EXPECT_EQ(lat, 50);
    EXPECT_NEAR(lon, 5 + 30 / 60.0 / std::cos(50 * kDeg), 0.01);
    const double east = lon;
    lat = 50, lon = 5;
    m_advance_d(&lat, &lon, 30, 270);
    EXPECT_EQ(lat, 50);
    EXPECT_NEAR(lon, 5 - (east - 5), 1e-9);

    // A diagonal course comes back where it started when run back again.
    for (double course : {30.0, 135.0, 200.0, 300.0}) {
        lat = 40, lon = -70;
        m_advance_t(&lat, &lon, 120, 1800, course); // 60 nm
        const double there = m_distance(40, -70, lat, lon);
        EXPECT_NEAR(there, 60, 0.05) << course;
        EXPECT_NEAR(m_bearing(40, -70, lat, lon), course, 0.01) << course;
    }
}

TEST(Navigation, ThetaAndLine) {
    EXPECT_EQ(m_theta(10, 10, 10, 10), 0);
    EXPECT_NEAR(m_theta(10, 10, 10, 11), 0, 1e-12);        // east
    EXPECT_NEAR(m_theta(10, 10, 11, 10), M_PI / 2, 1e-12); // north
    // The foot of the perpendicular from a point on the line is the point itself, and a
    // point off an east-west line drops onto its parallel.
    const double theta = m_theta(40, -70, 41, -69);
    double lat = 40.5, lon = -69.5 + 1e-9;
    m_line(40, -70, &lat, &lon, theta);
    double lat2 = 40.2, lon2 = -69.0;
    m_line(40, -70, &lat2, &lon2, 0.0);
    EXPECT_NEAR(lat2, 40, 1e-7);
    EXPECT_NEAR(lon2, -69.0, 1e-12);
    EXPECT_NEAR(m_bearing(40, -70, lat, lon), m_bearing(40, -70, 41, -69), 0.01);
}

TEST(GreatCircle, DistanceAndCourse) {
    EXPECT_NEAR(GreatCircleDistance(0, 0, 0, 90), 90, 1e-7);
    EXPECT_NEAR(GreatCircleDistance(0, 0, 0, 180), 180, 1e-7);
    EXPECT_EQ(GreatCircleDistance(52, 4, 52, 4), 0);
    // Amsterdam to New York on the sphere: 52.3/4.76 to 40.64/-73.78, 52.589 degrees of arc
    // and an initial course of 290.564 (full-precision spherical formulas).
    EXPECT_NEAR(GreatCircleDistance(52.3, 4.76, 40.64, -73.78), 52.5893, 1e-4);
    EXPECT_NEAR(TrueCourse(52.3, 4.76, 40.64, -73.78), 290.5640, 1e-4);

    EXPECT_NEAR(TrueCourse(10, 20, 11, 20), 360, 1e-7); // due north is 360, not 0
    EXPECT_NEAR(TrueCourse(0, 20, 0, 21), 90, 1e-7);
    EXPECT_NEAR(TrueCourse(0, 20, -1, 20), 180, 1e-7);
    EXPECT_NEAR(TrueCourse(0, 20, 0, 19), 270, 1e-7);
    EXPECT_EQ(TrueCourse(10, 20, 10, 20), 0); // same point
    // The pole branch needs |cos(lat1)| < 1e-11.  With pi = 3.1415926535, 90 degrees is
    // 4.5e-11 short of the true right angle, so only a latitude just beyond 90 reaches it:
    // from the north pole 180, from the south pole 360.
    const double pole = 180.0 * (M_PI / 2) / tavola::kCruisePi;
    ASSERT_LT(std::fabs(std::cos(pole * tavola::kCruisePi / 180.0)), tavola::kCruiseEps);
    EXPECT_NEAR(TrueCourse(pole, 0, 10, 20), 180, 1e-7);
    EXPECT_NEAR(TrueCourse(-pole, 0, 10, 20), 360, 1e-7);
    // At exactly 90 the general formula gives the course of the start meridian's direction.
    EXPECT_NEAR(TrueCourse(90, 0, 10, 20), 160, 1e-6);
    // Vectors computed independently with the full-precision pi (the ten-decimal pi cancels out
    // within 1e-7 degrees): Los Angeles to New York (the formulary's example), a short leg from
    // Schiphol's runway 09, Sydney to Heathrow; and antipodes off the equator.
    struct {
        double lat1, lon1, lat2, lon2, distance, course;
    } const vectors[] = {
        {33.95, -118.4, 40.633333, -73.783333, 35.728768629061854, 65.8921670931295},
        {52.31662258, 4.74629843, 52.42, 5.30, 0.3535319625639761, 72.77843840276074},
        {-33.9, 151.2, 51.47, -0.45, 153.0417885401068, 319.27049270159443},
    };
    for (const auto& v : vectors) {
        EXPECT_NEAR(GreatCircleDistance(v.lat1, v.lon1, v.lat2, v.lon2), v.distance, 1e-7);
        EXPECT_NEAR(TrueCourse(v.lat1, v.lon1, v.lat2, v.lon2), v.course, 1e-7);
    }
    EXPECT_NEAR(GreatCircleDistance(45, 10, -45, -170), 180, 1e-6);
}

TEST(GreatCircle, ElementaryFunctions) {
    for (double x = -1; x <= 1; x += 0.125)
        EXPECT_NEAR(ArcSin(x), std::asin(x), 1e-12);
    EXPECT_EQ(ArcTan2(0, 0), 0);
    const double pi = tavola::kCruisePi;
    EXPECT_NEAR(ArcTan2(1, 0), pi / 2, 1e-15);
    EXPECT_NEAR(ArcTan2(-1, 0), -pi / 2, 1e-15);
    EXPECT_NEAR(ArcTan2(0, -1), pi, 1e-15);
    EXPECT_NEAR(ArcTan2(-1e-9, -1), -pi, 1e-8);
    // pi/2 - atan(1) with the 10-decimal pi.
    EXPECT_NEAR(ArcTan2(1, 1), pi / 2 - std::atan(1.0), 1e-15);
    EXPECT_NEAR(ArcTan2(1, 1), std::atan2(1, 1), 1e-10);
    EXPECT_DOUBLE_EQ(ModTwoPi(0), 2 * pi);
    EXPECT_NEAR(ModTwoPi(-pi / 2), 1.5 * pi, 1e-12);
    EXPECT_NEAR(ModTwoPi(-pi), pi, 1e-12);
    EXPECT_NEAR(ModTwoPi(pi), pi, 1e-12);
    // The truncating mod maps only angles up to 2 pi (the courses it is used for) into
    // (0, 2 pi]; larger ones land in [2 pi, 4 pi).
    EXPECT_NEAR(ModTwoPi(2.5 * pi), 2.5 * pi, 1e-12);
    EXPECT_NEAR(ModTwoPi(pi / 3), pi / 3, 1e-12);
}

} // namespace
