#include "chartview/ChartInput.h"

#include "chartview/ChartHost.h"

#include <chartsource/ChartSource.h>
#include <tavola/GeoRec.h>

namespace avilo::planner {

ChartInput::ChartInput(ChartViewport& viewport, IChartHost& host, Reporter report)
    : m_viewport(viewport), m_host(host), m_report(std::move(report)) {}

void ChartInput::OnLButtonDown(ClientPoint point) {
    m_ptLast = point;
    m_bDragging = true;
}

bool ChartInput::OnMouseMove(ClientPoint point) {
    if (!m_bDragging || point == m_ptLast)
        return false;
    DragStep(point);
    return true;
}

bool ChartInput::OnLButtonUp(ClientPoint point) {
    m_bDragging = false;
    DragStep(point);
    return true;
}

void ChartInput::DragStep(ClientPoint point) {
    // The chart follows the mouse: moving right shows what lies further left.
    m_viewport.ScrollBy(m_ptLast.x - point.x, m_ptLast.y - point.y);
    m_ptLast = point;
}

ChartPoint ChartInput::OnLButtonDblClk(ClientPoint point, CGEORec& geo) {
    const ChartPoint pixel = m_viewport.ClientToChart(point.x, point.y);
    if (!HasReferenceData(geo)) {
        if (m_report)
            m_report(kNoReferenceData);
        return pixel;
    }
    const double longitude = geo.pwx(pixel.x, pixel.y);
    const double latitude = geo.pwy(pixel.x, pixel.y);
    m_host.AddSteerPoint(longitude, latitude);
    return pixel;
}

ChartPoint ChartInput::OnLButtonDblClk(ClientPoint point, const chartsource::Georeference& geo) {
    const ChartPoint pixel = m_viewport.ClientToChart(point.x, point.y);
    double longitude = 0, latitude = 0;
    if (!geo.Usable() || !geo.ToLonLat(pixel.x, pixel.y, &longitude, &latitude)) {
        if (m_report)
            m_report(kNoReferenceData);
        return pixel;
    }
    m_host.AddSteerPoint(longitude, latitude);
    return pixel;
}

int ChartInput::OnScroll(Axis axis, ScrollCode code, int thumb) {
    return m_viewport.Scroll(axis, code, thumb);
}

bool ChartInput::HasReferenceData(const CGEORec& geo) {
    return geo.HasReferenceData();
}

} // namespace avilo::planner
