// Zoom and scroll arithmetic and the input of a chart window, without windows.
#include "ChartTestUtil.h"

#include <chartview/ChartInput.h>
#include <chartview/ChartRenderer.h>
#include <chartview/ChartViewport.h>

#include <tavola/GeoRec.h>

#include <gtest/gtest.h>

#include <sstream>

using avilo::planner::Axis;
using avilo::planner::ChartInput;
using avilo::planner::ChartViewport;
using avilo::planner::ScrollCode;

namespace {

ChartViewport Make(int chartWidth, int chartHeight, int clientWidth, int clientHeight) {
    ChartViewport vp;
    vp.SetChartSize(chartWidth, chartHeight);
    vp.OnShow();
    vp.OnSize(clientWidth, clientHeight);
    return vp;
}

void ExpectInvariant(const ChartViewport& vp) {
    for (Axis axis : {Axis::Horizontal, Axis::Vertical}) {
        EXPECT_GE(vp.Position(axis), 0);
        EXPECT_LE(vp.Position(axis), std::max(0, vp.Max(axis)));
    }
}

// An affine reference: longitude = 4 + x / 1000, latitude = 52 - y / 1000.
void ReadTestReference(CGEORec& geo) {
    std::istringstream in("Name=TEST\n"
                          "Point1=4.000000 52.000000 0 0\n"
                          "Point2=5.000000 52.000000 0 1000\n"
                          "Point3=4.000000 51.000000 1000 0\n"
                          "Point4=5.000000 51.000000 1000 1000\n"
                          "Point5=4.500000 51.700000 300 500\n");
    geo.ReadGEOStream(in, 0);
}

} // namespace

TEST(ChartViewport, EightZoomStepsEachWayAndANinthChangesNothing) {
    ChartViewport vp = Make(4000, 3000, 800, 600);
    for (int step = 1; step <= 8; ++step) {
        ASSERT_TRUE(vp.ZoomOut()) << step;
        EXPECT_DOUBLE_EQ(vp.m_dScale, 1.0 + 0.5 * step);
        EXPECT_EQ(vp.m_nScaledWidth, static_cast<int>(4000 / vp.m_dScale));
        EXPECT_EQ(vp.m_nScaledHeight, static_cast<int>(3000 / vp.m_dScale));
        ExpectInvariant(vp);
    }
    const ChartViewport before = vp;
    EXPECT_FALSE(vp.ZoomOut());
    EXPECT_EQ(vp.m_dScale, 5.0);
    EXPECT_EQ(vp.m_nScaledWidth, before.m_nScaledWidth);
    EXPECT_EQ(vp.m_nHScroll, before.m_nHScroll);
    for (int step = 1; step <= 8; ++step) {
        ASSERT_TRUE(vp.ZoomIn()) << step;
        ExpectInvariant(vp);
    }
    EXPECT_EQ(vp.m_dScale, 1.0);
    EXPECT_EQ(vp.m_nScaledWidth, 4000);
    EXPECT_FALSE(vp.ZoomIn());
    EXPECT_EQ(vp.m_dScale, 1.0);
}

// The chart point at the centre of the window stays there, to within truncation, unless an
// edge stops it.
TEST(ChartViewport, ZoomKeepsTheCentre) {
    struct Case {
        int h, v; // scroll positions before
        bool zoomOut;
        int steps; // zoom out this many times first
    };
    const Case cases[] = {
        {1500, 1000, true, 0}, {1200, 900, true, 1}, {600, 500, true, 2},
        {300, 200, false, 3},  {700, 400, false, 1}, {100, 100, true, 4},
    };
    for (const Case& c : cases) {
        ChartViewport vp = Make(6000, 5000, 800, 600);
        for (int i = 0; i < c.steps; ++i)
            vp.ZoomOut();
        vp.ScrollBy(c.h, c.v);
        ExpectInvariant(vp);
        const auto centreBefore = vp.ClientToChart(400, 300);
        const double oldScale = vp.m_dScale;
        ASSERT_TRUE(c.zoomOut ? vp.ZoomOut() : vp.ZoomIn());
        const auto centreAfter = vp.ClientToChart(400, 300);
        const bool clamped = vp.m_nHScroll == 0 || vp.m_nHScroll == vp.Max(Axis::Horizontal) ||
                             vp.m_nVScroll == 0 || vp.m_nVScroll == vp.Max(Axis::Vertical);
        if (!clamped) {
            // Truncation of the position costs at most one reduced pixel of the larger factor,
            // plus the rounding of the ratio of truncated widths.
            const double tolerance = 2 * std::max(oldScale, vp.m_dScale);
            EXPECT_NEAR(centreAfter.x, centreBefore.x, tolerance) << c.h << "," << c.v;
            EXPECT_NEAR(centreAfter.y, centreBefore.y, tolerance) << c.h << "," << c.v;
        }
        ExpectInvariant(vp);
    }
}

