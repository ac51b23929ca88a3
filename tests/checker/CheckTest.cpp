// The consistency checker: database failures, and each problem it finds in a plan.  Every test
// compares the whole log.
#include "PlanCheck.h"
#include "TempDir.h"

#include "tessar/TessarCore.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

const std::string SEP = "-------------------------------------------------------------------\r\n";
const std::string kHead = "Loading XML aircraft specification database.\r\n"
                          "Done loading ACdb.\r\n\r\n" +
                          SEP;

// One steer point; the defaults make a GPS cruise leg the shipped databases accept.
struct Sp {
    std::string type = "GPS"; // "airport", "GPS" or anything else
    std::optional<std::string> phase = "cruise";
    std::vector<std::string> tasks = {"cruise"};
    std::optional<std::string> lon = "4.98", lat = "52.33";
    bool position = true;
    std::optional<std::string> time = "10:08";
    std::string airspeed = "90", altitude = "1500";
    std::string runway = "<runway>09</runway><runwayHeading>86.78</runwayHeading>"
                         "<runwayMagnVar>1.77</runwayMagnVar><runwayElevation>-11</runwayElevation>"
                         "<GPSRunway><latitude>52.3166</latitude><longitude>4.7463</longitude>"
                         "</GPSRunway>";

    std::string xml() const {
        std::string s = "<steerpoint" + (phase ? " phase=\"" + *phase + "\"" : "") + ">";
        if (position) {
            s += "<GPSCoordinate>";
            if (lon)
                s += "<longitude>" + *lon + "</longitude>";
            if (lat)
                s += "<latitude>" + *lat + "</latitude>";
            s += "</GPSCoordinate>";
        }
        if (time)
            s += "<timeOverSteerPoint>" + *time + "</timeOverSteerPoint>";
        for (const std::string& t : tasks)
            s += "<task>" + t + "</task>";
        if (type == "airport")
            s += "<airport shortname=\"EHAM\" name=\"Schiphol\">" + runway + "</airport>";
        else if (type == "GPS")
            s += "<GPS><airspeed>" + airspeed + "</airspeed><heading>80</heading><altitude>" +
                 altitude + "</altitude></GPS>";
        else
            s += "<" + type + "/>";
        return s + "</steerpoint>";
    }
};

Sp Departure() {
    Sp s;
    s.type = "airport";
    s.phase = "takeoff";
    s.tasks = {"takeoff"};
    s.lon = "4.758121";
    s.lat = "52.314850";
    s.time = "10:00";
    return s;
}
Sp Leg(const char* lon, const char* lat, const char* time) {
    Sp s;
    s.lon = lon;
    s.lat = lat;
    s.time = time;
    return s;
}

std::string PlanText(const std::vector<Sp>& sps, const std::string& between = "") {
    std::string s = "<avilo>";
    for (const Sp& sp : sps)
        s += sp.xml() + between;
    return s + "</avilo>";
}

struct Outcome {
    std::optional<bool> consistent;
    std::optional<tessar::CTessarException> error;
    std::string log;
};

class CheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.copyData("acdb.xml");
        dir.copyData("scrivodb.xml");
        dir.copyData("avilo.xsd");
    }
    Outcome Check(const xml::DocumentPtr& plan) const {
        Outcome o;
        ui::TextLog log;
        const auto path = [&](const char* name) { return (dir.path() / name).string(); };
        try {
            o.consistent = tessar::CheckConsistency(
                plan, {path("acdb.xml"), path("scrivodb.xml"), path("avilo.xsd")}, log);
        } catch (const tessar::CTessarException& e) {
            o.error = e;
        }
        EXPECT_TRUE(log.finished());
        o.log = log.text();
        return o;
    }
    static xml::DocumentPtr Plan(const std::string& text) {
        xml::DocumentPtr plan = xml::Document::Create();
        EXPECT_TRUE(plan->loadXML(text)) << plan->parseError().reason;
        return plan;
    }
    // A plan that must be found inconsistent with exactly `problems`; the plan stays unchanged.
    void ExpectProblems(const xml::DocumentPtr& plan,
                        const std::vector<std::string>& problems) const {
        const std::string before = plan ? plan->xml() : "";
        const Outcome o = Check(plan);
        ASSERT_FALSE(o.error) << o.error->m_message;
        std::string expected = kHead;
        for (const std::string& p : problems)
            expected += p + "\r\n";
        expected +=
            problems.empty() ? "Flight Plan is consistent." : "Flight Plan is not consistent.";
        EXPECT_EQ(o.log, expected);
        EXPECT_EQ(*o.consistent, problems.empty());
        if (plan) {
            EXPECT_EQ(plan->xml(), before);
        }
    }

    TempWorkDir dir;
};

