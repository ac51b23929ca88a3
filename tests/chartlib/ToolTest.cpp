// The tavola command-line tool on the sample chart and on bad input.
#include "TestUtil.h"

#include <tavola/NosWriter.h>
#include <tavola/Tavola.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

#ifdef TAVOLA_TOOL
namespace {

struct Result {
    int status;
    std::string out;
};

Result RunTool(const std::string& args, const std::string& input = "") {
    tavola_test::TempDir dir;
    tavola_test::WriteText(dir.file("in.txt"), input);
    const std::string cmd = std::string(TAVOLA_TOOL) + " " + args + " < " + dir.file("in.txt") +
                            " 2>" + dir.file("err.txt");
    Result r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    const auto err = tavola_test::ReadBytes(dir.file("err.txt"));
    r.out += std::string(err.begin(), err.end());
    return r;
}

const std::string kSample = std::string(TAVOLA_CHART_DIR) + "/EHAM-sectional.nos";

TEST(Tool, InfoListsTheChart) {
    const Result r = RunTool("info " + kSample);
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* line :
         {"name: EHAM TEST SECTIONAL", "width: 4000", "height: 3000", "bit depth: 7",
          "header colours: 126", "reference points: 16", "vertices: 4",
          "projection: 4 Lambert conformal conic", "180-degree wrap: 0", "pw split (row): none"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

TEST(Tool, DecodeRawReproducesThePixels) {
    tavola_test::TempDir dir;
    const Result r = RunTool("decode --raw " + kSample + " " + dir.file("out.raw"));
    ASSERT_EQ(r.status, 0) << r.out;
    const auto pixels = tavola_test::ReadBytes(dir.file("out.raw"));
    ASSERT_EQ(pixels.size(), 12000000u);
    EXPECT_EQ(tavola_test::Fnv1a(pixels.data(), pixels.size()), 0xf288cbfa56535147ull);
}

TEST(Tool, PixelWorldRoundTripOnTheReferencePoints) {
    // Point2 and Point11 of the sample's reference file (column, row -> longitude, latitude).
    const Result pw = RunTool("pw " + kSample, "1692 525\n2616 1841\n");
    ASSERT_EQ(pw.status, 0) << pw.out;
    std::istringstream in(pw.out);
    double lon1, lat1, lon2, lat2;
    ASSERT_TRUE(in >> lon1 >> lat1 >> lon2 >> lat2) << pw.out;
    EXPECT_NEAR(lon1, 4.792961857, 1e-5);
    EXPECT_NEAR(lat1, 53.140998957, 1e-5);
    EXPECT_NEAR(lon2, 6.305780376, 1e-5);
    EXPECT_NEAR(lat2, 51.794117011, 1e-5);
    EXPECT_NE(pw.out.find("4.79296"), std::string::npos); // nine decimals
    const Result wp = RunTool("wp " + kSample, "4.792961857 53.140998957\n");
    ASSERT_EQ(wp.status, 0) << wp.out;
    std::istringstream in2(wp.out);
    double x, y;
    ASSERT_TRUE(in2 >> x >> y);
    EXPECT_NEAR(x, 1692, 0.01);
    EXPECT_NEAR(y, 525, 0.01);
}

TEST(Tool, EncodeAndDecodeRoundTripThroughPng) {
    // A chart made by the library's writer, decoded to PNG by the tool, encoded back with
    // its reference file as the companion, and decoded raw: the same pixels and points.
    tavola_test::TempDir dir;
    std::filesystem::create_directory(dir.file("out.v2"));
    const auto image = tavola_test::MakeImage(
        301, 77, 20, [](int x, int y) { return 1 + (x / 7 + y / 3 + (x * y) % 5) % 19; });
    std::string error;
    ASSERT_TRUE(tavola::WriteNosFile(dir.file("a.nos"), image, {}, &error)) << error;
    tavola_test::WriteText(dir.file("a.GEO"), "Point1=4 52 0 0\nPoint2=5 52 0 300\n"
                                              "Point3=4 51 76 0\n");
    Result r = RunTool("decode " + dir.file("a.nos") + " " + dir.file("a.png"));
    if (r.status != 0 && r.out.find("PNG") != std::string::npos)
        GTEST_SKIP() << "no PNG support in this build";
    ASSERT_EQ(r.status, 0) << r.out;
    r = RunTool("encode --name ROUND --geo " + dir.file("a.GEO") + " " + dir.file("a.png") + " " +
                dir.file("out.v2/b.nos"));
    ASSERT_EQ(r.status, 0) << r.out;
    r = RunTool("decode --raw " + dir.file("out.v2/b.nos") + " " + dir.file("b.raw"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(tavola_test::ReadBytes(dir.file("b.raw")), image.pixels);
    // The companion lands beside the chart, named after its file name.
    r = RunTool("pw " + dir.file("out.v2/b.nos"), "300 76\n");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "5.000000000 51.000000000\n");
}

// Reference files that cannot fix a conversion: the chart opens as one without reference data,
// and pw and wp refuse it instead of printing 0, 0, one constant point or NaN for every input.
TEST(Tool, ChartsWithoutUsableReferenceData) {
    tavola_test::TempDir dir;
    const auto image = tavola_test::MakeImage(301, 77, 4, [](int x, int) { return x % 4; });
    std::string error;
    ASSERT_TRUE(tavola::WriteNosFile(dir.file("c.nos"), image, {}, &error)) << error;
    const std::string corners = "Point1=4 52 0 0\nPoint2=5 52 0 300\nPoint3=4 51 76 0\n";
    const struct {
        const char* what;
        const char* geo; // nullptr: no reference file
        bool usable;
    } cases[] = {
        {"three corners", corners.c_str(), true},
        {"missing", nullptr, false},
        {"garbage", "\x01\xff\x7f=#\nPoint1=abc\n\x1a", false},
        {"two points", "Point1=4 52 0 0\nPoint2=5 52 0 300\n", false},
        {"a point twice", "Point1=4 52 0 0\nPoint2=5 52 0 300\nPoint3=4 52 0 0\n", false},
        {"collinear pixels", "Point1=4 52 0 0\nPoint2=5 51 50 150\nPoint3=4 51 76 228\n", false},
        {"collinear positions", "Point1=4 52 0 0\nPoint2=5 52 0 300\nPoint3=4.5 52 76 0\n", false},
        {"NaN position", "Point1=4 52 0 0\nPoint2=5 52 0 300\nPoint3=nan 51 76 0\n", false},
        {"NaN offset",
         "Projection=MERCATOR\nLatitude Offset=nan\nPoint1=4 52 0 0\n"
         "Point2=5 52 0 300\nPoint3=4 51 76 0\n",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.file("c.GEO"));
        if (c.geo)
            tavola_test::WriteText(dir.file("c.GEO"), c.geo);
        CTavola chart;
        ASSERT_EQ(chart.OpenTavola(dir.file("c.nos").c_str(), 0), 1) << chart.GetLastError();
        const CGEORec& geo = *chart.GetBaseGeoRec();
        EXPECT_EQ(geo.HasReferenceData(), c.usable) << geo.ReferenceProblem();
        EXPECT_EQ(geo.ReferenceProblem().empty(), c.usable);
        for (const char* command : {"pw ", "wp "}) {
            const Result r = RunTool(command + dir.file("c.nos"), "10 20\n");
            EXPECT_EQ(r.status, c.usable ? 0 : 1) << command << r.out;
            if (!c.usable) {
                EXPECT_NE(r.out.find("no usable reference data"), std::string::npos) << r.out;
            }
        }
    }
}

TEST(Tool, ErrorsGiveAMessageAndNonZeroExit) {
    tavola_test::TempDir dir;
    Result r = RunTool("info " + dir.file("missing.nos"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("cannot open"), std::string::npos) << r.out;
    tavola_test::WriteText(dir.file("bad.nos"), "NOS/RA=0,0,10,10\nno end of header");
    r = RunTool("decode --raw " + dir.file("bad.nos") + " " + dir.file("x.raw"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("0x1A"), std::string::npos) << r.out;
    r = RunTool("pw " + kSample, "12 abc\n");
    EXPECT_NE(r.status, 0);
    r = RunTool("frobnicate x");
    EXPECT_EQ(r.status, 2);
}

} // namespace
#endif
