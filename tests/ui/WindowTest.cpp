// The component log window and the dialogs on the offscreen platform.
#include "ui/Dialogs.h"
#include "ui/Display.h"
#include "ui/LogWindow.h"

#include <QDialog>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void hasDisplay() { QVERIFY(ui::HasDisplay()); }

    void windowLayout() {
        ui::ComponentLogDialog log("Scrivo");
        QDialog* dialog = log.dialog();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QString("Scrivo"));
        QVERIFY(!(dialog->windowFlags() & Qt::WindowSystemMenuHint));
        auto* edit = dialog->findChild<QPlainTextEdit*>("7000");
        auto* close = dialog->findChild<QPushButton*>("1");
        QVERIFY(edit && close);
        QVERIFY(edit->isReadOnly());
        QCOMPARE(close->text(), QString("Close"));
        QVERIFY(!close->isEnabled());
        QVERIFY(close->isDefault());
    }

    // The text box shows the lines; the log text keeps the CR LF pairs; a capture sees it too.
    void appendShowsLinesAndFinishWaitsForClose() {
        ui::LogCapture capture;
        ui::ComponentLogDialog log("Tessar");
        QPointer<QDialog> dialog = log.dialog();
        ui::AppendToLog(log, "Loading.\r\n");
        ui::AppendToLog(log, "Done.\r\n\r\n");
        ui::AppendToLog(log, "Flight Plan is consistent.");
        auto* edit = dialog->findChild<QPlainTextEdit*>("7000");
        QCOMPARE(edit->toPlainText(), QString("Loading.\nDone.\n\nFlight Plan is consistent."));
        QCOMPARE(log.text(), std::string("Loading.\r\nDone.\r\n\r\nFlight Plan is consistent."));
        QCOMPARE(capture.text(), log.text());

        // Escape before the work is over does not close the window.
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(dialog->isVisible());

        bool closeWasEnabled = false;
        ui::SetLogFinishHandler([&](QDialog& d) {
            auto* close = d.findChild<QPushButton*>("1");
            closeWasEnabled = close->isEnabled();
            QTest::mouseClick(close, Qt::LeftButton);
        });
        ui::FinishLog(log);
        ui::SetLogFinishHandler(nullptr);
        QVERIFY(closeWasEnabled);
        QVERIFY(dialog.isNull()); // destroyed by FinishLog
        QVERIFY(log.finished());
    }

    void escapeEndsTheWaitOnceFinished() {
        ui::ComponentLogDialog log("Scrivo");
        QPointer<QDialog> dialog = log.dialog();
        ui::SetLogFinishHandler([](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
        ui::FinishLog(log);
        ui::SetLogFinishHandler(nullptr);
        QVERIFY(dialog.isNull());
    }

    void unfinishedWindowIsDestroyedWithItsLog() {
        QPointer<QDialog> dialog;
        {
            ui::ComponentLogDialog log("Scrivo");
            dialog = log.dialog();
            QVERIFY(!dialog.isNull());
        }
        QVERIFY(dialog.isNull());
    }

    void messageBoxShowsAndAnswers() {
        QTimer::singleShot(0, [] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), QString("Avilo"));
            QTest::keyClick(box, Qt::Key_Escape);
        });
        // Escape on a Yes/No/Cancel box is Cancel.
        QCOMPARE(ui::MessageBox(nullptr, "Save changes?", "Avilo", ui::Icon::Question,
                                ui::Buttons::YesNoCancel),
                 ui::IDCANCEL);
        QTimer::singleShot(0, [] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(ui::MessageBox(nullptr, "First generate a flight script!", "Avilo",
                                ui::Icon::Exclamation),
                 ui::IDOK);
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