TEST(ChartViewport, ZoomClampsAtTheEdges) {
    ChartViewport vp = Make(4000, 3000, 800, 600);
    vp.Scroll(Axis::Horizontal, ScrollCode::Bottom);
    vp.Scroll(Axis::Vertical, ScrollCode::Bottom);
    ASSERT_TRUE(vp.ZoomOut());
    EXPECT_EQ(vp.m_nHScroll, vp.Max(Axis::Horizontal));
    EXPECT_EQ(vp.m_nVScroll, vp.Max(Axis::Vertical));
    // Zoomed out until the image fits: positions 0, no bars.
    while (vp.ZoomOut()) {
    }
    EXPECT_EQ(vp.m_nScaledWidth, 800);
    EXPECT_FALSE(vp.BarVisible(Axis::Horizontal));
    EXPECT_FALSE(vp.BarVisible(Axis::Vertical));
    EXPECT_EQ(vp.m_nHScroll, 0);
    EXPECT_EQ(vp.m_nVScroll, 0);
}

// The scroll codes, applied one after the other on the horizontal axis of a 4000-pixel chart
// in an 800-pixel window (maximum 3200).
TEST(ChartViewport, ScrollCodes) {
    ChartViewport vp = Make(4000, 3000, 800, 600);
    struct Step {
        ScrollCode code;
        int thumb;
        int expected;
    };
    const Step steps[] = {
        {ScrollCode::LineUp, 0, 0},
        {ScrollCode::LineDown, 0, 1},
        {ScrollCode::LineUp, 0, 0},
        {ScrollCode::PageUp, 0, 0},
        {ScrollCode::PageDown, 0, 400},
        {ScrollCode::ThumbTrack, 2990, 2990},
        {ScrollCode::PageDown, 0, 3200},
        {ScrollCode::PageDown, 0, 3200},
        {ScrollCode::LineDown, 0, 3200},
        {ScrollCode::PageUp, 0, 2800},
        {ScrollCode::ThumbPosition, 350, 350},
        {ScrollCode::PageUp, 0, 0},
        {ScrollCode::Bottom, 0, 3200},
        {ScrollCode::EndScroll, 0, 3200},
        {ScrollCode::Top, 0, 0},
        {ScrollCode::ThumbTrack, 99999, 3200},
    };
    int n = 0;
    for (const Step& s : steps) {
        EXPECT_EQ(vp.Scroll(Axis::Horizontal, s.code, s.thumb), s.expected) << "step " << n;
        EXPECT_EQ(vp.m_nHScroll, s.expected) << "step " << n;
        EXPECT_EQ(vp.m_nVScroll, 0);
        ++n;
    }
    // Vertically the maximum is 3000 - 600.
    vp.Scroll(Axis::Vertical, ScrollCode::ThumbTrack, 2300);
    EXPECT_EQ(vp.Scroll(Axis::Vertical, ScrollCode::PageDown), 2400);
}

TEST(ChartViewport, ChartSmallerThanTheWindowNeverScrolls) {
    ChartViewport vp = Make(300, 200, 800, 600);
    EXPECT_FALSE(vp.BarVisible(Axis::Horizontal));
    EXPECT_FALSE(vp.BarVisible(Axis::Vertical));
    for (ScrollCode code : {ScrollCode::LineDown, ScrollCode::PageDown, ScrollCode::Bottom,
                            ScrollCode::ThumbTrack, ScrollCode::LineUp, ScrollCode::PageUp}) {
        vp.Scroll(Axis::Horizontal, code, 50);
        vp.Scroll(Axis::Vertical, code, 50);
        EXPECT_EQ(vp.m_nHScroll, 0);
        EXPECT_EQ(vp.m_nVScroll, 0);
    }
    vp.ScrollBy(-100, 250);
    EXPECT_EQ(vp.m_nHScroll, 0);
    EXPECT_EQ(vp.m_nVScroll, 0);
    EXPECT_TRUE(vp.ZoomOut());
    EXPECT_EQ(vp.m_nHScroll, 0);
    // Exactly as large as the window: still no bar.
    ChartViewport exact = Make(800, 600, 800, 600);
    EXPECT_FALSE(exact.BarVisible(Axis::Horizontal));
    EXPECT_FALSE(exact.BarVisible(Axis::Vertical));
}

