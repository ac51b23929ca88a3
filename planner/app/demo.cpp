// avilo-demo: the planner driven through a short session of a user, for screenshots.
//
//   avilo-demo OUTDIR [CHART]     (run from data/, where the planner finds its databases)
//
// It starts the planner as `avilo` does, opens CHART (default charts/EHAM-sectional.nos),
// zooms out once, scrolls to Schiphol, places a take-off steer point there and three GPS steer
// points east of it by double-clicks, answering the steer point dialogs as a user would, and
// saves pictures of the screen into OUTDIR: each dialog while it is open and the main window
// with the route at the end.  Then it checks the plan, generates its flight script and flies it
// against the simulator inside the program in virtual time, picturing the flight under way (the
// aircraft and its track on the chart, the executor's window with its live figures) and the
// executor's window with the report and the profile when it has ended.  The screen is grabbed whole
// (on an X server: the root window, as scripts/screenshot runs it under Xvfb); on a platform
// without one the windows are grabbed. Message boxes are answered with their default button and
// echoed to standard error.
#include "AviloApp.h"
#include "MainFrm.h"
#include "Resources.h"

#include <chartview/NOSFrm.h>
#include <chartview/NOSView.h>
#include <fssim/InProcess.h>
#include <fssim/Start.h>
#include <ui/Dialogs.h>
#include <ui/LogWindow.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <thread>

using namespace avilo::planner;

namespace {

/// The simulation's own clock, paced to a thirtieth of real time: the flight of the sample plan
/// takes half a minute instead of a blink, so that it can be pictured under way.
class PacedClock final : public ipc::Clock {
public:
    explicit PacedClock(std::shared_ptr<ipc::Clock> inner) : m_inner(std::move(inner)) {}
    bool Sleep(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::microseconds(ms * 1000 / 30));
        return m_inner->Sleep(ms);
    }
    std::int64_t NowMs() const override { return m_inner->NowMs(); }
    void RequestStop() override { m_inner->RequestStop(); }
    bool StopRequested() const override { return m_inner->StopRequested(); }

private:
    std::shared_ptr<ipc::Clock> m_inner;
};

/// Schiphol on the sample chart, in chart pixels (data/charts/README.md).
constexpr double kSchipholX = 1674.8, kSchipholY = 1344.6;

class Demo {
public:
    Demo(CAviloApp& app, QString outDir, std::string chart)
        : m_app(app), m_outDir(std::move(outDir)), m_chart(std::move(chart)) {
        QObject::connect(&m_poll, &QTimer::timeout, [this] { AnswerDialog(); });
        m_poll.start(50);
    }

    /// The session; false (with the reason on standard error) when a step fails.
    bool Run() {
        CMainFrame& frame = *m_app.MainFrame();
        frame.showMaximized();
        Settle(300);

        // The chart, zoomed out once and scrolled so that Schiphol sits left of the centre.
        m_files.push_back(m_chart);
        frame.Command(res::ID_OPEN_CHART)->trigger();
        CNOSFrame* chart = frame.ActiveChart();
        if (!chart)
            return Fail("the chart did not open");
        chart->move(0, 0);
        chart->resize(frame.MdiArea().size());
        Settle(200);
        frame.Command(res::ID_ZOOM_OUT)->trigger();
        CNOSView& view = chart->View();
        const double scale = view.Viewport().m_dScale;
        view.horizontalScrollBar()->setValue(static_cast<int>(kSchipholX / scale) - 320);
        view.verticalScrollBar()->setValue(static_cast<int>(kSchipholY / scale) - 330);
        Settle(200);

        // Take-off at Schiphol: both dialogs are pictured before they are answered.
        Expect("148", [this](QDialog& d) {
            Find<QLineEdit>(d, "1015")->setText("10:00");
            Shot("planner-type-dialog.png");
            Press(d);
        });
        Expect("150", [this](QDialog& d) {
            Shot("planner-airport-dialog.png");
            Press(d);
        });
        DoubleClick(view, kSchipholX, kSchipholY);

        // Three legs east over the Gooi towards the IJsselmeer.
        struct Leg {
            double dx, dy;
            const char *time, *airspeed, *heading, *altitude;
        };
        const Leg legs[] = {{330, 25, "10:08", "90", "80", "1500"},
                            {600, 100, "10:15", "100", "115", "2500"},
                            {800, -180, "10:22", "100", "30", "3000"}};
        bool first = true;
        for (const Leg& leg : legs) {
            Expect("148", [leg](QDialog& d) {
                Find<QLineEdit>(d, "1015")->setText(leg.time);
                Select(*Find<QComboBox>(d, "1033"), "GPS");
                Select(*Find<QComboBox>(d, "1034"), "cruise");
                Press(d);
            });
            Expect("149", [this, leg, first](QDialog& d) {
                Find<QLineEdit>(d, "1032")->setText(leg.airspeed);
                Find<QLineEdit>(d, "1028")->setText(leg.heading);
                Find<QLineEdit>(d, "1029")->setText(leg.altitude);
                if (first)
                    Shot("planner-gps-dialog.png");
                Press(d);
            });
            DoubleClick(view, kSchipholX + leg.dx, kSchipholY + leg.dy);
            first = false;
        }
        if (frame.m_pRoot.childNodes().length() != 4)
            return Fail("the route does not have four steer points");
        Settle(300);
        Shot("planner-route.png");
        return Fly(frame) && m_ok;
    }

