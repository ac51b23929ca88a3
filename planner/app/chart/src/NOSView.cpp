#include "chartview/NOSView.h"

#include <tavola/Units.h>
#include <ui/Dialogs.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <utility>

namespace avilo::planner {

namespace {

ScrollCode CodeOf(int action, bool* known) {
    *known = true;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return ScrollCode::LineUp;
    case QAbstractSlider::SliderSingleStepAdd:
        return ScrollCode::LineDown;
    case QAbstractSlider::SliderPageStepSub:
        return ScrollCode::PageUp;
    case QAbstractSlider::SliderPageStepAdd:
        return ScrollCode::PageDown;
    case QAbstractSlider::SliderToMinimum:
        return ScrollCode::Top;
    case QAbstractSlider::SliderToMaximum:
        return ScrollCode::Bottom;
    case QAbstractSlider::SliderMove:
        return ScrollCode::ThumbTrack;
    default:
        *known = false;
        return ScrollCode::EndScroll;
    }
}

ClientPoint PointOf(const QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    return {p.x(), p.y()};
}

} // namespace

CNOSView::CNOSView(IChartHost& host, QWidget* parent)
    : QAbstractScrollArea(parent), m_host(host),
      m_input(m_viewport, host, [this](const std::string& text) { Report(text); }) {
    setFrameShape(QFrame::StyledPanel); // the client edge
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Painting covers the whole client area itself: no background fill, so scrolling and
    // dragging do not flicker.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::StrongFocus); // the keys scroll the chart
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        const Axis axis = bar == horizontalScrollBar() ? Axis::Horizontal : Axis::Vertical;
        bar->setSingleStep(1);
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, axis](int action) { OnScrollAction(axis, action); });
    }
}

CNOSView::~CNOSView() = default;

bool CNOSView::OpenChart(const std::string& path, std::string* error) {
    m_strChartPath = path;
    m_bLoaded = false;
    m_viewport.OnShow();
    if (!m_renderer.OpenChart(path, error) || !m_renderer.LoadBitmaps(m_viewport.m_dScale, error))
        return false;
    m_viewport.SetChartSize(m_renderer.ChartWidth(), m_renderer.ChartHeight());
    m_rcClient = viewport()->rect();
    m_viewport.OnSize(m_rcClient.width(), m_rcClient.height());
    m_bLoaded = true;
    SyncScrollBars();
    Invalidate(true);
    return true;
}

void CNOSView::ZoomIn() {
    if (!m_bLoaded || !m_viewport.ZoomIn())
        return;
    AfterZoom();
}

void CNOSView::ZoomOut() {
    // Nothing of the larger old image shows beside or below the new one: painting shows only
    // the image of the current factor and white beyond it, so the bitmap need not be cleared.
    if (!m_bLoaded || !m_viewport.ZoomOut())
        return;
    AfterZoom();
}

void CNOSView::AfterZoom() {
    SyncScrollBars();
    m_renderer.Reduce(m_viewport.m_dScale);
    Invalidate(true);
}

void CNOSView::Invalidate(bool erase) {
    if (erase)
        m_bErase = true;
    viewport()->update();
}

void CNOSView::SyncScrollBars() {
    m_bSyncing = true;
    for (Axis axis : {Axis::Horizontal, Axis::Vertical}) {
        QScrollBar* bar = axis == Axis::Horizontal ? horizontalScrollBar() : verticalScrollBar();
        const int extent =
            axis == Axis::Horizontal ? m_viewport.m_nClientWidth : m_viewport.m_nClientHeight;
        // An empty range hides the bar (the reduced image fits the window).
        bar->setRange(0, std::max(0, m_viewport.Max(axis)));
        bar->setPageStep(std::max(1, extent));
        bar->setValue(m_viewport.Position(axis));
    }
    m_bSyncing = false;
}

void CNOSView::OnScrollAction(Axis axis, int action) {
    QScrollBar* bar = axis == Axis::Horizontal ? horizontalScrollBar() : verticalScrollBar();
    bool known = false;
    const ScrollCode code = CodeOf(action, &known);
    if (!known || !m_bLoaded)
        return;
    const int thumb = bar->sliderPosition();
    // Undo the bar's own step first: the view's codes decide the new position.
    const int position = m_input.OnScroll(axis, code, thumb);
    bar->setSliderPosition(position);
    Invalidate(false);
}

void CNOSView::scrollContentsBy(int, int) {
    if (m_bSyncing)
        return;
    // The bars moved by themselves (wheel, keys): follow them within the valid range.
    m_viewport.Scroll(Axis::Horizontal, ScrollCode::ThumbPosition, horizontalScrollBar()->value());
    m_viewport.Scroll(Axis::Vertical, ScrollCode::ThumbPosition, verticalScrollBar()->value());
    viewport()->update();
}

