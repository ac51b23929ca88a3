// The pictures of a chart window: reduction in tiles, the steer point markers and the route,
// the plan's position texts, and charts that cannot be shown.  QImage and QPainter only; no
// application object is needed.
#include "ChartTestUtil.h"

#include <chartview/ChartRenderer.h>

#include <QPainter>

#include <gtest/gtest.h>

#include <fstream>

using avilo::planner::ChartRenderer;

namespace {

std::uint16_t Rgb565(int r, int g, int b) {
    return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

std::uint16_t ReducedAt(const ChartRenderer& r, int x, int y) {
    return reinterpret_cast<const std::uint16_t*>(r.ReducedImage().constScanLine(y))[x];
}

const std::uint16_t kBlue = Rgb565(170, 210, 240);
const std::uint16_t kGreen = Rgb565(120, 200, 120);
const std::uint16_t kWhite = Rgb565(255, 255, 255);
const std::uint16_t kBlack = 0;

bool IsRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
}
bool IsDark(QRgb c) {
    return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100;
}
bool IsWhite(QRgb c) {
    return qRed(c) == 255 && qGreen(c) == 255 && qBlue(c) == 255;
}

void Load(ChartRenderer& renderer, const std::string& path) {
    std::string error;
    ASSERT_TRUE(renderer.OpenChart(path, &error)) << error;
    ASSERT_TRUE(renderer.LoadBitmaps(1.0, &error)) << error;
}

} // namespace

// A chart of 10000 x 5000 pixels: both sizes are multiples of the 5000-pixel tile, so the last
// tile row and column are empty and draw nothing.  Left tile column blue, right green, with a
// black column at x = 4999.
TEST(ChartRenderer, TilesOfAChartWhoseSizeIsAMultipleOfTheTile) {
    charttest::TempDir dir;
    const std::string path = dir.File("tiles.nos");
    charttest::MakeRunChart(path, 10000, 5000, {{2, 4999}, {4, 1}, {3, 5000}});
    ChartRenderer renderer;
    Load(renderer, path);
    EXPECT_EQ(renderer.FullImage().size(), QSize(10000, 5000));
    EXPECT_EQ(renderer.ReducedImage().size(), QSize(10000, 5000));
    EXPECT_EQ(renderer.FullImage().format(), QImage::Format_Indexed8);
    EXPECT_EQ(renderer.ReducedImage().format(), QImage::Format_RGB16);
    // Full resolution: every pixel as the chart has it.
    for (int y : {0, 2500, 4999}) {
        EXPECT_EQ(ReducedAt(renderer, 0, y), kBlue);
        EXPECT_EQ(ReducedAt(renderer, 4998, y), kBlue);
        EXPECT_EQ(ReducedAt(renderer, 4999, y), kBlack);
        EXPECT_EQ(ReducedAt(renderer, 5000, y), kGreen);
        EXPECT_EQ(ReducedAt(renderer, 9999, y), kGreen);
    }
    // Factor 2: 5000 x 2500, the tile border at 2500; the black column survives the reduction.
    renderer.Reduce(2.0);
    for (int y : {0, 1249, 2499}) {
        EXPECT_EQ(ReducedAt(renderer, 0, y), kBlue);
        EXPECT_EQ(ReducedAt(renderer, 2498, y), kBlue);
        EXPECT_EQ(ReducedAt(renderer, 2499, y), kBlack);
        EXPECT_EQ(ReducedAt(renderer, 2500, y), kGreen);
        EXPECT_EQ(ReducedAt(renderer, 4999, y), kGreen);
    }
    // Factor 2.5: the tile border at 2000.
    renderer.Reduce(2.5);
    EXPECT_EQ(ReducedAt(renderer, 1999, 100), kBlack);
    EXPECT_EQ(ReducedAt(renderer, 2000, 100), kGreen);
    EXPECT_EQ(ReducedAt(renderer, 3999, 1999), kGreen);
}

