#pragma once
// Flight scripts for the executor's tests, built as the generator lays them out; the logs the
// executor writes for them; and flying them with a silent console window.

#include <kestro/Execute.h>
#include <numbers/Numbers.h>
#include <xml/Dom.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestro_test {

struct Runway {
    double latitude = 52.31662258; // Schiphol runway 09 threshold
    double longitude = 4.74629843;
    double heading = 86.777965;
    double elevation_ft = -11;
};

inline std::string Num(double v) {
    return numbers::Format("%.8f", v);
}

inline std::string TakeoffPhase(const Runway& r = {}) {
    return "<phase name=\"takeoff\"><task name=\"takeoff\" steerpoint=\"0\"><procedure "
           "name=\"takeoff\"><GPSRunway><latitude>" +
           Num(r.latitude) + "</latitude><longitude>" + Num(r.longitude) +
           "</longitude></GPSRunway><runwayHeading>" + Num(r.heading) +
           "</runwayHeading><runwayMagnVar>1.77</runwayMagnVar><runwayElevation>" +
           Num(r.elevation_ft) +
           "</runwayElevation></procedure><GPSCoordinate><longitude>4.758121</"
           "longitude><latitude>52.314850</latitude></GPSCoordinate><timeOverSteerPoint>10:00</"
           "timeOverSteerPoint></task></phase>";
}

inline std::string CruiseTask(double latitude, double longitude, int steerpoint = 1) {
    return "<task name=\"cruise\" steerpoint=\"" + std::to_string(steerpoint) +
           "\"><procedure name=\"cruise\"><airspeed default=\"100\">100</airspeed><altitude "
           "default=\"3000\">3000</altitude></procedure><GPSCoordinate><longitude>" +
           Num(longitude) + "</longitude><latitude>" + Num(latitude) +
           "</latitude></GPSCoordinate><timeOverSteerPoint>10:08</timeOverSteerPoint></task>";
}

inline xml::DocumentPtr Script(const std::string& body) {
    auto doc = xml::Document::Create();
    if (!doc->loadXML("<?xml version='1.0' encoding='UTF-8'?><flightscript>" + body +
                      "</flightscript>"))
        throw std::runtime_error("bad test script: " + doc->parseError().reason);
    return doc;
}

inline const char* const kStartLog = "Starting flight script execution.\r\n\r\n"
                                     "Connected to Microsoft Flight Simulator 2002.\r\n\r\n";

inline const char* const kSeparator =
    "---------------------------------------------------------------------\r\n";

/// The take-off task's log with the classic law.
inline const std::string kTakeoffLog = std::string(kSeparator) +
                                       "Task: takeoff\r\n"
                                       "\tReleasing parking brakes.\r\n"
                                       "\tSetting mixture to rich and full throttle.\r\n"
                                       "\tWaiting for speed to exceed 45 knots.\r\n"
                                       "\tChange pitch for actual takeoff to 7 degrees up.\r\n"
                                       "\tAltitude is greater than 200 meters.\r\n"
                                       "\tWait for plane to reach 500 meters.\r\n"
                                       "\tAltitude reached. Level plane.\r\n"
                                       "\tAdjust throttle to 80 percent. Keep plane level.\r\n"
                                       "Takeoff task done.\r\n\r\n";

/// The same with the stabilised law, which rotates at 55 knots.
inline std::string StabilisedTakeoffLog() {
    std::string log = kTakeoffLog;
    const std::string_view classic = "exceed 45 knots";
    return log.replace(log.find(classic), classic.size(), "exceed 55 knots");
}

inline const char* const kNextPhase = "Next phase.\r\n\r\n";
inline const char* const kFinished = "Finished executing the flight script.\r\n\r\n";

/// The whole log of a script of the take-off phase alone, flown to its end with the classic law.
inline std::string TakeoffFlightLog() {
    return kStartLog + kTakeoffLog + kNextPhase + kFinished;
}

/// Flies `script` in a console window that writes nothing; returns how it ended.
inline kestro::ExecutionResult Execute(const xml::DocumentPtr& script,
                                       const kestro::FlightOptions& options) {
    kestro::CConsoleWindow window([](std::string_view) {}, [](std::string_view) {});
    return kestro::ExecuteFlightScript(script, options, window);
}

} // namespace kestro_test
