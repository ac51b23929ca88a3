#include "MainFrm.h"

#include "AviloApp.h"
#include "AviloDialog.h"
#include "ComErrorBox.h"
#include "ExchangeMenu.h"
#include "PlanFile.h"
#include "Resources.h"
#include "SPAirportDlg.h"
#include "SPGPSDlg.h"
#include "SPTypeDlg.h"
#include "SteerPointEditing.h"

#include <chartview/NOSFrm.h>
#include <chartview/NOSView.h>
#include <numbers/Numbers.h>
#include <scrivo/Scrivo.h>
#include <tessar/Tessar.h>
#include <ui/ComponentException.h>
#include <ui/Dialogs.h>

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

namespace avilo::planner {
namespace {

constexpr const char* kCaption = "Avilo";
constexpr const char* kSaveChangesQuestion =
    "The flight plan has changes that are not saved.\r\nSave them before going on?";

void ShowComErrorReport(const xml::ComError& error) {
    ShowComError(nullptr, error);
}

} // namespace

CMainFrame::CMainFrame() : PlanDocuments(ShowComErrorReport) {
    setObjectName("CMainFrame");
    setWindowTitle(res::LoadString(res::IDR_MAINFRAME));
    setWindowIcon(res::LoadIcon(res::IDR_MAINFRAME));
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::AddCommand(int id, const QString& text, const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setObjectName(res::IdName(id));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setStatusTip(res::Prompt(id));
    action->setToolTip(res::ToolTip(id));
    addAction(action); // accelerators work also while the menu bar is hidden
    return action;
}

QAction* CMainFrame::Command(int id) const {
    return findChild<QAction*>(res::IdName(id));
}

bool CMainFrame::LoadFrame() {
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName("MDIClient");
    m_mdiArea->setBackground(QColor(128, 128, 128));
    setCentralWidget(m_mdiArea);

    // Commands.
    QAction* openChart = AddCommand(res::ID_OPEN_CHART, "&Open Chart", QKeySequence("Ctrl+O"));
    QAction* clearPlan =
        AddCommand(res::ID_CLEAR_PLAN, "&Clear Flight Plan", QKeySequence("Ctrl+C"));
    QAction* loadPlan = AddCommand(res::ID_LOAD_PLAN, "&Load Flight Plan", QKeySequence("Ctrl+L"));
    QAction* savePlan = AddCommand(res::ID_SAVE_PLAN, "&Save Flight Plan", QKeySequence("Ctrl+S"));
    QAction* exitApp = AddCommand(res::ID_APP_EXIT, "E&xit");
    QAction* zoomIn = AddCommand(res::ID_ZOOM_IN, "Zoom &in", QKeySequence("Ctrl+Z"));
    QAction* zoomOut = AddCommand(res::ID_ZOOM_OUT, "Zoom &out", QKeySequence("Ctrl+X"));
    QAction* about = AddCommand(res::ID_APP_ABOUT, "&About Avilo...");
    QAction* nextPane = AddCommand(res::ID_NEXT_PANE, {}, QKeySequence(Qt::Key_F6));
    QAction* prevPane = AddCommand(res::ID_PREV_PANE, {}, QKeySequence(Qt::SHIFT | Qt::Key_F6));
    openChart->setIcon(res::ToolBarImage(res::ID_OPEN_CHART));
    zoomIn->setIcon(res::ToolBarImage(res::ID_ZOOM_IN));
    zoomOut->setIcon(res::ToolBarImage(res::ID_ZOOM_OUT));
    connect(openChart, &QAction::triggered, this, [this] { OnOpenChart(); });
    connect(clearPlan, &QAction::triggered, this, [this] { OnClearPlan(); });
    connect(loadPlan, &QAction::triggered, this, [this] { OnLoadPlan(); });
    connect(savePlan, &QAction::triggered, this, [this] { OnSavePlan(); });
    connect(exitApp, &QAction::triggered, this, &QWidget::close);
    connect(zoomIn, &QAction::triggered, this, [this] { OnZoomIn(); });
    connect(zoomOut, &QAction::triggered, this, [this] { OnZoomOut(); });
    connect(about, &QAction::triggered, this, [this] { ShowAboutBox(this); });
    connect(nextPane, &QAction::triggered, m_mdiArea, &QMdiArea::activateNextSubWindow);
    connect(prevPane, &QAction::triggered, m_mdiArea, &QMdiArea::activatePreviousSubWindow);

    // Tool bar: Open Chart, separator, Zoom out, Zoom in.
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(res::IdName(res::ID_VIEW_TOOLBAR));
    m_wndToolBar->setWindowTitle("Standard");
    m_wndToolBar->setIconSize(QSize(16, 15));
    m_wndToolBar->addAction(openChart);
    m_wndToolBar->addSeparator();
    m_wndToolBar->addAction(zoomOut);
    m_wndToolBar->addAction(zoomIn);

    // The list bar in the first row, the tool bar in the second.
    m_wndDlgBar = new CAVDialogBar(*this);
    m_wndReBar = new QToolBar(this);
    m_wndReBar->setObjectName("ReBarBand0");
    m_wndReBar->setWindowTitle("Steer Points");
    m_wndReBar->addWidget(m_wndDlgBar);
    // The list bar keeps its row above the tool bar: dragged, floated or docked at a side it
    // would take the chart area.
    m_wndReBar->setMovable(false);
    m_wndReBar->setFloatable(false);
    m_wndReBar->setAllowedAreas(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, m_wndReBar);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);

    // Status bar: message pane and the lock key indicators.
    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setObjectName(res::IdName(res::ID_VIEW_STATUS_BAR));
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(indicator, m_wndStatusBar);
        label->setObjectName(QString("indicator") + indicator);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance("SCRL") + 10);
        m_wndStatusBar->addPermanentWidget(label);
    }
    setStatusBar(m_wndStatusBar);
    m_wndStatusBar->showMessage(res::LoadString(57345));
    connect(m_wndStatusBar, &QStatusBar::messageChanged, m_wndStatusBar,
            [bar = m_wndStatusBar](const QString& text) {
                if (text.isEmpty())
                    bar->showMessage(res::LoadString(57345));
            });

    // Menus.
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(openChart);
    file->addSeparator();
    file->addAction(clearPlan);
    file->addAction(loadPlan);
    file->addAction(savePlan);
    file->addSeparator();
    new CExchangeMenu(*this, *file, nullptr); // owned by the frame
    file->addSeparator();
    file->addAction(exitApp);
    QMenu* view = menuBar()->addMenu("&View");
    QAction* toggleToolBar = m_wndToolBar->toggleViewAction();
    toggleToolBar->setText("&Toolbar");
    toggleToolBar->setStatusTip(res::Prompt(res::ID_VIEW_TOOLBAR));
    view->addAction(toggleToolBar);
    auto* toggleStatusBar = new QAction("&Status Bar", this);
    toggleStatusBar->setObjectName(res::IdName(res::ID_VIEW_STATUS_BAR));
    toggleStatusBar->setStatusTip(res::Prompt(res::ID_VIEW_STATUS_BAR));
    toggleStatusBar->setCheckable(true);
    toggleStatusBar->setChecked(true);
    connect(toggleStatusBar, &QAction::toggled, m_wndStatusBar, &QWidget::setVisible);
    view->addAction(toggleStatusBar);
    view->addSeparator();
    view->addAction(zoomIn);
    view->addAction(zoomOut);
    // The executor's control law: the stabilised loops, which hold the altitudes and airspeeds
    // of the plan and also fly an aircraft that needs damping and trim, unless the user chooses
    // the classic ones.
    QMenu* flight = menuBar()->addMenu("F&light");
    auto* laws = new QActionGroup(this);
    m_stabilisedLaw = new QAction("&Stabilised control law", laws);
    m_stabilisedLaw->setObjectName("StabilisedControlLaw");
    m_stabilisedLaw->setCheckable(true);
    m_stabilisedLaw->setChecked(true);
    m_stabilisedLaw->setStatusTip("Flies the script with damped, trimmed control loops");
    m_classicLaw = new QAction("&Classic control law", laws);
    m_classicLaw->setObjectName("ClassicControlLaw");
    m_classicLaw->setCheckable(true);
    m_classicLaw->setStatusTip("Flies the script with the classic control loops");
    flight->addAction(m_stabilisedLaw);
    flight->addAction(m_classicLaw);
    flight->addSeparator();
    m_followAircraft = new QAction("&Follow Aircraft", this);
    m_followAircraft->setObjectName("FollowAircraft");
    m_followAircraft->setCheckable(true);
    m_followAircraft->setChecked(true);
    m_followAircraft->setStatusTip(
        "Keeps the aircraft in view in the chart windows during a flight");
    flight->addAction(m_followAircraft);
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(about);

    resize(1000, 700);
    return true;
}

