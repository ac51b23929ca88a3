// The flight script generator on plans that exercise its cases.  Every test compares the whole
// log text and the whole script document.
#include "TempDir.h"

#include "scrivo/ScrivoCore.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

const std::string SEP = "-------------------------------------------------------------------\r\n";
const std::string kHead = "Loading Flight Script generation XML database.\r\n"
                          "Done loading Scrivodb.\r\n\r\n" +
                          SEP +
                          "Creating Flight Script XML document.\r\n"
                          "Done creating flight script.\r\n\r\n" +
                          SEP +
                          "Creating task list for every steer point in the Flight Plan.\r\n\r\n";
const std::string kSecondPass =
    "Done adding tasks to Flight Script.\r\n\r\n" + SEP +
    "Setting parameters for all flight procedures in the Flight Script.\r\n\r\n";
const std::string kEnd =
    "Done setting parameters.\r\n\r\n" + SEP + "Flight Script is generated.\r\n\r\n";

std::string Found(const std::string& task, int sp, const std::string& phase) {
    return "  Found task " + task + " in steer point " + std::to_string(sp) + " (phase: " + phase +
           ").\r\n";
}
std::string Cloned(const std::string& task, int sp, const std::string& phase) {
    return Found(task, sp, phase) +
           "  Corresponding task found in Flight Script generation XML database.\r\n"
           "  Cloning it into flight script.\r\n";
}
std::string Done(int sp) {
    return "Done inserting steer point " + std::to_string(sp) + " into Flight Script.\r\n\r\n";
}
std::string Setting(const std::string& task, const std::string& procedure, int sp) {
    return "Setting parameters for flight procedure: (" + task + "/)" + procedure +
           " from steer point " + std::to_string(sp) + ".\r\n";
}
std::string ComReport(xml::HRESULT code, const std::string& source) {
    return "COM Error: " + std::to_string(code) + "\r\nSource: " + source +
           "\r\nError message: " + xml::SystemMessage(code);
}

// Position and time of steer point n, as the plan holds them and the script copies them.
std::string Pos(int n) {
    const std::string d = std::to_string(n);
    return "<GPSCoordinate><longitude>5." + d + "</longitude><latitude>52." + d +
           "</latitude></GPSCoordinate><timeOverSteerPoint>10:0" + d + "</timeOverSteerPoint>";
}
std::string Tasks(std::initializer_list<const char*> tasks) {
    std::string out;
    for (const char* t : tasks)
        out += std::string("<task>") + t + "</task>";
    return out;
}
std::string Gps(const std::string& phase, int n, std::initializer_list<const char*> tasks) {
    const std::string d = std::to_string(n);
    return "<steerpoint phase=\"" + phase + "\">" + Pos(n) + Tasks(tasks) + "<GPS><airspeed>9" + d +
           "</airspeed><heading>90</heading><altitude>200" + d + "</altitude></GPS></steerpoint>";
}
const std::string kRunway =
    "<GPSRunway><latitude>52.3</latitude><longitude>4.7</longitude></GPSRunway>";
// An airport steer point; `full` adds magnetic variation and elevation.
std::string Airport(const std::string& phase, int n, std::initializer_list<const char*> tasks,
                    bool full = true) {
    return "<steerpoint phase=\"" + phase + "\">" + Pos(n) + Tasks(tasks) +
           "<airport shortname=\"EHAM\" name=\"Schiphol\"><runway>09</runway>"
           "<runwayHeading>87</runwayHeading>" +
           (full ? "<runwayMagnVar>2</runwayMagnVar><runwayElevation>-11</runwayElevation>" : "") +
           kRunway + "</airport></steerpoint>";
}

// A generation database with a case for each rule.
const std::string kTestDb = R"(<?xml version="1.0"?>
<scrivodb>
  <phase name="takeoff"><task name="takeoff"/></phase>
  <phase name="cruise">
    <task name="cruise"/><task name="photo"/><task name="double"/><task name="undefined"/>
    <task name="deep"/><task name="bare"/><task name="plain"/>
  </phase>
  <phase name=""><task name="cruise"/></phase>
  <phase name='say "hi"'><task name="it's &quot;x&quot;"/></phase>
  <sptype name="GPS"><task name="cruise"/></sptype>
  <task name="takeoff"><procedure name="takeoff"/></task>
  <task name="cruise"><procedure name="cruise"/></task>
  <task name="cruise" kind="second"><procedure name="never"/></task>
  <task name="photo" camera="left"><note>unread</note><procedure name="photo"/></task>
  <task name="double"><procedure name="cruise"/><procedure name="cruise"/></task>
  <task name="deep"><group><procedure name="cruise"/></group></task>
  <task name="bare"><procedure name="nothing"/><procedure name="emptydef"/></task>
  <task name="plain"/>
  <task name="it's &quot;x&quot;"><procedure name="cruise"/></task>
  <procedure name="takeoff">
    <GPSRunway/><runwayHeading/><runwayMagnVar default="0"/><runwayElevation default="0"/>
  </procedure>
  <procedure name="cruise"><airspeed default="100"/><altitude default="3000" unit="ft"/></procedure>
  <procedure name="photo"><label default=""/><latitude/><missing/></procedure>
  <procedure name="emptydef"/>
