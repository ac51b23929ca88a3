#include "chartview/NOSView.h"

#include <ui/Dialogs.h>

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

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
    }
    m_bErase = true;
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