void CNOSView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    m_rcClient = viewport()->rect();
    m_viewport.OnSize(m_rcClient.width(), m_rcClient.height());
    SyncScrollBars();
    Invalidate(true);
}

void CNOSView::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    // The first show starts at full resolution at the top-left corner.  Later shows (a window
    // restored from minimised) keep the zoom: the reduced image was made for it.
    if (!m_bShown) {
        m_bShown = true;
        const bool reduced = m_viewport.m_dScale != m_viewport.m_dMinScale;
        m_viewport.OnShow();
        if (m_bLoaded && reduced)
            m_renderer.Reduce(m_viewport.m_dScale);
        m_viewport.OnSize(viewport()->width(), viewport()->height());
        SyncScrollBars();
        if (m_pendingCentre)
            ShowPosition(*std::exchange(m_pendingCentre, std::nullopt));
    }
    m_bErase = true;
}

bool CNOSView::ContainsPosition(LonLat position) {
    if (!m_bLoaded || !m_renderer.Georef().Usable() || !std::isfinite(position.longitude) ||
        !std::isfinite(position.latitude))
        return false;
    const ReducedPoint p = m_renderer.ToReduced(position, m_viewport.m_dScale);
    return p.x >= 0 && p.y >= 0 && p.x < m_viewport.m_nScaledWidth &&
           p.y < m_viewport.m_nScaledHeight;
}

bool CNOSView::ShowPosition(LonLat position) {
    if (!ContainsPosition(position))
        return false;
    if (!m_bShown) {
        m_pendingCentre = position;
        return true;
    }
    const ReducedPoint p = m_renderer.ToReduced(position, m_viewport.m_dScale);
    ScrollTo(p.x - m_viewport.m_nClientWidth / 2, p.y - m_viewport.m_nClientHeight / 2);
    return true;
}

void CNOSView::ScrollTo(int h, int v) {
    m_viewport.Scroll(Axis::Horizontal, ScrollCode::ThumbPosition, h);
    m_viewport.Scroll(Axis::Vertical, ScrollCode::ThumbPosition, v);
    SyncScrollBars();
    Invalidate(false);
}

void CNOSView::ZoomAbout(bool in, QPoint anchor) {
    if (!m_bLoaded)
        return;
    const ChartPoint under = m_viewport.ClientToChart(anchor.x(), anchor.y());
    if (!(in ? m_viewport.ZoomIn() : m_viewport.ZoomOut()))
        return;
    m_viewport.Scroll(Axis::Horizontal, ScrollCode::ThumbPosition,
                      static_cast<int>(std::lround(under.x / m_viewport.m_dScale)) - anchor.x());
    m_viewport.Scroll(Axis::Vertical, ScrollCode::ThumbPosition,
                      static_cast<int>(std::lround(under.y / m_viewport.m_dScale)) - anchor.y());
    AfterZoom();
}

void CNOSView::wheelEvent(QWheelEvent* event) {
    if (!m_bLoaded) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    const QPoint angle = event->angleDelta(); // eighths of a degree, 120 a notch
    if (event->modifiers() & Qt::ControlModifier) {
        m_nWheelZoom += angle.y();
        for (; m_nWheelZoom >= 120; m_nWheelZoom -= 120)
            ZoomAbout(true, event->position().toPoint());
        for (; m_nWheelZoom <= -120; m_nWheelZoom += 120)
            ZoomAbout(false, event->position().toPoint());
        return;
    }
    const bool across = (event->modifiers() & Qt::ShiftModifier) || angle.y() == 0;
    const int delta = across && angle.y() != 0 ? angle.y() : across ? angle.x() : angle.y();
    const int extent = across ? m_viewport.m_nClientWidth : m_viewport.m_nClientHeight;
    const int step = -delta * std::max(16, extent / 8) / 120;
    if (across)
        ScrollTo(m_viewport.m_nHScroll + step, m_viewport.m_nVScroll);
    else
        ScrollTo(m_viewport.m_nHScroll, m_viewport.m_nVScroll + step);
}

