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
// Missing required attributes or children raise xml::ComError from the DOM access.

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

/// Resolves entry `index` of the airport's runway entries: runway index / 2, start-to-end for
/// even indices, opposite for odd ones.  Nothing when there is no such runway.
AVILO_PLANCORE_API std::optional<RunwayDirection> ResolveRunwayEntry(const xml::Node& airport,
                                                                     long index);

} // namespace avilo::airports
