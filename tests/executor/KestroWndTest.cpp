// The message window on the offscreen platform: its controls, the worker's lines arriving
// through the window's own thread in order, Close at any moment, and the stop-icon message box.

#include "PausingClock.h"
#include "TestScripts.h"

#include <fssim/InProcess.h>
#include <kestro/Kestro.h>
#include <ui/Dialogs.h>

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace kestro;
using namespace kestro_test;

class KestroWndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_ipcDir = QDir::temp().filePath(QString("kestro-wnd-ipc-%1").arg(getpid()));
        QDir().mkpath(m_ipcDir);
        QFile::setPermissions(m_ipcDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("AVILO_IPC_DIR", m_ipcDir.toUtf8());
    }
    void cleanupTestCase() { QDir(m_ipcDir).removeRecursively(); }

    void windowHasItsControlsAndCloseIsEnabledFromTheStart() {
        CKestroWnd window;
        QVERIFY(window.Create());
        QDialog* dialog = window.GetDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), QString("6000"));
        QCOMPARE(dialog->windowTitle(), QString("Kestro"));
        QVERIFY(dialog->isVisible());
        auto* edit = dialog->findChild<QPlainTextEdit*>("7000");
        QVERIFY(edit && edit->isReadOnly());
        auto* close = dialog->findChild<QPushButton*>("1");
        QVERIFY(close && close->isEnabled() && close->isDefault());
        QCOMPARE(close->text(), QString("Close"));
    }

    void aFlightShowsEveryLineInOrderAndWaitsForClose() {
        fssim::SimConfig config;
        config.start = {Runway{}.latitude, Runway{}.longitude, Runway{}.heading, -11};
        fssim::InProcessSim sim(config);
        ExecutionOptions options;
        options.clock = sim.Clock();
        QString shown;
        bool closedAfterFinish = false;
        options.onWindowCreated = [&](CKestroWnd& window) {
            // Press Close once the last line is in the text box.
            auto* timer = new QTimer(window.GetDialog());
            QObject::connect(timer, &QTimer::timeout, [&, timer] {
                auto* edit = window.GetDialog()->findChild<QPlainTextEdit*>("7000");
                if (!edit->toPlainText().contains("Finished executing the flight script."))
                    return;
                timer->stop();
                shown = edit->toPlainText();
                closedAfterFinish = true;
                window.GetDialog()->findChild<QPushButton*>("1")->click();
            });
            timer->start(10);
        };
        const ExecutionResult r = ExecuteFlightScript(Script(TakeoffPhase()), options);
        QVERIFY(closedAfterFinish);
        QCOMPARE(r.exitCode, 0);
        const std::string expected = TakeoffFlightLog();
        QCOMPARE(r.log, expected);
        QString withoutCr = QString::fromStdString(expected);
        withoutCr.remove('\r');
        QCOMPARE(shown, withoutCr);
    }

    void closeMidFlightEndsTheCall() {
        fssim::SimConfig config;
        config.start = {Runway{}.latitude, Runway{}.longitude, Runway{}.heading, -11};
        fssim::InProcessSim sim(config);
        // The worker is held in the first wait after a minute of the take-off; Close is pressed
        // then.
        auto clock = std::make_shared<PausingClock>(sim.Clock(), 60 * 1000);
        ExecutionOptions options;
        options.clock = clock;
        options.onWindowCreated = [clock](CKestroWnd& window) {
            auto* timer = new QTimer(window.GetDialog());
            QObject::connect(timer, &QTimer::timeout, [&window, clock, timer] {
                if (!clock->Paused())
                    return;
                timer->stop();
                window.GetDialog()->findChild<QPushButton*>("1")->click();
            });
            timer->start(10);
        };
        const ExecutionResult r = ExecuteFlightScript(Script(TakeoffPhase()), options);
        QVERIFY(r.stopped);
        QVERIFY(r.log.find("Task: takeoff") != std::string::npos);
        QVERIFY(r.log.find("Finished") == std::string::npos);
        QVERIFY(sim.Sim().NowMs() < 60 * 1000 + 600);
    }

    void aLinkFailureShowsAStopBoxOverTheWindow() {
        std::vector<ui::MessageBoxRequest> boxes;
        const auto previous = ui::SetMessageBoxHandler([&](const ui::MessageBoxRequest& q) {
            boxes.push_back(q);
            return ui::IDOK;
        });
        // No simulator: the link cannot be opened.
        auto now = std::make_shared<std::int64_t>(0);
        ExecutionOptions options;
        options.clock = std::make_shared<ipc::VirtualClock>([now](std::uint32_t ms) { *now += ms; },
                                                            [now] { return *now; });
        QString shown;
        options.onWindowCreated = [&](CKestroWnd& window) {
            auto* timer = new QTimer(window.GetDialog());
            QObject::connect(timer, &QTimer::timeout, [&, timer] {
                if (boxes.empty())
                    return;
                timer->stop();
                shown = window.GetDialog()->findChild<QPlainTextEdit*>("7000")->toPlainText();
                window.GetDialog()->findChild<QPushButton*>("1")->click();
            });
            timer->start(10);
        };
        const ExecutionResult r = ExecuteFlightScript(Script(TakeoffPhase()), options);
        ui::SetMessageBoxHandler(previous);
        QCOMPARE(boxes.size(), std::size_t{1});
        QCOMPARE(boxes[0].text, std::string("Cannot link to FSUIPC or WideClient"));
        QVERIFY(boxes[0].icon == ui::Icon::Error);
        QCOMPARE(shown, QString("Starting flight script execution.\n\n"));
        QCOMPARE(r.log, std::string("Starting flight script execution.\r\n\r\n"));
        QCOMPARE(r.exitCode, 1);
    }

private:
    QString m_ipcDir;
};

QTEST_MAIN(KestroWndTest)
#include "KestroWndTest.moc"
