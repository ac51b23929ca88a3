// The planner's windows, driven as a user would: the dialog chain answered by the test, the list
// and its buttons, the plan file commands with their messages, the frame's bars and commands.
#include "AviloApp.h"
#include "DialogDriver.h"
#include "MainFrm.h"
#include "PlanFile.h"
#include "Resources.h"
#include "SPAirportDlg.h"
#include "SPTypeDlg.h"
#include "Splash.h"
#include "TestData.h"

#include <chartsource/GdalChartSource.h>
#include <chartview/NOSFrm.h>
#include <chartview/NOSView.h>
#include <numbers/Numbers.h>
#include <ui/Dialogs.h>
#include <ui/LogWindow.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

#include <deque>
#include <fstream>
#include <functional>
#include <iterator>

using namespace avilo::planner;
using avilo::planner::test::TempWorkDir;

using namespace avilo::planner::test;

namespace {

QStringList Items(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items << combo.itemText(i);
    return items;
}
QStringList Items(const QListWidget& list, bool selectedOnly = false) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i)
        if (!selectedOnly || list.item(i)->isSelected())
            items << list.item(i)->text();
    return items;
}

std::string Text(const xml::Node& root, const char* path) {
    const xml::Node node = root.selectSingleNode(path);
    return node.empty() ? "<none>" : node.text();
}

const char* kFivePlan = R"(<?xml version="1.0" encoding="UTF-8"?>
<avilo>
  <steerpoint phase="cruise"><GPSCoordinate><longitude>1</longitude><latitude>50</latitude></GPSCoordinate><timeOverSteerPoint>t0</timeOverSteerPoint><task>cruise</task><GPS><airspeed>70</airspeed><heading>4</heading><altitude>5000</altitude></GPS></steerpoint>
  <steerpoint phase="cruise"><GPSCoordinate><longitude>2</longitude><latitude>50</latitude></GPSCoordinate><timeOverSteerPoint>t1</timeOverSteerPoint><task>cruise</task><GPS><airspeed>70</airspeed><heading>4</heading><altitude>5000</altitude></GPS></steerpoint>
  <steerpoint phase="cruise"><GPSCoordinate><longitude>3</longitude><latitude>50</latitude></GPSCoordinate><timeOverSteerPoint>t2</timeOverSteerPoint><task>cruise</task><GPS><airspeed>70</airspeed><heading>4</heading><altitude>5000</altitude></GPS></steerpoint>
  <steerpoint phase="cruise"><GPSCoordinate><longitude>4</longitude><latitude>50</latitude></GPSCoordinate><timeOverSteerPoint>t3</timeOverSteerPoint><task>cruise</task><GPS><airspeed>70</airspeed><heading>4</heading><altitude>5000</altitude></GPS></steerpoint>
  <steerpoint phase="cruise"><GPSCoordinate><longitude>5</longitude><latitude>50</latitude></GPSCoordinate><task>cruise</task><GPS><airspeed>70</airspeed><heading>4</heading><altitude>5000</altitude></GPS></steerpoint>
</avilo>
)";

} // namespace

class PlannerGuiTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempWorkDir> m_dir;
    std::unique_ptr<CMainFrame> m_frame;
    std::vector<ui::MessageBoxRequest> m_messages;
    std::function<int(const ui::MessageBoxRequest&)> m_answer;
    std::vector<ui::FileDialogRequest> m_fileRequests;
    std::deque<std::optional<std::string>> m_files;

    QTreeWidget& List() const { return m_frame->DialogBar().List(); }
    QPushButton& Button(const char* id) const {
        return *Control<QPushButton>(m_frame->DialogBar(), id);
    }
    xml::Node Root() const { return m_frame->m_pRoot; }
    long Count() const { return Root().childNodes().length(); }

    /// Runs `operation` with the dialogs answered by `steps`.
    void Drive(std::vector<DialogDriver::Step> steps, const std::function<void()>& operation) {
        DialogDriver driver(std::move(steps));
        operation();
        QVERIFY2(driver.AllAnswered(), qPrintable("seen " + driver.m_seen.join(",") +
                                                  ", unexpected " + driver.m_unexpected.join(",")));
    }
    /// Adds a steer point near Schiphol through both dialogs.
    void AddAtSchiphol() {
        Drive({{"148", Ok}, {"150", Ok}}, [&] { m_frame->AddSteerPoint(4.76, 52.31); });
    }
    void LoadText(const std::string& text) {
        m_files.push_back(m_dir->Write("plan.av", text));
        m_frame->OnLoadPlan();
    }
    void LoadSample(const char* name) {
        m_files.push_back(std::string(AVILO_DATA_DIR) + "/plans/" + name);
        m_frame->OnLoadPlan();
    }
    /// Runs a component command with its log window closed by the test; returns the log text.
    QString RunLogged(const std::function<void()>& command) {
        QString text;
        ui::SetLogFinishHandler([&text](QDialog& d) {
            text = d.findChild<QPlainTextEdit*>("7000")->toPlainText();
            d.findChild<QPushButton*>("1")->click();
        });
        command();
        ui::SetLogFinishHandler(nullptr);
        return text;
    }
    QStringList Row(int row) const {
        QStringList texts;
        for (int c = 0; c < List().columnCount(); ++c)
            texts << List().topLevelItem(row)->text(c);
        return texts;
    }
    QPoint RowPoint(int row, int x = 10) const {
        return {x, List().visualItemRect(List().topLevelItem(row)).center().y()};
    }

