// The road of one flight through the real program on the offscreen platform: open the sample
// chart, place steer points by double-clicks and describe them in the dialogs, save, clear and
// load the plan, check, generate, and execute against the in-process simulator in virtual time;
// the executor's message window ends with the finish line and the planner is gone.
//
// With AVILO_LOCALE_OUT naming a folder, the road leaves there what it wrote: the plan file,
// the checker's and the generator's logs, the flight script and the executor's log.  The road is
// run in the C locale and in locales with a decimal comma, and the folders must agree byte for
// byte: the planner takes its locale from the environment like any Qt program.
#include "AviloApp.h"
#include "DialogDriver.h"
#include "MainFrm.h"
#include "Resources.h"
#include "TestData.h"

#include <chartview/NOSFrm.h>
#include <chartview/NOSView.h>
#include <fssim/InProcess.h>
#include <fssim/Start.h>
#include <ui/Dialogs.h>
#include <ui/LogWindow.h>

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTreeWidget>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <optional>

using namespace avilo::planner;
using namespace avilo::planner::test;

namespace {

const char* const kFinished = "Finished executing the flight script.";
/// Schiphol on the sample chart, in chart pixels (see data/charts/README.md).
constexpr double kSchipholX = 1674.8, kSchipholY = 1344.6;

} // namespace

class FlightRoadTest : public QObject {
    Q_OBJECT
public:
    explicit FlightRoadTest(CAviloApp& app) : m_app(app) {}

private:
    CAviloApp& m_app;
    std::unique_ptr<TempWorkDir> m_dir;
    std::vector<ui::MessageBoxRequest> m_messages;
    std::deque<std::optional<std::string>> m_files;
    std::optional<fssim::InProcessSim> m_sim;
    QString m_kestroText;
    std::string m_checkLog, m_generateLog, m_flightLog, m_savedPlan, m_script;
    int m_kestroLines = 0;
    bool m_frameShownDuringFlight = false;
    QString m_report;
    bool m_roadDone = false;
    QElapsedTimer m_wall;

    /// Runs `operation` with the dialogs answered by `steps`.
    void Drive(std::vector<DialogDriver::Step> steps, const std::function<void()>& operation) {
        DialogDriver driver(std::move(steps));
        operation();
        QVERIFY2(driver.AllAnswered(), qPrintable("seen " + driver.m_seen.join(",") +
                                                  ", unexpected " + driver.m_unexpected.join(",")));
    }

