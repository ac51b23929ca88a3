// The picture of a flight: reading the flown track, the part of the chart shown, what is drawn
// where, and the avilo-map program on good and bad input.
#include "ChartTestUtil.h"

#include <chartview/FlightPicture.h>

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/wait.h>

using namespace avilo::planner;

namespace {

bool IsRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
}
bool IsTrack(QRgb c) {
    return qRed(c) > 150 && qGreen(c) < 100 && qBlue(c) > 100;
}
bool IsWhite(QRgb c) {
    return qRed(c) == 255 && qGreen(c) == 255 && qBlue(c) == 255;
}

const char* kHeader =
    "time_s,latitude_deg,longitude_deg,altitude_m,airspeed_kt,pitch_deg,bank_deg,heading_deg\n";

std::string TrackLine(double t, double latitude, double longitude) {
    char line[160];
    std::snprintf(line, sizeof line, "%.3f,%.7f,%.7f,100.0,90.0,0.0,0.0,90.0\n", t, latitude,
                  longitude);
    return line;
}

// A white chart of 2000 x 1500 with the test georeferencing, loaded at `scale`.
class FlightPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_chart = m_dir.File("white.nos");
        charttest::MakeRunChart(m_chart, 2000, 1500, {{1, 2000}});
    }
    void Load(double scale) {
        std::string error;
        ASSERT_TRUE(m_renderer.OpenChart(m_chart, &error)) << error;
        ASSERT_TRUE(m_renderer.LoadBitmaps(scale, &error)) << error;
    }
    // A track along chart row y from column x0 to x1.
    static std::vector<LonLat> Row(int y, int x0, int x1) {
        std::vector<LonLat> track;
        for (int x = x0; x <= x1; x += 10)
            track.push_back({charttest::TestLongitude(x), charttest::TestLatitude(y)});
        return track;
    }

    charttest::TempDir m_dir;
    std::string m_chart;
    ChartRenderer m_renderer;
    charttest::FakeHost m_host;
};

} // namespace

TEST(ReadTrackCsv, ReadsThePositionsByColumnName) {
    std::istringstream in(std::string(kHeader) + TrackLine(0, 52.3, 4.75) + "\r\n" +
                          TrackLine(0.2, 52.31, 4.76));
    std::vector<LonLat> track;
    std::string error;
    ASSERT_TRUE(ReadTrackCsv(in, &track, &error)) << error;
    ASSERT_EQ(track.size(), 2u);
    EXPECT_DOUBLE_EQ(track[0].latitude, 52.3);
    EXPECT_DOUBLE_EQ(track[0].longitude, 4.75);
    EXPECT_DOUBLE_EQ(track[1].longitude, 4.76);

    // Columns in another order, CR LF line ends, only the two that matter.
    std::istringstream swapped("longitude_deg , latitude_deg\r\n5.5,51.25\r\n");
    ASSERT_TRUE(ReadTrackCsv(swapped, &track, &error)) << error;
    ASSERT_EQ(track.size(), 1u);
    EXPECT_DOUBLE_EQ(track[0].longitude, 5.5);
    EXPECT_DOUBLE_EQ(track[0].latitude, 51.25);

    std::istringstream headerOnly(kHeader);
    EXPECT_TRUE(ReadTrackCsv(headerOnly, &track, &error));
    EXPECT_TRUE(track.empty());
}

TEST(ReadTrackCsv, RejectsDamagedTracksWithTheLine) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "the track is empty (no header line)"},
        {"time_s,lat,lon\n1,2,3\n", "line 1: the header names no latitude_deg"},
        {std::string(kHeader) + TrackLine(0, 52, 4) + "0.2,52.1\n", "line 3: expected 8 fields"},
        {std::string(kHeader) + "0.2,52.1x,4.0,0,0,0,0,0\n", "line 2: the position is not"},
        {std::string(kHeader) + "0.2,,4.0,0,0,0,0,0\n", "line 2: the position is not"},
        {std::string(kHeader) + "0.2,nan,4.0,0,0,0,0,0\n", "line 2: the position is not"},
        {std::string(kHeader) + "0.2,52,inf,0,0,0,0,0\n", "line 2: the position is not"},
        {std::string(kHeader) + "\n\n0.2,91,4,0,0,0,0,0\n", "line 4: the latitude lies outside"},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.text);
        std::vector<LonLat> track{{1, 2}};
        std::string error;
        EXPECT_FALSE(ReadTrackCsv(in, &track, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_TRUE(track.empty());
    }
}