</scrivodb>
)";

struct Result {
    xml::DocumentPtr script;
    std::string log;
    std::optional<scrivo::CScrivoException> error;
};

class GenerateTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.copyData("avilo.xsd");
        dir.write("scrivodb.xml", kTestDb);
    }

    static xml::DocumentPtr Plan(const std::string& text) {
        xml::DocumentPtr plan = xml::Document::Create();
        EXPECT_TRUE(plan->loadXML(text)) << plan->parseError().reason;
        return plan;
    }

    Result Generate(const xml::DocumentPtr& plan) const {
        Result r;
        ui::TextLog log;
        try {
            r.script = scrivo::GenerateFlightScript(
                plan, {(dir.path() / "scrivodb.xml").string(), (dir.path() / "avilo.xsd").string()},
                log);
        } catch (const scrivo::CScrivoException& e) {
            r.error = e;
        }
        EXPECT_TRUE(log.finished());
        r.log = log.text();
        return r;
    }

    // The script is the declaration followed by the root element `body` (compact XML).
    static void ExpectScript(const xml::DocumentPtr& script, const std::string& body) {
        ASSERT_TRUE(script);
        const xml::NodeList children = script->childNodes();
        ASSERT_EQ(children.length(), 2);
        EXPECT_EQ(children.item(0).nodeType(), xml::NodeType::ProcessingInstruction);
        EXPECT_EQ(children.item(0).nodeName(), "xml");
        EXPECT_EQ(children.item(0).text(), "version='1.0' encoding='UTF-8'");
        EXPECT_EQ(children.item(1).xml(), body);
    }

    TempWorkDir dir;
};

TEST_F(GenerateTest, EmptyRootGivesAnEmptyScriptAndTheWarning) {
    const Result r = Generate(Plan("<?xml version='1.0'?><avilo/>"));
    ASSERT_FALSE(r.error);
    EXPECT_EQ(r.log, kHead + "WARNING: Flight Plan doesn't contain any steer points.\r\n" + SEP +
                         "Flight Script is generated.\r\n\r\n");
    ExpectScript(r.script, "<flightscript/>");
}