// Thin dark lines stay visible at every factor (a black-on-white stretch).
TEST(ChartRenderer, ReductionKeepsThinDarkLines) {
    charttest::TempDir dir;
    const std::string path = dir.File("lines.nos");
    charttest::MakeChart(path, 1000, 1000, [](int x, int y) -> unsigned char {
        return (x == 503 || y == 701) ? 4 : 1;
    });
    ChartRenderer renderer;
    Load(renderer, path);
    for (double scale = 1.5; scale <= 5.0; scale += 0.5) {
        renderer.Reduce(scale);
        const int lineX = static_cast<int>(503 / scale);
        const int lineY = static_cast<int>(701 / scale);
        for (int i = 0; i < static_cast<int>(1000 / scale); i += 37) {
            EXPECT_EQ(ReducedAt(renderer, lineX, i), kBlack) << scale << " row " << i;
            EXPECT_EQ(ReducedAt(renderer, i, lineY), kBlack) << scale << " column " << i;
        }
        EXPECT_EQ(ReducedAt(renderer, lineX - 2, 10), kWhite) << scale;
        EXPECT_EQ(ReducedAt(renderer, lineX + 2, 10), kWhite) << scale;
    }
}

// A reduced pixel shows the darkest chart colour it covers, never a blend the chart lacks; the
// full image keeps the chart's colours whatever order its indices take.
TEST(ChartRenderer, ReductionShowsTheDarkestColourItCovers) {
    charttest::TempDir dir;
    const std::string path = dir.File("checks.nos");
    // Blue and green checks on the left half, white and blue on the right.
    charttest::MakeChart(path, 600, 400, [](int x, int y) -> unsigned char {
        const bool odd = (x + y) % 2 != 0;
        return x < 300 ? (odd ? 2 : 3) : (odd ? 1 : 2);
    });
    ChartRenderer renderer;
    Load(renderer, path);
    EXPECT_EQ(renderer.FullImage().pixel(0, 0), qRgb(120, 200, 120));
    EXPECT_EQ(renderer.FullImage().pixel(1, 0), qRgb(170, 210, 240));
    EXPECT_EQ(renderer.FullImage().pixel(301, 0), qRgb(255, 255, 255));
    for (double scale : {2.0, 2.5, 3.5, 5.0}) { // each reduced pixel covers 2+ columns
        renderer.Reduce(scale);
        const int half = static_cast<int>(300 / scale);
        for (int y = 0; y < static_cast<int>(400 / scale); y += 7) {
            EXPECT_EQ(ReducedAt(renderer, 0, y), kGreen) << scale;
            EXPECT_EQ(ReducedAt(renderer, half - 2, y), kGreen) << scale;
            EXPECT_EQ(ReducedAt(renderer, half + 1, y), kBlue) << scale;
        }
    }
}

// Loaded reduced at once (as pictures of a flight are): what the image does not cover is white.
TEST(ChartRenderer, LoadingReducedLeavesTheRestWhite) {
    charttest::TempDir dir;
    const std::string path = dir.File("green.nos");
    charttest::MakeRunChart(path, 600, 400, {{3, 600}});
    ChartRenderer renderer;
    std::string error;
    ASSERT_TRUE(renderer.OpenChart(path, &error)) << error;
    ASSERT_TRUE(renderer.LoadBitmaps(2.0, &error)) << error;
    EXPECT_EQ(ReducedAt(renderer, 299, 199), kGreen);
    EXPECT_EQ(ReducedAt(renderer, 300, 0), kWhite);
    EXPECT_EQ(ReducedAt(renderer, 0, 200), kWhite);
    EXPECT_EQ(ReducedAt(renderer, 599, 399), kWhite);
}

