// Datum tables, Molodensky shifts and geodetic/Cartesian conversions.
#include <tavola/Datum.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

struct ShiftCase {
    const char* what;
    int datum;
    double lon, lat, h;    // on the datum
    double wgsLon, wgsLat; // on WGS-84, from PROJ's cs2cs (three-parameter Helmert)
};

// Reference values: cs2cs +proj=longlat +ellps=E +towgs84=dX,dY,dZ +to +proj=longlat
// +datum=WGS84.  The standard Molodensky formulas agree with the exact three-parameter
// transformation to a few centimetres; the tolerance is 2e-6 degree (0.2 m).
const ShiftCase kShifts[] = {
    {"WGS-72 Amsterdam", 116, 4.76, 52.3, 100, 4.760000000, 52.300029269},
    {"WGS-72 San Francisco", 116, -122.5, 37.75, 0, -122.500000000, 37.750037413},
    {"WGS-72 Sydney", 116, 150, -33, 500, 150.000000000, -32.999963885},
    {"European 1950", 38, 4.76, 52.3, 100, 4.758703480, 52.299218390},
    {"European 1950 Italy", 38, 10, 45, 0, 9.998992575, 44.999065533},
    {"NAD-27 mean", 79, -100, 40, 0, -100.000417622, 40.000009483},
};

TEST(Datum, ShiftsToWgs84MatchProj) {
    for (const auto& c : kShifts) {
        SCOPED_TRACE(c.what);
        double lat = c.lat, lon = c.lon, h = c.h;
        datum_to_WGS(&lat, &lon, &h, c.datum);
        EXPECT_NEAR(lat, c.wgsLat, 2e-6);
        EXPECT_NEAR(lon, c.wgsLon, 2e-6);
        // And back: the reverse shift returns to the start within the formulas' error.
        WGS_to_datum(&lat, &lon, &h, c.datum);
        EXPECT_NEAR(lat, c.lat, 2e-6);
        EXPECT_NEAR(lon, c.lon, 2e-6);
        EXPECT_NEAR(h, c.h, 0.5);
    }
}

TEST(Datum, Wgs84AndItsTwinsLeaveThePositionUnchanged) {
    for (int datum : {117, 44, 48, 75, 103}) {
        SCOPED_TRACE(tavola::kDatums[datum].name);
        for (double lat : {-60.0, 0.0, 52.3}) {
            double la = lat, lo = 4.76, h = 123.0;
            datum_to_WGS(&la, &lo, &h, datum);
            EXPECT_DOUBLE_EQ(la, lat);
            EXPECT_DOUBLE_EQ(lo, 4.76);
            EXPECT_DOUBLE_EQ(h, 123.0);
            WGS_to_datum(&la, &lo, &h, datum);
            EXPECT_DOUBLE_EQ(la, lat);
            EXPECT_DOUBLE_EQ(h, 123.0);
        }
    }
}

TEST(Datum, Wgs72ShiftsByDzAndTheSmallEllipsoidChange) {
    // At the equator on the prime meridian dZ = 5 m moves only the latitude (5 m north =
    // 4.52e-5 degree); WGS-84's axis is 2 m longer, so the height drops by 2 m.
    double lat = 0, lon = 0, h = 0;
    datum_to_WGS(&lat, &lon, &h, 116);
    EXPECT_NEAR(lat, 5.0 / 110574.0, 1e-8);
    EXPECT_DOUBLE_EQ(lon, 0.0);
    EXPECT_NEAR(h, -2.0, 1e-6);
    // At 60 degrees: 5 sin 60 - 2 a/N + df (1 - f) N sin^2 60 = 4.3301 - 1.9950 + 0.1492.
    lat = 60;
    h = 0;
    datum_to_WGS(&lat, &lon, &h, 116);
    EXPECT_NEAR(h, 2.4843, 1e-3);
    EXPECT_DOUBLE_EQ(lon, 0.0);
}

TEST(Datum, TablesHoldTheKnownEntries) {
    EXPECT_STREQ(tavola::kDatums[0].name, "AFG");
    EXPECT_STREQ(tavola::kDatums[9].name, "Astro_Beacon_\"E\"");
    EXPECT_STREQ(tavola::kDatums[117].name, "WGS-84");
    EXPECT_STREQ(tavola::kDatums[119].name, "Zanderij");
    EXPECT_EQ(tavola::kDatums[17].ellipsoid, 2); // Bessel 1841, the charts' projection datum
    EXPECT_DOUBLE_EQ(tavola::DatumA(17), 6377397.155);
    EXPECT_NEAR(1.0 / tavola::DatumF(17), 299.1528128, 1e-6);
    EXPECT_NEAR(1.0 / tavola::DatumF(2), 294.9786982, 1e-6); // Clarke 1866
}

TEST(Datum, GeodeticCartesianMatchesProjAndRoundTrips) {
    // cs2cs +proj=longlat +ellps=bessel +to +proj=geocent +ellps=bessel
    double x, y, z;
    llhxyz(52.3, 4.76, 100, 17, &x, &y, &z);
    EXPECT_NEAR(x, 3894706.1402, 1e-3);
    EXPECT_NEAR(y, 324309.5817, 1e-3);
    EXPECT_NEAR(z, 5022851.8362, 1e-3);

    for (int datum : {117, 17, 79, 116}) {
        for (double lat : {-89.0, -45.5, 0.0, 12.25, 52.3, 89.0}) {
            for (double lon : {-179.9, -3.0, 0.0, 100.0}) {
                for (double h : {-100.0, 0.0, 8848.0}) {
                    llhxyz(lat, lon, h, datum, &x, &y, &z);
                    double la, lo, hh;
                    xyzllh(x, y, z, datum, &la, &lo, &hh);
                    // 1e-8 degree is 1.1 mm.
                    EXPECT_NEAR(la, lat, 1e-8) << datum << " " << lat << " " << lon << " " << h;
                    EXPECT_NEAR(lo, lon, 1e-8);
                    EXPECT_NEAR(hh, h, 1e-3);
                }
            }
        }
    }
}

TEST(Datum, CartesianShiftBetweenDatums) {
    double x = 1, y = 2, z = 3;
    shxyz(38, 38, &x, &y, &z);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 2);
    EXPECT_EQ(z, 3);
    shxyz(38, 117, &x, &y, &z); // European 1950 to WGS-84: its own shift
    EXPECT_EQ(x, 1 - 87);
    EXPECT_EQ(y, 2 - 96);
    EXPECT_EQ(z, 3 - 120);
    shxyz(117, 116, &x, &y, &z); // WGS-84 to WGS-72: minus WGS-72's shift
    EXPECT_EQ(z, 3 - 120 - 5);
}

} // namespace
