#include "chartview/NOSFrm.h"

#include "chartview/NOSView.h"

#include <ui/Dialogs.h>

#include <QMdiArea>

namespace avilo::planner {

CNOSFrame::CNOSFrame(IChartHost& host, QWidget* parent) : QMdiSubWindow(parent), m_host(host) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("CNOSFrame");
}

CNOSFrame::~CNOSFrame() = default;

bool CNOSFrame::OnCreate(const std::string& chartPath, std::string* error) {
    auto* view = new CNOSView(m_host);
    view->setObjectName("59648"); // the first pane
    setWidget(view);              // the frame owns the view from here on
    m_wndView = view;
    if (!m_wndView->OpenChart(chartPath, error))
        return false;
    setWindowTitle(QString::fromStdString(chartPath));
    return true;
}

CNOSFrame* CNOSFrame::Open(QMdiArea& area, IChartHost& host, const std::string& path) {
    auto frame = std::make_unique<CNOSFrame>(host);
    std::string error;
    if (!frame->OnCreate(path, &error)) {
        // No empty window: the user learns which chart and why, and the frame goes away.
        frame.reset();
        ui::MessageBox(area.window(), "Cannot open the chart " + path + ":\n" + error + ".",
                       kChartCaption, ui::Icon::Error);
        return nullptr;
    }
    CNOSFrame* raw = frame.release();
    area.addSubWindow(raw); // the area owns the window from here on
    raw->resize(area.size() * 3 / 4);
    raw->show();
    area.setActiveSubWindow(raw);
    return raw;
}

void CNOSFrame::ZoomIn() {
    m_wndView->ZoomIn();
}

void CNOSFrame::ZoomOut() {
    m_wndView->ZoomOut();
}

CNOSFrame* ChartFrameOf(QMdiSubWindow* window) {
    return qobject_cast<CNOSFrame*>(window);
}

void RepaintChartWindows(QMdiArea& area) {
    for (QMdiSubWindow* window : area.subWindowList())
        if (CNOSFrame* frame = ChartFrameOf(window))
            frame->View().Invalidate(false);
}

} // namespace avilo::planner