// After zooming out the bitmap still holds the larger image beside and below the new one; the
// window shows the new image and white beyond it, with or without erasing.
TEST(ChartRenderer, PaintingShowsOnlyTheImageOfTheCurrentFactor) {
    charttest::TempDir dir;
    const std::string path = dir.File("green.nos");
    charttest::MakeRunChart(path, 600, 400, {{3, 600}});
    ChartRenderer renderer;
    Load(renderer, path);
    renderer.Reduce(2.0);
    ASSERT_EQ(ReducedAt(renderer, 400, 300), kGreen); // the old image, left in the bitmap
    for (bool erase : {true, false}) {
        QImage window(700, 500, QImage::Format_RGB32);
        window.fill(Qt::red);
        QPainter painter(&window);
        renderer.DrawChart(painter, 700, 500, 0, 0, 2.0, erase);
        painter.end();
        EXPECT_EQ(window.pixel(299, 199), qRgb(123, 203, 123)) << erase; // green in RGB 5-6-5
        EXPECT_TRUE(IsWhite(window.pixel(300, 10))) << erase;
        EXPECT_TRUE(IsWhite(window.pixel(10, 200))) << erase;
        EXPECT_TRUE(IsWhite(window.pixel(400, 300))) << erase;
        EXPECT_TRUE(IsWhite(window.pixel(699, 499))) << erase;
    }
}

TEST(ChartRenderer, ClearsOnlyWithinTheReducedImage) {
    charttest::TempDir dir;
    const std::string path = dir.File("small.nos");
    charttest::MakeRunChart(path, 300, 200, {{3, 300}});
    ChartRenderer renderer;
    Load(renderer, path);
    renderer.ClearReduced(
        {avilo::planner::PixelRect{200, 0, 300, 200}, avilo::planner::PixelRect{0, 150, 300, 200}});
    EXPECT_EQ(ReducedAt(renderer, 199, 149), kGreen);
    EXPECT_EQ(ReducedAt(renderer, 200, 0), kWhite);
    EXPECT_EQ(ReducedAt(renderer, 299, 199), kWhite);
    EXPECT_EQ(ReducedAt(renderer, 0, 150), kWhite);
}

// Markers and route where wpx/wpy put them, for several factors and scroll positions: two steer
// points on one row (the route between them) and one outside the chart to the left.
TEST(ChartRenderer, MarkersAndRouteWhereThePositionsPutThem) {
    charttest::TempDir dir;
    const std::string path = dir.File("white.nos");
    charttest::MakeRunChart(path, 2000, 1500, {{1, 2000}});
    ChartRenderer renderer;
    Load(renderer, path);
    charttest::FakeHost host;
    host.Append(charttest::TestLongitude(300), charttest::TestLatitude(400));
    host.Append(charttest::TestLongitude(900), charttest::TestLatitude(400));
    host.Append(charttest::TestLongitude(-500), charttest::TestLatitude(400));

    const struct {
        double scale;
        int h, v;
    } cases[] = {{1.0, 0, 0}, {1.0, 100, 50}, {2.0, 0, 0}, {2.0, 30, 120}, {1.5, 7, 3}};
    for (const auto& c : cases) {
        renderer.Reduce(c.scale);
        QImage window(1200, 900, QImage::Format_ARGB32);
        window.fill(Qt::gray);
        QPainter painter(&window);
        renderer.DrawChart(painter, 1200, 900, c.h, c.v, c.scale, true);
        const auto drawn = renderer.DrawPlan(painter, host.PlanRoot(), c.scale, c.h, c.v);
        painter.end();
        ASSERT_EQ(drawn.size(), 3u);
        const int x0 = static_cast<int>(300 / c.scale) - c.h;
        const int x1 = static_cast<int>(900 / c.scale) - c.h;
        const int y = static_cast<int>(400 / c.scale) - c.v;
        const std::string where =
            std::to_string(c.scale) + " " + std::to_string(c.h) + "," + std::to_string(c.v);
        for (int x : {x0, x1}) {
            EXPECT_TRUE(IsRed(window.pixel(x, y - 12))) << where;     // north tick
            EXPECT_TRUE(IsRed(window.pixel(x, y + 12))) << where;     // south tick
            EXPECT_TRUE(IsDark(window.pixel(x - 5, y - 5))) << where; // diagonal cross
            EXPECT_TRUE(IsDark(window.pixel(x + 5, y + 5))) << where;
            EXPECT_TRUE(IsWhite(window.pixel(x - 15, y - 15))) << where; // outside the circle
        }
        // The route: black on the row between the markers and out to the third point.
        EXPECT_TRUE(IsDark(window.pixel((x0 + x1) / 2, y))) << where;
        EXPECT_TRUE(IsDark(window.pixel(std::max(0, x0 - 40), y))) << where;
        EXPECT_TRUE(IsWhite(window.pixel((x0 + x1) / 2, y + 3))) << where;
    }
}

