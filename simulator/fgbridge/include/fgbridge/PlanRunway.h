#pragma once
// Where FlightGear starts for a flight plan: the take-off airport's identifier and runway, as
// its --airport and --runway options take them.

#include <optional>
#include <string>

namespace fgbridge {

struct PlanRunway {
    std::string airport; ///< the airport's short name (ICAO identifier), e.g. "EHAM"
    std::string runway;  ///< e.g. "09"
};

/// From the plan at `path`: the airport of the first steer point with a "takeoff" task, else of
/// the first steer point that has an airport.  Nothing, with `error` naming the file and what
/// is missing, when the file cannot be read or no steer point has an airport with a short name
/// and a runway.
std::optional<PlanRunway> RunwayOfPlan(const std::string& path, std::string& error);

} // namespace fgbridge
