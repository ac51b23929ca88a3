// Start positions taken from a flight script's take-off procedure or a plan's take-off airport.
#include <fssim/Start.h>

#include <xml/Dom.h>

#include <gtest/gtest.h>

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

TEST(Start, ScriptsThatCannotGiveAStart) {
    const std::pair<const char*, const char*> cases[] = {
        {"<flightscript><phase name=\"cruise\"/></flightscript>", "take-off procedure"},
        {"<flightscript><phase name=\"takeoff\"><task name=\"takeoff\"><procedure "
         "name=\"takeoff\"><runwayHeading>3</runwayHeading></procedure></task></phase>"
         "</flightscript>",
         "GPSRunway/latitude"},
    };
    for (const auto& [text, why] : cases) {
        std::string error;
        EXPECT_FALSE(StartFromScript(Parse(text), error));
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
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
    std::remove(path);
    ASSERT_TRUE(start) << error;
    EXPECT_EQ(start->latitude_deg, 52.33139702);
    EXPECT_EQ(start->heading_deg, 183.205903);

    EXPECT_FALSE(StartFromFile("/nonexistent/plan.av", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(StartFromPlan(Parse("<avilo/>"), error));
}

} // namespace
