#pragma once
// Where to start a flight: the runway of a flight script's take-off procedure, or of a flight
// plan's take-off steer point.
//
// The runway position is GPSRunway's latitude and longitude (degrees, within +-90 and +-180),
// the heading is runwayHeading (degrees true, any finite angle: the airport database's headings
// are true headings), the elevation is runwayElevation (feet, -1500 to 30000).  Each must be a
// finite number filling its element's text (blanks around it allowed); anything else is refused,
// since it would start the aircraft at 0 N 0 E or nowhere.

#include "fssim/Export.h"
#include "fssim/Simulator.h"

#include <optional>
#include <string>

namespace xml {
class Document;
}

namespace fssim {

/// What makes `start` unusable, named by the fssim option that sets the value ("--lat 95 is out
/// of range (-90 to 90)"); empty when every value is finite and within the ranges above.
FSSIM_CORE_API std::string StartProblem(const StartPosition& start);

/// From a flight script: the procedure
/// /flightscript/phase[@name="takeoff"]/task[@name="takeoff"]/procedure[@name="takeoff"].
/// Empty with `error` set when it or one of its values is missing, no finite number or out of
/// range.
FSSIM_CORE_API std::optional<StartPosition>
StartFromScript(const std::shared_ptr<xml::Document>& script, std::string& error);

/// From a flight plan: the airport of the first steer point with a "takeoff" task, else of the
/// first steer point that has an airport.
FSSIM_CORE_API std::optional<StartPosition>
StartFromPlan(const std::shared_ptr<xml::Document>& plan, std::string& error);

/// Loads `path` and takes the start from it as a script (root "flightscript") or a plan (root
/// "avilo").
FSSIM_CORE_API std::optional<StartPosition> StartFromFile(const std::string& path,
                                                          std::string& error);

} // namespace fssim