// The shown part: the whole reduced image, or around the route and track grown by the margin
// and clipped to the image; with nothing on the chart, the whole image.
TEST_F(FlightPictureTest, CropRectangle) {
    Load(2.0);
    // One pixel past the even ones, so that truncation of the conversions' last bit does not
    // decide the reduced pixel.
    m_host.Append(charttest::TestLongitude(401), charttest::TestLatitude(301));
    m_host.Append(charttest::TestLongitude(1001), charttest::TestLatitude(701));
    const std::vector<LonLat> track = Row(901, 601, 1201);
    FlightPictureOptions options;
    options.scale = 2.0;
    EXPECT_EQ(FlightPictureRect(m_renderer, m_host.PlanRoot(), track, options),
              QRect(0, 0, 1000, 750));
    options.crop = true;
    options.margin = 50;
    // Reduced points: (200, 150), (500, 350), track (300, 450) .. (600, 450).
    EXPECT_EQ(FlightPictureRect(m_renderer, m_host.PlanRoot(), track, options),
              QRect(QPoint(150, 100), QPoint(650, 500)));
    options.margin = 400; // clipped to the image
    EXPECT_EQ(FlightPictureRect(m_renderer, m_host.PlanRoot(), track, options),
              QRect(QPoint(0, 0), QPoint(999, 749)));

    const std::vector<LonLat> away{{charttest::TestLongitude(-5000), 52.0}};
    options.margin = 50;
    EXPECT_EQ(FlightPictureRect(m_renderer, xml::Node(), away, options), QRect(0, 0, 1000, 750));
    EXPECT_EQ(FlightPictureRect(m_renderer, xml::Node(), {}, options), QRect(0, 0, 1000, 750));
}

// Markers, route and track where the positions put them, in a cropped picture at two factors.
TEST_F(FlightPictureTest, DrawsRouteMarkersAndTrack) {
    for (double scale : {1.0, 2.5}) {
        ChartRenderer renderer;
        std::string error;
        ASSERT_TRUE(renderer.OpenChart(m_chart, &error)) << error;
        ASSERT_TRUE(renderer.LoadBitmaps(scale, &error)) << error;
        charttest::FakeHost host;
        host.Append(charttest::TestLongitude(500), charttest::TestLatitude(400));
        host.Append(charttest::TestLongitude(1500), charttest::TestLatitude(400));
        const std::vector<LonLat> track = Row(1000, 500, 1500);
        FlightPictureOptions options;
        options.scale = scale;
        options.crop = true;
        const QImage picture = DrawFlightPicture(renderer, host.PlanRoot(), track, options);
        const QRect rect = FlightPictureRect(renderer, host.PlanRoot(), track, options);
        ASSERT_EQ(picture.size(), rect.size()) << scale;
        const auto at = [&](double chartX, double chartY) {
            return QPoint(static_cast<int>(chartX / scale) - rect.x(),
                          static_cast<int>(chartY / scale) - rect.y());
        };
        for (double x : {500.0, 1500.0}) {
            const QPoint p = at(x, 400);
            EXPECT_TRUE(IsRed(picture.pixel(p.x(), p.y() - 12))) << scale << " " << x;
        }
        const QPoint route = at(1000, 400);
        EXPECT_EQ(qRed(picture.pixel(route)), 0) << scale;
        EXPECT_TRUE(IsWhite(picture.pixel(route.x(), route.y() + 4))) << scale;
        const QPoint flown = at(900, 1000);
        EXPECT_TRUE(IsTrack(picture.pixel(flown))) << scale;
        EXPECT_TRUE(IsWhite(picture.pixel(flown.x(), flown.y() - 8))) << scale;
        // The dot where the aircraft ended is wider than the line.
        const QPoint end = at(1500, 1000);
        EXPECT_TRUE(IsTrack(picture.pixel(end.x(), end.y() + 3))) << scale;
        EXPECT_FALSE(IsTrack(picture.pixel(flown.x(), flown.y() + 3))) << scale;
    }
}

