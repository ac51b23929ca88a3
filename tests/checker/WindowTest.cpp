// The checker's log window on the offscreen platform.
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
        QVERIFY(plan->load(std::string(AVILO_DATA_DIR) + "/plans/empty.av"));
        QString caption, text;
        ui::SetLogFinishHandler([&](QDialog& d) {
            caption = d.windowTitle();
            text = d.findChild<QPlainTextEdit*>("7000")->toPlainText();
            QTest::keyClick(&d, Qt::Key_Return); // Close is the default button
        });
        const bool consistent = tessar::CheckConsistency(plan);
        ui::SetLogFinishHandler(nullptr);
        QVERIFY(!consistent);
        QCOMPARE(caption, QString("Tessar"));
        QCOMPARE(text, QString("Loading XML aircraft specification database.\nDone loading "
                               "ACdb.\n\n----------------------------------------------------"
                               "---------------\nFlight plan: no steer point.\nFlight Plan is "
                               "not consistent."));
    }
};

QTEST_MAIN(TessarWindowTest)
#include "WindowTest.moc"
