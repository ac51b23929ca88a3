// The generator's log window on the offscreen platform: caption, the whole log in the text box,
// Close enabled only at the end, and the call returning (or throwing) only after Close.
#include "Fixtures.h"
#include "TempDir.h"

#include "scrivo/Scrivo.h"

#include <QDialog>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

class ScrivoWindowTest : public QObject {
    Q_OBJECT

    struct Seen {
        QString caption, text;
        bool closeEnabled = false;
        QPointer<QDialog> dialog;
    };

    // Installs a finish handler that records the window and presses Close.
    static void PressCloseRecording(Seen& seen) {
        ui::SetLogFinishHandler([&seen](QDialog& d) {
            seen.dialog = &d;
            seen.caption = d.windowTitle();
            seen.text = d.findChild<QPlainTextEdit*>("7000")->toPlainText();
            auto* close = d.findChild<QPushButton*>("1");
            seen.closeEnabled = close->isEnabled();
            QTest::mouseClick(close, Qt::LeftButton);
        });
    }

private slots:
    // The text box shows the log's lines (it breaks lines at LF alone).
    void generationShowsItsLogAndWaitsForClose() {
        TempWorkDir dir;
        dir.copyData("avilo.xsd");
        dir.copyData("scrivodb.xml");
        const xml::DocumentPtr plan = xml::Document::Create();
        QVERIFY(plan->load(kSamplePlan));
        Seen seen;
        PressCloseRecording(seen);
        const xml::DocumentPtr script = scrivo::GenerateFlightScript(plan);
        ui::SetLogFinishHandler(nullptr);
        QVERIFY(script);
        QCOMPARE(seen.caption, QString("Scrivo"));
        QVERIFY(seen.closeEnabled);
        QVERIFY(seen.dialog.isNull());
        QCOMPARE(seen.text, QString::fromStdString(ExpectedSampleLog()).remove('\r'));
    }

    void failureIsThrownAfterTheWindowCloses() {
        TempWorkDir dir;
        dir.copyData("avilo.xsd");
        Seen seen;
        PressCloseRecording(seen);
        bool thrown = false;
        try {
            scrivo::GenerateFlightScript(xml::Document::Create());
        } catch (const scrivo::CScrivoException& e) {
            thrown = true;
            QCOMPARE(e.m_error, scrivo::ScrivoDatabaseParseError);
            QVERIFY(seen.dialog.isNull());
            QVERIFY(seen.text.endsWith(QString::fromStdString(e.m_message).remove('\r')));
        }
        ui::SetLogFinishHandler(nullptr);
        QVERIFY(thrown);
        QVERIFY(seen.closeEnabled);
    }
};

QTEST_MAIN(ScrivoWindowTest)
#include "WindowTest.moc"