void CMainFrame::ShowComError(const xml::ComError& error) {
    planner::ShowComError(this, error);
}

// --- steer point insertion and editing -------------------------------------------------------

void CMainFrame::AddSteerPoint(double longitude, double latitude) {
    try {
        xml::Node steerPoint = AppendNewSteerPoint(m_pRoot, longitude, latitude);
        if (EditSteerPoint(steerPoint, true) == IDOK) {
            m_bModified = true;
            m_wndDlgBar->FillList();
        } else
            m_pRoot.removeChild(steerPoint);
    } catch (const xml::ComError& e) {
        ShowComError(e);
    }
    RepaintCharts();
}

int CMainFrame::EditSteerPoint(xml::Node steerPoint, bool isNew) {
    if (steerPoint.empty())
        return IDCANCEL;
    const xml::Node copy = steerPoint.cloneNode(true);
    const bool wasAirport = !isNew && !ChildElement(steerPoint, kTypeAirport).empty();
    int result = IDCANCEL;

    CSPTypeDlg typeDlg(m_pSchemas.get(), this);
    try {
        ReadTypeValues(m_pSchemas.get(), steerPoint, typeDlg);
    } catch (const xml::ComError& e) {
        ShowComError(e); // the dialog still opens with what was read
    }

    try {
        result = typeDlg.DoModal();
        if (result != IDOK)
            return result;
        WriteTypeValues(steerPoint, typeDlg);
        ApplyTypeChange(m_pSchemas.get(), steerPoint, typeDlg.m_strType);
        xml::Node typeElement = ChildElement(steerPoint, typeDlg.m_strType);

        if (typeDlg.m_strType == kTypeAirport) {
            CSPAirportDlg airportDlg(m_pAirports, this);
            airportDlg.m_strPhase = typeDlg.m_strPhase;
            airportDlg.m_dLongitude = numbers::ToDouble(typeDlg.m_strLongitude);
            airportDlg.m_dLatitude = numbers::ToDouble(typeDlg.m_strLatitude);
            airportDlg.m_bSelectStored = wasAirport;
            ReadAirportValues(steerPoint, typeElement, airportDlg);
            result = airportDlg.DoModal();
            if (result == IDOK)
                WriteAirportValues(steerPoint, typeElement, airportDlg);
        } else if (typeDlg.m_strType == kTypeGPS) {
            CSPGPSDlg gpsDlg(this);
            gpsDlg.m_strPhase = typeDlg.m_strPhase;
            ReadGPSValues(steerPoint, typeElement, gpsDlg);
            result = gpsDlg.DoModal();
            if (result == IDOK)
                WriteGPSValues(steerPoint, typeElement, gpsDlg);
        }
        // Cancel in the second dialog leaves the steer point as it was before the edit.
        if (result != IDOK)
            RestoreSteerPoint(steerPoint, copy);
    } catch (const xml::ComError& e) {
        ShowComError(e);
    }
    return result;
}