    /// Double-clicks the chart view where the reduced image shows chart pixel (x, y).
    static void DoubleClickChart(CNOSView& view, double x, double y) {
        const ChartViewport& vp = view.Viewport();
        const QPoint client(ChartViewport::ChartToReduced(x, vp.m_dScale) - vp.m_nHScroll,
                            ChartViewport::ChartToReduced(y, vp.m_dScale) - vp.m_nVScroll);
        QVERIFY2(view.viewport()->rect().contains(client), "the point is not in view");
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, client);
    }

    static QStringList Row(const CMainFrame& frame, int row) {
        QStringList texts;
        const QTreeWidget& list = frame.DialogBar().List();
        for (int c = 0; c < list.columnCount(); ++c)
            texts << list.topLevelItem(row)->text(c);
        return texts;
    }

    /// Answers a GPS dialog with a leg's airspeed, heading and altitude.
    static DialogDriver::Action GpsLeg(const char* airspeed, const char* heading,
                                       const char* altitude) {
        return [=](QDialog& d) {
            Control<QLineEdit>(d, "1032")->setText(airspeed);
            Control<QLineEdit>(d, "1028")->setText(heading);
            Control<QLineEdit>(d, "1029")->setText(altitude);
            QCOMPARE(Control<QListWidget>(d, "1040")->selectedItems().size(), 1);
            Ok(d);
        };
    }
    static DialogDriver::Action TypeDialog(const char* time, const char* type, const char* phase) {
        return [=](QDialog& d) {
            Control<QLineEdit>(d, "1015")->setText(time);
            Choose(*Control<QComboBox>(d, "1033"), type);
            Choose(*Control<QComboBox>(d, "1034"), phase);
            Ok(d);
        };
    }

    /// The user's part, run from inside the planner's event loop.
    void Road(CMainFrame& frame) {
        // 1. The sample chart, zoomed out until all of it fits the window.
        const std::string chart = std::string(AVILO_DATA_DIR) + "/charts/EHAM-sectional.nos";
        m_files.push_back(chart);
        frame.Command(res::ID_OPEN_CHART)->trigger();
        CNOSFrame* chartWindow = frame.ActiveChart();
        QVERIFY(chartWindow);
        QCOMPARE(chartWindow->windowTitle(), QString::fromStdString(chart));
        chartWindow->resize(880, 700);
        for (int i = 0; i < 8; ++i)
            frame.Command(res::ID_ZOOM_OUT)->trigger();
        CNOSView& view = chartWindow->View();
        QCOMPARE(view.Viewport().m_dScale, 5.0);

        // 2. Take-off at Schiphol: the nearest airport is offered, its first runway chosen.
        Drive({{"148",
                [](QDialog& d) {
                    QCOMPARE(Control<QComboBox>(d, "1033")->currentText(), QString("airport"));
                    QCOMPARE(Control<QComboBox>(d, "1034")->currentText(), QString("takeoff"));
                    Control<QLineEdit>(d, "1015")->setText("10:00");
                    Ok(d);
                }},
               {"150",
                [](QDialog& d) {
                    QCOMPARE(Control<QLineEdit>(d, "1027")->text(), QString("EHAM"));
                    QCOMPARE(Control<QComboBox>(d, "1030")->currentText(), QString("9"));
                    Ok(d);
                }}},
              [&] { DoubleClickChart(view, kSchipholX, kSchipholY); });
        QCOMPARE(frame.m_pRoot.childNodes().length(), 1L);

        // 3. Two short cruise legs east, each placed by a double-click: the first turns the
        //    inherited airport steer point into a GPS one, the second inherits the rest.  The
        //    take-off ends about 6 km east of the threshold; the legs go 3 km each beyond it
        //    (every step of a leg is a line in the message window, and lines cost wall time).
        Drive({{"148", TypeDialog("10:10", "GPS", "cruise")}, {"149", GpsLeg("90", "80", "1500")}},
              [&] { DoubleClickChart(view, kSchipholX + 62, kSchipholY); });
        Drive({{"148", TypeDialog("10:20", "GPS", "cruise")}, {"149", GpsLeg("90", "100", "1500")}},
              [&] { DoubleClickChart(view, kSchipholX + 78, kSchipholY + 5); });
        QCOMPARE(frame.m_pRoot.childNodes().length(), 3L);
        QCOMPARE(frame.DialogBar().List().topLevelItemCount(), 3);
        QCOMPARE(Row(frame, 0).mid(0, 3), QStringList({"0", "airport", "10:00"}));
        QCOMPARE(Row(frame, 2),
                 QStringList({"2", "GPS", "10:20", Row(frame, 2)[3], Row(frame, 2)[4], "cruise"}));
        // The clicked positions, converted through the chart's reference data: east of Schiphol.
        const double lon1 = Row(frame, 1)[3].toDouble(), lat1 = Row(frame, 1)[4].toDouble();
        QVERIFY2(lon1 > 4.84 && lon1 < 4.9 && lat1 > 52.28 && lat1 < 52.34,
                 qPrintable(Row(frame, 1).join(" ")));

        // 4. Save, clear and load the plan back.
        const std::string before = frame.m_pRoot.xml();
        const std::string path = (m_dir->path() / "road.av").string();
        m_files.push_back(path);
        frame.Command(res::ID_SAVE_PLAN)->trigger();
        QVERIFY(std::filesystem::exists(path));
        m_savedPlan = ReadFile(path);
        frame.Command(res::ID_CLEAR_PLAN)->trigger(); // answered Yes
        QCOMPARE(frame.DialogBar().List().topLevelItemCount(), 0);
        m_files.push_back(path);
        frame.Command(res::ID_LOAD_PLAN)->trigger();
        QCOMPARE(frame.m_pRoot.xml(), before);
        QCOMPARE(frame.DialogBar().List().topLevelItemCount(), 3);
        QVERIFY(m_messages.size() == 1); // the Clear question only

        // 5. Check and generate; each log window waits for Close.
        auto* check = Control<QPushButton>(frame.DialogBar(), "1003");
        auto* generate = Control<QPushButton>(frame.DialogBar(), "1002");
        auto* execute = Control<QPushButton>(frame.DialogBar(), "1005");
        QString log;
        ui::SetLogFinishHandler([&log](QDialog& d) {
            log = d.findChild<QPlainTextEdit*>("7000")->toPlainText();
            d.findChild<QPushButton*>("1")->click();
        });
        {
            const ui::LogCapture capture;
            check->click();
            m_checkLog = capture.text();
        }
        QVERIFY2(log.endsWith("Flight Plan is consistent."), qPrintable(log));
        QVERIFY(generate->isEnabled());
        {
            const ui::LogCapture capture;
            generate->click();
            m_generateLog = capture.text();
        }
        ui::SetLogFinishHandler(nullptr);
        QVERIFY(frame.m_pScript);
        m_script = frame.m_pScript->xml();
        QVERIFY(execute->isEnabled());
        QVERIFY(m_messages.size() == 1);

        // 6. Execute: the simulator waits on the take-off runway of the script; the message
        //    window is closed once it shows the finish line (or after a wall-clock minute).
        frame.m_fnPrepareExecution = [&](kestro::ExecutionOptions& options) {
            // The Flight menu's choice arrives here: the stabilised law unless classic is chosen.
            QVERIFY(options.law == kestro::ControlLaw::Stabilised);
            std::string error;
            const auto start = fssim::StartFromScript(frame.m_pScript, error);
            QVERIFY2(start, error.c_str());
            fssim::SimConfig config;
            config.start = *start;
            m_sim.emplace(config);
            options.clock = m_sim->Clock();
            options.timeLimitMs = 3 * 3600 * 1000;
            options.onWindowCreated = [&](kestro::CKestroWnd& window) {
                kestro::CKestroWnd* const flight = &window;
                m_frameShownDuringFlight = frame.isVisible();
                QDialog* dialog = window.GetDialog();
                QVERIFY(dialog);
                auto* poll = new QTimer(dialog);
                QElapsedTimer wall;
                wall.start();
                connect(poll, &QTimer::timeout, dialog, [this, flight, dialog, poll, wall] {
                    // Only the end of the text is looked at while the flight goes on.
                    auto* edit = dialog->findChild<QPlainTextEdit*>("7000");
                    QTextBlock block = edit->document()->lastBlock();
                    bool finished = false;
                    for (int i = 0; i < 4 && block.isValid(); ++i, block = block.previous())
                        finished = finished || block.text().contains(kFinished);
                    // The report follows the finish line once the worker has ended.
                    auto* report = dialog->findChild<QPlainTextEdit*>("FlightReport");
                    if ((finished && !report->toPlainText().isEmpty()) || wall.elapsed() > 60000) {
                        poll->stop();
                        m_report = report->toPlainText();
                        m_kestroText = edit->toPlainText();
                        m_flightLog = flight->GetText();
                        m_kestroLines = edit->document()->blockCount();
                        dialog->findChild<QPushButton*>("1")->click();
                    }
                });
                poll->start(20);
            };
        };
        execute->click();
        qInfo("%lld ms: flown", m_wall.elapsed());
        // 7. The planner is the pilot's again, with its plan and chart, and the chart draws the
        //    track and where the aircraft ended: near the last steer point.
        QVERIFY(!frame.IsDestroyed() && frame.isVisible());
        QCOMPARE(frame.m_pRoot.xml(), before);
        QCOMPARE(frame.MdiArea().subWindowList().size(), 1);
        const FlightTrace* flight = frame.Flight();
        QVERIFY2(flight && flight->aircraftKnown && flight->track.size() > 100,
                 qPrintable(m_kestroText.right(300)));
        const double lastLon = Row(frame, 2)[3].toDouble(), lastLat = Row(frame, 2)[4].toDouble();
        QVERIFY2(
            std::abs(flight->aircraft.longitude - lastLon) < 0.05 &&
                std::abs(flight->aircraft.latitude - lastLat) < 0.05,
            qPrintable(
                QString("%1 %2").arg(flight->aircraft.longitude).arg(flight->aircraft.latitude)));
        QVERIFY(view.ContainsPosition(flight->aircraft));
        QCOMPARE(frame.FlownTrack().size(), flight->track.size()); // kept for File > Export
        QVERIFY2(m_report.startsWith("Flight report\n"), qPrintable(m_report.left(200)));
        m_roadDone = true;
    }

