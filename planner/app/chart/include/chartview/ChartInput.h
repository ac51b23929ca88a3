#pragma once
// Mouse and scroll bar input of a chart window, without any window: dragging with the left
// button pans the chart, a double-click turns the clicked point into a steer point, scroll bar
// codes move the positions.  Each handler says whether the window must be repainted.

#include "chartview/ChartViewport.h"

#include <functional>
#include <string>

class CGEORec;

namespace avilo::chartsource {
class Georeference;
}

namespace avilo::planner {

class IChartHost;

struct ClientPoint {
    int x = 0, y = 0;
    bool operator==(const ClientPoint&) const = default;
};

/// Shown when a double-click lands on a chart without reference data.
inline constexpr const char* kNoReferenceData =
    "This chart has no reference data: positions cannot be read from it, so no steer point "
    "was added.";

class ChartInput {
public:
    /// Reports a problem to the user (a message box in the planner).
    using Reporter = std::function<void(const std::string& text)>;

    ChartInput(ChartViewport& viewport, IChartHost& host, Reporter report);

    /// Left button down: a drag starts at `point`.
    void OnLButtonDown(ClientPoint point);
    /// Mouse moved: while dragging and when the point moved, the chart follows the mouse.
    /// True when the positions were recomputed (the window repaints).
    bool OnMouseMove(ClientPoint point);
    /// Left button up: the drag ends with a last step to `point`.  True (the window repaints).
    bool OnLButtonUp(ClientPoint point);
    /// Double-click: converts the chart pixel under `point` to longitude and latitude through
    /// `geo` and hands them to the host.  A chart without usable reference data (no reference
    /// file, fewer than three distinct reference points, points on one line, positions that are
    /// not finite: every conversion would give 0, 0, one constant point or nonsense) adds
    /// nothing and is reported.
    /// Returns the chart pixel that was converted.
    ChartPoint OnLButtonDblClk(ClientPoint point, CGEORec& geo);
    /// The same on any chart: the pixel converted through `geo`, a chart whose georeference
    /// is not usable reported as one without reference data.
    ChartPoint OnLButtonDblClk(ClientPoint point, const chartsource::Georeference& geo);
    /// A scroll bar code on one axis; returns the new position (the window repaints).
    int OnScroll(Axis axis, ScrollCode code, int thumb = 0);

    bool Dragging() const { return m_bDragging; }

    /// Whether `geo` can convert positions (CGEORec::HasReferenceData).
    static bool HasReferenceData(const CGEORec& geo);

private:
    void DragStep(ClientPoint point);

    ChartViewport& m_viewport;
    IChartHost& m_host;
    Reporter m_report;
    ClientPoint m_ptLast;
    bool m_bDragging = false;
};

} // namespace avilo::planner