TEST_F(FlightPictureTest, APlanThatCannotBeReadIsAnError) {
    Load(1.0);
    xml::Node sp = m_host.Append(4.1, 51.9);
    xml::Node gps = sp.selectSingleNode("GPSCoordinate");
    gps.removeChild(gps.selectSingleNode("latitude"));
    FlightPictureOptions options;
    EXPECT_THROW(DrawFlightPicture(m_renderer, m_host.PlanRoot(), {}, options), xml::ComError);
    options.crop = true;
    EXPECT_THROW(FlightPictureRect(m_renderer, m_host.PlanRoot(), {}, options), xml::ComError);
}

#ifdef AVILO_MAP_PROGRAM
// The program: a good run writes the picture; bad input is an error that leaves an existing
// picture as it was; a wrong command line is a usage error.
TEST_F(FlightPictureTest, AviloMapProgram) {
    const std::string plan = m_dir.File("plan.av");
    const std::string track = m_dir.File("track.csv");
    const std::string png = m_dir.File("out.png");
    {
        charttest::FakeHost host;
        host.Append(charttest::TestLongitude(500), charttest::TestLatitude(400));
        host.Append(charttest::TestLongitude(1500), charttest::TestLatitude(400));
        host.m_plan->save(plan);
        std::ofstream out(track);
        out << kHeader;
        for (int x = 500; x <= 1500; x += 100)
            out << TrackLine(x, charttest::TestLatitude(1000), charttest::TestLongitude(x));
    }
    const auto run = [&](const std::string& args) {
        const std::string command =
            std::string("'") + AVILO_MAP_PROGRAM + "' " + args + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const std::string inputs = "--chart '" + m_chart + "' --plan '" + plan + "' --track '" + track +
                               "' --png '" + png + "'";
    ASSERT_EQ(run(inputs), 0);
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(2000, 1500));
    ASSERT_EQ(run(inputs + " --crop --scale 2"), 0);
    const QImage cropped(QString::fromStdString(png));
    EXPECT_EQ(cropped.size(), QSize(500 + 2 * 64 + 1, 300 + 2 * 64 + 1));
    EXPECT_TRUE(IsRed(cropped.pixel(64, 64 - 12))); // north tick of the first steer point

    std::ofstream(m_dir.File("bad.csv")) << kHeader << "0,52,x,0,0,0,0,0\n";
    std::ofstream(m_dir.File("bad.av")) << "<avilo><steerpoint>";
    // A reference whose points lie on one line: nothing can be placed on the chart.
    const std::string flat = m_dir.File("flat.nos");
    charttest::MakeRunChart(flat, 300, 200, {{1, 300}}, false);
    std::ofstream(m_dir.File("flat.GEO"))
        << "Point1=4 52 0 0\nPoint2=5 51 100 100\nPoint3=6 50 200 200\n";
    // 40,000 x 40,000 pixels declared in 160 KB: refused before any image is allocated.
    const std::string claims = m_dir.File("claims.nos");
    charttest::MakeSharedRowChart(claims, 40000, 40000);
    const struct {
        std::string args;
        int status;
    } cases[] = {
        {"--chart '" + m_dir.File("missing.nos") + "' --png '" + png + "'", 1},
        {"--chart '" + m_chart + "' --plan '" + m_dir.File("bad.av") + "' --png '" + png + "'", 1},
        {"--chart '" + m_chart + "' --track '" + m_dir.File("bad.csv") + "' --png '" + png + "'",
         1},
        {"--chart '" + m_chart + "' --png '" + m_dir.File("no/such/dir.png") + "'", 1},
        {"--chart '" + flat + "' --plan '" + plan + "' --png '" + png + "'", 1},
        {"--chart '" + flat + "' --track '" + track + "' --png '" + png + "'", 1},
        {"--chart '" + claims + "' --png '" + png + "'", 1},
        {"--chart '" + m_chart + "'", 2},
        {inputs + " --scale 7", 2},
        {inputs + " --colour red", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), c.status) << c.args;
        EXPECT_EQ(QImage(QString::fromStdString(png)), cropped) << c.args;
    }
}
// pw and wp on a GeoTIFF chart: a pixel goes to a position and back within 0.01 pixel; a line
// without two numbers and a chart without reference data are errors.
TEST(AviloMapConvert, PixelsAndPositionsOnAnyChart) {
    charttest::TempDir dir;
    const std::string chart = AVILO_CHART_DIR "/EHAM-sectional.tif";
    const auto run = [&](const std::string& command, const std::string& input,
                         std::string* output) {
        std::ofstream(dir.File("in.txt")) << input;
        const std::string line = std::string("'") + AVILO_MAP_PROGRAM + "' " + command + " < '" +
                                 dir.File("in.txt") + "' > '" + dir.File("out.txt") +
                                 "' 2>/dev/null";
        const int status = std::system(line.c_str());
        std::ifstream in(dir.File("out.txt"));
        output->assign(std::istreambuf_iterator<char>(in), {});
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string positions, pixels;
    ASSERT_EQ(run("pw '" + chart + "'", "1674.8 1344.6\n0 0\n\n3999.5 2999\n", &positions), 0);
    ASSERT_EQ(run("wp '" + chart + "'", positions, &pixels), 0);
    std::istringstream back(pixels);
    for (const auto& expected :
         {std::pair{1674.8, 1344.6}, std::pair{0.0, 0.0}, std::pair{3999.5, 2999.0}}) {
        double x = 0, y = 0;
        ASSERT_TRUE(back >> x >> y);
        EXPECT_NEAR(x, expected.first, 0.01);
        EXPECT_NEAR(y, expected.second, 0.01);
    }
    std::string ignored;
    EXPECT_EQ(run("pw '" + chart + "'", "12 x\n", &ignored), 1);
    const std::string plain = dir.File("plain.nos");
    charttest::MakeRunChart(plain, 300, 200, {{1, 300}}, false);
    EXPECT_EQ(run("wp '" + plain + "'", "4 52\n", &ignored), 1);
    EXPECT_EQ(run("pw", "", &ignored), 2);
}
// A sectional-sized GeoTIFF (17,000 x 12,000 pixels) in a process asked to keep its memory under
// 300 MB: a clear message and exit status 1, no crash.  (Address-space limits and the
// sanitizers' shadow memory do not mix: sanitizer builds skip it.)
TEST(AviloMapConvert, ABigChartInLittleMemoryIsRefusedCleanly) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "address-space limit under a sanitizer";
#endif
    if (std::system("command -v gdal_create > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "gdal_create (gdal-bin) is not installed";
    charttest::TempDir dir;
    const std::string big = dir.File("big.tif");
    ASSERT_EQ(std::system(("gdal_create -q -of GTiff -outsize 17000 12000 -bands 1 -ot Byte -co "
                           "COMPRESS=LZW -co TILED=YES -a_srs EPSG:32631 -a_ullr 500000 5900000 "
                           "1350000 5300000 '" +
                           big + "'")
                              .c_str()),
              0);
    const std::string command = "ulimit -v 300000; '" + std::string(AVILO_MAP_PROGRAM) +
                                "' --chart '" + big + "' --png '" + dir.File("out.png") +
                                "' --scale 5 2> '" + dir.File("err.txt") + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream in(dir.File("err.txt"));
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("not enough memory"), std::string::npos) << text;
}
#endif
