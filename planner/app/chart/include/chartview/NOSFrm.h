#pragma once
// The chart frame: a child window of the main window's document area that holds one chart view
// and carries the chart's full path as its caption.

#include "chartview/ChartHost.h"

#include <QMdiSubWindow>

#include <string>

class QMdiArea;

namespace avilo::planner {

class CNOSView;

class CNOSFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CNOSFrame(IChartHost& host, QWidget* parent = nullptr);
    ~CNOSFrame() override;

    /// Creates the view and opens the chart at `chartPath` in it; the caption becomes the path.
    /// False with `*error` set when the chart cannot be opened or loaded.
    bool OnCreate(const std::string& chartPath, std::string* error);

    /// Opens a chart window in `area` for the chart at `path` and shows it.  When the chart
    /// cannot be opened the user is told, with the path and the reason, and no window is
    /// opened: returns nullptr.
    static CNOSFrame* Open(QMdiArea& area, IChartHost& host, const std::string& path);

    CNOSView& View() const { return *m_wndView; }

public slots:
    void ZoomIn();
    void ZoomOut();

private:
    IChartHost& m_host;
    CNOSView* m_wndView = nullptr; // child widget, owned by this window
};

/// The chart frame of a document-area child window, or nullptr for other windows.
CNOSFrame* ChartFrameOf(QMdiSubWindow* window);
/// Repaints every chart window of `area` (all of them draw the one plan).
void RepaintChartWindows(QMdiArea& area);

} // namespace avilo::planner