TEST_F(CheckTest, SchipholDepartureIsConsistent) {
    const xml::DocumentPtr plan = xml::Document::Create();
    ASSERT_TRUE(plan->load(std::string(AVILO_DATA_DIR) + "/plans/schiphol-departure.av"));
    ExpectProblems(plan, {});
}

// A flight over midnight: an earlier time by half a day or more is the next day.
TEST_F(CheckTest, TimesOverMidnightAreConsistent) {
    Sp dep = Departure();
    dep.time = "23:50";
    ExpectProblems(
        Plan(PlanText({dep, Leg("4.98", "52.33", "23:58"), Leg("5.16", "52.28", "00:05")})), {});
}

TEST_F(CheckTest, MissingOrMalformedAircraftDatabase) {
    struct Case {
        std::optional<std::string> acdb;
        std::string message;
    };
    const Case cases[] = {
        {std::nullopt, "XML aircraft specification database parse error:\r\nError code: "
                       "-2146697211\r\nLine number: 0\r\nError message: The system cannot locate "
                       "the resource specified."},
        {"<acdb>\n<aircraft>\n</acdb>",
         "XML aircraft specification database parse error:\r\nError code: -1072896659\r\nLine "
         "number: 3\r\nError message: End tag does not match the start tag."},
    };
    for (const Case& c : cases) {
        if (c.acdb)
            dir.write("acdb.xml", *c.acdb);
        else
            dir.remove("acdb.xml");
        const Outcome o = Check(Plan(PlanText({Departure()})));
        ASSERT_TRUE(o.error);
        EXPECT_EQ(o.error->m_error, tessar::TessarDatabaseParseError);
        EXPECT_EQ(o.error->m_message, c.message);
        EXPECT_EQ(o.log, "Loading XML aircraft specification database.\r\n" + c.message);
    }
}

TEST_F(CheckTest, MissingSchemaIsAComError) {
    dir.remove("avilo.xsd");
    const Outcome o = Check(Plan(PlanText({Departure()})));
    ASSERT_TRUE(o.error);
    const std::string report = "COM Error: -2146697211\r\nSource: avilo-xml schema cache\r\n"
                               "Error message: " +
                               xml::SystemMessage(xml::hr::INET_E_OBJECT_NOT_FOUND_);
    EXPECT_EQ(o.error->m_error, tessar::TessarComError);
    EXPECT_EQ(o.error->m_message, report);
    EXPECT_EQ(o.log, kHead + "The schema file '" + (dir.path() / "avilo.xsd").string() +
                         "' cannot be read.\r\n" + report);
}

TEST_F(CheckTest, NoSteerPoint) {
    const std::string none = "Flight plan: no steer point.";
    ExpectProblems(nullptr, {none});
    ExpectProblems(xml::Document::Create(), {none});
    ExpectProblems(Plan("<avilo/>"), {none});
    ExpectProblems(Plan("<avilo><!-- only a note --></avilo>"), {none});
    ExpectProblems(Plan("<plan>" + Departure().xml() + "</plan>"),
                   {"Flight plan: the root element is not \"avilo\"."});
}

struct ProblemCase {
    const char* name;
    std::vector<Sp> plan;
    std::vector<std::string> problems;
};
void PrintTo(const ProblemCase& c, std::ostream* os) {
    *os << c.name;
}

