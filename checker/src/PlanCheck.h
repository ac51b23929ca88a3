#pragma once
// The examination of a flight plan: what the generator and the executor need of it, and what the
// aircraft of the aircraft database can fly.

#include "tessar/Export.h"

#include <xml/Dom.h>

#include <optional>
#include <string>
#include <vector>

namespace tessar {

/// The limits of the aircraft, in knots, feet and nautical miles; absent when the database does
/// not give them.
struct AircraftLimits {
    std::optional<double> minimumSpeedKt; ///< lowest airspeed to plan: speeds/minimum
    std::optional<double> maximumSpeedKt; ///< highest: speeds/maximumStructuralCruise
    std::optional<double> ceilingFt;      ///< climb/serviceCeiling
    std::optional<double> rangeNM;        ///< range
};

/// The limits of the first aircraft of the aircraft database ("/acdb/aircraft"), converted from
/// the units its `unit` attributes name (kt, km/h, mph; ft, m; NM, km, mi).  Figures that are
/// missing, not numbers or in unknown units are left absent.
AircraftLimits ReadAircraftLimits(const xml::DocumentPtr& acdb);

/// Great-circle distance between two points on the sphere of the IUGG mean earth radius
/// (tavola::kMeanEarthRadius, 6371.0088 km): the haversine distance of <tavola/GreatCircle.h>
/// in degrees of arc, scaled to that sphere.
/// @param lon1, lon2 longitudes, degrees (any range), east positive.
/// @param lat1, lat2 latitudes, degrees in [-90, 90], north positive.
/// @return nautical miles in [0, 10807.3]; within 0.5 % of the WGS-84 ellipsoidal distance.
/// Exported for the checker's tests, which measure it on a table of distances.
TESSAR_CORE_API double DistanceNM(double lon1, double lat1, double lon2, double lat2);

/// The problems of `plan`, one text each: "Steer point %i: <problem>." or
/// "Flight plan: <problem>." (without line break).  `db` is the generation database, or null
/// when it could not be loaded (then `dbError` tells why).  `types` are the steer point type
/// names of the plan schema (planformat::SteerPointTypeNames).
std::vector<std::string> FindProblems(const xml::DocumentPtr& plan, const xml::DocumentPtr& db,
                                      const std::string& dbError, const AircraftLimits& aircraft,
                                      const std::vector<std::string>& types);

} // namespace tessar