    /// Check, Generate and Execute against the simulator inside the program in virtual time.
    bool Fly(CMainFrame& frame) {
        ui::SetLogFinishHandler([](QDialog& log) { log.findChild<QPushButton*>("1")->click(); });
        frame.RunConsistencyCheck();
        frame.RunScriptGeneration();
        ui::SetLogFinishHandler(nullptr);
        if (!frame.m_pScript)
            return Fail("no flight script was generated");
        std::unique_ptr<fssim::InProcessSim> sim;
        bool inFlightShot = false;
        frame.m_fnPrepareExecution = [&](kestro::ExecutionOptions& options) {
            std::string error;
            fssim::SimConfig config;
            if (const auto start = fssim::StartFromScript(frame.m_pScript, error))
                config.start = *start;
            sim = std::make_unique<fssim::InProcessSim>(config);
            options.clock = std::make_shared<PacedClock>(sim->Clock());
            options.timeLimitMs = 3 * 3600 * 1000;
            // The planner's own handler first (the chart windows), then the picture of the
            // flight under way once it is well into its second leg.
            options.onSamples =
                [&, planner = options.onSamples](const std::vector<kestro::FlightSample>& samples) {
                    planner(samples);
                    if (!inFlightShot && !samples.empty() && samples.back().time_s > 420) {
                        inFlightShot = true;
                        QTimer::singleShot(300, [this] { Shot("planner-flight.png"); });
                    }
                };
            options.onWindowCreated = [this](kestro::CKestroWnd& window) {
                QDialog* dialog = window.GetDialog();
                if (!dialog)
                    return;
                dialog->move(400, 90);
                auto* poll = new QTimer(dialog);
                QObject::connect(poll, &QTimer::timeout, dialog, [this, dialog, poll] {
                    auto* report = dialog->findChild<QPlainTextEdit*>("FlightReport");
                    if (report->toPlainText().isEmpty())
                        return;
                    poll->stop();
                    Settle(300);
                    Shot("planner-flight-report.png");
                    dialog->findChild<QPushButton*>("1")->click();
                });
                poll->start(100);
            };
        };
        // The chart window beside the executor's window, following the aircraft.
        if (CNOSFrame* chart = frame.ActiveChart())
            chart->setGeometry(0, 0, 400, frame.MdiArea().height());
        frame.RunScriptExecution();
        frame.m_fnPrepareExecution = nullptr;
        if (!inFlightShot)
            Fail("the flight was not pictured under way");
        return m_ok;
    }

private:
    using Action = std::function<void(QDialog&)>;

    void Expect(const char* dialog, Action action) { m_steps.push_back({dialog, action}); }