void CMainFrame::EditSteerPointAt(int index) {
    if (EditSteerPoint(m_pRoot.childNodes().item(index)) == IDOK)
        m_bModified = true;
    m_wndDlgBar->FillList();
    RepaintCharts();
}

void CMainFrame::DeleteSteerPointAt(int index) {
    DeleteSteerPoint(m_pRoot, index);
    m_bModified = true;
    RepaintCharts();
}

// --- component commands -------------------------------------------------------------------

namespace {

// Runs the call of a component command.  The checker and the generator report a failure with an
// exception derived from ui::ComponentException, after their log window was closed: its message
// is shown, as is anything else that escapes them; the plan and the buttons stay as they were.
template <class Call> void RunComponentCommand(QWidget* parent, Call call) {
    try {
        call();
    } catch (const ui::ComponentException& e) {
        ui::MessageBox(parent, e.m_message, kCaption, ui::Icon::Error);
    } catch (const std::exception& e) {
        ui::MessageBox(parent, e.what(), kCaption, ui::Icon::Error);
    }
}

} // namespace

void CMainFrame::RunConsistencyCheck() {
    RunComponentCommand(this, [this] {
        const bool consistent = tessar::CheckConsistency(m_pPlan);
        WorkflowButtons buttons = m_wndDlgBar->Buttons();
        buttons.CheckDone(consistent);
        m_wndDlgBar->SetButtons(buttons);
    });
}

