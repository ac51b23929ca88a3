// The checker's log window on the offscreen platform: caption, the core's whole log in the text
// box, and the call returning only after Close.
#include "TempDir.h"

#include "tessar/Tessar.h"

#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

class TessarWindowTest : public QObject {
    Q_OBJECT

private slots:
    void checkShowsItsLogAndWaitsForClose() {
        TempWorkDir dir;
        for (const char* f : {"avilo.xsd", "scrivodb.xml", "acdb.xml"})
            dir.copyData(f);
        const xml::DocumentPtr plan = xml::Document::Create();
        QVERIFY(plan->load(std::string(AVILO_DATA_DIR) + "/plans/inconsistent.av"));
        QString caption, text;
        bool closeEnabled = false;
        ui::SetLogFinishHandler([&](QDialog& d) {
            caption = d.windowTitle();
            text = d.findChild<QPlainTextEdit*>("7000")->toPlainText();
            closeEnabled = d.findChild<QPushButton*>("1")->isEnabled();
            QTest::keyClick(&d, Qt::Key_Return); // Close is the default button
        });
        const bool consistent = tessar::CheckConsistency(plan);
        ui::SetLogFinishHandler(nullptr);
        QVERIFY(!consistent);
        QCOMPARE(caption, QString("Tessar"));
        QVERIFY(closeEnabled);

        // The window shows the core's log of the same files (the text box breaks lines at LF).
        ui::LogCapture quiet;
        ui::TextLog log;
        QCOMPARE(tessar::CheckConsistency(plan, tessar::TessarFiles::WorkingDirectory(), log),
                 consistent);
        QCOMPARE(text, QString::fromStdString(log.text()).remove('\r'));
        QVERIFY(text.endsWith("\nFlight Plan is not consistent."));
    }
};

QTEST_MAIN(TessarWindowTest)
#include "WindowTest.moc"