TEST(ChartViewport, ResizeLowersThePositionsWithoutRecentring) {
    ChartViewport vp = Make(4000, 3000, 800, 600);
    vp.Scroll(Axis::Horizontal, ScrollCode::Bottom);
    vp.Scroll(Axis::Vertical, ScrollCode::ThumbTrack, 1000);
    vp.OnSize(1000, 700);
    EXPECT_EQ(vp.m_nHScroll, 3000);
    EXPECT_EQ(vp.m_nVScroll, 1000);
    vp.OnSize(5000, 700);
    EXPECT_EQ(vp.m_nHScroll, 0);
    EXPECT_FALSE(vp.BarVisible(Axis::Horizontal));
}

TEST(ChartViewport, ChartsTooSmallForAReducedSizeStayDefined) {
    ChartViewport vp = Make(3, 100000, 10, 500);
    while (vp.ZoomOut())
        ExpectInvariant(vp);
    EXPECT_EQ(vp.m_nScaledWidth, 0);
    EXPECT_EQ(vp.m_nScaledHeight, 20000);
    while (vp.ZoomIn())
        ExpectInvariant(vp);
}

TEST(ChartInput, DragFollowsTheMouseAndClamps) {
    ChartViewport vp = Make(4000, 3000, 800, 600);
    charttest::FakeHost host;
    ChartInput input(vp, host, nullptr);
    EXPECT_FALSE(input.OnMouseMove({10, 10})); // no drag without the button
    input.OnLButtonDown({500, 400});
    EXPECT_FALSE(input.OnMouseMove({500, 400})); // not moved
    EXPECT_TRUE(input.OnMouseMove({300, 250}));
    EXPECT_EQ(vp.m_nHScroll, 200);
    EXPECT_EQ(vp.m_nVScroll, 150);
    EXPECT_TRUE(input.OnMouseMove({400, 500})); // back past the start: clamped at 0
    EXPECT_EQ(vp.m_nHScroll, 100);
    EXPECT_EQ(vp.m_nVScroll, 0);
    EXPECT_TRUE(input.OnLButtonUp({-5000, 100}));
    EXPECT_EQ(vp.m_nHScroll, 3200);
    EXPECT_EQ(vp.m_nVScroll, 400);
    EXPECT_FALSE(input.Dragging());
    EXPECT_FALSE(input.OnMouseMove({0, 0}));
}

TEST(ChartInput, DoubleClickConvertsTheChartPixel) {
    ChartViewport vp = Make(4000, 3000, 800, 600);
    vp.ZoomOut(); // factor 1.5
    vp.m_nHScroll = 100;
    vp.m_nVScroll = 50;
    CGEORec geo;
    ReadTestReference(geo);
    charttest::FakeHost host;
    ChartInput input(vp, host, [](const std::string&) { FAIL() << "nothing to report"; });
    const auto pixel = input.OnLButtonDblClk({10, 20}, geo);
    EXPECT_EQ(pixel.x, 165.0);
    EXPECT_EQ(pixel.y, 105.0);
    ASSERT_EQ(host.m_added.size(), 1u);
    EXPECT_NEAR(host.m_added[0].longitude, 4.165, 1e-9);
    EXPECT_NEAR(host.m_added[0].latitude, 51.895, 1e-9);
}

TEST(ChartInput, DoubleClickOnAChartWithoutReferenceDataAddsNothing) {
    ChartViewport vp = Make(4000, 3000, 800, 600);
    CGEORec geo; // no reference points: every conversion gives 0
    charttest::FakeHost host;
    std::vector<std::string> reports;
    ChartInput input(vp, host, [&](const std::string& text) { reports.push_back(text); });
    input.OnLButtonDblClk({10, 20}, geo);
    // The same through the chart source interface (a chart without georeference, such as a
    // GeoTIFF without coordinate system: here the renderer's before any chart is open).
    const avilo::planner::ChartRenderer renderer;
    input.OnLButtonDblClk({10, 20}, renderer.Georef());
    EXPECT_TRUE(host.m_added.empty());
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], avilo::planner::kNoReferenceData);
    EXPECT_EQ(reports[1], avilo::planner::kNoReferenceData);
}
