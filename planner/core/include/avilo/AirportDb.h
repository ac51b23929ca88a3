#pragma once
// Lookups on the airport database "airports.xml".
//
// Format: root `airportdb`; `airport` elements with the attributes `name` (unique key), `ICAO`,
// `GPSLon`, `GPSLat` (decimal degrees, east and north positive); `runway` children, each one
// physical runway used in both directions, with the optional attributes `prefix` ("L", "R",
// "C", ...), `heading` (true heading from the start threshold, degrees) and `magnvar` (magnetic
// variation, degrees east positive: magnetic heading = heading - magnvar), the attribute
// `elevation` (feet, as text), and the children `GPSRwyStart` and `GPSRwyEnd` holding
// `longitude` and `latitude` texts (the thresholds of the two directions).
//
// Missing required attributes or children raise xml::ComError.  Where this module reads them
// itself, the error's description names the database file, the airport, the runway and what it
// lacks.

#include "avilo/Export.h"

#include <xml/Dom.h>

#include <optional>
#include <string>
#include <vector>

namespace avilo::airports {

/// Half the side of the neighbourhood box, degrees of longitude and of latitude.
inline constexpr double kNeighbourhoodDegrees = 10.0;
/// Start of the running minimum of the nearest-airport search, degrees.
inline constexpr double kNoAirportDistance = 400.0;

/// The XPath query for the airports within +-10 degrees of longitude and latitude of (lon, lat),
/// bounds inclusive, written with "%13.10f"; the box is neither wrapped at +-180 degrees nor
/// clipped at the poles.
/// @param lon longitude, degrees east.  @param lat latitude, degrees north.
AVILO_PLANCORE_API std::string NeighbourhoodQuery(double lon, double lat);

/// The `airport` elements of the neighbourhood of (lon, lat), in document order: exactly what
/// NeighbourhoodQuery(lon, lat) selects.  The database's airports and their coordinates are
/// indexed on the first call and the index is kept until the document changes, so a query costs
/// a scan over plain numbers rather than an XPath evaluation over the whole database.
AVILO_PLANCORE_API xml::NodeList AirportsNear(const xml::DocumentPtr& db, double lon, double lat);

/// The same selection by evaluating NeighbourhoodQuery(lon, lat) with XPath (the reference the
/// index is tested and measured against).
AVILO_PLANCORE_API xml::NodeList AirportsNearByXPath(const xml::DocumentPtr& db, double lon,
                                                     double lat);

/// Why the airport database `db`, loaded from `file`, cannot serve lookups: the file could not
/// be read or is not well formed (its parse error, with line and column), or its root element is
/// not `airportdb`.  Empty for a sound database, airports or not.  The planner loads the database
/// without looking at the result, so this is what tells a missing or broken file from an empty
/// neighbourhood.
AVILO_PLANCORE_API std::string DatabaseProblem(const xml::DocumentPtr& db, const std::string& file);

/// The airports of `airports` that the lookups can use: those with the attributes `name`, `ICAO`,
/// `GPSLon` and `GPSLat`.  For each other one, a line is appended to `warnings` naming the
/// database file, the airport and what it lacks; the list itself keeps its order.
AVILO_PLANCORE_API xml::NodeList UsableAirports(const xml::NodeList& airports,
                                                std::vector<std::string>& warnings);

/// The airport of `airports` nearest to (lon, lat) by plain Euclidean distance in degrees (no
/// latitude correction); of equal distances the first wins.  Empty handle for an empty list.
AVILO_PLANCORE_API xml::Node NearestAirport(const xml::NodeList& airports, double lon, double lat);

/// The first airport named `name`, or an empty handle.  Any name matches itself, quotes included.
AVILO_PLANCORE_API xml::Node AirportByName(const xml::DocumentPtr& db, const std::string& name);

/// The `runway` elements of an airport, in document order.
AVILO_PLANCORE_API xml::NodeList Runways(const xml::Node& airport);

/// The runway designator of a magnetic heading: the heading in tens of degrees, rounded, in
/// 1..36 (0 and 36 both give 36).
/// @param magneticHeading degrees, any value (reduced modulo 360).
AVILO_PLANCORE_API int RunwayNumber(double magneticHeading);

/// Two entries per runway, start-to-end then opposite: the designator number followed by the
/// prefix letter (for the opposite direction "L" and "R" swap).  A runway without `heading` has
/// the bare prefix letters.  Runway k owns entries 2k and 2k + 1.
AVILO_PLANCORE_API std::vector<std::string> RunwayEntries(const xml::Node& airport);

/// The numbers of `runway` (at position `runwayIndex`, 0-based, among its airport's runways) that
/// are not numbers: `heading` and `magnvar` when present, and the thresholds' `longitude` and
/// `latitude` texts when present.  They are still read as atof reads them (the numeric prefix,
/// else 0); each line names the file, the airport, the runway (counted from 1), the value and
/// what it is read as.  Empty for a sound runway.
AVILO_PLANCORE_API std::vector<std::string> RunwayNumberProblems(const xml::Node& runway,
                                                                 long runwayIndex);

/// A runway direction chosen from the entries.
struct RunwayDirection {
    std::string heading;       ///< true heading, degrees: the attribute text, or for the
                               ///< opposite direction (heading + 180) mod 360 written with "%f"
    std::string magnvar;       ///< magnetic variation text, degrees
    std::string elevation;     ///< elevation text, feet
    std::string longitudeText; ///< threshold longitude text, degrees east
    std::string latitudeText;  ///< threshold latitude text, degrees north
    double longitude = 0;      ///< longitudeText read as atof does in the C locale
    double latitude = 0;       ///< latitudeText read as atof does in the C locale
};

/// Resolves one direction of `runway`, the element at position `runwayIndex` (0-based, document
/// order) among its airport's runways: start-to-end, or with `opposite` the reverse direction.
/// Needs `heading`, `magnvar`, `elevation` and both thresholds' `longitude` and `latitude`; a
/// missing one throws xml::ComError whose description names the file, the airport, the runway
/// (counted from 1) and the missing part.  Costs nothing per other runway, so listing every entry
/// of an airport is linear in its runways.
AVILO_PLANCORE_API RunwayDirection ResolveRunway(const xml::Node& runway, long runwayIndex,
                                                 bool opposite);

/// Resolves entry `index` of the airport's runway entries: runway index / 2, start-to-end for
/// even indices, opposite for odd ones.  Nothing when there is no such runway.
AVILO_PLANCORE_API std::optional<RunwayDirection> ResolveRunwayEntry(const xml::Node& airport,
                                                                     long index);

} // namespace avilo::airports