// Numbers are positions among all child nodes; an unknown child ends a run of one phase, and a
// phase recurring later gets a new phase element.  Parameters come from the steer point, else
// from the default, which keeps its attributes.
TEST_F(GenerateTest, PhasesAndSteerPointNumbers) {
    const Result r = Generate(Plan("<avilo>" + Airport("takeoff", 0, {"takeoff"}) +
                                   Gps("cruise", 1, {"cruise"}) + "<!-- a note -->" +
                                   Gps("cruise", 3, {"cruise"}) + Gps("cruise", 4, {"cruise"}) +
                                   Airport("takeoff", 5, {"takeoff"}, false) + "</avilo>"));
    ASSERT_FALSE(r.error) << r.error->m_message;
    const std::string runwayLog = "  GPSRunway: " + kRunway +
                                  "\r\n"
                                  "  runwayHeading: <runwayHeading>87</runwayHeading>\r\n";
    EXPECT_EQ(r.log, kHead + "Flight plan phase: takeoff\r\n" + Cloned("takeoff", 0, "takeoff") +
                         Done(0) + "Flight plan phase: cruise\r\n" + Cloned("cruise", 1, "cruise") +
                         Done(1) + "Steer point 2 is of an unknown type.\r\n" +
                         "Flight plan phase: cruise\r\n" + Cloned("cruise", 3, "cruise") + Done(3) +
                         Cloned("cruise", 4, "cruise") + Done(4) +
                         "Flight plan phase: takeoff\r\n" + Cloned("takeoff", 5, "takeoff") +
                         Done(5) + kSecondPass + Setting("takeoff", "takeoff", 0) + runwayLog +
                         "  runwayMagnVar: <runwayMagnVar>2</runwayMagnVar>\r\n"
                         "  runwayElevation: <runwayElevation>-11</runwayElevation>\r\n\r\n" +
                         Setting("cruise", "cruise", 1) +
                         "  airspeed: <airspeed>91</airspeed>\r\n"
                         "  altitude: <altitude>2001</altitude>\r\n\r\n" +
                         Setting("cruise", "cruise", 3) +
                         "  airspeed: <airspeed>93</airspeed>\r\n"
                         "  altitude: <altitude>2003</altitude>\r\n\r\n" +
                         Setting("cruise", "cruise", 4) +
                         "  airspeed: <airspeed>94</airspeed>\r\n"
                         "  altitude: <altitude>2004</altitude>\r\n\r\n" +
                         Setting("takeoff", "takeoff", 5) + runwayLog +
                         "  runwayMagnVar = 0 (default value)\r\n"
                         "  runwayElevation = 0 (default value)\r\n\r\n" +
                         kEnd);
    ExpectScript(
        r.script,
        "<flightscript>"
        "<phase name=\"takeoff\"><task name=\"takeoff\" steerpoint=\"0\"><procedure "
        "name=\"takeoff\">" +
            kRunway +
            "<runwayHeading>87</runwayHeading><runwayMagnVar>2</runwayMagnVar>"
            "<runwayElevation>-11</runwayElevation></procedure>" +
            Pos(0) +
            "</task></phase>"
            "<phase name=\"cruise\"><task name=\"cruise\" steerpoint=\"1\"><procedure "
            "name=\"cruise\"><airspeed>91</airspeed><altitude>2001</altitude></procedure>" +
            Pos(1) +
            "</task></phase>"
            "<phase name=\"cruise\"><task name=\"cruise\" steerpoint=\"3\"><procedure "
            "name=\"cruise\"><airspeed>93</airspeed><altitude>2003</altitude></procedure>" +
            Pos(3) +
            "</task><task name=\"cruise\" steerpoint=\"4\"><procedure "
            "name=\"cruise\"><airspeed>94</airspeed><altitude>2004</altitude></procedure>" +
            Pos(4) +
            "</task></phase>"
            "<phase name=\"takeoff\"><task name=\"takeoff\" steerpoint=\"5\"><procedure "
            "name=\"takeoff\">" +
            kRunway +
            "<runwayHeading>87</runwayHeading><runwayMagnVar default=\"0\">0</runwayMagnVar>"
            "<runwayElevation default=\"0\">0</runwayElevation></procedure>" +
            Pos(5) + "</task></phase></flightscript>");
}

// One steer point naming every kind of task: not permitted in its phase (though defined), not
// defined, with extra content, a procedure twice, procedures without parameters, and the first
// definition of a duplicated task.  An empty default is a valid default; of several matches the
// first in document order is taken.
TEST_F(GenerateTest, TaskAndParameterRules) {
    const Result r = Generate(
        Plan("<avilo>" +
             Airport("cruise", 0, {"takeoff", "undefined", "photo", "double", "bare", "cruise"}) +
             "</avilo>"));
    ASSERT_FALSE(r.error) << r.error->m_message;
    const std::string cruiseDefaults = "  airspeed = 100 (default value)\r\n"
                                       "  altitude = 3000 (default value)\r\n\r\n";
    EXPECT_EQ(
        r.log,
        kHead + "Flight plan phase: cruise\r\n" + Found("takeoff", 0, "cruise") +
            "  WARNING: Could not find resembling task in Flight Script generation XML database "
            "for this phase!\r\n  Skipping task.\r\n" +
            Cloned("undefined", 0, "cruise") +
            "  WARNING: Task not properly defined in flight script XML database.\r\n"
            "  Skipping task.\r\n" +
            Cloned("photo", 0, "cruise") + Cloned("double", 0, "cruise") +
            Cloned("bare", 0, "cruise") + Cloned("cruise", 0, "cruise") + Done(0) + kSecondPass +
            Setting("photo", "photo", 0) +
            "  label =  (default value)\r\n"
            "  latitude: <latitude>52.0</latitude>\r\n"
            "  WARNING: missing does not have a corresponding value in the Flight Plan. This "
            "parameter is not inserted!\r\n\r\n" +
            Setting("double", "cruise", 0) + cruiseDefaults + Setting("double", "cruise", 0) +
            cruiseDefaults + Setting("bare", "nothing", 0) +
            "  This flight procedure has no associated parameters.\r\n\r\n" +
            Setting("bare", "emptydef", 0) +
            "  This flight procedure has no associated parameters.\r\n\r\n" +
            Setting("cruise", "cruise", 0) + cruiseDefaults + kEnd);
    const std::string cruiseProcedure =
        "<procedure name=\"cruise\"><airspeed default=\"100\">100</airspeed>"
        "<altitude default=\"3000\" unit=\"ft\">3000</altitude></procedure>";
    ExpectScript(r.script,
                 "<flightscript><phase name=\"cruise\">"
                 "<task name=\"photo\" camera=\"left\" steerpoint=\"0\"><note>unread</note>"
                 "<procedure name=\"photo\"><label default=\"\"/><latitude>52.0</latitude>"
                 "</procedure>" +
                     Pos(0) + "</task><task name=\"double\" steerpoint=\"0\">" + cruiseProcedure +
                     cruiseProcedure + Pos(0) +
                     "</task><task name=\"bare\" steerpoint=\"0\"><procedure name=\"nothing\"/>"
                     "<procedure name=\"emptydef\"/>" +
                     Pos(0) + "</task><task name=\"cruise\" steerpoint=\"0\">" + cruiseProcedure +
                     Pos(0) + "</task></phase></flightscript>");
}

