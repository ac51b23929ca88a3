#pragma once
// The chart view: one chart, decoded once, shown reduced by one of nine factors with scroll
// bars and panning by dragging with the left button; the flight plan's steer points and route
// drawn over it; a double-click adds a steer point at the clicked position.
//
// The view is thin: the pictures come from ChartRenderer, zoom and scroll arithmetic from
// ChartViewport, mouse and scroll bar input from ChartInput.  It talks to the window that hosts
// it only through IChartHost.

#include "chartview/ChartHost.h"
#include "chartview/ChartInput.h"
#include "chartview/ChartRenderer.h"
#include "chartview/ChartViewport.h"

#include <QAbstractScrollArea>
#include <QRect>

#include <optional>
#include <string>

namespace avilo::planner {

/// Caption of the chart windows' other message boxes.
inline constexpr const char* kChartCaption = "Avilo";

class CNOSView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CNOSView(IChartHost& host, QWidget* parent = nullptr);
    ~CNOSView() override;

    /// Opens the chart at `path` and its reference file, decodes it and reduces it at factor
    /// 1.0.  False with `*error` set (the reason) when the chart cannot be read or its images
    /// cannot be allocated; the view then holds no chart.
    bool OpenChart(const std::string& path, std::string* error);

    /// Zoom commands: one factor step in or out; nothing at all (not even a repaint) at the
    /// limits or without a chart.
    Q_INVOKABLE void ZoomIn();
    Q_INVOKABLE void ZoomOut();
    /// Repaints the view (after a change of the plan); `erase` clears it white first.
    void Invalidate(bool erase = false);

    /// Whether `position` (decimal degrees) lies on the chart; false without a chart or its
    /// reference data.
    bool ContainsPosition(LonLat position);
    /// Scrolls so that `position` is at the centre of the view, as far as the chart's edges
    /// allow (before the first show: once shown); false, and nothing moved, when it does not lie
    /// on the chart.
    bool ShowPosition(LonLat position);
    /// One zoom step in (`in`) or out about the client point `anchor`: the chart point under it
    /// stays under it where the chart's edges allow.
    void ZoomAbout(bool in, QPoint anchor);

    const std::string& ChartPath() const { return m_strChartPath; }
    const ChartViewport& Viewport() const { return m_viewport; }
    ChartRenderer& Renderer() { return m_renderer; }
    const QRect& ClientRect() const { return m_rcClient; }
    bool HasChart() const { return m_bLoaded; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    /// The wheel scrolls by an eighth of the view a notch (with Shift across); with Ctrl it
    /// zooms through the factors about the cursor.
    void wheelEvent(QWheelEvent* event) override;
    /// Arrow keys scroll by a sixteenth of the view, Page Up/Down by a page, Home/End to the
    /// top and bottom.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnScrollAction(Axis axis, int action);
    void SyncScrollBars();
    void AfterZoom();
    /// Shows a failure to read the plan while painting through the host, once per fault and
    /// plan revision (a paint that fails again for the same reason says nothing new).
    void ReportPaintError(const xml::ComError& error);
    void Report(const std::string& text);
    void ScrollTo(int h, int v);
    void DrawFlight(QPainter& painter, const FlightTrace& flight);

    IChartHost& m_host;
    ChartRenderer m_renderer;
    ChartViewport m_viewport;
    ChartInput m_input;
    QRect m_rcClient;
    bool m_bErase = true;
    bool m_bLoaded = false;
    bool m_bShown = false;
    bool m_bSyncing = false;
    std::optional<LonLat> m_pendingCentre; ///< ShowPosition before the first show
    int m_nWheelZoom = 0;                  ///< Ctrl+wheel angle not yet turned into a step
    std::string m_strChartPath;
    // The last paint error reported, with the plan revision it was seen at: the same error is
    // not reported again until the plan changes (each report repaints the window).
    std::string m_strLastPaintError;
    std::uint64_t m_nLastPaintErrorRevision = 0;
};

} // namespace avilo::planner
