// The spherical formulas of the cruise leg, against vectors computed independently with full
// double pi (agreement within 1e-7 degrees: the ten-decimal pi of the formulas cancels out in a
// round trip through radians).

#include <kestro/FlightExecutor.h>
#include <kestro/Navigation.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace kestro;

struct NavVector {
    double lat1, lon1, lat2, lon2;
    double distance; // degrees of arc
    double course;   // degrees, (0, 360]
};

// clang-format off
const NavVector kVectors[] = {
    // due north, east, south, west on the equator
    {0, 0, 1, 0,                             1.0,                 360.0},
    {0, 0, 0, 1,                             1.0,                  90.0},
    {0, 0, -1, 0,                            1.0,                 180.0},
    {0, 0, 0, -1,                            1.0,                 270.0},
    // from the poles
    {90, 0, 0, 0,                           90.0,                 180.0},
    {-90, 0, 0, 0,                          90.0,                 360.0},
    // the same point
    {52.3, 4.76, 52.3, 4.76,                 0.0,                   0.0},
    // LAX to JFK (the formulary's example), Schiphol 09 to the IJsselmeer, Schiphol to London,
    // Sydney to Heathrow (across the date line side of the globe)
    {33.95, -118.4, 40.633333, -73.783333,  35.728768629061854,   65.8921670931295},
    {52.31662258, 4.74629843, 52.42, 5.30,   0.3535319625639761,  72.77843840276074},
    {52.3, 4.76, 51.5, -0.12,                3.1149115137726704, 257.0506679712397},
    {-33.9, 151.2, 51.47, -0.45,           153.0417885401068,    319.27049270159443},
};
// clang-format on

TEST(Navigation, DistanceAndCourseVectors) {
    for (const NavVector& v : kVectors) {
        SCOPED_TRACE(testing::Message()
                     << v.lat1 << "," << v.lon1 << " -> " << v.lat2 << "," << v.lon2);
        EXPECT_NEAR(GreatCircleDistance(v.lat1, v.lon1, v.lat2, v.lon2), v.distance, 1e-7);
        EXPECT_NEAR(TrueCourse(v.lat1, v.lon1, v.lat2, v.lon2), v.course, 1e-7);
    }
}

TEST(Navigation, AntipodesDoNotGiveNaN) {
    EXPECT_NEAR(GreatCircleDistance(0, 0, 0, 180), 180.0, 1e-7);
    EXPECT_NEAR(GreatCircleDistance(45, 10, -45, -170), 180.0, 1e-6);
}

TEST(Navigation, ElementaryFunctions) {
    struct {
        double y, x, expected;
    } atan2Cases[] = {
        {0, 0, 0},
        {1, 1, kPi / 4},
        {1, -1, 3 * kPi / 4},
        {-1, -1, -3 * kPi / 4},
        {-1, 1, -kPi / 4},
        {0, -1, kPi},
        {1, 0, kPi / 2},
        {-1, 0, -kPi / 2},
        {0.5, 2, std::atan(0.25)},
    };
    for (const auto& c : atan2Cases)
        EXPECT_NEAR(ArcTan2(c.y, c.x), c.expected, 1e-9) << c.y << "," << c.x;

    EXPECT_NEAR(ArcSin(0), 0, 1e-15);
    EXPECT_NEAR(ArcSin(0.5), kPi / 6, 1e-9);
    EXPECT_NEAR(ArcSin(1), kPi / 2, 1e-9);
    EXPECT_NEAR(ArcSin(-1), -kPi / 2, 1e-9);

    // Exactly 0 is reported as a whole turn: due north is 360.
    EXPECT_DOUBLE_EQ(ModTwoPi(0), 2 * kPi);
    EXPECT_DOUBLE_EQ(ModTwoPi(2 * kPi), 2 * kPi);
    EXPECT_NEAR(ModTwoPi(-kPi / 2), 1.5 * kPi, 1e-12);
    EXPECT_NEAR(ModTwoPi(kPi), kPi, 1e-12);
    EXPECT_NEAR(ModTwoPi(-1.5 * kPi), 0.5 * kPi, 1e-12);
    // Beyond 2 pi the truncating mod no longer reduces (ArcTan2 never gives such angles).
    EXPECT_NEAR(ModTwoPi(3 * kPi), 3 * kPi, 1e-12);
}

TEST(Navigation, ScriptNumbersAndLogFormats) {
    struct {
        const char* text;
        double value;
    } numbers[] = {{"52.31662258", 52.31662258},
                   {"  -11", -11},
                   {"+4.5", 4.5},
                   {"1e2", 100},
                   {"12abc", 12},
                   {"abc", 0},
                   {"", 0},
                   {"-", 0}};
    for (const auto& n : numbers)
        EXPECT_DOUBLE_EQ(ParseDecimal(n.text), n.value) << n.text;

    EXPECT_EQ(FormatFixed(83.2149, 2, 5), "83.21");
    EXPECT_EQ(FormatFixed(5.5, 2, 5), " 5.50");
    EXPECT_EQ(FormatFixed(360.0, 2, 5), "360.00");
    EXPECT_EQ(FormatFixed(0.0869826, 6), "0.086983");
    EXPECT_EQ(FormatFixed(-0.5, 6), "-0.500000");
}

} // namespace