TEST_F(GenerateTest, ScriptWithoutProcedures) {
    const Result r = Generate(Plan("<avilo>" + Gps("cruise", 0, {"plain"}) + "</avilo>"));
    ASSERT_FALSE(r.error) << r.error->m_message;
    EXPECT_EQ(r.log, kHead + "Flight plan phase: cruise\r\n" + Cloned("plain", 0, "cruise") +
                         Done(0) + kSecondPass +
                         "WARNING: There are no flight procedures found in the current Flight "
                         "Script.\r\n" +
                         kEnd);
    ExpectScript(r.script, "<flightscript><phase name=\"cruise\"><task name=\"plain\" "
                           "steerpoint=\"0\">" +
                               Pos(0) + "</task></phase></flightscript>");
}

// Names are matched as they are, quotes included.
TEST_F(GenerateTest, NamesWithQuotesMatchThemselves) {
    const Result r =
        Generate(Plan("<avilo>" + Gps("say &quot;hi&quot;", 0, {"it's \"x\""}) + "</avilo>"));
    ASSERT_FALSE(r.error) << r.error->m_message;
    EXPECT_EQ(r.log, kHead + "Flight plan phase: say \"hi\"\r\n" +
                         Cloned("it's \"x\"", 0, "say \"hi\"") + Done(0) + kSecondPass +
                         Setting("it's \"x\"", "cruise", 0) +
                         "  airspeed: <airspeed>90</airspeed>\r\n"
                         "  altitude: <altitude>2000</altitude>\r\n\r\n" +
                         kEnd);
    ExpectScript(r.script, "<flightscript><phase name=\"say &quot;hi&quot;\"><task name=\"it's "
                           "&quot;x&quot;\" steerpoint=\"0\"><procedure name=\"cruise\">"
                           "<airspeed>90</airspeed><altitude>2000</altitude></procedure>" +
                               Pos(0) + "</task></phase></flightscript>");
}

// Failures: the log ends with the failure text (no line break after a report), then the
// exception carries the code and the same text.
struct FailureCase {
    const char* name;
    std::optional<std::string> plan; // nullopt: no plan document at all
    std::string logAfterHead;
    scrivo::ScrivoError code;
    std::string message;
};
void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class GenerateFailureTest : public GenerateTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(GenerateFailureTest, LogsThenThrows) {
    const FailureCase& c = GetParam();
    xml::DocumentPtr plan;
    if (c.plan)
        plan = c.plan->empty() ? xml::Document::Create() : Plan(*c.plan);
    const std::string before = plan ? plan->xml() : "";
    const Result r = Generate(plan);
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->m_error, c.code);
    EXPECT_EQ(r.error->m_message, c.message);
    EXPECT_EQ(r.log, kHead + c.logAfterHead);
    EXPECT_FALSE(r.script);
    if (plan) {
        EXPECT_EQ(plan->xml(), before);
    }
}

const std::string kPointerReport = ComReport(xml::hr::E_POINTER_, "avilo-xml");
const std::string kMismatchReport =
    ComReport(static_cast<xml::HRESULT>(0x80020005), "avilo-xml"); // DISP_E_TYPEMISMATCH