TEST(ChartRenderer, APlanThatCannotBeReadStopsTheDrawing) {
    charttest::TempDir dir;
    const std::string path = dir.File("white.nos");
    charttest::MakeRunChart(path, 800, 600, {{1, 800}});
    ChartRenderer renderer;
    Load(renderer, path);
    charttest::FakeHost host;
    host.Append(charttest::TestLongitude(100), charttest::TestLatitude(100));
    // A node without a position is skipped; one whose position lacks its latitude cannot be read.
    host.m_root.appendChild(host.m_plan->createElement("note"));
    xml::Node bad = host.Append(charttest::TestLongitude(500), charttest::TestLatitude(100));
    xml::Node gps = bad.selectSingleNode("GPSCoordinate");
    gps.removeChild(gps.selectSingleNode("latitude"));
    host.Append(charttest::TestLongitude(700), charttest::TestLatitude(100));

    QImage window(800, 600, QImage::Format_ARGB32);
    QPainter painter(&window);
    renderer.DrawChart(painter, 800, 600, 0, 0, 1.0, true);
    EXPECT_THROW(renderer.DrawPlan(painter, host.PlanRoot(), 1.0, 0, 0), xml::ComError);
    painter.end();
    EXPECT_TRUE(IsRed(window.pixel(100, 88)));   // the first steer point is drawn
    EXPECT_TRUE(IsWhite(window.pixel(700, 88))); // those after the error are not
}

TEST(ChartRenderer, ChartsThatCannotBeOpened) {
    charttest::TempDir dir;
    ChartRenderer renderer;
    std::string error;
    EXPECT_FALSE(renderer.OpenChart(dir.File("missing.nos"), &error));
    EXPECT_FALSE(error.empty());

    const std::string garbage = dir.File("garbage.nos");
    std::ofstream(garbage) << "this is not a chart";
    error.clear();
    EXPECT_FALSE(renderer.OpenChart(garbage, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(renderer.LoadBitmaps(1.0, &error));
}

// A header may claim a size no machine can hold: the images are refused, nothing crashes.
TEST(ChartRenderer, AChartTooLargeForMemoryIsRefused) {
    charttest::TempDir dir;
    const std::string path = dir.File("huge.nos");
    const int width = 1000000, height = 100000;
    charttest::MakeHugeChart(path, width, height);

    ChartRenderer renderer;
    std::string error;
    ASSERT_TRUE(renderer.OpenChart(path, &error)) << error;
    EXPECT_EQ(renderer.ChartWidth(), width);
    EXPECT_FALSE(renderer.LoadBitmaps(1.0, &error));
    EXPECT_NE(error.find("not enough memory"), std::string::npos) << error;
    EXPECT_TRUE(renderer.FullImage().isNull());
}

TEST(ChartRenderer, SteerPointIcon) {
    const QImage icon = ChartRenderer::SteerPointIcon();
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_TRUE(IsRed(icon.pixel(16, 16))); // red centre
    EXPECT_TRUE(IsRed(icon.pixel(16, 2)));  // tick at north
    EXPECT_TRUE(IsRed(icon.pixel(29, 16))); // tick at east
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0); // transparent outside the circle
    EXPECT_EQ(qAlpha(icon.pixel(31, 31)), 0);
    EXPECT_TRUE(IsDark(icon.pixel(10, 10)) && qAlpha(icon.pixel(10, 10)) > 128); // the cross
}
