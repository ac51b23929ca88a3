// The reference file reader: keys, number orders, insets, line limits, deg2dms.
#include "TestUtil.h"

#include <tavola/GeoRec.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <iomanip>
#include <sstream>

namespace {

void Read(CGEORec& rec, const std::string& text, int referenceOnly = 1) {
    std::istringstream in(text);
    rec.ReadGEOStream(in, referenceOnly);
}

TEST(GeoRec, KeysMatchCaseInsensitivelyInTheirOrder) {
    CGEORec rec;
    Read(rec, "SOURCE EDITION=3\r\n"
              "source=NOAA\n"
              "Magnetic Declination Date=2001\n"
              "MAGNETIC DECLINATION=-1.5\n"
              "Magnetic Declination Change=0.1\n"
              "Projection=LAMBERT CONFORMAL CONIC\n"
              "PP=4.76\n"
              "P1=52.3\n"
              "p6=53.5\n"
              "Province/State=NH\n"
              "Name= With Spaces \n"
              "Skew Angle=1.25\n"
              "Latitude Offset=-0.5\n"
              "Longitude Offset=0.25\n"
              "Datum=WGS84\n"
              "Number of Vertices=4\n"
              "Name without equals sign\n"
              "Unknown=1\n");
    EXPECT_EQ(rec.m_strSourceEdition, "3");
    EXPECT_EQ(rec.m_strSource, "NOAA");
    EXPECT_EQ(rec.m_strMagDeclDate, "2001");
    EXPECT_EQ(rec.m_strMagDecl, "-1.5");
    EXPECT_EQ(rec.m_strMagDeclChange, "0.1");
    EXPECT_EQ(rec.m_strProjection, "LAMBERT CONFORMAL CONIC");
    EXPECT_EQ(rec.m_strPP, "4.76");
    EXPECT_EQ(rec.m_strP1, "52.3");
    EXPECT_EQ(rec.m_strP6, "53.5");
    EXPECT_EQ(rec.m_strProvinceState, "NH");
    EXPECT_EQ(rec.m_strName, " With Spaces "); // stored exactly as written
    EXPECT_DOUBLE_EQ(rec.m_dSkewAngle, 1.25);
    EXPECT_DOUBLE_EQ(rec.m_dLatitudeOffset, -0.5);
    EXPECT_DOUBLE_EQ(rec.m_dLongitudeOffset, 0.25);
    EXPECT_EQ(rec.m_strDatum, "WGS84");
    EXPECT_TRUE(rec.m_Vertices.empty());
}

TEST(GeoRec, PointAndVertexNumberOrders) {
    CGEORec rec;
    Read(rec, "Point1=-122.5 37.75 1200 3400\n"
              "Vertex3=37.75 -122.5\n"
              "Point2=1 2 3\n"                    // three numbers: skipped
              "Point3=a 2 3 4\n"                  // not a number: skipped
              "Point4=1 2 3 99999999999\n"        // column outside int: skipped
              "Point5=nan 2 3 4\n"                // not finite: skipped
              "Vertex4=37.75\n"                   // one number: skipped
              "Point1=-122.5 37.75 1200 3400\n"); // duplicates are kept
    ASSERT_EQ(rec.m_RefPoints.size(), 2u);
    const CRefPoint& p = *rec.m_RefPoints.front();
    EXPECT_EQ(p.m_strName, "Point1");
    EXPECT_DOUBLE_EQ(p.m_dLongitude, -122.5);
    EXPECT_DOUBLE_EQ(p.m_dLatitude, 37.75);
    EXPECT_EQ(p.m_nX, 3400);
    EXPECT_EQ(p.m_nY, 1200);
    ASSERT_EQ(rec.m_Vertices.size(), 1u);
    const CRefPoint& v = *rec.m_Vertices.front();
    EXPECT_EQ(v.m_strName, "Vertex3");
    EXPECT_DOUBLE_EQ(v.m_dLatitude, 37.75);
    EXPECT_DOUBLE_EQ(v.m_dLongitude, -122.5);
}

TEST(GeoRec, InsetsTakeTheKeysAfterThemAndAWidenedRectangle) {
    CGEORec rec;
    Read(rec,
         "Name=MAIN\n"
         "Point1=10 50 100 100\nPoint2=11 50 100 300\nPoint3=10 49 300 100\n"
         "[Inset 1]\n"
         "Name=FIRST INSET\n"
         "Point1=1 2 500 600\nPoint2=1.5 2 500 700\nPoint3=1 1.5 580 600\nPoint4=1.5 1.5 580 700\n"
         "Vertex1=2 1\n"
         "[INSET 2]\n"
         "Name=EMPTY INSET\n",
         0);
    EXPECT_EQ(rec.m_strName, "MAIN");
    EXPECT_EQ(rec.m_RefPoints.size(), 3u);
    ASSERT_EQ(rec.m_Insets.size(), 2u);
    const CGEORec& inset = *rec.m_Insets.front();
    EXPECT_EQ(inset.m_strName, "FIRST INSET");
    EXPECT_EQ(inset.m_RefPoints.size(), 4u);
    EXPECT_EQ(inset.m_nLeft, 600 - 80);
    EXPECT_EQ(inset.m_nTop, 500 - 80);
    EXPECT_EQ(inset.m_nRight, 700 + 80);
    EXPECT_EQ(inset.m_nBottom, 580 + 80);
    // Its vertex got its pixel from the inset's own fit: latitude 2, longitude 1 is the
    // point at column 600, row 500.
    // (truncated toward zero, so a fit a hair below lands one pixel lower).
    EXPECT_NEAR(inset.m_Vertices.front()->m_nX, 600, 1);
    EXPECT_NEAR(inset.m_Vertices.front()->m_nY, 500, 1);
    const CGEORec& empty = *rec.m_Insets.back();
    EXPECT_EQ(empty.m_strName, "EMPTY INSET");
    EXPECT_EQ(empty.m_nLeft, 0);
    EXPECT_EQ(empty.m_nRight, 0);
    EXPECT_EQ(empty.m_nBottom, 0);
    // The base record's rectangle is reset by the fit.
    EXPECT_EQ(rec.m_nRight, 0);
}

TEST(GeoRec, OverLongLinesAreSkippedWhole) {
    CGEORec rec;
    const std::string filler(600, 'x');
    Read(rec, "Name=" + filler + "\n" +                    // too long: not stored
                  filler + "Scale=1:500000\n" +            // its tail is no key of its own
                  "Id=" + std::string(508, '7') + "\r\n" + // 511 characters: accepted
                  "Type=after\n");
    EXPECT_EQ(rec.m_strName, "");
    EXPECT_EQ(rec.m_strScale, "");
    EXPECT_EQ(rec.m_strId.size(), 508u);
    EXPECT_EQ(rec.m_strType, "after");
}

TEST(GeoRec, LastLineWithoutLineEndAndEmptyInput) {
    CGEORec rec;
    Read(rec, "Scale=40000");
    EXPECT_EQ(rec.m_strScale, "40000");
    CGEORec empty;
    Read(empty, "", 0);
    EXPECT_TRUE(empty.m_RefPoints.empty());
    EXPECT_EQ(empty.pwx(10, 10), 0.0);
}

TEST(GeoRec, MissingFileLeavesTheRecordUnchanged) {
    CGEORec rec;
    rec.m_strName = "KEEP";
    rec.m_nRight = 17;
    rec.ReadGEO("/nonexistent/chart.GEO", 0);
    EXPECT_EQ(rec.m_strName, "KEEP");
    EXPECT_EQ(rec.m_nRight, 17);
}

TEST(GeoRec, ReferenceOnlyReadsWithoutFitting) {
    CGEORec rec;
    Read(rec, "Point1=10 50 100 100\nPoint2=11 50 100 300\nPoint3=10 49 300 100\nVertex1=50 10\n",
         1);
    EXPECT_EQ(rec.m_RefPoints.size(), 3u);
    EXPECT_EQ(rec.wpx(10, 50), 0.0);
    EXPECT_EQ(rec.m_Vertices.front()->m_nX, 0);
}

TEST(GeoRec, MinMeanMaxOfTheBorder) {
    CGEORec rec;
    rec.MinMeanMaxLL();
    EXPECT_EQ(rec.m_dMinLat, DBL_MAX);
    EXPECT_EQ(rec.m_dMaxLon, -DBL_MAX);
    EXPECT_EQ(rec.m_dMidLat, 0.0);
    Read(rec, "Vertex1=50 10\nVertex2=52 14\nVertex3=51 9\n");
    rec.MinMeanMaxLL();
    EXPECT_EQ(rec.m_dMinLat, 50);
    EXPECT_EQ(rec.m_dMaxLat, 52);
    EXPECT_EQ(rec.m_dMidLat, 51);
    EXPECT_EQ(rec.m_dMinLon, 9);
    EXPECT_EQ(rec.m_dMidLon, 11.5);
}

TEST(GeoRec, Deg2dms) {
    EXPECT_EQ(CGEORec::deg2dms(-12.5), "-012 30 00.00");
    EXPECT_EQ(CGEORec::deg2dms(12.5), "+012 30 00.00");
    EXPECT_EQ(CGEORec::deg2dms(0), "-000 00 00.00");
    EXPECT_EQ(CGEORec::deg2dms(4.7639), "+004 45 50.04");
    EXPECT_EQ(CGEORec::deg2dms(-179.999), "-179 59 56.40");
    EXPECT_EQ(CGEORec::deg2dms(1e300).substr(0, 1), "+"); // no undefined conversion
    // A value such as "Skew Angle=1e999" reads as infinity.
    EXPECT_EQ(CGEORec::deg2dms(HUGE_VAL), "+inf");
    EXPECT_EQ(CGEORec::deg2dms(-HUGE_VAL), "-inf");
    EXPECT_EQ(CGEORec::deg2dms(std::nan("")), "-nan");
}

// Everything the reader and the fit make of a reference file, every number in full.  A string
// stream formats by the C++ locale, which the C library's setlocale does not change.
std::string Describe(const CGEORec& rec) {
    std::ostringstream out;
    out << std::setprecision(17);
    for (const std::string* text : {&rec.m_strName, &rec.m_strProjection, &rec.m_strPP,
                                    &rec.m_strP1, &rec.m_strP5, &rec.m_strP6, &rec.m_strDatum})
        out << *text << '|';
    out << rec.m_dSkewAngle << ' ' << rec.m_dLatitudeOffset << ' ' << rec.m_dLongitudeOffset
        << '\n';
    for (const RefPointList* list : {&rec.m_Vertices, &rec.m_RefPoints})
        for (const auto& p : *list) {
            out << p->m_strName << ' ' << p->m_nX << ' ' << p->m_nY << ' ' << p->m_dLongitude << ' '
                << p->m_dLatitude << ' ' << CGEORec::deg2dms(p->m_dLatitude);
            double lon, lat, x, y;
            rec.pwxy(p->m_nX, p->m_nY, &lon, &lat);
            rec.wpxy(p->m_dLongitude, p->m_dLatitude, &x, &y);
            out << " -> " << lon << ' ' << lat << ' ' << x << ' ' << y << '\n';
        }
    out << rec.m_Projection.m_nProjection << ' ' << rec.m_Projection.m_Parms.phi0 << ' '
        << rec.m_Projection.m_Parms.lambda0 << ' ' << rec.m_Projection.m_Parms.lccN;
    return out.str();
}

// The C library reads and writes numbers by LC_NUMERIC, which a Qt application takes from the
// environment: under a decimal comma strtod stops at "52.3"'s point.  The sample chart must
// read and convert exactly as in the C locale.
TEST(GeoRec, SampleChartReadsTheSameUnderADecimalCommaLocale) {
    const std::string path = std::string(TAVOLA_CHART_DIR) + "/EHAM-sectional.GEO";
    CGEORec inC;
    inC.ReadGEO(path, 0);
    ASSERT_EQ(inC.m_RefPoints.size(), 16u);

    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 not installed (scripts/setup generates it)";
    CGEORec inGerman;
    inGerman.ReadGEO(path, 0);
    const std::string german = Describe(inGerman);
    std::setlocale(LC_ALL, previous.c_str());

    EXPECT_EQ(german, Describe(inC));
}

} // namespace