// The log names the cause on the line before the report; the exception carries the report.
const std::string kNoNode = "The node does not exist.\r\n";
std::string NoAttribute(const std::string& name) {
    return "The attribute '" + name + "' does not exist.\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GenerateFailureTest,
    ::testing::Values(
        FailureCase{"PlanWithoutChildren", "", "Error: Flight plan has not been initialized.\r\n",
                    scrivo::ScrivoPlanNotInitialized, "Flight plan has not been initialized"},
        FailureCase{"NoPlan", std::nullopt, ComReport(xml::hr::E_POINTER_, ""),
                    scrivo::ScrivoComError, ComReport(xml::hr::E_POINTER_, "")},
        FailureCase{"NoRootAvilo", "<plan>" + Gps("cruise", 0, {"cruise"}) + "</plan>",
                    kNoNode + kPointerReport, scrivo::ScrivoComError, kPointerReport},
        FailureCase{"SteerPointWithoutPhase",
                    "<avilo><steerpoint>" + Pos(0) + "<GPS/></steerpoint></avilo>",
                    NoAttribute("phase") + kMismatchReport, scrivo::ScrivoComError,
                    kMismatchReport},
        FailureCase{"SteerPointWithoutPosition",
                    "<avilo><steerpoint phase=\"cruise\"><timeOverSteerPoint>10:00"
                    "</timeOverSteerPoint><task>cruise</task><GPS/></steerpoint></avilo>",
                    "Flight plan phase: cruise\r\n" + Cloned("cruise", 0, "cruise") + kNoNode +
                        kPointerReport,
                    scrivo::ScrivoComError, kPointerReport},
        // The first steer points have an empty phase: no phase element exists to copy into.
        FailureCase{"TaskBeforeAnyPhaseElement", "<avilo>" + Gps("", 0, {"cruise"}) + "</avilo>",
                    Cloned("cruise", 0, "") + kNoNode + kPointerReport, scrivo::ScrivoComError,
                    kPointerReport},
        // A procedure below a group of its task: its parent has no task name.
        FailureCase{"ProcedureNestedTooDeep", "<avilo>" + Gps("cruise", 0, {"deep"}) + "</avilo>",
                    "Flight plan phase: cruise\r\n" + Cloned("deep", 0, "cruise") + Done(0) +
                        kSecondPass + NoAttribute("name") + kMismatchReport,
                    scrivo::ScrivoComError, kMismatchReport}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GenerateTest, MissingOrMalformedDatabase) {
    struct Case {
        std::optional<std::string> db;
        std::string message;
    };
    const Case cases[] = {
        {std::nullopt, "Flight Script generation XML database parse error:\r\nError code: "
                       "-2146697211\r\nLine number: 0\r\nError message: The system cannot locate "
                       "the resource specified."},
        {"<scrivodb>\n<phase>\n</scrivodb>\n",
         "Flight Script generation XML database parse error:\r\nError code: -1072896659\r\nLine "
         "number: 3\r\nError message: End tag does not match the start tag."},
    };
    for (const Case& c : cases) {
        if (c.db)
            dir.write("scrivodb.xml", *c.db);
        else
            dir.remove("scrivodb.xml");
        const Result r = Generate(Plan("<avilo>" + Gps("cruise", 0, {"cruise"}) + "</avilo>"));
        ASSERT_TRUE(r.error);
        EXPECT_EQ(r.error->m_error, scrivo::ScrivoDatabaseParseError);
        EXPECT_EQ(r.error->m_message, c.message);
        EXPECT_EQ(r.log, "Loading Flight Script generation XML database.\r\n" + c.message);
    }
}

// The schema is read at the first steer point typed: a plan without steer points does not need it.
TEST_F(GenerateTest, MissingSchemaIsAComError) {
    dir.remove("avilo.xsd");
    EXPECT_FALSE(Generate(Plan("<avilo/>")).error);
    const Result r = Generate(Plan("<avilo>" + Gps("cruise", 0, {"cruise"}) + "</avilo>"));
    ASSERT_TRUE(r.error);
    const std::string report =
        ComReport(xml::hr::INET_E_OBJECT_NOT_FOUND_, "avilo-xml schema cache");
    EXPECT_EQ(r.error->m_error, scrivo::ScrivoComError);
    EXPECT_EQ(r.error->m_message, report);
    EXPECT_EQ(r.log, kHead + "The schema file '" + (dir.path() / "avilo.xsd").string() +
                         "' cannot be read.\r\n" + report);
}

} // namespace
