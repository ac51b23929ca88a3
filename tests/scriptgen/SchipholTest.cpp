// The sample Schiphol departure through the shipped generation database: the script the executor
// flies, whole, and a plan left as it was.
#include "TempDir.h"

#include "scrivo/Scrivo.h"

#include <gtest/gtest.h>

namespace {

const std::string SEP = "-------------------------------------------------------------------\r\n";

TEST(Schiphol, GeneratesTheDepartureScript) {
    TempWorkDir dir;
    dir.copyData("avilo.xsd");
    dir.copyData("scrivodb.xml");
    const xml::DocumentPtr plan = xml::Document::Create();
    ASSERT_TRUE(plan->load(std::string(AVILO_DATA_DIR) + "/plans/schiphol-departure.av"));
    const std::string before = plan->xml();

    ui::LogCapture capture;
    const xml::DocumentPtr script = scrivo::GenerateFlightScript(plan);
    EXPECT_EQ(plan->xml(), before);

    const std::string found = "  Corresponding task found in Flight Script generation XML "
                              "database.\r\n  Cloning it into flight script.\r\n";
    auto cruise = [&](int sp) {
        const std::string n = std::to_string(sp);
        return "  Found task cruise in steer point " + n + " (phase: cruise).\r\n" + found +
               "Done inserting steer point " + n + " into Flight Script.\r\n\r\n";
    };
    auto parameters = [](int sp, const std::string& airspeed, const std::string& altitude) {
        return "Setting parameters for flight procedure: (cruise/)cruise from steer point " +
               std::to_string(sp) + ".\r\n  airspeed: <airspeed>" + airspeed +
               "</airspeed>\r\n  altitude: <altitude>" + altitude + "</altitude>\r\n\r\n";
    };
    EXPECT_EQ(capture.text(),
              "Loading Flight Script generation XML database.\r\n"
              "Done loading Scrivodb.\r\n\r\n" +
                  SEP +
                  "Creating Flight Script XML document.\r\n"
                  "Done creating flight script.\r\n\r\n" +
                  SEP +
                  "Creating task list for every steer point in the Flight Plan.\r\n\r\n"
                  "Flight plan phase: takeoff\r\n"
                  "  Found task takeoff in steer point 0 (phase: takeoff).\r\n" +
                  found +
                  "Done inserting steer point 0 into Flight Script.\r\n\r\n"
                  "Flight plan phase: cruise\r\n" +
                  cruise(1) + cruise(2) + cruise(3) +
                  "Done adding tasks to Flight Script.\r\n\r\n" + SEP +
                  "Setting parameters for all flight procedures in the Flight Script.\r\n\r\n"
                  "Setting parameters for flight procedure: (takeoff/)takeoff from steer point "
                  "0.\r\n"
                  "  GPSRunway: <GPSRunway><latitude>52.31662258</latitude>"
                  "<longitude>4.74629843</longitude></GPSRunway>\r\n"
                  "  runwayHeading: <runwayHeading>86.777965</runwayHeading>\r\n"
                  "  runwayMagnVar: <runwayMagnVar>1.767965</runwayMagnVar>\r\n"
                  "  runwayElevation: <runwayElevation>-11</runwayElevation>\r\n\r\n" +
                  parameters(1, "90", "1500") + parameters(2, "100", "2500") +
                  parameters(3, "100", "3000") + "Done setting parameters.\r\n\r\n" + SEP +
                  "Flight Script is generated.\r\n\r\n");

    auto position = [](const char* lon, const char* lat, const char* time) {
        return std::string("<GPSCoordinate><longitude>") + lon + "</longitude><latitude>" + lat +
               "</latitude></GPSCoordinate><timeOverSteerPoint>" + time + "</timeOverSteerPoint>";
    };
    auto leg = [&](int sp, const char* airspeed, const char* altitude, const std::string& pos) {
        return "<task name=\"cruise\" steerpoint=\"" + std::to_string(sp) +
               "\"><procedure name=\"cruise\"><airspeed>" + airspeed + "</airspeed><altitude>" +
               altitude + "</altitude></procedure>" + pos + "</task>";
    };
    EXPECT_EQ(script->documentElement().xml(),
              "<flightscript><phase name=\"takeoff\"><task name=\"takeoff\" steerpoint=\"0\">"
              "<procedure name=\"takeoff\"><GPSRunway><latitude>52.31662258</latitude>"
              "<longitude>4.74629843</longitude></GPSRunway><runwayHeading>86.777965"
              "</runwayHeading><runwayMagnVar>1.767965</runwayMagnVar><runwayElevation>-11"
              "</runwayElevation></procedure>" +
                  position("4.758121", "52.314850", "10:00") +
                  "</task></phase><phase name=\"cruise\">" +
                  leg(1, "90", "1500", position("4.980000", "52.330000", "10:08")) +
                  leg(2, "100", "2500", position("5.160000", "52.280000", "10:15")) +
                  leg(3, "100", "3000", position("5.300000", "52.420000", "10:22")) +
                  "</phase></flightscript>");
    // The executor's query for the take-off procedure finds it.
    EXPECT_TRUE(script->selectSingleNode("/flightscript/phase[@name=\"takeoff\"]/task[@name="
                                         "\"takeoff\"]/procedure[@name=\"takeoff\"]/GPSRunway"));
}

} // namespace