void CMainFrame::RunScriptGeneration() {
    RunComponentCommand(this, [this] {
        m_pScript = scrivo::GenerateFlightScript(m_pPlan);
        WorkflowButtons buttons = m_wndDlgBar->Buttons();
        buttons.ScriptGenerated(m_pScript != nullptr);
        m_wndDlgBar->SetButtons(buttons);
    });
}

kestro::ControlLaw CMainFrame::ChosenControlLaw() const {
    return m_stabilisedLaw && m_stabilisedLaw->isChecked() ? kestro::ControlLaw::Stabilised
                                                           : kestro::ControlLaw::Classic;
}

void CMainFrame::RunScriptExecution() {
    if (!m_pScript) {
        ui::MessageBox(this, "First generate a flight script!", kCaption, ui::Icon::Exclamation);
        WorkflowButtons buttons = m_wndDlgBar->Buttons();
        buttons.ExecuteWithoutScript();
        m_wndDlgBar->SetButtons(buttons);
        return;
    }
    // The executor's window runs its own event loop while the planner stays usable: one
    // flight at a time.
    if (m_bFlying || !SaveModified())
        return;
    kestro::ExecutionOptions options;
    options.law = ChosenControlLaw();
    // A new flight starts a new track; the last one stays drawn until then.
    m_flight = {};
    m_flown.clear();
    RepaintCharts();
    options.onSamples = [this](const std::vector<kestro::FlightSample>& samples) {
        OnFlightSamples(samples);
    };
    if (m_fnPrepareExecution)
        m_fnPrepareExecution(options);
    m_bFlying = true;
    try {
        kestro::ExecuteFlightScript(m_pScript, options);
    } catch (const std::exception& e) {
        // The executor reports its own failures; one that escapes it means the flight never
        // ran.
        ui::MessageBox(this, e.what(), kCaption, ui::Icon::Error);
    }
    m_bFlying = false;
}

void CMainFrame::OnFlightSamples(const std::vector<kestro::FlightSample>& samples) {
    if (samples.empty())
        return;
    for (const kestro::FlightSample& s : samples)
        m_flight.track.push_back({s.longitude_deg, s.latitude_deg});
    m_flown.insert(m_flown.end(), samples.begin(), samples.end());
    const kestro::FlightSample& last = samples.back();
    m_flight.aircraftKnown = true;
    m_flight.aircraft = {last.longitude_deg, last.latitude_deg};
    m_flight.heading_deg = last.heading_deg;
    if (FollowsAircraft() && m_mdiArea)
        for (QMdiSubWindow* child : m_mdiArea->subWindowList())
            if (CNOSFrame* chart = ChartFrameOf(child))
                chart->View().ShowPosition(m_flight.aircraft);
    RepaintCharts();
}

bool CMainFrame::FollowsAircraft() const {
    return m_followAircraft && m_followAircraft->isChecked();
}

void CMainFrame::ShowSteerPointInCharts(int index) {
    if (!m_mdiArea || m_pRoot.empty())
        return;
    try {
        const xml::Node coordinate =
            ChildElement(m_pRoot.childNodes().item(index), "GPSCoordinate");
        if (coordinate.empty())
            return;
        const CoordinateText text = ReadGPSCoordinate(coordinate);
        const auto lon = numbers::Parse(text.longitude), lat = numbers::Parse(text.latitude);
        if (!lon || !lat)
            return;
        for (QMdiSubWindow* child : m_mdiArea->subWindowList())
            if (CNOSFrame* chart = ChartFrameOf(child))
                chart->View().ShowPosition({*lon, *lat});
    } catch (const xml::ComError&) {
        // a steer point that cannot be read is not shown; painting reports the fault
    }
}

bool CMainFrame::SaveModified() {
    if (!m_bModified)
        return true;
    switch (ui::MessageBox(this, kSaveChangesQuestion, kCaption, ui::Icon::Question,
                           ui::Buttons::YesNoCancel)) {
    case ui::IDYES:
        return SavePlan();
    case ui::IDNO:
        return true;
    default:
        return false;
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_bFlying) {
        ui::MessageBox(this, "A flight is under way: close the Kestro window first.", kCaption,
                       ui::Icon::Exclamation);
        event->ignore();
        return;
    }
    if (!m_bDestroyed && !SaveModified()) {
        event->ignore();
        return;
    }
    event->accept();
}

