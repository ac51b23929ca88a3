#pragma once
// Zoom and scroll arithmetic of a chart window, without any window: the reduction factor, the
// size of the reduced image, the scroll positions and the scroll bar layout.  The chart view
// keeps one and shows what it says; tests drive it directly.
//
// Units: chart pixels (x to the right, y downwards from the top-left pixel) for the chart; the
// reduced image and the client area in screen pixels.  The reduction factor is chart pixels per
// screen pixel and takes the nine values 1.0, 1.5, ..., 5.0.
//
// Invariant after every operation: 0 <= m_nHScroll <= max(0, m_nScaledWidth - client width), and
// the same vertically.  Screen pixel (x, y) of the client area shows reduced-image pixel
// (x + m_nHScroll, y + m_nVScroll), which stands for chart pixel
// ((x + m_nHScroll) * m_dScale, (y + m_nVScroll) * m_dScale).

#include <array>

namespace avilo::planner {

/// What a scroll bar asks for.  Line and page codes move by 1 and by kPage reduced-image
/// pixels; the thumb codes carry the new position; Top and Bottom go to the ends.
enum class ScrollCode {
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    ThumbPosition,
    ThumbTrack,
    Top,
    Bottom,
    EndScroll
};

enum class Axis { Horizontal, Vertical };

/// A rectangle in reduced-image pixels.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct ChartPoint {
    double x = 0, y = 0;
};

class ChartViewport {
public:
    static constexpr double kMinScale = 1.0;
    static constexpr double kMaxScale = 5.0;
    static constexpr double kZoomStep = 0.5;
    static constexpr int kPage = 400;

    /// Sets the chart size (pixels, >= 0) and recomputes the reduced size for the current factor.
    void SetChartSize(int width, int height);
    /// A window shown: factor 1.0, both positions 0.
    void OnShow();
    /// The client area changed to width x height screen pixels: scroll bar layout, positions
    /// lowered to their new maximum.  No re-centring.
    void OnSize(int clientWidth, int clientHeight);

    /// One step towards full resolution (factor - 0.5), keeping the chart point at the centre of
    /// the client area in place where clamping at an edge allows.  False (and nothing changed) at
    /// factor 1.0.
    bool ZoomIn();
    /// One step away from full resolution (factor + 0.5).  False (nothing changed) at 5.0.
    bool ZoomOut();

    /// Applies a scroll bar code to one axis; `thumb` is the position the thumb codes carry.
    /// Returns the new position.
    int Scroll(Axis axis, ScrollCode code, int thumb = 0);
    /// A drag step: moves both positions by (dx, dy) and clamps each, first to its maximum, then
    /// to 0.
    void ScrollBy(int dx, int dy);

    /// Largest position of an axis: reduced extent - client extent (negative or 0 when the image
    /// fits and the bar is hidden).
    int Max(Axis axis) const;
    /// Whether an axis needs its scroll bar (the reduced image is wider/taller than the client).
    bool BarVisible(Axis axis) const { return Max(axis) >= 1; }
    int Position(Axis axis) const { return axis == Axis::Horizontal ? m_nHScroll : m_nVScroll; }

    /// The chart pixel a client point stands for (not rounded).
    ChartPoint ClientToChart(int x, int y) const;
    /// The reduced-image pixel of a chart pixel, truncated toward zero (may lie outside).
    static int ChartToReduced(double chartPixel, double scale);

    double m_dScale = kMinScale;
    double m_dMaxScale = kMaxScale;
    double m_dMinScale = kMinScale;
    int m_nHScroll = 0;
    int m_nVScroll = 0;
    int m_nChartWidth = 0;
    int m_nChartHeight = 0;
    int m_nScaledWidth = 0;
    int m_nScaledHeight = 0;
    int m_nClientWidth = 0;
    int m_nClientHeight = 0;

private:
    void UpdateScaledSize();
    void AfterZoom(int oldScaledWidth, int oldScaledHeight);
    int& PositionRef(Axis axis) { return axis == Axis::Horizontal ? m_nHScroll : m_nVScroll; }
    void Clamp(Axis axis);
};

} // namespace avilo::planner
