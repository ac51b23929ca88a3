#pragma once
// The main frame: menus, accelerators, tool bar, the steer point list bar, the status bar and
// the chart windows; owner of the planner's documents for the whole run.  It keeps the
// planner's operations as entry points and hands the work to the plain classes
// (SteerPointEditing, SteerPointList, PlanFile) and the dialogs.

#include "AVDialogBar.h"

#include <avilo/PlanDocuments.h>
#include <chartview/ChartHost.h>
#include <kestro/Kestro.h>

#include <QMainWindow>

#include <functional>
#include <string>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QStatusBar;
class QToolBar;

namespace avilo::planner {

class CNOSFrame;

class CMainFrame : public QMainWindow, public PlanDocuments, public IChartHost {
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
    void AddSteerPoint(double longitude, double latitude) override;
    /// The plan's root element, which every chart window draws.
    xml::Node PlanRoot() const override { return m_pRoot; }
    void ShowComError(const xml::ComError& error) override;
    /// The flight under way or last flown (kept until the next Execute or Clear).
    const FlightTrace* Flight() const override {
        return m_flight.track.empty() ? nullptr : &m_flight;
    }
    /// The samples of the flight under way or last flown, as the executor handed them over
    /// (kept, like the drawn flight, until the next Execute or Clear): what File > Export Flight
    /// Track writes.
    const std::vector<kestro::FlightSample>& FlownTrack() const { return m_flown; }
    /// Adds the samples the executor's worker handed over to the flight the charts draw and to
    /// the flown track.
    void OnFlightSamples(const std::vector<kestro::FlightSample>& samples);
    /// Scrolls every chart window that shows steer point `index` of the plan so that it is at
    /// the window's centre.
    void ShowSteerPointInCharts(int index);
    /// Whether the chart windows follow the aircraft (Flight > Follow Aircraft).
    bool FollowsAircraft() const;
    /// Runs the dialog chain on a steer point of the plan; IDOK or IDCANCEL.  The airport
    /// dialog opens on the stored airport and runway of an existing airport steer point, on the
    /// nearest airport's first runway for a new one (`isNew`) or a changed type.
    int EditSteerPoint(xml::Node steerPoint, bool isNew = false);
    void EditSteerPointAt(int index);
    void DeleteSteerPointAt(int index);

    // Component commands (the buttons of the list bar call these).  The checker and the
    // generator block in their log windows until the user closes them; their failures are
    // shown in a message box and the planner goes on.
    void RunConsistencyCheck();
    void RunScriptGeneration();
    /// Flies `m_pScript` in the executor's message window after offering unsaved changes for
    /// saving; the planner stays on screen with its plan and charts, and is the user's again
    /// once that window is closed, however the flight ended.
    void RunScriptExecution();
    bool IsFlying() const noexcept { return m_bFlying; }
    /// Hides the frame for good and asks the application to end (see `destroyRequested`).
    void DestroyWindow();
    bool IsDestroyed() const noexcept { return m_bDestroyed; }

    /// Fills in the executor's options before a flight: the chosen control law is set first,
    /// then this hook runs (tests give the flight a virtual clock and the in-process simulator).
    std::function<void(kestro::ExecutionOptions&)> m_fnPrepareExecution;
    /// The control law chosen in the Flight menu.
    kestro::ControlLaw ChosenControlLaw() const;

    /// The plan differs from what was last loaded, saved or cleared.
    bool IsModified() const noexcept { return m_bModified; }
    void SetModified(bool modified = true) noexcept { m_bModified = modified; }
    /// Offers unsaved changes for saving (Yes saves, No discards, Cancel keeps them); true when
    /// the caller may go on and drop the plan in memory.
    bool SaveModified();

    // Command handlers.
    void OnOpenChart();
    void OnClearPlan();
    void OnLoadPlan();
    void OnSavePlan();
    /// Save with its file dialog; true when the plan was written.
    bool SavePlan();
    void OnZoomIn();
    void OnZoomOut();

    /// Repaints every chart window: all of them draw the one plan.
    void RepaintCharts();
    /// Opens a chart window for `m_strChartFile`; when the chart cannot be opened the user is
    /// told why and no window opens (nullptr).
    CNOSFrame* CreateChartWindow();
    /// The active chart window, or nullptr.
    CNOSFrame* ActiveChart() const;

    CAVDialogBar& DialogBar() const { return *m_wndDlgBar; }
    QMdiArea& MdiArea() const { return *m_mdiArea; }
    /// The command with id `id` (menus, tool bar and accelerators share it), or nullptr.
    QAction* Command(int id) const;

    /// The path of the chart chosen last with Open Chart.
    std::string m_strChartFile;

signals:
    /// The frame has been destroyed as a window (after a flight); the application ends.
    void destroyRequested();

protected:
    /// Exit: unsaved changes are offered first; refused while a flight is under way.
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddCommand(int id, const QString& text, const QKeySequence& shortcut = {});

    QMdiArea* m_mdiArea = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    QToolBar* m_wndReBar = nullptr; ///< the band that holds the list bar
    CAVDialogBar* m_wndDlgBar = nullptr;
    QAction* m_stabilisedLaw = nullptr;
    QAction* m_classicLaw = nullptr;
    QAction* m_followAircraft = nullptr;
    FlightTrace m_flight;
    std::vector<kestro::FlightSample> m_flown;
    bool m_bDestroyed = false;
    bool m_bModified = false;
    bool m_bFlying = false;
};

} // namespace avilo::planner