private slots:
    void theRoadOfOneFlight() {
        m_dir = std::make_unique<TempWorkDir>(
            std::vector<std::string>{"avilo.xsd", "scrivodb.xml", "airports.xml", "acdb.xml"});
        ui::SetMessageBoxHandler([this](const ui::MessageBoxRequest& request) {
            m_messages.push_back(request);
            return request.buttons == ui::Buttons::YesNo ? ui::IDYES : ui::IDOK;
        });
        ui::SetFileDialogHandler([this](const ui::FileDialogRequest&) {
            std::optional<std::string> answer;
            if (!m_files.empty()) {
                answer = m_files.front();
                m_files.pop_front();
            }
            return answer;
        });

        m_wall.start();
        QVERIFY(m_app.InitInstance());
        QPointer<CMainFrame> frame(m_app.MainFrame());
        QVERIFY(frame);
        frame->resize(1200, 1000);
        QTimer::singleShot(0, &m_app, [&] {
            Road(*frame);
            if (frame && !frame->IsDestroyed())
                m_app.quit(); // the road stopped early: end the loop, the checks say why
        });
        const int code = m_app.exec();

        ui::SetMessageBoxHandler({});
        ui::SetFileDialogHandler({});
        QVERIFY(m_roadDone);
        QVERIFY(m_frameShownDuringFlight);
        QVERIFY2(m_kestroText.contains(kFinished), qPrintable(m_kestroText.right(400)));
        qInfo("message window: %d lines", m_kestroLines);
        // The planner outlives the flight; it goes when the application ends.
        QVERIFY(!frame.isNull());
        QCOMPARE(m_app.ExitInstance(code), 0);
        QVERIFY(frame.isNull());
        QVERIFY2(m_messages.size() == 1, m_messages.empty() ? "" : m_messages.back().text.c_str());
        m_sim.reset();
        m_dir.reset();
        if (const char* folder = std::getenv("AVILO_LOCALE_OUT"))
            WriteArtefacts(folder);
    }

private:
    void WriteArtefacts(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        const std::pair<const char*, const std::string*> files[] = {
            {"plan.av", &m_savedPlan},        {"check.log", &m_checkLog},
            {"generate.log", &m_generateLog}, {"script.xml", &m_script},
            {"flight.log", &m_flightLog},
        };
        for (const auto& [name, text] : files) {
            QVERIFY2(!text->empty(), name);
            std::ofstream(folder / name, std::ios::binary) << *text;
        }
    }
};

int main(int argc, char** argv) {
    CAviloApp app(argc, argv);
    FlightRoadTest test(app);
    return QTest::qExec(&test, argc, argv);
}

#include "FlightRoadTest.moc"