private slots:
    void initTestCase() {
        m_dir = std::make_unique<TempWorkDir>(
            std::vector<std::string>{"avilo.xsd", "scrivodb.xml", "airports.xml", "acdb.xml"});
        ui::SetMessageBoxHandler([this](const ui::MessageBoxRequest& request) {
            m_messages.push_back(request);
            return m_answer ? m_answer(request) : ui::IDOK;
        });
        ui::SetFileDialogHandler([this](const ui::FileDialogRequest& request) {
            m_fileRequests.push_back(request);
            std::optional<std::string> answer;
            if (!m_files.empty()) {
                answer = m_files.front();
                m_files.pop_front();
            }
            return answer;
        });
        m_frame = std::make_unique<CMainFrame>();
        QVERIFY(m_messages.empty());
        QVERIFY(m_frame->LoadFrame());
        m_frame->show();
    }

    void cleanupTestCase() {
        m_frame.reset();
        ui::SetMessageBoxHandler({});
        ui::SetFileDialogHandler({});
        m_dir.reset();
    }

    void init() {
        m_answer = [](const ui::MessageBoxRequest& r) {
            return r.buttons == ui::Buttons::YesNoCancel ? ui::IDNO : ui::IDYES;
        };
        m_frame->OnClearPlan();
        m_answer = nullptr;
        m_messages.clear();
        m_fileRequests.clear();
        m_files.clear();
        for (QMdiSubWindow* child : m_frame->MdiArea().subWindowList())
            delete child;
    }

    // --- steer point insertion and editing ---------------------------------------------

    void addingOnAnEmptyPlanGivesTheDefaultAirportSteerPoint() {
        Drive(
            {{"148",
              [](QDialog& d) {
                  QCOMPARE(d.windowTitle(), QString("Steer Point"));
                  QCOMPARE(Control<QPushButton>(d, "1")->text(), QString("Next >"));
                  QCOMPARE(Control<QLineEdit>(d, "1017")->text(), QString("4.760000"));
                  QCOMPARE(Control<QLineEdit>(d, "1016")->text(), QString("52.310000"));
                  QCOMPARE(Control<QLineEdit>(d, "1015")->text(), QString("00:00"));
                  QCOMPARE(Items(*Control<QComboBox>(d, "1033")), QStringList({"airport", "GPS"}));
                  QCOMPARE(Control<QComboBox>(d, "1033")->currentText(), QString("airport"));
                  QCOMPARE(Items(*Control<QComboBox>(d, "1034")),
                           QStringList({"takeoff", "cruise"}));
                  QCOMPARE(Control<QComboBox>(d, "1034")->currentText(), QString("takeoff"));
                  Ok(d);
              }},
             {"150",
              [](QDialog& d) {
                  QCOMPARE(d.windowTitle(), QString("Airport"));
                  QCOMPARE(Control<QPushButton>(d, "1")->text(), QString("Finish"));
                  QCOMPARE(Control<QComboBox>(d, "1026")->currentText(), QString("Schiphol"));
                  QCOMPARE(Control<QLineEdit>(d, "1027")->text(), QString("EHAM"));
                  const QStringList entries = Items(*Control<QComboBox>(d, "1030"));
                  QCOMPARE(entries.mid(0, 4), QStringList({"9", "27", "18L", "36R"}));
                  QCOMPARE(entries.size(), 12);
                  QCOMPARE(Control<QComboBox>(d, "1030")->currentIndex(), 0);
                  QCOMPARE(Items(*Control<QListWidget>(d, "1040")), QStringList{"takeoff"});
                  QCOMPARE(Items(*Control<QListWidget>(d, "1040"), true), QStringList{"takeoff"});
                  Ok(d);
              }}},
            [&] { m_frame->AddSteerPoint(4.76, 52.31); });
        QCOMPARE(Count(), 1L);
        // On runway 9 of Schiphol: its start threshold, written with six decimals.
        QCOMPARE(Text(Root(), "steerpoint/GPSCoordinate/longitude"), std::string("4.746298"));
        QCOMPARE(Text(Root(), "steerpoint/GPSCoordinate/latitude"), std::string("52.316623"));
        QCOMPARE(Text(Root(), "steerpoint/airport/runway"), std::string("9"));
        QCOMPARE(Text(Root(), "steerpoint/airport/runwayHeading"), std::string("86.777965"));
        QCOMPARE(Text(Root(), "steerpoint/airport/runwayMagnVar"), std::string("1.767965"));
        QCOMPARE(Text(Root(), "steerpoint/airport/runwayElevation"), std::string("-11"));
        QCOMPARE(Text(Root(), "steerpoint/airport/GPSRunway/longitude"), std::string("4.74629843"));
        QCOMPARE(Text(Root(), "steerpoint/airport/@shortname"), std::string("EHAM"));
        QCOMPARE(Text(Root(), "steerpoint/@phase"), std::string("takeoff"));
        QCOMPARE(Row(0),
                 QStringList({"0", "airport", "00:00", "4.746298", "52.316623", "takeoff"}));
        QVERIFY(Button("1003").isEnabled());
        QVERIFY(!Button("1001").isEnabled());
        QVERIFY(!Button("1002").isEnabled());
        QVERIFY(!Button("1005").isEnabled());
        QVERIFY(m_messages.empty());
    }

    void cancelInEitherDialogLeavesThePlanEmpty_data() {
        QTest::addColumn<bool>("cancelFirst");
        QTest::newRow("type dialog") << true;
        QTest::newRow("airport dialog") << false;
    }
    void cancelInEitherDialogLeavesThePlanEmpty() {
        QFETCH(bool, cancelFirst);
        std::vector<DialogDriver::Step> steps{{"148", cancelFirst ? Cancel : Ok}};
        if (!cancelFirst)
            steps.push_back({"150", Cancel});
        Drive(steps, [&] { m_frame->AddSteerPoint(4.76, 52.31); });
        QCOMPARE(Count(), 0L);
        QCOMPARE(List().topLevelItemCount(), 0);
        QVERIFY(!Button("1003").isEnabled());
    }

    void addingAgainInheritsFromThePreviousSteerPoint() {
        AddAtSchiphol();
        xml::Node first = Root().firstChild();
        first.selectSingleNode("timeOverSteerPoint").setText("07:15");
        first.setAttribute("phase", "cruise");
        Drive({{"148",
                [](QDialog& d) {
                    QCOMPARE(Control<QLineEdit>(d, "1015")->text(), QString("07:15"));
                    QCOMPARE(Control<QComboBox>(d, "1033")->currentText(), QString("airport"));
                    QCOMPARE(Control<QComboBox>(d, "1034")->currentText(), QString("cruise"));
                    QCOMPARE(Control<QLineEdit>(d, "1017")->text(), QString("5.000000"));
                    Ok(d);
                }},
               {"150",
                [this](QDialog& d) {
                    // While the airport dialog runs, the new steer point carries copies of the
                    // previous one's type element and tasks.
                    const xml::Node added = Root().lastChild();
                    QCOMPARE(added.selectSingleNode("airport").xml(),
                             Root().firstChild().selectSingleNode("airport").xml());
                    QCOMPARE(Text(added, "task"), std::string("takeoff"));
                    Cancel(d);
                }}},
              [&] { m_frame->AddSteerPoint(5.0, 52.0); });
        QCOMPARE(Count(), 1L);
    }

    void typeChangesSetTheDefaultsBeforeTheSecondDialog() {
        AddAtSchiphol();
        // Airport to GPS: the default GPS element, the first task becomes "cruise".
        Drive({{"148",
                [](QDialog& d) {
                    Choose(*Control<QComboBox>(d, "1033"), "GPS");
                    Choose(*Control<QComboBox>(d, "1034"), "cruise");
                    Ok(d);
                }},
               {"149",
                [](QDialog& d) {
                    QCOMPARE(d.windowTitle(), QString("GPS Coordinate"));
                    QCOMPARE(Control<QLineEdit>(d, "1032")->text(), QString("70"));
                    QCOMPARE(Control<QLineEdit>(d, "1028")->text(), QString("4"));
                    QCOMPARE(Control<QLineEdit>(d, "1029")->text(), QString("5000"));
                    QCOMPARE(Items(*Control<QListWidget>(d, "1040")), QStringList{"cruise"});
                    QCOMPARE(Items(*Control<QListWidget>(d, "1040"), true), QStringList{"cruise"});
                    Control<QLineEdit>(d, "1032")->setText("95");
                    Ok(d);
                }}},
              [&] { m_frame->EditSteerPointAt(0); });
        xml::Node sp = Root().firstChild();
        QCOMPARE(Text(sp, "GPS/airspeed"), std::string("95"));
        QCOMPARE(Text(sp, "airport"), std::string("<none>"));
        QCOMPARE(Text(sp, "task"), std::string("cruise"));
        QCOMPARE(sp.selectNodes("task").length(), 1L);
        QCOMPARE(Row(0)[1], QString("GPS"));

        // GPS to airport: one task "takeoff" and the default airport before the dialog opens.
        Drive({{"148",
                [](QDialog& d) {
                    Choose(*Control<QComboBox>(d, "1033"), "airport");
                    Choose(*Control<QComboBox>(d, "1034"), "takeoff");
                    Ok(d);
                }},
               {"150",
                [this](QDialog& d) {
                    const xml::Node edited = Root().firstChild();
                    QCOMPARE(Text(edited, "airport/runway"), std::string("1L"));
                    QCOMPARE(Text(edited, "GPS"), std::string("<none>"));
                    QCOMPARE(Items(*Control<QListWidget>(d, "1040"), true), QStringList{"takeoff"});
                    auto* airportDlg = qobject_cast<CSPAirportDlg*>(&d);
                    QVERIFY(airportDlg);
                    QCOMPARE(airportDlg->m_strRunway, std::string("1L"));
                    Ok(d);
                }}},
              [&] { m_frame->EditSteerPointAt(0); });
        QCOMPARE(Text(Root(), "steerpoint/airport/runway"), std::string("9"));
        QCOMPARE(Row(0)[1], QString("airport"));
    }

    void nextAndFinishRefuseFieldsThatAreNotWhatTheySay() {
        // Each bad value in turn: the dialog stays open with a message naming the field, and
        // nothing of it reaches the plan.
        const auto refuses = [this](QDialog& d, const char* id, const char* field,
                                    const std::vector<QString>& values) {
            auto* edit = Control<QLineEdit>(d, id);
            const QString good = edit->text();
            for (const QString& value : values) {
                edit->setText(value);
                Ok(d);
                QVERIFY2(d.isVisible(), qPrintable(value));
                QVERIFY2(!m_messages.empty() && QString::fromStdString(m_messages.back().text)
                                                    .startsWith(QString(field) + ": \"" + value),
                         qPrintable(value));
            }
            edit->setText(good);
        };
        Drive({{"148",
                [&](QDialog& d) {
                    refuses(d, "1017", "Longitude", {"abc", "4,76", "180.5", "", "1e2"});
                    refuses(d, "1016", "Latitude", {"-90.01", "52,31", "north"});
                    refuses(d, "1015", "TOS", {"7", "24:00", "12:60", "1230", "ab:cd"});
                    Choose(*Control<QComboBox>(d, "1033"), "GPS");
                    Choose(*Control<QComboBox>(d, "1034"), "cruise");
                    Control<QLineEdit>(d, "1015")->setText("9:05");
                    Ok(d);
                }},
               {"149",
                [&](QDialog& d) {
                    refuses(d, "1032", "Airspeed", {"fast", "-1", ""});
                    refuses(d, "1028", "Heading", {"360.5", "-4", "north"});
                    refuses(d, "1029", "Altitude", {"-100", "5000ft"});
                    Control<QLineEdit>(d, "1028")->setText("360");
                    Ok(d);
                }}},
              [&] { m_frame->AddSteerPoint(4.76, 52.31); });
        QCOMPARE(Count(), 1L);
        QCOMPARE(Row(0), QStringList({"0", "GPS", "9:05", "4.760000", "52.310000", "cruise"}));
        QCOMPARE(Text(Root(), "steerpoint/GPS/heading"), std::string("360"));
    }

    void choosingTheOppositeDirectionOfTheSecondRunway() {
        Drive({{"148", Ok},
               {"150",
                [](QDialog& d) {
                    auto* runway = Control<QComboBox>(d, "1030");
                    runway->setCurrentIndex(3);
                    QCOMPARE(runway->currentText(), QString("36R"));
                    Ok(d);
                }}},
              [&] { m_frame->AddSteerPoint(4.76, 52.31); });
        QCOMPARE(Text(Root(), "steerpoint/GPSCoordinate/longitude"), std::string("4.777431"));
        QCOMPARE(Text(Root(), "steerpoint/GPSCoordinate/latitude"), std::string("52.290823"));
        QCOMPARE(Text(Root(), "steerpoint/airport/runway"), std::string("36R"));
        QCOMPARE(Text(Root(), "steerpoint/airport/runwayHeading"), std::string("3.175748"));
        QCOMPARE(Text(Root(), "steerpoint/airport/runwayMagnVar"), std::string("2.429065"));
        QCOMPARE(Text(Root(), "steerpoint/airport/GPSRunway/longitude"), std::string("4.77743092"));
        QCOMPARE(Text(Root(), "steerpoint/airport/GPSRunway/latitude"), std::string("52.29082345"));
    }

    void editingAnAirportSteerPointKeepsItsAirportAndRunway() {
        // Schiphol's runway 24: the opposite direction of its fifth runway, stored as the
        // airport dialog writes it.
        LoadText(R"(<?xml version="1.0" encoding="UTF-8"?>
<avilo><steerpoint phase="takeoff"><GPSCoordinate><longitude>4.777535</longitude><latitude>52.304565</latitude></GPSCoordinate><timeOverSteerPoint>10:00</timeOverSteerPoint><task>takeoff</task><airport shortname="EHAM" name="Schiphol"><runway>24</runway><runwayHeading>237.865320</runwayHeading><runwayMagnVar>2.429065</runwayMagnVar><runwayElevation>-11</runwayElevation><GPSRunway><latitude>52.30456490</latitude><longitude>4.77753518</longitude></GPSRunway></airport></steerpoint></avilo>
)");
        Drive({{"148",
                [this](QDialog& d) {
                    // Placed over the planner before it shows, so its messages are too.
                    QVERIFY((d.frameGeometry().center() - m_frame->frameGeometry().center())
                                .manhattanLength() < 40);
                    Ok(d);
                }},
               {"150",
                [](QDialog& d) {
                    QCOMPARE(Control<QComboBox>(d, "1026")->currentText(), QString("Schiphol"));
                    QCOMPARE(Control<QComboBox>(d, "1030")->currentText(), QString("24"));
                    Ok(d);
                }}},
              [&] { m_frame->EditSteerPointAt(0); });
        const std::pair<const char*, const char*> kept[] = {
            {"steerpoint/airport/runway", "24"},
            {"steerpoint/airport/runwayHeading", "237.865320"},
            {"steerpoint/airport/GPSRunway/longitude", "4.77753518"},
            {"steerpoint/airport/GPSRunway/latitude", "52.30456490"},
            {"steerpoint/GPSCoordinate/longitude", "4.777535"},
            {"steerpoint/GPSCoordinate/latitude", "52.304565"},
            {"steerpoint/task", "takeoff"},
        };
        for (const auto& [path, text] : kept)
            QCOMPARE(Text(Root(), path), std::string(text));
        QVERIFY(m_messages.empty());
    }

    void aTypedAirportNameTakesEffect() {
        Drive({{"148", Ok},
               {"150",
                [this](QDialog& d) {
                    auto* name = Control<QComboBox>(d, "1026");
                    const QString other = name->itemText(name->currentIndex() == 0 ? 1 : 0);
                    name->lineEdit()->clear();
                    QTest::keyClicks(name->lineEdit(), other.toLower());
                    QCOMPARE(name->itemText(name->currentIndex()), other);
                    QVERIFY(Control<QLineEdit>(d, "1027")->text() != "EHAM");
                    // A name not in the list is refused, naming the field.
                    name->lineEdit()->setText("Nowhere Field");
                    const std::size_t shown = m_messages.size();
                    Ok(d);
                    QVERIFY(d.isVisible());
                    QCOMPARE(m_messages.size(), shown + 1);
                    QVERIFY(m_messages.back().text.rfind("Name: ", 0) == 0);
                    Cancel(d);
                }}},
              [&] { m_frame->AddSteerPoint(4.76, 52.31); });
        QCOMPARE(Count(), 0L);
    }

    void noAirportInTheMiddleOfAnOcean() {
        Drive({{"148", Ok},
               {"150",
                [this](QDialog& d) {
                    QCOMPARE(Control<QComboBox>(d, "1026")->count(), 0);
                    QCOMPARE(Control<QComboBox>(d, "1030")->count(), 0);
                    QCOMPARE(Items(*Control<QListWidget>(d, "1040")), QStringList{"takeoff"});
                    QCOMPARE(m_messages.size(), std::size_t(1));
                    QCOMPARE(m_messages[0].text,
                             std::string("There is no airport in the neighborhood!"));
                    QCOMPARE(m_messages[0].icon, ui::Icon::Error);
                    // Finish without an airport says so and keeps the dialog open.
                    Ok(d);
                    QVERIFY(d.isVisible());
                    QCOMPARE(m_messages.size(), std::size_t(2));
                    QCOMPARE(m_messages[1].text, std::string("Please select an airport."));
                    Cancel(d);
                }}},
              [&] { m_frame->AddSteerPoint(-140.0, -40.0); }); // South Pacific
        QCOMPARE(Count(), 0L);
    }

    void airportsWithoutRunwaysAndTheNearestAirport() {
        xml::DocumentPtr db = xml::Document::Create();
        QVERIFY(db->loadXML(R"(<airportdb>
          <airport name="beta field" ICAO="BBBB" GPSLon="0.5" GPSLat="0.5"><runway heading="92" magnvar="2" elevation="10">
            <GPSRwyStart><longitude>0.49</longitude><latitude>0.5</latitude></GPSRwyStart>
            <GPSRwyEnd><longitude>0.51</longitude><latitude>0.5</latitude></GPSRwyEnd></runway></airport>
          <airport name="Alpha" ICAO="AAAA" GPSLon="0.1" GPSLat="0"/>
        </airportdb>)"));
        CSPAirportDlg dialog(db);
        dialog.m_dLongitude = 0.0;
        dialog.m_dLatitude = 0.0;
        dialog.m_strName = "beta field"; // the nearest airport is selected whatever was preset
        dialog.m_strPhase = "cruise";    // no task of this phase is offered at an airport
        int result = 0;
        Drive({{"150",
                [this](QDialog& d) {
                    auto* name = Control<QComboBox>(d, "1026");
                    QCOMPARE(Items(*name), QStringList({"Alpha", "beta field"}));
                    QCOMPARE(name->currentText(), QString("Alpha"));
                    QCOMPARE(Control<QLineEdit>(d, "1027")->text(), QString("AAAA"));
                    QCOMPARE(Control<QComboBox>(d, "1030")->count(), 0);
                    QCOMPARE(Control<QListWidget>(d, "1040")->count(), 0);
                    QCOMPARE(m_messages.size(), std::size_t(1));
                    QCOMPARE(m_messages[0].text,
                             std::string("This airport has no runways! Select another airport."));
                    QCOMPARE(m_messages[0].icon, ui::Icon::Error);
                    Ok(d); // no runway: stays open
                    QVERIFY(d.isVisible());
                    QCOMPARE(m_messages.back().text, std::string("Please select a runway."));
                    name->setCurrentIndex(1);
                    QCOMPARE(Items(*Control<QComboBox>(d, "1030")), QStringList({"9", "27"}));
                    QCOMPARE(Control<QLineEdit>(d, "1027")->text(), QString("BBBB"));
                    Control<QComboBox>(d, "1030")->setCurrentIndex(1);
                    Ok(d);
                }}},
              [&] { result = dialog.DoModal(); });
        QCOMPARE(result, IDOK);
        QCOMPARE(dialog.m_strName, std::string("beta field"));
        QCOMPARE(dialog.m_strICAO, std::string("BBBB"));
        QCOMPARE(dialog.m_strRunway, std::string("27"));
        QCOMPARE(dialog.m_strHeading, std::string("272.000000"));
        QCOMPARE(dialog.m_strElevation, std::string("10"));
        QCOMPARE(dialog.m_dLongitude, 0.51);
        QVERIFY(dialog.m_lstTasks.empty());
    }

    void aBrokenAirportDatabaseSaysWhatIsWrong() {
        // A missing file is not an empty neighbourhood: the stop message names the file.
        xml::DocumentPtr missing = xml::Document::Create();
        missing->load((m_dir->path() / "no-such-airports.xml").string());
        CSPAirportDlg lost(missing);
        Drive({{"150",
                [this](QDialog& d) {
                    QCOMPARE(Control<QComboBox>(d, "1026")->count(), 0);
                    QCOMPARE(m_messages.size(), std::size_t(1));
                    QVERIFY2(m_messages[0].text.find("\"airports.xml\" cannot be read") !=
                                 std::string::npos,
                             m_messages[0].text.c_str());
                    QCOMPARE(m_messages[0].icon, ui::Icon::Error);
                    Cancel(d);
                }}},
              [&] { lost.DoModal(); });

        // An airport without an ICAO code is left out with one warning; the others list.
        m_messages.clear();
        xml::DocumentPtr db = xml::Document::Create();
        QVERIFY(db->loadXML(R"(<airportdb>
          <airport name="Nameless code" GPSLon="0.2" GPSLat="0"/>
          <airport name="Alpha" ICAO="AAAA" GPSLon="0.1" GPSLat="0"><runway heading="east"
            magnvar="0" elevation="1"><GPSRwyStart><longitude>0.1</longitude><latitude>0</latitude>
            </GPSRwyStart><GPSRwyEnd><longitude>0.2</longitude><latitude>0</latitude></GPSRwyEnd>
          </runway></airport>
        </airportdb>)"));
        CSPAirportDlg dialog(db);
        Drive({{"150",
                [this](QDialog& d) {
                    QCOMPARE(Items(*Control<QComboBox>(d, "1026")), QStringList{"Alpha"});
                    QCOMPARE(m_messages.front().icon, ui::Icon::Exclamation);
                    QVERIFY2(m_messages.front().text.find("\"Nameless code\" has no attribute "
                                                          "'ICAO'") != std::string::npos,
                             m_messages.front().text.c_str());
                    // A runway number that is not a number is read as 0, with a warning.
                    QCOMPARE(Items(*Control<QComboBox>(d, "1030")), QStringList({"36", "18"}));
                    QCOMPARE(m_messages.size(), std::size_t(2));
                    QVERIFY2(m_messages[1].text.find("'heading' \"east\" is not a number") !=
                                 std::string::npos,
                             m_messages[1].text.c_str());
                    Cancel(d);
                }}},
              [&] { dialog.DoModal(); });
    }

    void theTypeDialogSaysWhatIsMissingAndCancelKeepsThePresets() {
        CSPTypeDlg dialog(m_frame->m_pSchemas.get());
        dialog.m_strType = "balloon";
        dialog.m_strPhase = "cruise";
        dialog.m_strLongitude = "1";
        int result = 0;
        Drive({{"148",
                [this](QDialog& d) {
                    QCOMPARE(Control<QComboBox>(d, "1033")->currentIndex(), -1);
                    Ok(d);
                    QVERIFY(d.isVisible());
                    QCOMPARE(m_messages.back().text,
                             std::string("Please select a steer point type."));
                    Choose(*Control<QComboBox>(d, "1033"), "GPS");
                    Control<QComboBox>(d, "1034")->setCurrentIndex(-1);
                    Ok(d);
                    QVERIFY(d.isVisible());
                    QCOMPARE(m_messages.back().text, std::string("Please select a flight phase."));
                    Control<QLineEdit>(d, "1017")->setText("typed");
                    Cancel(d);
                }}},
              [&] { result = dialog.DoModal(); });
        QCOMPARE(result, IDCANCEL);
        QCOMPARE(dialog.m_strType, std::string("balloon"));
        QCOMPARE(dialog.m_strPhase, std::string("cruise"));
        QCOMPARE(dialog.m_strLongitude, std::string("1"));
    }

    void cancelInTheSecondDialogRestoresAnEditedSteerPoint() {
        LoadText(kFivePlan);
        const std::string before = Root().firstChild().xml();
        Drive({{"148",
                [](QDialog& d) {
                    Control<QLineEdit>(d, "1015")->setText("23:59");
                    Choose(*Control<QComboBox>(d, "1033"), "airport");
                    Ok(d);
                }},
               {"150", Cancel}},
              [&] { m_frame->EditSteerPointAt(0); });
        QCOMPARE(Root().firstChild().xml(), before);
        QCOMPARE(Count(), 5L);
        QCOMPARE(Row(0)[2], QString("t0"));
    }

    void editingASteerPointWithoutPhaseReportsTheError() {
        LoadText("<avilo><steerpoint><GPSCoordinate><longitude>1</longitude><latitude>2"
                 "</latitude></GPSCoordinate><timeOverSteerPoint>x</timeOverSteerPoint><GPS>"
                 "<airspeed/><heading/><altitude/></GPS></steerpoint></avilo>");
        m_messages.clear();
        // Loading stops at the phase: the dialog still opens with what was read.
        Drive({{"148",
                [](QDialog& d) {
                    QCOMPARE(Control<QComboBox>(d, "1033")->currentText(), QString("GPS"));
                    Choose(*Control<QComboBox>(d, "1034"), "cruise");
                    // Reading stopped before the position: it is typed again.
                    Control<QLineEdit>(d, "1017")->setText("1");
                    Control<QLineEdit>(d, "1016")->setText("2");
                    Control<QLineEdit>(d, "1015")->setText("10:00");
                    Ok(d);
                }}},
              [&] { m_frame->EditSteerPointAt(0); });
        QCOMPARE(m_messages.size(), std::size_t(2)); // loading, then the write-back
        QCOMPARE(m_messages[0].icon, ui::Icon::Error);
        // Adding after it fails to inherit the phase and adds nothing.
        m_messages.clear();
        Drive({}, [&] { m_frame->AddSteerPoint(1.0, 1.0); });
        QCOMPARE(m_messages.size(), std::size_t(1));
        QCOMPARE(Count(), 1L);
    }

    // --- the list bar ------------------------------------------------------------------

    void theListHasItsColumns() {
        const QStringList headings{"SP Nr",     "SP Type",  "Time over SP",
                                   "Longitude", "Latitude", "Task(s)"};
        const int widths[] = {40, 80, 80, 100, 100, 200};
        const bool right[] = {true, false, true, true, true, false};
        QCOMPARE(List().columnCount(), 6);
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(List().headerItem()->text(c), headings[c]);
            // At least the designed width, and wide enough for the heading in this font.
            QVERIFY(List().columnWidth(c) >= widths[c]);
            QVERIFY(List().columnWidth(c) >=
                    List().header()->fontMetrics().horizontalAdvance(headings[c]));
            QCOMPARE(bool(List().headerItem()->textAlignment(c) & Qt::AlignRight), right[c]);
        }
        const QStringList buttons{"Delete Steering Point", "Check Consistency",
                                  "Generate FlightScript", "Execute FlightScript"};
        int i = 0;
        for (const char* id : {"1001", "1003", "1002", "1005"}) {
            QCOMPARE(Button(id).text(), buttons[i++]);
            QVERIFY(!Button(id).isEnabled());
        }
        // The three work-flow buttons sit at the right end, Delete at the left.
        QCOMPARE(Button("1005").geometry().right(), m_frame->DialogBar().width() - 1);
        QCOMPARE(Button("1002").geometry().right() + 1, Button("1005").x());
        QCOMPARE(Button("1001").x(), 0);
    }

    void aLoadedPlanWithoutTimeShowsUnknown() {
        LoadText(kFivePlan);
        QCOMPARE(List().topLevelItemCount(), 5);
        QCOMPARE(Row(4), QStringList({"4", "GPS", "Unknown", "5", "50", "cruise"}));
        QCOMPARE(bool(List().topLevelItem(4)->textAlignment(2) & Qt::AlignRight), true);
        QVERIFY(Button("1003").isEnabled());
    }

    void deletingRowsOneTwoAndFourOfFive() {
        LoadText(kFivePlan);
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, RowPoint(1));
        QVERIFY(Button("1001").isEnabled());
        List().topLevelItem(2)->setSelected(true);
        List().topLevelItem(4)->setSelected(true);
        QCOMPARE(List().selectedItems().size(), 3);
        Button("1001").click();
        QCOMPARE(Count(), 2L);
        QCOMPARE(Row(0)[0], QString("0"));
        QCOMPARE(Row(0)[2], QString("t0"));
        QCOMPARE(Row(1)[0], QString("1"));
        QCOMPARE(Row(1)[2], QString("t3"));
        QVERIFY(!Button("1001").isEnabled());
        QVERIFY(Button("1003").isEnabled());

        // Deleting the rest disables Check Consistency.
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, RowPoint(0));
        List().topLevelItem(1)->setSelected(true);
        Button("1001").click();
        QCOMPARE(Count(), 0L);
        QVERIFY(!Button("1003").isEnabled());
        QVERIFY(!Button("1001").isEnabled());
    }

    void onlyAClickEnablesDelete() {
        LoadText(kFivePlan);
        List().setFocus();
        QTest::keyClick(&List(), Qt::Key_Down);
        QTest::keyClick(&List(), Qt::Key_Down, Qt::ShiftModifier);
        QVERIFY(!List().selectedItems().isEmpty());
        QVERIFY(!Button("1001").isEnabled());
        // A click far right along a row selects that row.
        List().clearSelection();
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {},
                          RowPoint(3, List().viewport()->width() - 3));
        QVERIFY(Button("1001").isEnabled());
        QVERIFY(List().topLevelItem(3)->isSelected());
        // A click below the rows clears the selection and disables Delete again.
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {},
                          QPoint(10, List().viewport()->height() - 2));
        if (List().selectedItems().isEmpty())
            QVERIFY(!Button("1001").isEnabled());
    }

    void doubleClickEditsTheFirstSelectedRow() {
        LoadText(kFivePlan);
        Drive({{"148",
                [](QDialog& d) {
                    QCOMPARE(Control<QLineEdit>(d, "1015")->text(), QString("t2"));
                    Control<QLineEdit>(d, "1015")->setText("12:00");
                    Ok(d);
                }},
               {"149", Ok}},
              [&] {
                  // A double click arrives after the click of its first press.
                  QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, RowPoint(2));
                  QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, RowPoint(2));
              });
        QCOMPARE(Row(2)[2], QString("12:00"));
        QVERIFY(List().selectedItems().isEmpty()); // the list was refilled
    }

    // --- plan files --------------------------------------------------------------------

    void saveThenLoadRestoresEverySteerPoint() {
        AddAtSchiphol();
        Drive({{"148",
                [](QDialog& d) {
                    Choose(*Control<QComboBox>(d, "1033"), "GPS");
                    Choose(*Control<QComboBox>(d, "1034"), "cruise");
                    Ok(d);
                }},
               {"149", Ok}},
              [&] { m_frame->AddSteerPoint(6.5, 53.25); });
        QCOMPARE(Count(), 2L);
        const std::string before = Root().xml();
        const QStringList row1 = Row(1);

        m_files.push_back((m_dir->path() / "flight").string()); // the extension is added
        m_frame->OnSavePlan();
        QCOMPARE(m_fileRequests.size(), std::size_t(1));
        QVERIFY(m_fileRequests[0].save);
        QCOMPARE(m_fileRequests[0].defaultName, std::string("avilo.av"));
        QCOMPARE(m_fileRequests[0].defaultExtension, std::string("av"));
        QCOMPARE(m_fileRequests[0].filter, std::string("Avilo files (*.av)"));
        QVERIFY(std::filesystem::exists(m_dir->path() / "flight.av"));

        m_answer = [](const ui::MessageBoxRequest&) { return ui::IDYES; };
        m_frame->OnClearPlan();
        QCOMPARE(Count(), 0L);
        m_files.push_back((m_dir->path() / "flight.av").string());
        m_frame->OnLoadPlan();
        QCOMPARE(Root().xml(), before);
        QCOMPARE(Row(1), row1);
        QVERIFY(Button("1003").isEnabled());
        QCOMPARE(m_messages.size(), std::size_t(1)); // the Clear question only
    }

    void unsavedChangesAreOfferedBeforeClearLoadExitAndExecute() {
        AddAtSchiphol();
        QVERIFY(m_frame->IsModified());
        const std::string before = Root().xml();
        const xml::DocumentPtr script = m_frame->m_pScript;
        m_frame->m_pScript = m_frame->m_pPlan; // any script: the question comes before the flight
        // Cancel keeps the plan and the planner as they were.
        m_answer = [](const ui::MessageBoxRequest&) { return ui::IDCANCEL; };
        const std::pair<const char*, std::function<void()>> commands[] = {
            {"Clear", [&] { m_frame->OnClearPlan(); }},
            {"Load", [&] { m_frame->OnLoadPlan(); }},
            {"Exit", [&] { m_frame->Command(res::ID_APP_EXIT)->trigger(); }},
            {"Execute", [&] { m_frame->RunScriptExecution(); }},
        };
        for (const auto& [what, command] : commands) {
            m_messages.clear();
            command();
            QVERIFY2(m_messages.size() == 1, what);
            QVERIFY2(m_messages[0].buttons == ui::Buttons::YesNoCancel, what);
            QVERIFY2(Root().xml() == before && m_frame->isVisible(), what);
        }
        QVERIFY(m_fileRequests.empty());
        m_frame->m_pScript = script;

        // Yes saves, then the command goes on; a saved plan is not asked about again.
        m_answer = [](const ui::MessageBoxRequest&) { return ui::IDYES; };
        const std::string path = (m_dir->path() / "kept.av").string();
        m_files.push_back(path);
        m_messages.clear();
        m_frame->OnClearPlan();
        QCOMPARE(m_messages.size(), std::size_t(2)); // save, then the Clear question
        QCOMPARE(Count(), 0L);
        QVERIFY(!m_frame->IsModified());
        m_files.push_back(path);
        m_frame->OnLoadPlan();
        QCOMPARE(Root().xml(), before);
        QCOMPARE(m_messages.size(), std::size_t(2));
    }

    void chartsShowThePlanAndTheSteerPointChosenInTheList() {
        LoadSample("schiphol-departure.av");
        m_frame->m_strChartFile = std::string(AVILO_DATA_DIR) + "/charts/EHAM-sectional.nos";
        CNOSFrame* chart = m_frame->CreateChartWindow();
        QVERIFY(chart);
        chart->resize(400, 300);
        QCoreApplication::processEvents();
        CNOSView& view = chart->View();
        const auto inView = [&](int row) {
            const LonLat at{Row(row)[3].toDouble(), Row(row)[4].toDouble()};
            const ChartViewport& vp = view.Viewport();
            const ReducedPoint p = view.Renderer().ToReduced(at, vp.m_dScale);
            return p.x >= vp.m_nHScroll && p.x < vp.m_nHScroll + vp.m_nClientWidth &&
                   p.y >= vp.m_nVScroll && p.y < vp.m_nVScroll + vp.m_nClientHeight;
        };
        // Opened on the first steer point rather than the chart's top-left corner.
        QVERIFY(view.Viewport().m_nHScroll > 0 || view.Viewport().m_nVScroll > 0);
        QVERIFY(inView(0));
        const int last = List().topLevelItemCount() - 1;
        QVERIFY(!inView(last));
        List().setCurrentItem(List().topLevelItem(last));
        QVERIFY(inView(last));
        QVERIFY(m_messages.empty());
    }

    void executeWithoutASimulatorLeavesThePlannerWithItsPlanAndCharts() {
        // A link folder of its own: no simulator of this machine is found.
        qputenv("AVILO_IPC_DIR", QByteArray::fromStdString(m_dir->path().string()));
        LoadSample("schiphol-departure.av");
        RunLogged([&] { Button("1003").click(); });
        RunLogged([&] { Button("1002").click(); });
        m_frame->m_strChartFile = std::string(AVILO_DATA_DIR) + "/charts/EHAM-sectional.nos";
        QVERIFY(m_frame->CreateChartWindow());
        const std::string before = Root().xml();
        bool shownDuringFlight = false;
        m_frame->m_fnPrepareExecution = [&](kestro::ExecutionOptions& options) {
            options.onWindowCreated = [&](kestro::CKestroWnd& window) {
                shownDuringFlight = m_frame->isVisible();
                QDialog* dialog = window.GetDialog();
                QVERIFY(dialog);
                auto* poll = new QTimer(dialog);
                connect(poll, &QTimer::timeout, dialog, [this, dialog, poll] {
                    for (const ui::MessageBoxRequest& m : m_messages)
                        if (m.text.find("Cannot link to FSUIPC or WideClient") !=
                            std::string::npos) {
                            poll->stop();
                            dialog->findChild<QPushButton*>("1")->click();
                        }
                });
                poll->start(10);
            };
        };
        Button("1005").click();
        m_frame->m_fnPrepareExecution = nullptr;
        qunsetenv("AVILO_IPC_DIR");
        QVERIFY(shownDuringFlight);
        QVERIFY(m_frame->isVisible() && !m_frame->IsDestroyed() && !m_frame->IsFlying());
        QCOMPARE(Root().xml(), before);
        QCOMPARE(m_frame->MdiArea().subWindowList().size(), 1);
        QVERIFY(Button("1005").isEnabled());
    }

    void aMalformedFileChangesNothing() {
        LoadText(kFivePlan);
        const xml::Node root = Root();
        m_messages.clear();
        LoadText("<avilo>\n<steerpoint>\n</avilo>");
        QCOMPARE(m_messages.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(m_messages[0].text)
                    .startsWith("Flight script XML database parse error:\r\nError code: -"));
        QVERIFY(QString::fromStdString(m_messages[0].text).contains("\r\nLine number: 3\r\n"));
        QCOMPARE(m_messages[0].icon, ui::Icon::Exclamation);
        QVERIFY(Root() == root);
        QCOMPARE(Count(), 5L);
        QCOMPARE(List().topLevelItemCount(), 5);
    }

    void aFileWithAnotherRootLeavesThePlannerUsable() {
        LoadText(kFivePlan);
        m_messages.clear();
        LoadText("<plan><steerpoint/></plan>");
        QCOMPARE(m_messages.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(m_messages[0].text).startsWith("COM Error:\r\n"));
        QCOMPARE(m_messages[0].icon, ui::Icon::Error);
        QCOMPARE(Count(), 5L);
        // The plan that was there can still be edited and extended.
        Drive({{"148",
                [](QDialog& d) {
                    Control<QLineEdit>(d, "1015")->setText("09:30");
                    Ok(d);
                }},
               {"149", Ok}},
              [&] { m_frame->EditSteerPointAt(3); });
        QCOMPARE(Row(3)[2], QString("09:30"));
        m_frame->DeleteSteerPointAt(4);
        Drive({{"148", Ok}, {"149", Ok}}, [&] { m_frame->AddSteerPoint(6.0, 50.0); });
        QCOMPARE(Count(), 5L);
        QCOMPARE(List().topLevelItemCount(), 5);
        QCOMPARE(Row(4)[2], QString("09:30"));
        QVERIFY(m_messages.size() == 1);
    }

    void cancelledFileDialogsDoNothing() {
        LoadText(kFivePlan);
        m_frame->OnLoadPlan();
        m_frame->OnSavePlan();
        m_frame->OnOpenChart();
        QCOMPARE(Count(), 5L);
        QVERIFY(m_messages.empty());
        QVERIFY(m_frame->MdiArea().subWindowList().isEmpty());
    }

    void aFailedSaveIsReported() {
        m_files.push_back((m_dir->path() / "no" / "such" / "dir.av").string());
        m_frame->OnSavePlan();
        QCOMPARE(m_messages.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(m_messages[0].text).startsWith("COM Error:\r\n"));
        QCOMPARE(m_messages[0].icon, ui::Icon::Error);
    }

    void ctrlCClearsThePlanAfterTheQuestion_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<long>("remaining");
        QTest::newRow("no") << ui::IDNO << 5L;
        QTest::newRow("yes") << ui::IDYES << 0L;
    }
    void ctrlCClearsThePlanAfterTheQuestion() {
        QFETCH(int, answer);
        QFETCH(long, remaining);
        LoadText(kFivePlan);
        m_messages.clear();
        m_answer = [answer](const ui::MessageBoxRequest&) { return answer; };
        m_frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_frame.get()));
        List().setFocus();
        QTest::keyClick(&List(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(m_messages.size(), std::size_t(1));
        QCOMPARE(m_messages[0].text, std::string("Clear Flight Plan\r\nAre you sure?"));
        QCOMPARE(m_messages[0].buttons, ui::Buttons::YesNo);
        QCOMPARE(m_messages[0].icon, ui::Icon::Exclamation);
        QCOMPARE(Count(), remaining);
        QCOMPARE(List().topLevelItemCount(), int(remaining));
        QCOMPARE(Button("1003").isEnabled(), remaining > 0);
        // The cleared plan keeps its declaration; a new steer point is numbered 0.
        QCOMPARE(m_frame->m_pPlan->firstChild().nodeName(), std::string("xml"));
    }

    // --- main frame --------------------------------------------------------------------

    void theFrameHasItsBarsAndCommands() {
        QCOMPARE(m_frame->windowTitle(), QString("Avilo"));
        auto* toolBar = m_frame->findChild<QToolBar*>("59392");
        auto* band = m_frame->findChild<QToolBar*>("ReBarBand0");
        QVERIFY(toolBar && band);
        QCOMPARE(m_frame->toolBarArea(band), Qt::TopToolBarArea);
        QVERIFY(m_frame->toolBarBreak(toolBar));
        QVERIFY(band->geometry().bottom() < toolBar->geometry().top());
        // The list bar keeps its row: it can be neither dragged, floated nor docked elsewhere.
        QVERIFY(!band->isMovable() && !band->isFloatable());
        QCOMPARE(band->allowedAreas(), Qt::TopToolBarArea);
        const QList<QAction*> tools = toolBar->actions();
        QCOMPARE(tools.size(), 4);
        QCOMPARE(tools[0]->objectName(), QString("32783"));
        QVERIFY(tools[1]->isSeparator());
        QCOMPARE(tools[2]->objectName(), QString("32773"));
        QCOMPARE(tools[3]->objectName(), QString("32774"));
        QCOMPARE(tools[0]->toolTip(), QString("Open Chart"));
        QCOMPARE(tools[0]->statusTip(), QString("Opens a NOS/GEO sectional chart"));
        QCOMPARE(tools[2]->toolTip(), QString("Zoom out"));
        const std::pair<int, const char*> shortcuts[] = {
            {32783, "Ctrl+O"}, {32786, "Ctrl+C"}, {32784, "Ctrl+L"}, {32785, "Ctrl+S"},
            {32774, "Ctrl+Z"}, {32773, "Ctrl+X"}, {57680, "F6"},     {57681, "Shift+F6"}};
        for (const auto& [id, keys] : shortcuts)
            QCOMPARE(m_frame->Command(id)->shortcut(), QKeySequence(keys));
        QCOMPARE(m_frame->Command(32786)->statusTip(), QString("Clears Flight Plan"));
        QVERIFY(m_frame->statusBar()->findChild<QLabel*>("indicatorCAP"));
        QVERIFY(m_frame->statusBar()->findChild<QLabel*>("indicatorNUM"));
        QVERIFY(m_frame->statusBar()->findChild<QLabel*>("indicatorSCRL"));
    }

    void openChartAddsAChartWindowEachTime() {
        const std::string chart = std::string(AVILO_DATA_DIR) + "/charts/EHAM-sectional.nos";
        m_files.push_back(chart);
        m_files.push_back(chart);
        m_frame->OnOpenChart();
        m_frame->OnOpenChart();
        QCOMPARE(m_fileRequests.size(), std::size_t(2));
        QCOMPARE(m_fileRequests[0].filter,
                 std::string("All charts (*.nos *.tif *.tiff *.kap);;NOS/GEO files (*.nos);;"
                             "GeoTIFF files (*.tif *.tiff);;KAP files (*.kap)"));
        QVERIFY(!m_fileRequests[0].save);
        QCOMPARE(m_frame->m_strChartFile, chart);
        const QList<QMdiSubWindow*> children = m_frame->MdiArea().subWindowList();
        QCOMPARE(children.size(), 2);
        for (QMdiSubWindow* child : children) {
            QCOMPARE(child->windowTitle(), QString::fromStdString(chart));
            QVERIFY(ChartFrameOf(child) && ChartFrameOf(child)->View().HasChart());
        }
        // Zoom goes to the active chart window only.
        CNOSFrame* active = m_frame->ActiveChart();
        QCOMPARE(active, ChartFrameOf(children[1]));
        m_frame->Command(res::ID_ZOOM_OUT)->trigger();
        QCOMPARE(active->View().Viewport().m_dScale, 1.5);
        QCOMPARE(ChartFrameOf(children[0])->View().Viewport().m_dScale, 1.0);
        m_frame->OnZoomIn();
        QCOMPARE(active->View().Viewport().m_dScale, 1.0);
        for (QMdiSubWindow* child : children)
            delete child;
        // With no chart, zoom and repaint do nothing.
        QVERIFY(!m_frame->ActiveChart());
        m_frame->OnZoomIn();
        m_frame->OnZoomOut();
        m_frame->RepaintCharts();
        QVERIFY(m_messages.empty());
    }

    void doubleClicksInTwoChartWindowsAddToTheOnePlan() {
        const std::string chart = std::string(AVILO_DATA_DIR) + "/charts/EHAM-sectional.nos";
        m_files = {chart, chart};
        m_frame->OnOpenChart();
        m_frame->OnOpenChart();
        const QList<QMdiSubWindow*> children = m_frame->MdiArea().subWindowList();
        QCOMPARE(children.size(), 2);
        // Schiphol (chart pixel 1674.8, 1344.6) in the first, a point east of it in the second,
        // each window zoomed out to the whole chart with its own scroll positions.
        const struct {
            double x, y;
            std::vector<DialogDriver::Step> steps;
        } clicks[] = {{1674.8, 1344.6, {{"148", Ok}, {"150", Ok}}},
                      {1900.0,
                       1344.6,
                       {{"148",
                         [](QDialog& d) {
                             Choose(*Control<QComboBox>(d, "1033"), "GPS");
                             Choose(*Control<QComboBox>(d, "1034"), "cruise");
                             Ok(d);
                         }},
                        {"149", Ok}}}};
        for (int i = 0; i < 2; ++i) {
            CNOSView& view = ChartFrameOf(children[i])->View();
            children[i]->resize(900, 720);
            while (view.Viewport().m_dScale < 5.0)
                view.ZoomOut();
            const ChartViewport& vp = view.Viewport();
            const QPoint client(
                ChartViewport::ChartToReduced(clicks[i].x, vp.m_dScale) - vp.m_nHScroll,
                ChartViewport::ChartToReduced(clicks[i].y, vp.m_dScale) - vp.m_nVScroll);
            QVERIFY(view.viewport()->rect().contains(client));
            Drive(clicks[i].steps,
                  [&] { QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, client); });
        }
        QCOMPARE(Count(), 2L);
        QCOMPARE(Row(0)[1], QString("airport"));
        QCOMPARE(Row(1)[1], QString("GPS"));
        QVERIFY(Row(1)[3].toDouble() > 4.9); // east of Schiphol
        QVERIFY(m_messages.empty());
    }

    void aGeoTiffChartTakesAnAirportAndAGpsSteerPoint() {
        const std::string chart = std::string(AVILO_DATA_DIR) + "/charts/EHAM-sectional.tif";
        m_files = {chart};
        m_frame->OnOpenChart();
        const QList<QMdiSubWindow*> children = m_frame->MdiArea().subWindowList();
        QCOMPARE(children.size(), 1);
        CNOSView& view = ChartFrameOf(children[0])->View();
        children[0]->resize(900, 720);
        while (view.Viewport().m_dScale < 5.0)
            view.ZoomOut();
        std::string error;
        const auto converter = avilo::chartsource::OpenChart(chart, &error);
        QVERIFY2(converter, error.c_str());
        // Schiphol, then a GPS point east of it.
        const struct {
            double x, y;
            std::vector<DialogDriver::Step> steps;
        } clicks[] = {{1674.8, 1344.6, {{"148", Ok}, {"150", Ok}}},
                      {1900.0,
                       1344.6,
                       {{"148",
                         [](QDialog& d) {
                             Choose(*Control<QComboBox>(d, "1033"), "GPS");
                             Choose(*Control<QComboBox>(d, "1034"), "cruise");
                             Ok(d);
                         }},
                        {"149", Ok}}}};
        double longitude = 0, latitude = 0;
        for (const auto& click : clicks) {
            const ChartViewport& vp = view.Viewport();
            const QPoint client(ChartViewport::ChartToReduced(click.x, vp.m_dScale) - vp.m_nHScroll,
                                ChartViewport::ChartToReduced(click.y, vp.m_dScale) -
                                    vp.m_nVScroll);
            QVERIFY(view.viewport()->rect().contains(client));
            const ChartPoint pixel = vp.ClientToChart(client.x(), client.y());
            QVERIFY(converter->Georef().ToLonLat(pixel.x, pixel.y, &longitude, &latitude));
            Drive(click.steps,
                  [&] { QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, client); });
        }
        QCOMPARE(Count(), 2L);
        QCOMPARE(Text(Root(), "steerpoint[1]/airport/@shortname"), std::string("EHAM"));
        QCOMPARE(Row(1)[1], QString("GPS"));
        // The GPS steer point lies where the chart source puts the clicked pixel.
        QCOMPARE(Text(Root(), "steerpoint[2]/GPSCoordinate/longitude"),
                 numbers::Format("%f", longitude));
        QCOMPARE(Text(Root(), "steerpoint[2]/GPSCoordinate/latitude"),
                 numbers::Format("%f", latitude));
        QVERIFY(m_messages.empty());
    }

    void aChartThatCannotBeOpenedSaysWhyAndOpensNoWindow() {
        const std::string missing = (m_dir->path() / "nowhere.nos").string();
        const std::string garbage = m_dir->Write("garbage.nos", "not a chart at all\n");
        for (const std::string& path : {missing, garbage}) {
            m_messages.clear();
            m_files.push_back(path);
            m_frame->OnOpenChart();
            QCOMPARE(m_messages.size(), std::size_t(1));
            QVERIFY2(m_messages[0].text.find(path) != std::string::npos,
                     m_messages[0].text.c_str());
            QCOMPARE(m_messages[0].icon, ui::Icon::Error);
            QVERIFY(m_frame->MdiArea().subWindowList().isEmpty());
        }
    }

    // --- component commands ------------------------------------------------------------

    void checkThenGenerateFollowTheWorkFlow() {
        LoadSample("schiphol-departure.av");
        QVERIFY(Button("1003").isEnabled() && !Button("1002").isEnabled());
        const QString checkLog = RunLogged([&] { Button("1003").click(); });
        QVERIFY2(checkLog.endsWith("Flight Plan is consistent."), qPrintable(checkLog));
        QVERIFY(Button("1002").isEnabled());
        QVERIFY(!Button("1005").isEnabled());

        const xml::DocumentPtr before = m_frame->m_pScript;
        RunLogged([&] { Button("1002").click(); });
        QVERIFY(m_frame->m_pScript && m_frame->m_pScript != before);
        QCOMPARE(m_frame->m_pScript->documentElement().nodeName(), std::string("flightscript"));
        QVERIFY(Button("1005").isEnabled());
        QVERIFY(m_messages.empty());

        // A failed check still allows generation but takes Execute away.
        LoadSample("inconsistent.av");
        RunLogged([&] { Button("1003").click(); });
        RunLogged([&] { Button("1002").click(); });
        QVERIFY(Button("1005").isEnabled());
        const QString log = RunLogged([&] { Button("1003").click(); });
        QVERIFY2(log.endsWith("Flight Plan is not consistent."), qPrintable(log));
        QVERIFY(Button("1002").isEnabled());
        QVERIFY(!Button("1005").isEnabled());
        // Any change of the plan starts the work flow again.
        Drive({{"148", Cancel}}, [&] { m_frame->EditSteerPointAt(0); });
        QVERIFY(!Button("1002").isEnabled());
        QVERIFY(m_messages.empty());
    }

    void componentFailuresAreShownAndChangeNothing() {
        LoadSample("schiphol-departure.av");
        RunLogged([&] { Button("1003").click(); });
        RunLogged([&] { Button("1002").click(); });
        const xml::DocumentPtr script = m_frame->m_pScript;
        const WorkflowButtons buttons = m_frame->DialogBar().Buttons();

        // The checker without its aircraft database, the generator without its database.
        for (const char* file : {"acdb.xml", "scrivodb.xml"}) {
            const std::filesystem::path path = m_dir->path() / file;
            const std::filesystem::path aside = m_dir->path() / (std::string(file) + ".aside");
            std::filesystem::rename(path, aside);
            m_messages.clear();
            RunLogged([&] {
                if (std::string(file) == "acdb.xml")
                    m_frame->RunConsistencyCheck();
                else
                    m_frame->RunScriptGeneration();
            });
            std::filesystem::rename(aside, path);
            QCOMPARE(m_messages.size(), std::size_t(1));
            QCOMPARE(m_messages[0].icon, ui::Icon::Error);
            QVERIFY(!m_messages[0].text.empty());
            QVERIFY(m_frame->m_pScript == script);
            QCOMPARE(m_frame->DialogBar().Buttons().generateScript, buttons.generateScript);
            QCOMPARE(m_frame->DialogBar().Buttons().executeScript, buttons.executeScript);
        }
    }

    void executeWithoutAScriptSaysSo() {
        LoadSample("schiphol-departure.av");
        RunLogged([&] { Button("1003").click(); });
        RunLogged([&] { Button("1002").click(); });
        QVERIFY(Button("1005").isEnabled());
        const xml::DocumentPtr script = m_frame->m_pScript;
        m_frame->m_pScript.reset();
        Button("1005").click();
        QCOMPARE(m_messages.size(), std::size_t(1));
        QCOMPARE(m_messages[0].text, std::string("First generate a flight script!"));
        QCOMPARE(m_messages[0].icon, ui::Icon::Exclamation);
        QVERIFY(!Button("1005").isEnabled());
        QVERIFY(m_frame->isVisible());
        QVERIFY(!m_frame->IsDestroyed());
        m_frame->m_pScript = script;
    }

    void theControlLawIsChosenInTheFlightMenu() {
        // The stabilised law unless the classic one is chosen; one of the two at a time.
        auto* law = m_frame->findChild<QAction*>("StabilisedControlLaw");
        auto* classic = m_frame->findChild<QAction*>("ClassicControlLaw");
        QVERIFY(law && law->isCheckable() && law->isChecked());
        QVERIFY(classic && classic->isCheckable() && !classic->isChecked());
        QCOMPARE(m_frame->ChosenControlLaw(), kestro::ControlLaw::Stabilised);
        classic->trigger();
        QVERIFY(!law->isChecked());
        QCOMPARE(m_frame->ChosenControlLaw(), kestro::ControlLaw::Classic);
        law->trigger();
        QVERIFY(!classic->isChecked());
        QStringList menus;
        for (QAction* menu : m_frame->menuBar()->actions())
            menus << menu->text();
        QCOMPARE(menus, QStringList({"&File", "&View", "F&light", "&Help"}));
    }

    void exportAndImportInTheFileMenu() {
        LoadSample("schiphol-departure.av");
        auto* exportPlan = m_frame->findChild<QAction*>("ExportPlan");
        auto* importRoute = m_frame->findChild<QAction*>("ImportRoute");
        QVERIFY(exportPlan && importRoute);
        const std::string gpx = (m_dir->path() / "route.gpx").string();
        m_files.push_back(gpx);
        exportPlan->trigger();
        QVERIFY(m_messages.empty()); // a GPX route carries everything
        m_answer = [](const ui::MessageBoxRequest&) { return ui::IDYES; };
        m_frame->OnClearPlan();
        m_messages.clear();
        QCOMPARE(Count(), 0L);
        m_files.push_back(gpx);
        importRoute->trigger();
        QVERIFY(m_messages.empty());
        QCOMPARE(Count(), 4L);
        QCOMPARE(List().topLevelItemCount(), 4);
        // The imported plan is saved nowhere: another import offers it for saving first, and
        // Cancel keeps it without asking for a file.
        QVERIFY(m_frame->IsModified());
        m_answer = [](const ui::MessageBoxRequest&) { return ui::IDCANCEL; };
        importRoute->trigger();
        QCOMPARE(m_messages.size(), std::size_t{1});
        m_messages.clear();
        // A file that is refused says why and leaves the plan as it was.
        m_answer = [](const ui::MessageBoxRequest&) { return ui::IDNO; };
        m_files.push_back(m_dir->Write("pole.gpx", "<gpx><wpt lat=\"91\" lon=\"4\"/></gpx>"));
        importRoute->trigger();
        QCOMPARE(m_messages.size(), std::size_t{2}); // the question, then the refusal
        QVERIFY(m_messages[1].text.find("lat 91 is out of range") != std::string::npos);
        QCOMPARE(Count(), 4L);

        // The flown track: nothing to export before a flight, then the samples handed over.
        auto* exportTrack = m_frame->findChild<QAction*>("ExportTrack");
        QVERIFY(exportTrack);
        m_messages.clear();
        exportTrack->trigger();
        QCOMPARE(m_messages.size(), std::size_t{1});
        m_messages.clear();
        m_frame->OnFlightSamples(
            {{0, 52.30, 4.70, 10}, {1, 52.31, 4.71, 20}, {2, 52.32, 4.72, 30}});
        const std::string track = (m_dir->path() / "flight.gpx").string();
        m_files.push_back(track);
        exportTrack->trigger();
        QVERIFY(m_messages.empty());
        std::ifstream in(track);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        std::size_t points = 0;
        for (std::size_t at = text.find("<trkpt"); at != std::string::npos;
             at = text.find("<trkpt", at + 1))
            ++points;
        QCOMPARE(points, std::size_t{3});
        QVERIFY(text.find("lat=\"52.32") != std::string::npos);
    }

    void theAboutBox() {
        Drive({{"100",
                [](QDialog& d) {
                    QCOMPARE(d.windowTitle(), QString("About Avilo"));
                    QStringList texts;
                    for (QLabel* label : d.findChildren<QLabel*>())
                        texts << label->text();
                    QVERIFY(texts.contains("Avilo Version 1.0"));
                    QCOMPARE(texts.size(), 3); // icon, version, one more line
                    Ok(d);
                }}},
              [&] { m_frame->Command(57664)->trigger(); });
    }

    void theSplashIsCentredAndGoesAway() {
        QCOMPARE(CSplashWnd::CentredPosition({1024, 768}, {456, 269}), QPoint(284, 249));
        QCOMPARE(CSplashWnd::CentredPosition({300, 200}, {456, 269}), QPoint(-78, -34));
        CSplashWnd splash;
        QVERIFY(splash.Create(151));
        QVERIFY(splash.isVisible());
        QCOMPARE(splash.size(), QSize(456, 269));
        QVERIFY(splash.m_nTimer != 0);
        QTRY_VERIFY_WITH_TIMEOUT(!splash.isVisible(), 5000);
    }

    void withoutTheSchemaThePlannerReportsAndGoesOn() {
        TempWorkDir bare({"scrivodb.xml"});
        m_messages.clear();
        CMainFrame frame;
        QVERIFY(frame.LoadFrame());
        QCOMPARE(m_messages.size(), std::size_t(1)); // the schema cache, block 1
        QVERIFY(QString::fromStdString(m_messages[0].text).startsWith("COM Error:\r\n"));
        QVERIFY(frame.m_pPlan && !frame.m_pRoot.empty());
        m_messages.clear();
        Drive({}, [&] { frame.AddSteerPoint(1.0, 2.0); });
        QVERIFY(!m_messages.empty());
        QCOMPARE(frame.m_pRoot.childNodes().length(), 0L);
    }
};

QTEST_MAIN(PlannerGuiTest)
#include "PlannerGuiTest.moc"