void CMainFrame::DestroyWindow() {
    m_bDestroyed = true;
    hide();
    for (QMdiSubWindow* child : m_mdiArea->subWindowList())
        child->close();
    emit destroyRequested();
}

// --- plan file commands -------------------------------------------------------------------

void CMainFrame::OnOpenChart() {
    const auto path = ui::GetOpenFileName(this, "Open", QtFileFilter(kChartFilter));
    if (!path)
        return;
    m_strChartFile = *path;
    CreateChartWindow();
}

CNOSFrame* CMainFrame::CreateChartWindow() {
    CNOSFrame* chart = CNOSFrame::Open(*m_mdiArea, *this, m_strChartFile);
    if (!chart || m_pRoot.empty())
        return chart;
    // A chart opened with a plan shows the plan's first steer point that lies on it.
    try {
        for (xml::Node sp = m_pRoot.firstChild(); !sp.empty(); sp = sp.nextSibling()) {
            const xml::Node coordinate = ChildElement(sp, "GPSCoordinate");
            if (coordinate.empty())
                continue;
            const CoordinateText text = ReadGPSCoordinate(coordinate);
            const auto lon = numbers::Parse(text.longitude), lat = numbers::Parse(text.latitude);
            if (lon && lat && chart->View().ShowPosition({*lon, *lat}))
                break;
        }
    } catch (const xml::ComError&) {
        // the chart opens where it starts; painting reports the plan's fault
    }
    return chart;
}

void CMainFrame::OnClearPlan() {
    if (!SaveModified())
        return;
    if (ui::MessageBox(this, kClearQuestion, kCaption, ui::Icon::Exclamation, ui::Buttons::YesNo) !=
        ui::IDYES)
        return;
    try {
        if (!m_pPlan)
            throw xml::ComError(xml::hr::E_POINTER_);
        m_pPlan->removeChild(m_pRoot);
        m_pRoot = m_pPlan->appendChild(m_pPlan->createElement("avilo"));
        m_bModified = false;
        m_flight = {};
        m_flown.clear();
        m_wndDlgBar->FillList();
    } catch (const xml::ComError& e) {
        ShowComError(e);
    }
    RepaintCharts();
}

void CMainFrame::OnLoadPlan() {
    if (!SaveModified())
        return;
    const auto path = ui::GetOpenFileName(this, "Open", QtFileFilter(kPlanFilter));
    if (!path)
        return;
    try {
        auto loaded = LoadPlanFile(*path);
        if (const auto* error = std::get_if<xml::ParseError>(&loaded)) {
            ui::MessageBox(this, PlanParseErrorMessage(*error), kCaption, ui::Icon::Exclamation);
            return;
        }
        auto& plan = std::get<LoadedPlan>(loaded);
        m_pPlan = std::move(plan.plan);
        m_pRoot = std::move(plan.root);
        m_bModified = false;
        m_wndDlgBar->FillList();
        RepaintCharts();
    } catch (const xml::ComError& e) {
        ShowComError(e);
    }
}

void CMainFrame::OnSavePlan() {
    SavePlan();
}

bool CMainFrame::SavePlan() {
    const auto path = ui::GetSaveFileName(this, "Save As", QtFileFilter(kPlanFilter),
                                          kPlanDefaultName, kPlanExtension);
    if (!path || !m_pPlan)
        return false;
    try {
        SavePlanFile(*m_pPlan, *path);
        m_bModified = false;
        return true;
    } catch (const xml::ComError& e) {
        // The file that was there is untouched: the plan is written beside it and renamed.
        ShowComError(e);
        return false;
    }
}

// --- chart windows ------------------------------------------------------------------------

CNOSFrame* CMainFrame::ActiveChart() const {
    return m_mdiArea ? ChartFrameOf(m_mdiArea->activeSubWindow()) : nullptr;
}

void CMainFrame::OnZoomIn() {
    if (CNOSFrame* chart = ActiveChart())
        chart->ZoomIn();
}

void CMainFrame::OnZoomOut() {
    if (CNOSFrame* chart = ActiveChart())
        chart->ZoomOut();
}

void CMainFrame::RepaintCharts() {
    if (m_mdiArea)
        RepaintChartWindows(*m_mdiArea);
}

} // namespace avilo::planner