Sp With(Sp s, const std::function<void(Sp&)>& change) {
    change(s);
    return s;
}

const std::string kFirst = "Steer point 0: the first steer point is not an airport steer point in "
                           "phase \"takeoff\" with the task \"takeoff\", which the flight starts "
                           "with.";

class ProblemTest : public CheckTest, public ::testing::WithParamInterface<ProblemCase> {};

TEST_P(ProblemTest, FindsExactlyTheseProblems) {
    ExpectProblems(Plan(PlanText(GetParam().plan)), GetParam().problems);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProblemTest,
    ::testing::Values(
        ProblemCase{"FirstIsGps", {Leg("4.98", "52.33", "10:08")}, {kFirst}},
        ProblemCase{
            "FirstInCruisePhase",
            {With(Departure(), [](Sp& s) { s.phase = "cruise"; })},
            {"Steer point 0: task \"takeoff\" is not permitted in phase \"cruise\".", kFirst}},
        ProblemCase{"FirstWithoutTakeoffTask",
                    {With(Departure(), [](Sp& s) { s.tasks = {}; })},
                    {"Steer point 0: no task, so the flight script would pass it over.", kFirst}},
        ProblemCase{
            "UnknownType",
            {Departure(), With(Leg("4.98", "52.33", "10:08"), [](Sp& s) { s.type = "VOR"; })},
            {"Steer point 1: unknown steer point type."}},
        ProblemCase{
            "UnknownPhase",
            {Departure(), With(Leg("4.98", "52.33", "10:08"), [](Sp& s) { s.phase = "landing"; })},
            {"Steer point 1: phase \"landing\" is not a phase of the generation database.",
             "Steer point 1: task \"cruise\" is not permitted in phase \"landing\"."}},
        ProblemCase{
            "NoPhase",
            {Departure(), With(Leg("4.98", "52.33", "10:08"), [](Sp& s) { s.phase.reset(); })},
            {"Steer point 1: no phase."}},
        ProblemCase{"UnknownTask",
                    {Departure(), With(Leg("4.98", "52.33", "10:08"),
                                       [](Sp& s) {
                                           s.tasks = {"cruise", "photo \"x\""};
                                       })},
                    {"Steer point 1: task \"photo \"x\"\" is not defined in the generation "
                     "database."}},
        ProblemCase{"TakeoffInTheAir",
                    {Departure(),
                     With(Leg("4.98", "52.33", "10:08"), [](Sp& s) { s.tasks = {"takeoff"}; })},
                    {"Steer point 1: task \"takeoff\" after the first steer point: the executor "
                     "would fly a second take-off in the air.",
                     "Steer point 1: task \"takeoff\" is not permitted in phase \"cruise\".",
                     "Steer point 1: task \"takeoff\" is not offered at GPS steer points."}},
        ProblemCase{"CruiseAtAnAirport",
                    {Departure(), With(Departure(),
                                       [](Sp& s) {
                                           s.phase = "cruise";
                                           s.tasks = {"cruise"};
                                           s.time = "10:20";
                                       })},
                    {"Steer point 1: task \"cruise\" is not offered at airport steer points."}},
        ProblemCase{"RunwayWithoutHeading",
                    {With(Departure(),
                          [](Sp& s) {
                              s.runway = "<runway>09</runway><GPSRunway><latitude>52.3"
                                         "</latitude><longitude>4.7</longitude></GPSRunway>";
                          })},
                    {"Steer point 0: parameter \"runwayHeading\" of procedure \"takeoff\" has no "
                     "value and no default."}},
        ProblemCase{"BadRunwayFigures",
                    {With(Departure(),
                          [](Sp& s) {
                              s.runway = "<runwayHeading>87 deg</runwayHeading>"
                                         "<runwayMagnVar>200</runwayMagnVar><GPSRunway><latitude>"
                                         "52.3</latitude><longitude>4,7</longitude></GPSRunway>";
                          })},
                    {"Steer point 0: runway heading \"87 deg\" is not a number.",
                     "Steer point 0: runway magnetic variation 200 is out of range (-180 to 180).",
                     "Steer point 0: runway longitude \"4,7\" is not a number."}},
        ProblemCase{"Positions",
                    {Departure(), With(Leg("x", "52.33", "10:08"), [](Sp& s) { s.lon.reset(); }),
                     Leg("5.1e", "52.33", "10:09"), Leg("5.2", "95", "10:10"),
                     With(Leg("5.2", "52.4", "10:11"), [](Sp& s) { s.position = false; }),
                     Leg("-181", "-90", "10:12")},
                    {"Steer point 1: GPSCoordinate has no longitude.",
                     "Steer point 2: longitude \"5.1e\" is not a number.",
                     "Steer point 3: latitude 95 is out of range (-90 to 90).",
                     "Steer point 4: no GPSCoordinate.",
                     "Steer point 5: longitude -181 is out of range (-180 to 180)."}},
        // Values the executor refuses to fly: a take-off runway without a latitude, positions
        // that are no numbers, an airspeed below 0, an altitude that is not finite.
        ProblemCase{"ValuesTheExecutorRefuses",
                    {With(Departure(),
                          [](Sp& s) {
                              s.runway = "<runwayHeading>86.78</runwayHeading><GPSRunway>"
                                         "<longitude>4.7463</longitude></GPSRunway>";
                          }),
                     Leg("4.98", "nan", "10:08"), Leg("", "52.33", "10:09"),
                     With(Leg("5.0", "52.33", "10:10"), [](Sp& s) { s.airspeed = "-5"; }),
                     With(Leg("5.1", "52.33", "10:11"), [](Sp& s) { s.altitude = "inf"; })},
                    {"Steer point 0: GPSRunway has no latitude.",
                     "Steer point 1: latitude \"nan\" is not a number.",
                     "Steer point 2: longitude \"\" is not a number.",
                     "Steer point 3: airspeed -5 is out of range (0 to 1e+06).",
                     "Steer point 4: altitude \"inf\" is not a number."}},
        ProblemCase{"Times",
                    {Departure(), Leg("4.98", "52.33", "9:30"), Leg("5.0", "52.33", "24:00"),
                     With(Leg("5.1", "52.33", ""), [](Sp& s) { s.time.reset(); }),
                     Leg("5.2", "52.33", "10:20"), Leg("5.3", "52.33", "10:19"),
                     Leg("5.4", "52.33", "00:10")},
                    {"Steer point 1: time over steer point \"9:30\" is not \"hh:mm\".",
                     "Steer point 2: time over steer point \"24:00\" is not \"hh:mm\".",
                     "Steer point 3: no timeOverSteerPoint.",
                     "Steer point 5: time over steer point 10:19 is earlier than 10:20 at steer "
                     "point 4.",
                     "Steer point 6: time over steer point 00:10 is earlier than 10:19 at steer "
                     "point 5."}},
        ProblemCase{"AircraftLimits",
                    {Departure(),
                     With(Leg("4.98", "52.33", "10:08"), [](Sp& s) { s.airspeed = "40"; }),
                     With(Leg("5.0", "52.33", "10:09"),
                          [](Sp& s) {
                              s.airspeed = "150";
                              s.altitude = "20000";
                          }),
                     With(Leg("5.1", "52.33", "10:10"), [](Sp& s) { s.airspeed = "fast"; }),
                     With(Leg("5.2", "52.33", "10:11"),
                          [](Sp& s) {
                              s.airspeed = "55";
                              s.altitude = "14200";
                          })},
                    {"Steer point 1: airspeed 40 kt is below the aircraft's minimum of 55 kt.",
                     "Steer point 2: airspeed 150 kt is above the aircraft's maximum cruising "
                     "speed of 127 kt.",
                     "Steer point 2: altitude 20000 ft is above the aircraft's service ceiling of "
                     "14200 ft.",
                     "Steer point 3: airspeed \"fast\" is not a number."}},
        // Schiphol to Warsaw is 595 NM in one leg; back towards Berlin, 278 NM more.
        ProblemCase{"LegsLongerThanTheRange",
                    {Departure(), Leg("20.97", "52.17", "14:00"), Leg("13.40", "52.52", "16:00")},
                    {"Steer point 1: the leg of 595 NM from steer point 0 is longer than the "
                     "aircraft's range of 480 NM.",
                     "Flight plan: the route of 873 NM is longer than the aircraft's range of 480 "
                     "NM."}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CheckTest, CommentsBetweenSteerPointsKeepTheNumbering) {
    const std::string text =
        PlanText({Departure(), With(Leg("4.98", "52.33", "10:08"), [](Sp& s) { s.type = "VOR"; })},
                 "<!-- note -->");
    ExpectProblems(Plan(text), {"Steer point 2: unknown steer point type."});
}

TEST_F(CheckTest, AircraftDatabaseWithoutAircraft) {
    dir.write("acdb.xml", "<acdb/>");
    ExpectProblems(Plan(PlanText({Departure(), Leg("4.98", "52.33", "10:08")})),
                   {"Flight plan: the aircraft database does not give the aircraft's minimum "
                    "speed, maximum cruising speed, service ceiling, range, so these are not "
                    "checked."});
}

// Figures in other units are converted: 4000 m = 13123 ft, 300 km = 162 NM, 200 km/h = 108 kt.
TEST_F(CheckTest, AircraftFiguresInOtherUnits) {
    dir.write("acdb.xml", "<acdb><aircraft><speeds unit=\"km/h\"><minimum>100</minimum>"
                          "<maximumStructuralCruise>200</maximumStructuralCruise></speeds>"
                          "<climb><serviceCeiling unit=\"m\">4000</serviceCeiling></climb>"
                          "<range unit=\"km\">300</range></aircraft></acdb>");
    ExpectProblems(Plan(PlanText({Departure(),
                                  With(Leg("4.98", "52.33", "10:08"),
                                       [](Sp& s) {
                                           s.airspeed = "110";
                                           s.altitude = "14000";
                                       }),
                                  Leg("9.5", "52.33", "11:00")})),
                   {"Steer point 1: airspeed 110 kt is above the aircraft's maximum cruising speed "
                    "of 107.991 kt.",
                    "Steer point 1: altitude 14000 ft is above the aircraft's service ceiling of "
                    "13123.4 ft.",
                    "Steer point 2: the leg of 166 NM from steer point 1 is longer than the "
                    "aircraft's range of 161.987 NM.",
                    "Flight plan: the route of 174 NM is longer than the aircraft's range of "
                    "161.987 NM."});
}

TEST_F(CheckTest, MissingGenerationDatabase) {
    dir.remove("scrivodb.xml");
    ExpectProblems(Plan(PlanText({Departure()})),
                   {"Flight plan: the generation database \"scrivodb.xml\" could not be loaded "
                    "(error code -2146697211, line 0: The system cannot locate the resource "
                    "specified.), so phases and tasks are not checked."});
}

TEST(Distance, SphericalGreatCircle) {
    struct Case {
        double lon1, lat1, lon2, lat2, nm;
    };
    // One degree of a great circle is 111.195 km = 60.0405 NM on the mean sphere.
    const Case cases[] = {
        {0, 0, 0, 1, 60.0405},     {0, 0, 1, 0, 60.0405}, {0, 0, 90, 0, 5403.64},
        {0, 0, 180, 0, 10807.3},   {10, 50, 10, 50, 0},   {179.5, 0, -179.5, 0, 60.0405},
        {0, 89, 180, 89, 120.081},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(tessar::DistanceNM(c.lon1, c.lat1, c.lon2, c.lat2), c.nm, 0.01)
            << c.lon1 << "," << c.lat1 << " to " << c.lon2 << "," << c.lat2;
}

} // namespace
