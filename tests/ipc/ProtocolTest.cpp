// The link protocol's encodings, which both peers share: what the simulator writes, the client
// decodes back; the ends of the ranges; and the decoders as the client's conversions state them.
#include <ipc/Protocol.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

using namespace ipc::protocol;

double Latitude(double v) {
    return DecodeLatitude(EncodeLatitude(v));
}
double Longitude(double v) {
    return DecodeLongitude(EncodeLongitude(v));
}
double Altitude(double v) {
    return DecodeAltitude(EncodeAltitude(v));
}
double Angle(double v) {
    return DecodeAngle(EncodeAngle(v));
}
double Knots(double v) {
    return DecodeKnots(EncodeScaled(v, kKnotsScale));
}
double VerticalSpeed(double v) {
    return DecodeVerticalSpeed(EncodeScaled(v, kVerticalSpeedScale));
}

TEST(Protocol, WhatOnePeerEncodesTheOtherDecodes) {
    struct {
        const char* what;
        double (*roundTrip)(double);
        double value, expected, tolerance;
    } const cases[] = {
        // Positions within a few raw units (0.3 nm of latitude), angles within half a raw unit.
        {"latitude", Latitude, -89.9, -89.9, 1e-14},
        {"latitude", Latitude, 52.30173122, 52.30173122, 1e-14},
        {"longitude", Longitude, -179.999, -179.999, 1e-14},
        {"longitude", Longitude, 4.73740403, 4.73740403, 1e-14},
        {"longitude past the antimeridian", Longitude, 190.0, -170.0, 1e-13},
        {"longitude of the half turn", Longitude, 540.0, -180.0, 0},
        {"altitude", Altitude, 500.75, 500.75, 1e-9},
        {"angle", Angle, -179.9, -179.9, 5e-8},
        {"heading 350 reads as -10", Angle, 350.0, -10.0, 5e-8},
        {"airspeed", Knots, 92.4, 92.4, 1.0 / 256},
        {"vertical speed", VerticalSpeed, -3.1, -3.1, 1.0 / 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << " " << c.value);
        EXPECT_NEAR(c.roundTrip(c.value), c.expected, c.tolerance);
    }
}

TEST(Protocol, EndsOfTheRanges) {
    // The half turn has one bit pattern, the most negative value.
    EXPECT_EQ(EncodeAngle(180.0), INT32_MIN);
    EXPECT_EQ(EncodeAngle(-180.0), INT32_MIN);
    EXPECT_EQ(EncodeLongitude(180.0), INT64_MIN);
    // Whole metres in the upper 32 bits, the fraction below: -3.35 m has -4 whole metres.
    EXPECT_EQ(EncodeAltitude(-3.35) >> 32, -4);
    EXPECT_EQ(EncodeAltitude(500.75) >> 32, 500);
    // Scaled values stop at the 32-bit range.
    EXPECT_EQ(EncodeScaled(1e12, kKnotsScale), INT32_MAX);
    EXPECT_EQ(EncodeScaled(-1e12, kKnotsScale), INT32_MIN);
}

TEST(Protocol, DecodersAreTheClientsConversions) {
    const std::int64_t raw = 0x0123456789ABCDEF;
    EXPECT_EQ(DecodeLatitude(raw), static_cast<double>(raw) * 90.0 / (10001750.0 * 4294967296.0));
    EXPECT_EQ(DecodeLongitude(raw), static_cast<double>(raw) * 360.0 / 18446744073709551616.0);
    EXPECT_EQ(DecodeAngle(-123456789), -123456789 / 11930464.711111112);
    EXPECT_EQ(static_cast<int>(DecodeKnots(-129)), -129 / 128); // truncated towards zero
    EXPECT_EQ(std::floor(DecodeAltitude(EncodeAltitude(-3.35))), EncodeAltitude(-3.35) >> 32);
}

} // namespace