void CNOSView::keyPressEvent(QKeyEvent* event) {
    if (!m_bLoaded || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int h = m_viewport.m_nHScroll, v = m_viewport.m_nVScroll;
    const int lineX = std::max(8, m_viewport.m_nClientWidth / 16);
    const int lineY = std::max(8, m_viewport.m_nClientHeight / 16);
    switch (event->key()) {
    case Qt::Key_Left:
        ScrollTo(h - lineX, v);
        break;
    case Qt::Key_Right:
        ScrollTo(h + lineX, v);
        break;
    case Qt::Key_Up:
        ScrollTo(h, v - lineY);
        break;
    case Qt::Key_Down:
        ScrollTo(h, v + lineY);
        break;
    case Qt::Key_PageUp:
        ScrollTo(h, v - std::max(1, m_viewport.m_nClientHeight - lineY));
        break;
    case Qt::Key_PageDown:
        ScrollTo(h, v + std::max(1, m_viewport.m_nClientHeight - lineY));
        break;
    case Qt::Key_Home:
        ScrollTo(0, 0);
        break;
    case Qt::Key_End:
        ScrollTo(m_viewport.Max(Axis::Horizontal), m_viewport.Max(Axis::Vertical));
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CNOSView::DrawFlight(QPainter& painter, const FlightTrace& flight) {
    const double scale = m_viewport.m_dScale;
    const int h = m_viewport.m_nHScroll, v = m_viewport.m_nVScroll;
    m_renderer.DrawTrack(painter, flight.track, scale, h, v, QColor(200, 0, 160), 2.5);
    if (!flight.aircraftKnown)
        return;
    // The symbol points along the heading as the chart shows it: towards a point a little way
    // ahead, so that a chart whose north is not straight up turns it too.
    const LonLat at = flight.aircraft;
    const double heading = flight.heading_deg * ::tavola::kDegToRad;
    constexpr double kAhead_deg = 0.05;
    const LonLat ahead{at.longitude +
                           kAhead_deg * std::sin(heading) /
                               std::max(0.01, std::cos(at.latitude * ::tavola::kDegToRad)),
                       at.latitude + kAhead_deg * std::cos(heading)};
    const ReducedPoint p = m_renderer.ToReduced(at, scale);
    const ReducedPoint q = m_renderer.ToReduced(ahead, scale);
    const double angle = std::atan2(q.x - p.x, -(q.y - p.y)) * ::tavola::kRadToDeg;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(p.x - h + 0.5, p.y - v + 0.5);
    painter.rotate(angle);
    // An aircraft seen from above, nose up before the rotation: fuselage, wings, tail.
    const QPolygonF symbol({{0, -14},
                            {2, -8},
                            {2, -3},
                            {13, 2},
                            {13, 5},
                            {2, 3},
                            {2, 9},
                            {6, 12},
                            {6, 14},
                            {0, 12.5},
                            {-6, 14},
                            {-6, 12},
                            {-2, 9},
                            {-2, 3},
                            {-13, 5},
                            {-13, 2},
                            {-2, -3},
                            {-2, -8}});
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(QColor(200, 0, 160));
    painter.drawPolygon(symbol);
    painter.restore();
}

void CNOSView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    m_rcClient = viewport()->rect();
    if (!m_bLoaded) {
        painter.fillRect(m_rcClient, Qt::white);
        return;
    }
    m_renderer.DrawChart(painter, m_rcClient.width(), m_rcClient.height(), m_viewport.m_nHScroll,
                         m_viewport.m_nVScroll, m_viewport.m_dScale, m_bErase);
    m_bErase = false;
    try {
        m_renderer.DrawPlan(painter, m_host.PlanRoot(), m_viewport.m_dScale, m_viewport.m_nHScroll,
                            m_viewport.m_nVScroll);
        if (const FlightTrace* flight = m_host.Flight(); flight && m_renderer.Georef().Usable())
            DrawFlight(painter, *flight);
    } catch (const xml::ComError& e) {
        ReportPaintError(e);
    } catch (const std::exception& e) {
        ReportPaintError(xml::ComError(xml::hr::E_FAIL_, "Avilo", e.what()));
    }
}

void CNOSView::ReportPaintError(const xml::ComError& error) {
    const std::string text = xml::FormatComErrorMessage(error);
    std::uint64_t revision = 0;
    try {
        const xml::Node root = m_host.PlanRoot();
        if (root)
            revision = root.ownerDocument()->revision();
    } catch (const std::exception&) {
    }
    if (text == m_strLastPaintError && revision == m_nLastPaintErrorRevision)
        return;
    m_strLastPaintError = text;
    m_nLastPaintErrorRevision = revision;
    // Shown after the paint: a modal box inside a paint would paint again from within it.
    QTimer::singleShot(0, this, [this, error] { m_host.ShowComError(error); });
}

void CNOSView::Report(const std::string& text) {
    ui::MessageBox(this, text, kChartCaption, ui::Icon::Exclamation);
}

void CNOSView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_bLoaded) {
        m_input.OnLButtonDown(PointOf(event));
        event->accept();
        return;
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void CNOSView::mouseMoveEvent(QMouseEvent* event) {
    if (m_input.Dragging()) {
        if (m_input.OnMouseMove(PointOf(event))) {
            SyncScrollBars();
            Invalidate(false);
        }
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void CNOSView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_input.Dragging()) {
        m_input.OnLButtonUp(PointOf(event));
        SyncScrollBars();
        Invalidate(false);
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CNOSView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_bLoaded) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    // The host runs modal dialogs; this view may be gone when they return.
    QPointer<CNOSView> self(this);
    m_input.OnLButtonDblClk(PointOf(event), m_renderer.Georef());
    if (self) {
        Invalidate(false);
        event->accept();
    }
}

} // namespace avilo::planner
