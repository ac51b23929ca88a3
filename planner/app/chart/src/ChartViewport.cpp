#include "chartview/ChartViewport.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace avilo::planner {

namespace {

// Truncation toward zero that stays defined for values outside the int range and for NaN.
int TruncToInt(double value) {
    if (std::isnan(value))
        return 0;
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(std::trunc(value), lo, hi));
}

} // namespace

void ChartViewport::SetChartSize(int width, int height) {
    m_nChartWidth = std::max(0, width);
    m_nChartHeight = std::max(0, height);
    UpdateScaledSize();
    Clamp(Axis::Horizontal);
    Clamp(Axis::Vertical);
}

void ChartViewport::OnShow() {
    m_nHScroll = m_nVScroll = 0;
    m_dScale = m_dMinScale;
    UpdateScaledSize();
}

void ChartViewport::OnSize(int clientWidth, int clientHeight) {
    m_nClientWidth = std::max(0, clientWidth);
    m_nClientHeight = std::max(0, clientHeight);
    for (Axis axis : {Axis::Horizontal, Axis::Vertical}) {
        int& pos = PositionRef(axis);
        if (!BarVisible(axis))
            pos = 0;
        else
            pos = std::min(pos, Max(axis));
    }
}

bool ChartViewport::ZoomIn() {
    if (!(m_dScale > m_dMinScale))
        return false;
    const int oldWidth = m_nScaledWidth, oldHeight = m_nScaledHeight;
    m_dScale -= kZoomStep;
    AfterZoom(oldWidth, oldHeight);
    return true;
}

bool ChartViewport::ZoomOut() {
    if (!(m_dScale < m_dMaxScale))
        return false;
    const int oldWidth = m_nScaledWidth, oldHeight = m_nScaledHeight;
    m_dScale += kZoomStep;
    AfterZoom(oldWidth, oldHeight);
    return true;
}

void ChartViewport::AfterZoom(int oldScaledWidth, int oldScaledHeight) {
    UpdateScaledSize();
    // The centre of the window stays in place: positions scale with the reduced size.  The ratio
    // is that of the widths; a chart too narrow to have a reduced width falls back to the
    // heights so that the ratio is always finite.
    double ratio = 1.0;
    if (m_nScaledWidth > 0 && oldScaledWidth > 0)
        ratio = static_cast<double>(oldScaledWidth) / m_nScaledWidth;
    else if (m_nScaledHeight > 0 && oldScaledHeight > 0)
        ratio = static_cast<double>(oldScaledHeight) / m_nScaledHeight;
    for (Axis axis : {Axis::Horizontal, Axis::Vertical}) {
        int& pos = PositionRef(axis);
        if (!BarVisible(axis)) {
            pos = 0;
            continue;
        }
        const int half = (axis == Axis::Horizontal ? m_nClientWidth : m_nClientHeight) / 2;
        pos = TruncToInt((pos + half) / ratio) - half;
        Clamp(axis);
    }
}

int ChartViewport::Scroll(Axis axis, ScrollCode code, int thumb) {
    int& pos = PositionRef(axis);
    const int max = Max(axis);
    switch (code) {
    case ScrollCode::LineUp:
        if (pos > 0)
            --pos;
        break;
    case ScrollCode::LineDown:
        if (pos < max)
            ++pos;
        break;
    case ScrollCode::PageUp:
        pos = pos - kPage > 0 ? pos - kPage : 0;
        break;
    case ScrollCode::PageDown:
        pos = pos + kPage < max ? pos + kPage : max;
        break;
    case ScrollCode::ThumbPosition:
    case ScrollCode::ThumbTrack:
        pos = thumb;
        break;
    case ScrollCode::Top:
        pos = 0;
        break;
    case ScrollCode::Bottom:
        pos = max;
        break;
    case ScrollCode::EndScroll:
        break;
    }
    // A bar that is hidden cannot scroll, and no code may leave the valid range (a thumb
    // position from a stale bar included).
    Clamp(axis);
    return pos;
}

void ChartViewport::ScrollBy(int dx, int dy) {
    m_nHScroll += dx;
    m_nVScroll += dy;
    Clamp(Axis::Horizontal);
    Clamp(Axis::Vertical);
}

int ChartViewport::Max(Axis axis) const {
    return axis == Axis::Horizontal ? m_nScaledWidth - m_nClientWidth
                                    : m_nScaledHeight - m_nClientHeight;
}

ChartPoint ChartViewport::ClientToChart(int x, int y) const {
    return {(static_cast<double>(x) + m_nHScroll) * m_dScale,
            (static_cast<double>(y) + m_nVScroll) * m_dScale};
}

int ChartViewport::ChartToReduced(double chartPixel, double scale) {
    return TruncToInt(chartPixel / scale);
}

void ChartViewport::UpdateScaledSize() {
    m_nScaledWidth = TruncToInt(m_nChartWidth / m_dScale);
    m_nScaledHeight = TruncToInt(m_nChartHeight / m_dScale);
}

void ChartViewport::Clamp(Axis axis) {
    int& pos = PositionRef(axis);
    pos = std::max(0, std::min(pos, Max(axis)));
}

} // namespace avilo::planner
