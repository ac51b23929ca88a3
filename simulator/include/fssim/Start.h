#pragma once
// Where to start a flight: the runway of a flight script's take-off procedure, or of a flight
// plan's take-off steer point.
//
// The runway position is GPSRunway's latitude and longitude (degrees), the heading is
// runwayHeading (degrees true: the airport database's headings are true headings), the
// elevation is runwayElevation (feet).  Numbers are read as decimal text (a leading number; text
// without one reads as 0).

#include "fssim/Export.h"
#include "fssim/Simulator.h"

#include <optional>
#include <string>

namespace xml {
class Document;
}

namespace fssim {

/// From a flight script: the procedure
/// /flightscript/phase[@name="takeoff"]/task[@name="takeoff"]/procedure[@name="takeoff"].
/// Empty with `error` set when it or one of its values is missing.
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
