#pragma once
// The main frame: menus, accelerators, tool bar, the steer point list bar, the status bar and
// the chart windows; owner of the planner's documents for the whole run.  It keeps the
// planner's operations as entry points and hands the work to the plain classes
// (SteerPointEditing, SteerPointList, PlanFile) and the dialogs.

#include "AVDialogBar.h"

#include <avilo/PlanDocuments.h>

#include <QMainWindow>

#include <string>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QStatusBar;
class QToolBar;

namespace avilo::planner {

class CMainFrame : public QMainWindow, public PlanDocuments {
    Q_OBJECT
public:
    /// Creates the documents (a message box for each COM error, start-up goes on).
    CMainFrame();
    ~CMainFrame() override;

    /// Builds the frame's bars and menus; false when that fails.
    bool LoadFrame();

    // Steer point insertion and editing.
    /// Appends a steer point at (longitude, latitude), decimal degrees, and runs the dialogs on
    /// it; it stays only when they end with OK.
    void AddSteerPoint(double longitude, double latitude);
    /// Runs the dialog chain on a steer point of the plan; IDOK or IDCANCEL.
    int EditSteerPoint(xml::Node steerPoint);
    void EditSteerPointAt(int index);
    void DeleteSteerPointAt(int index);

    // Component commands (the buttons of the list bar call these).
    void RunConsistencyCheck();
    void RunScriptGeneration();
    void RunScriptExecution();

    // Command handlers.
    void OnOpenChart();
    void OnClearPlan();
    void OnLoadPlan();
    void OnSavePlan();
    void OnZoomIn();
    void OnZoomOut();
    void OnFileNew();

    /// Repaints the active chart window, if there is one.
    void RepaintActiveChart();
    /// Creates a chart child window for `m_strChartFile`.
    QMdiSubWindow* CreateChartWindow();

    CAVDialogBar& DialogBar() const { return *m_wndDlgBar; }
    QMdiArea& MdiArea() const { return *m_mdiArea; }
    /// The command with id `id` (menus, tool bar and accelerators share it), or nullptr.
    QAction* Command(int id) const;

    /// The path of the chart chosen last with Open Chart.
    std::string m_strChartFile;

private:
    QAction* AddCommand(int id, const QString& text, const QKeySequence& shortcut = {});
    void ReportComError(const xml::ComError& e, const std::string& text);

    QMdiArea* m_mdiArea = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    QToolBar* m_wndReBar = nullptr; ///< the band that holds the list bar
    CAVDialogBar* m_wndDlgBar = nullptr;
};

} // namespace avilo::planner
