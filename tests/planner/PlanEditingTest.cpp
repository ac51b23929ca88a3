// Steer point editing, list contents, button states and dialog contents, without windows.
#include "DialogModels.h"
#include "SteerPointEditing.h"
#include "SteerPointList.h"
#include "TestData.h"

#include <avilo/PlanDocuments.h>

#include <gtest/gtest.h>

namespace avilo::planner {
namespace {

using test::TempWorkDir;

class PlanEditing : public ::testing::Test {
protected:
    PlanEditing() : m_dir({"avilo.xsd", "scrivodb.xml"}) {
        m_schemas.add(kPlanNamespace, kPlanSchemaFile);
        m_plan = xml::Document::Create();
        m_root = m_plan->appendChild(m_plan->createElement("avilo"));
    }

    /// A plan from text; m_root becomes its root.
    void LoadPlan(const std::string& text) {
        ASSERT_TRUE(m_plan->loadXML(text)) << m_plan->parseError().reason;
        m_root = m_plan->documentElement();
    }
    std::string Text(const char* path) const { return m_root.selectSingleNode(path).text(); }

    TempWorkDir m_dir;
    xml::SchemaCache m_schemas;
    xml::DocumentPtr m_plan;
    xml::Node m_root;
};

constexpr const char* kTwoTypesPlan = R"(<avilo>
  <steerpoint phase="cruise">
    <GPSCoordinate><latitude>52.5</latitude><longitude>4.25</longitude></GPSCoordinate>
    <timeOverSteerPoint>10:30</timeOverSteerPoint>
    <task>cruise</task><task>extra</task>
    <GPS><airspeed>90</airspeed><heading>270</heading><altitude>3000</altitude></GPS>
  </steerpoint>
  <steerpoint phase="takeoff">
    <GPSCoordinate><longitude>4.737338</longitude><latitude>52.302267</latitude></GPSCoordinate>
    <timeOverSteerPoint>09:00</timeOverSteerPoint>
    <task>takeoff</task>
    <airport shortname="EHAM" name="Schiphol"><runway>36R</runway><runwayHeading>3.175748</runwayHeading>
      <runwayMagnVar>2.429065</runwayMagnVar><runwayElevation>-11</runwayElevation>
      <GPSRunway><latitude>52.29082345</latitude><longitude>4.77743092</longitude></GPSRunway></airport>
  </steerpoint>
</avilo>)";

TEST_F(PlanEditing, FirstSteerPointGetsTheDefaultAirportAtThePosition) {
    const xml::Node sp = AppendNewSteerPoint(m_root, 4.7373383333, -0.5);
    EXPECT_EQ(sp.xml(), m_root.firstChild().xml());
    EXPECT_EQ(Text("steerpoint/GPSCoordinate/longitude"), "4.737338");
    EXPECT_EQ(Text("steerpoint/GPSCoordinate/latitude"), "-0.500000");
    EXPECT_EQ(Text("steerpoint/@phase"), "takeoff");
    EXPECT_EQ(Text("steerpoint/timeOverSteerPoint"), "00:00");
    EXPECT_EQ(TaskTexts(sp), std::vector<std::string>{"takeoff"});
    EXPECT_EQ(GetSteerPointType(m_schemas, sp), "airport");
    EXPECT_EQ(Text("steerpoint/airport/@shortname"), "EHAM");
    EXPECT_EQ(Text("steerpoint/airport/@name"), "Schiphol");
    EXPECT_EQ(Text("steerpoint/airport/runway"), "1L");
    EXPECT_EQ(Text("steerpoint/airport/runwayHeading"), "3.22010827");
    EXPECT_EQ(Text("steerpoint/airport/runwayMagnVar"), "-2.010010");
    EXPECT_EQ(Text("steerpoint/airport/runwayElevation"), "-11.965884");
    EXPECT_EQ(Text("steerpoint/airport/GPSRunway/latitude"), "52.3022666667");
    EXPECT_EQ(Text("steerpoint/airport/GPSRunway/longitude"), "4.7373383333");
    // GPSCoordinate first, latitude of the runway before its longitude.
    EXPECT_EQ(sp.firstChild().nodeName(), "GPSCoordinate");
    EXPECT_EQ(m_root.selectSingleNode("steerpoint/airport/GPSRunway").firstChild().nodeName(),
              "latitude");
}

TEST_F(PlanEditing, LaterSteerPointsInheritAllButThePosition) {
    LoadPlan(kTwoTypesPlan);
    const xml::Node sp = AppendNewSteerPoint(m_root, 5.0, 53.0);
    const xml::Node previous = m_root.childNodes().item(1);
    EXPECT_EQ(sp.getAttribute("phase"), "takeoff");
    EXPECT_EQ(ChildElement(sp, "timeOverSteerPoint").text(), "09:00");
    EXPECT_EQ(ChildElement(sp, "airport").xml(), ChildElement(previous, "airport").xml());
    EXPECT_EQ(TaskTexts(sp), TaskTexts(previous));
    EXPECT_EQ(ChildElement(sp, "GPSCoordinate").text(), "5.00000053.000000");
    EXPECT_EQ(m_root.childNodes().length(), 3);
}

TEST_F(PlanEditing, InheritingFromASteerPointWithoutPhaseAddsNothing) {
    LoadPlan("<avilo><steerpoint><GPSCoordinate><longitude>1</longitude><latitude>2</latitude>"
             "</GPSCoordinate></steerpoint></avilo>");
    EXPECT_THROW(AppendNewSteerPoint(m_root, 5.0, 53.0), xml::ComError);
    EXPECT_EQ(m_root.childNodes().length(), 1);
}

TEST_F(PlanEditing, TypeValuesAreReadInEitherCoordinateOrder) {
    LoadPlan(kTwoTypesPlan);
    TypeValues gps, airport;
    ReadTypeValues(&m_schemas, m_root.childNodes().item(0), gps);
    ReadTypeValues(&m_schemas, m_root.childNodes().item(1), airport);
    EXPECT_EQ(gps.m_strType, "GPS");
    EXPECT_EQ(gps.m_strPhase, "cruise");
    EXPECT_EQ(gps.m_strLongitude, "4.25");
    EXPECT_EQ(gps.m_strLatitude, "52.5");
    EXPECT_EQ(gps.m_strTOS, "10:30");
    EXPECT_EQ(airport.m_strType, "airport");
    EXPECT_EQ(airport.m_strLongitude, "4.737338");
    EXPECT_EQ(airport.m_strLatitude, "52.302267");
}

TEST_F(PlanEditing, ReadingStopsAtAMissingPhaseKeepingWhatWasRead) {
    LoadPlan("<avilo><steerpoint><GPSCoordinate><longitude>1</longitude><latitude>2</latitude>"
             "</GPSCoordinate><GPS/></steerpoint></avilo>");
    TypeValues values;
    EXPECT_THROW(ReadTypeValues(&m_schemas, m_root.firstChild(), values), xml::ComError);
    EXPECT_EQ(values.m_strType, "GPS");
    EXPECT_EQ(values.m_strLongitude, "");
    EXPECT_THROW(ReadTypeValues(nullptr, m_root.firstChild(), values), xml::ComError);
}

TEST_F(PlanEditing, TypeValuesAreWrittenAsTyped) {
    LoadPlan(kTwoTypesPlan);
    xml::Node sp = m_root.firstChild();
    TypeValues values{"takeoff", "GPS", "7:5", "4,5", "north"};
    WriteTypeValues(sp, values);
    // The coordinate was stored latitude first: the first descendant of each name is written.
    EXPECT_EQ(Text("steerpoint/GPSCoordinate/longitude"), "4,5");
    EXPECT_EQ(Text("steerpoint/GPSCoordinate/latitude"), "north");
    EXPECT_EQ(Text("steerpoint/timeOverSteerPoint"), "7:5");
    EXPECT_EQ(Text("steerpoint/@phase"), "takeoff");
}

TEST_F(PlanEditing, TypeChangesSetTheDefaultsOfTheNewType) {
    struct Case {
        int steerPoint;
        const char* newType;
        std::vector<std::string> tasks;
        const char* typeElementXml;
    };
    const Case cases[] = {
        // GPS -> airport: the tasks become one "takeoff", the default airport replaces GPS.
        {0, "airport", {"takeoff"}, nullptr},
        // airport -> GPS: the first task becomes "cruise", the default GPS replaces the airport.
        {1,
         "GPS",
         {"cruise"},
         "<GPS><airspeed>70</airspeed><heading>4</heading>"
         "<altitude>5000</altitude></GPS>"},
        // Same type: nothing changes.
        {0,
         "GPS",
         {"cruise", "extra"},
         "<GPS><airspeed>90</airspeed><heading>270</heading>"
         "<altitude>3000</altitude></GPS>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.newType) + " on steer point " + std::to_string(c.steerPoint));
        LoadPlan(kTwoTypesPlan);
        xml::Node sp = m_root.childNodes().item(c.steerPoint);
        ApplyTypeChange(&m_schemas, sp, c.newType);
        EXPECT_EQ(GetSteerPointType(m_schemas, sp), c.newType);
        EXPECT_EQ(TaskTexts(sp), c.tasks);
        EXPECT_EQ(sp.selectNodes("airport|GPS").length(), 1);
        if (c.typeElementXml) {
            xml::DocumentPtr expected = xml::Document::Create();
            expected->loadXML(c.typeElementXml);
            EXPECT_EQ(ChildElement(sp, c.newType).xml(), expected->documentElement().xml());
        } else {
            EXPECT_EQ(ChildElement(sp, "airport").getAttribute("shortname"), "EHAM");
            EXPECT_EQ(ChildElement(sp, "airport").selectSingleNode("runway").text(), "1L");
        }
    }
}

TEST_F(PlanEditing, ImpossibleTypeChangesRaiseComErrors) {
    // No old type element to remove; no task to rename.
    LoadPlan("<avilo><steerpoint phase='cruise'><GPSCoordinate/></steerpoint>"
             "<steerpoint phase='cruise'><GPSCoordinate/><airport/></steerpoint></avilo>");
    EXPECT_THROW(ApplyTypeChange(&m_schemas, m_root.firstChild(), "GPS"), xml::ComError);
    EXPECT_THROW(ApplyTypeChange(&m_schemas, m_root.lastChild(), "GPS"), xml::ComError);
}

TEST_F(PlanEditing, AirportValuesRoundTripAndTasksFollowTheTypeElement) {
    LoadPlan(kTwoTypesPlan);
    xml::Node sp = m_root.childNodes().item(1);
    xml::Node airport = ChildElement(sp, "airport");
    AirportValues values;
    ReadAirportValues(sp, airport, values);
    EXPECT_EQ(values.m_strName, "Schiphol");
    EXPECT_EQ(values.m_strICAO, "EHAM");
    EXPECT_EQ(values.m_strRunway, "36R");
    EXPECT_EQ(values.m_strHeading, "3.175748");
    EXPECT_EQ(values.m_strMagnVar, "2.429065");
    EXPECT_EQ(values.m_strElevation, "-11");
    EXPECT_EQ(values.m_strRwyLongitude, "4.77743092");
    EXPECT_EQ(values.m_strRwyLatitude, "52.29082345");
    EXPECT_EQ(values.m_lstTasks, std::vector<std::string>{"takeoff"});

    values.m_lstTasks = {"a", "b"};
    values.m_dLongitude = 4.77743092;
    values.m_dLatitude = 52.29082345;
    values.m_strName = "Other";
    values.m_strRwyLongitude = "1.5";
    WriteAirportValues(sp, airport, values);
    EXPECT_EQ(TaskTexts(sp), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(sp.lastChild().nodeName(), "task");
    EXPECT_EQ(sp.selectSingleNode("GPSCoordinate/longitude").text(), "4.777431");
    EXPECT_EQ(sp.selectSingleNode("GPSCoordinate/latitude").text(), "52.290823");
    EXPECT_EQ(airport.getAttribute("name"), "Other");
    EXPECT_EQ(airport.selectSingleNode("GPSRunway/longitude").text(), "1.5");
}

TEST_F(PlanEditing, IncompleteTypeElementsCannotBeLoaded) {
    LoadPlan("<avilo><steerpoint><airport name='A' shortname='B'><runway/><runwayHeading/>"
             "<runwayMagnVar/><runwayElevation/></airport>"
             "<GPS><airspeed/><altitude/></GPS></steerpoint></avilo>");
    xml::Node sp = m_root.firstChild();
    AirportValues airport;
    EXPECT_THROW(ReadAirportValues(sp, ChildElement(sp, "airport"), airport), xml::ComError);
    GPSValues gps;
    EXPECT_THROW(ReadGPSValues(sp, ChildElement(sp, "GPS"), gps), xml::ComError);
}

TEST_F(PlanEditing, RestoreUndoesEveryChangeInPlace) {
    LoadPlan(kTwoTypesPlan);
    xml::Node sp = m_root.firstChild();
    const std::string before = sp.xml();
    const xml::Node copy = sp.cloneNode(true);
    WriteTypeValues(sp, TypeValues{"takeoff", "airport", "11:11", "1", "2"});
    ApplyTypeChange(&m_schemas, sp, "airport");
    sp.setAttribute("extra", "x");
    RestoreSteerPoint(sp, copy);
    EXPECT_EQ(sp.xml(), before);
    EXPECT_EQ(m_root.firstChild(), sp);
}

TEST_F(PlanEditing, DeleteRemovesByPosition) {
    LoadPlan(kTwoTypesPlan);
    DeleteSteerPoint(m_root, 0);
    EXPECT_EQ(m_root.childNodes().length(), 1);
    EXPECT_EQ(Text("steerpoint/@phase"), "takeoff");
    EXPECT_THROW(DeleteSteerPoint(m_root, 5), xml::ComError);
}

// --- list contents -----------------------------------------------------------------------

TEST_F(PlanEditing, ListRowsMirrorThePlan) {
    LoadPlan(R"(<avilo>
      <steerpoint phase="takeoff"><GPSCoordinate><longitude>4.1</longitude><latitude>52.1</latitude></GPSCoordinate>
        <timeOverSteerPoint>08:00</timeOverSteerPoint><task>takeoff</task><task>cruise</task><airport/></steerpoint>
      <steerpoint phase="cruise"><GPSCoordinate><latitude>52.2</latitude></GPSCoordinate><GPS/></steerpoint>
      <steerpoint phase="cruise"><other/></steerpoint>
    </avilo>)");
    const std::vector<ListRow> rows = SteerPointRows(&m_schemas, m_root);
    const std::vector<ListRow> expected{
        {"0", "airport", "08:00", "4.1", "52.1", "takeoff, cruise"},
        {"1", "GPS", "Unknown", "Unknown", "52.2", ""},
        {"2", "", "Unknown", "Unknown", "Unknown", ""},
    };
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(SteerPointRows(nullptr, m_plan->createElement("avilo")).empty());
    EXPECT_THROW(SteerPointRows(nullptr, m_root), xml::ComError);
}

TEST_F(PlanEditing, RowNumbersAreNotLimitedToThreeDigits) {
    for (int i = 0; i < 1002; ++i)
        m_root.appendChild(m_plan->createElement("steerpoint"));
    const std::vector<ListRow> rows = SteerPointRows(&m_schemas, m_root);
    ASSERT_EQ(rows.size(), 1002u);
    EXPECT_EQ(rows[999][0], "999");
    EXPECT_EQ(rows[1001][0], "1001");
}

TEST(WorkflowButtons, FollowTheWorkFlow) {
    using B = WorkflowButtons;
    struct Step {
        const char* event;
        void (*apply)(B&);
        B expected; // delete, check, generate, execute
    };
    const Step steps[] = {
        {"start", [](B&) {}, {false, false, false, false}},
        {"refilled empty", [](B& b) { b.ListRefilled(0); }, {false, false, false, false}},
        {"refilled with rows", [](B& b) { b.ListRefilled(3); }, {false, true, false, false}},
        {"row clicked", [](B& b) { b.ListClicked(true); }, {true, true, false, false}},
        {"check passed", [](B& b) { b.CheckDone(true); }, {true, true, true, false}},
        {"script generated", [](B& b) { b.ScriptGenerated(true); }, {true, true, true, true}},
        {"check failed", [](B& b) { b.CheckDone(false); }, {true, true, true, false}},
        {"generated again", [](B& b) { b.ScriptGenerated(true); }, {true, true, true, true}},
        {"no script", [](B& b) { b.ScriptGenerated(false); }, {true, true, true, false}},
        {"generated", [](B& b) { b.ScriptGenerated(true); }, {true, true, true, true}},
        {"execute without script",
         [](B& b) { b.ExecuteWithoutScript(); },
         {true, true, true, false}},
        {"refilled", [](B& b) { b.ListRefilled(2); }, {true, true, false, false}},
        {"click off the rows", [](B& b) { b.ListClicked(false); }, {false, true, false, false}},
        {"clicked", [](B& b) { b.ListClicked(true); }, {true, true, false, false}},
        {"deleted all", [](B& b) { b.SteerPointsDeleted(0); }, {false, false, false, false}},
    };
    B buttons;
    for (const Step& step : steps) {
        step.apply(buttons);
        EXPECT_EQ(buttons, step.expected) << step.event;
    }
}

// --- dialog contents ---------------------------------------------------------------------

TEST_F(PlanEditing, TypesAndPhasesComeFromTheSchema) {
    EXPECT_EQ(SteerPointTypeNames(&m_schemas), (std::vector<std::string>{"airport", "GPS"}));
    EXPECT_EQ(FlightPhaseNames(&m_schemas), (std::vector<std::string>{"takeoff", "cruise"}));
    EXPECT_THROW(SteerPointTypeNames(nullptr), xml::ComError);
    EXPECT_THROW(FlightPhaseNames(nullptr), xml::ComError);
}

TEST(DialogModels, SortedListsIgnoreCaseAndKeepTies) {
    EXPECT_EQ(SortedEntries({"GPS", "airport", "Beta", "alpha"}),
              (std::vector<std::string>{"airport", "alpha", "Beta", "GPS"}));
    EXPECT_EQ(SortedEntries({"b", "B", "a"}), (std::vector<std::string>{"a", "b", "B"}));
}

TEST_F(PlanEditing, TaskChoicesAreThePhaseTasksOfferedAtTheType) {
    const std::string db = m_dir.Write("gen.xml", R"(<scrivodb>
      <phase name="cruise"><task name="zeta"/><task name="cruise"/><task name="land"/></phase>
      <phase name="empty"/>
      <sptype name="GPS"><task name="cruise"/><task name="zeta"/></sptype>
      <sptype name="airport"><task name="land"/></sptype></scrivodb>)");
    struct Case {
        const char* phase;
        const char* type;
        std::vector<std::string> tasks;
    };
    const Case cases[] = {
        {"cruise", "GPS", {"zeta", "cruise"}},
        {"cruise", "airport", {"land"}},
        {"empty", "GPS", {}},
        {"unknown", "GPS", {}},
        {"cruise\"]|//*[\"", "GPS", {}}, // a name cannot break out of the query
    };
    for (const Case& c : cases) {
        const TaskChoices choices = LoadTaskChoices(db, c.phase, c.type);
        EXPECT_FALSE(choices.parseError) << c.phase;
        EXPECT_FALSE(choices.comError) << c.phase;
        EXPECT_EQ(choices.tasks, c.tasks) << c.phase << " at " << c.type;
    }
    // The bundled database: the cruise phase at a GPS steer point offers "cruise".
    EXPECT_EQ(LoadTaskChoices("scrivodb.xml", "cruise", "GPS").tasks,
              std::vector<std::string>{"cruise"});
}

TEST_F(PlanEditing, AnUnreadableGenerationDatabaseGivesItsParseError) {
    const TaskChoices missing = LoadTaskChoices("missing.xml", "cruise", "GPS");
    ASSERT_TRUE(missing.parseError);
    EXPECT_EQ(missing.parseError->errorCode, static_cast<xml::HRESULT>(0x800C0005));
    const TaskChoices malformed =
        LoadTaskChoices(m_dir.Write("bad.xml", "<scrivodb>\n<phase>"), "cruise", "GPS");
    ASSERT_TRUE(malformed.parseError);
    EXPECT_EQ(malformed.parseError->line, 2);
    const std::string message = GenerationDbParseErrorMessage(*malformed.parseError);
    EXPECT_EQ(
        message.rfind("Flight script generation XML database parse error:\r\nError code: -", 0), 0u)
        << message;
    EXPECT_NE(message.find("\r\nLine number: 2\r\nError message: "), std::string::npos);
}

} // namespace
} // namespace avilo::planner