    /// Answers the modal dialog on top with the next expected step; any other is cancelled.
    void AnswerDialog() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        if (m_steps.empty() || m_steps.front().first != dialog->objectName()) {
            Fail("unexpected dialog " + dialog->objectName().toStdString());
            dialog->reject();
            return;
        }
        const Action action = m_steps.front().second;
        m_steps.pop_front();
        Settle(150); // the dialog is painted before it is pictured
        action(*dialog);
    }

    template <class W> static W* Find(QDialog& dialog, const char* id) {
        W* control = dialog.findChild<W*>(id);
        if (!control)
            qFatal("control %s not found in dialog %s", id, qPrintable(dialog.objectName()));
        return control;
    }
    static void Select(QComboBox& combo, const char* text) {
        combo.setCurrentIndex(combo.findText(text));
    }
    static void Press(QDialog& dialog) { Find<QPushButton>(dialog, "1")->click(); }

    /// A double-click on the chart where the view shows chart pixel (x, y).
    static void DoubleClick(CNOSView& view, double x, double y) {
        const ChartViewport& vp = view.Viewport();
        const QPointF client(ChartViewport::ChartToReduced(x, vp.m_dScale) - vp.m_nHScroll,
                             ChartViewport::ChartToReduced(y, vp.m_dScale) - vp.m_nVScroll);
        QWidget* target = view.viewport();
        QMouseEvent event(QEvent::MouseButtonDblClick, client, target->mapToGlobal(client),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }

    static void Settle(int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    /// Saves a picture of the screen, or of the windows where the platform has no screen.
    void Shot(const QString& name) {
        Settle(150); // what was just typed reaches the screen first
        QPixmap picture;
        if (QScreen* screen = QGuiApplication::primaryScreen();
            screen && QGuiApplication::platformName() == "xcb")
            picture = screen->grabWindow(0);
        if (picture.isNull()) {
            QWidget* top = QApplication::activeModalWidget();
            picture = (top ? top : static_cast<QWidget*>(m_app.MainFrame()))->grab();
        }
        const QString path = QDir(m_outDir).filePath(name);
        if (!picture.save(path))
            Fail("cannot write " + path.toStdString());
        else
            std::fprintf(stderr, "avilo-demo: %s\n", qPrintable(path));
    }

    bool Fail(const std::string& why) {
        std::fprintf(stderr, "avilo-demo: %s\n", why.c_str());
        m_ok = false;
        return false;
    }

    CAviloApp& m_app;
    QString m_outDir;
    std::string m_chart;
    QTimer m_poll;
    std::deque<std::pair<QString, Action>> m_steps;
    bool m_ok = true;

public:
    std::deque<std::optional<std::string>> m_files;
};

} // namespace

int main(int argc, char** argv) {
    CAviloApp app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: avilo-demo OUTDIR [CHART]\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    // The chart window's caption is the path as given, relative to data/: no machine's folder
    // shows in the pictures.
    const std::string chart = argc > 2 ? argv[2] : "charts/EHAM-sectional.nos";

    Demo* demo = nullptr;
    ui::SetFileDialogHandler([&demo](const ui::FileDialogRequest&) {
        std::optional<std::string> answer;
        if (demo && !demo->m_files.empty()) {
            answer = demo->m_files.front();
            demo->m_files.pop_front();
        }
        return answer;
    });
    ui::SetMessageBoxHandler([](const ui::MessageBoxRequest& request) {
        std::fprintf(stderr, "avilo-demo: message box: %s\n", request.text.c_str());
        // The session's plan is not kept: unsaved changes are discarded.
        if (request.buttons == ui::Buttons::YesNoCancel)
            return ui::IDNO;
        return request.buttons == ui::Buttons::YesNo ? ui::IDYES : ui::IDOK;
    });
    if (!app.InitInstance())
        return app.ExitInstance(1);
    Demo session(app, outDir, chart);
    demo = &session;
    int result = 1;
    QTimer::singleShot(0, &app, [&] {
        result = session.Run() ? 0 : 1;
        app.quit();
    });
    app.exec();
    demo = nullptr;
    return app.ExitInstance(result);
}
