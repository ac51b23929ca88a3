// Start positions taken from a flight script's take-off procedure or a plan's take-off airport.
#include <fssim/Start.h>

#include <xml/Dom.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

using namespace fssim;

namespace {

std::shared_ptr<xml::Document> Parse(const std::string& text) {
    auto doc = xml::Document::Create();
    EXPECT_TRUE(doc->loadXML(text));
    return doc;
}

const char* const kScript = R"(<flightscript>
  <phase name="takeoff"><task name="takeoff" steerpoint="0">
    <procedure name="takeoff">
      <GPSRunway><latitude>52.30173122</latitude><longitude>4.73740403</longitude></GPSRunway>
      <runwayHeading>3.205903</runwayHeading><runwayMagnVar>2.429065</runwayMagnVar>
      <runwayElevation>-11</runwayElevation>
    </procedure></task></phase>
  <phase name="cruise"><task name="cruise" steerpoint="1"/></phase>
</flightscript>)";

TEST(Start, FromTheScriptsTakeOffProcedure) {
    std::string error;
    const auto start = StartFromScript(Parse(kScript), error);
    ASSERT_TRUE(start) << error;
    EXPECT_EQ(start->latitude_deg, 52.30173122);
    EXPECT_EQ(start->longitude_deg, 4.73740403);
    EXPECT_EQ(start->heading_deg, 3.205903);
    EXPECT_EQ(start->elevation_ft, -11.0);
}

std::string With(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(Start, ScriptsThatCannotGiveAStart) {
    const std::pair<std::string, const char*> cases[] = {
        {"<flightscript><phase name=\"cruise\"/></flightscript>", "take-off procedure"},
        {"<flightscript><phase name=\"takeoff\"><task name=\"takeoff\"><procedure "
         "name=\"takeoff\"><runwayHeading>3</runwayHeading></procedure></task></phase>"
         "</flightscript>",
         "GPSRunway/latitude"},
        // Values that would start the aircraft at 0 N 0 E, nowhere, or off the earth.
        {With(kScript, "52.30173122", "nan"), "GPSRunway/latitude \"nan\" is not a finite number"},
        {With(kScript, "4.73740403", ""), "GPSRunway/longitude \"\" is not a finite number"},
        {With(kScript, "52.30173122", "90.01"),
         "GPSRunway/latitude 90.01 is out of range (-90 to 90)"},
        {With(kScript, "4.73740403", "-180.5"),
         "GPSRunway/longitude -180.5 is out of range (-180 to 180)"},
        {With(kScript, "3.205903", "inf"), "runwayHeading \"inf\" is not a finite number"},
        {With(kScript, ">-11<", ">1e9<"), "runwayElevation 1e9 is out of range (-1500 to 30000)"},
    };
    for (const auto& [text, why] : cases) {
        std::string error;
        EXPECT_FALSE(StartFromScript(Parse(text), error));
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

TEST(Start, PositionsOffTheEarthAreNamedByTheirOption) {
    const std::pair<StartPosition, const char*> cases[] = {
        {{52.3, 4.7, 3.2, -11}, ""},
        {{-90, 180, -720, 29000}, ""},
        {{95, 4.7, 3.2, -11}, "--lat 95 is out of range (-90 to 90)"},
        {{52.3, -181, 3.2, -11}, "--lon -181 is out of range (-180 to 180)"},
        {{52.3, 4.7, std::nan(""), -11}, "--heading nan is out of range (-inf to inf)"},
        {{52.3, 4.7, 3.2, -2000}, "--elevation -2000 is out of range (-1500 to 30000)"},
    };
    for (const auto& [start, problem] : cases)
        EXPECT_EQ(StartProblem(start), problem);
}

TEST(Start, FromThePlansTakeOffAirport) {
    const char* plan = R"(<avilo>
  <steerpoint phase="takeoff"><GPSCoordinate><longitude>4.7</longitude><latitude>52.3</latitude></GPSCoordinate>
    <timeOverSteerPoint>00:00</timeOverSteerPoint><task>takeoff</task>
    <airport shortname="EHAM" name="Schiphol"><runway>18C</runway><runwayHeading>183.205903</runwayHeading>
      <runwayMagnVar>2.429065</runwayMagnVar><runwayElevation>-11</runwayElevation>
      <GPSRunway><latitude>52.33139702</latitude><longitude>4.74011451</longitude></GPSRunway></airport>
  </steerpoint>
</avilo>)";
    char path[] = "/tmp/avilo-start-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::ofstream(path) << plan;
    std::string error;
    const auto start = StartFromFile(path, error);
    ASSERT_TRUE(start) << error;
    EXPECT_EQ(start->latitude_deg, 52.33139702);
    EXPECT_EQ(start->heading_deg, 183.205903);

    // fssim --start refuses a plan whose runway is not a number, naming the file.
    std::ofstream(path) << With(plan, "52.33139702", "NaN");
    EXPECT_FALSE(StartFromFile(path, error));
    std::remove(path);
    EXPECT_EQ(error,
              std::string(path) +
                  ": the take-off runway's GPSRunway/latitude \"NaN\" is not a finite number");

    EXPECT_FALSE(StartFromFile("/nonexistent/plan.av", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(StartFromPlan(Parse("<avilo/>"), error));
}

} // namespace
