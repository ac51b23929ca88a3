#pragma once
// Plans and flights in the formats other tools read: GPX 1.1 (GPS receivers, other planners),
// FlightGear's route manager, and KML (globe viewers); and routes, tracks and waypoints of GPX
// and KML files read into a plan.
//
// Units.  Positions are WGS 84 decimal degrees, north and east positive, written with nine
// decimals (1e-9 degrees, about 0.1 mm).  A plan's altitudes and runway elevations are feet;
// GPX `ele` and KML altitudes are metres above mean sea level (tavola::kMetresPerFoot), written
// to 0.1 mm.  A plan's time over steer point is "hh:mm" without a date: GPX times carry the
// reference date 2000-01-01 UTC, one day later each time the clock goes back (past midnight).
//
// Nothing is lost silently: every export and import returns the list of what the other format
// has no place for, or what was filled in, one line each.  An Avilo GPX file carries the plan's
// own steer point data (phase, tasks, time, airport or GPS element) in each route point's
// `extensions`, element `steerpoint` in the namespace "urn:avilo", so that a plan exported and
// imported again is the same plan; other readers ignore it.

#include "exchange/Export.h"

#include <xml/Dom.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace exchange {

/// What cannot be read or written: the message names the file, the element or field, and what is
/// wrong with it.
class AVILO_EXCHANGE_API ExchangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The formats, chosen by a file name's extension (case-insensitive): ".gpx"; ".kml"; ".fgfp"
/// (FlightGear's route manager; ".xml" is taken too, as FlightGear saves routes under either);
/// ".csv" (the flown track's own table, for tracks only).
enum class Format { Gpx, Kml, FlightGearRoute, Csv };
AVILO_EXCHANGE_API std::optional<Format> FormatOfPath(const std::string& path);

/// An exported document and what it could not carry.
struct Exported {
    xml::DocumentPtr document;
    std::vector<std::string> notes;
};

/// A plan (root `avilo`, the planner's vocabulary) as a GPX 1.1 route: one `rtept` per steer
/// point with `lat`, `lon`, `ele` (the GPS altitude, or the take-off airport's runway elevation),
/// `time` where the time over steer point is a valid "hh:mm", and `name` (the take-off airport's
/// ICAO code; "SP<n>" for the others, n counted from 1 over all steer points).  `title` names the
/// route.  Throws ExchangeError when the plan is not one or a position is not a number.
AVILO_EXCHANGE_API Exported PlanToGpx(const xml::DocumentPtr& plan, const std::string& title);

/// A plan as a FlightGear route-manager file (PropertyList, route version 2): the departure
/// airport and runway of the first airport steer point, then one `wp` of type "basic" per GPS
/// steer point with `lat`, `lon`, `altitude-ft` and `speed` (knots) restricted "at".  Airport
/// steer points after the first become basic waypoints at their position.
AVILO_EXCHANGE_API Exported PlanToFlightGearRoute(const xml::DocumentPtr& plan);

/// A plan as KML 2.2: the steer points as placemarks and the route as a 3-D line at the planned
/// altitudes (metres, altitudeMode "absolute").
AVILO_EXCHANGE_API Exported PlanToKml(const xml::DocumentPtr& plan, const std::string& title);

/// One point of a flown track.
struct FlownPoint {
    double time_s = 0;        ///< seconds since the flight's start
    double latitude_deg = 0;  ///< degrees north
    double longitude_deg = 0; ///< degrees east
    double altitude_m = 0;    ///< metres above mean sea level
};

/// The take-off time of `plan` (the time over its first steer point, "hh:mm"), minutes after
/// midnight UTC of the reference date; 0 when the plan is null or has no valid time there.
AVILO_EXCHANGE_API int FlightStartMinutes(const xml::DocumentPtr& plan);

/// A flown track as a GPX 1.1 track named `title`: one segment, the `time` of every point to the
/// millisecond, counted from `startMinutes` (minutes after midnight) of the reference date.
AVILO_EXCHANGE_API xml::DocumentPtr TrackToGpx(const std::vector<FlownPoint>& track,
                                               int startMinutes, const std::string& title);

/// A flight as KML 2.2 for a globe viewer: the planned route of `plan` (may be null) and the
/// flown track, both as 3-D lines at their altitudes (altitudeMode "absolute").
AVILO_EXCHANGE_API xml::DocumentPtr FlightToKml(const xml::DocumentPtr& plan,
                                                const std::vector<FlownPoint>& track,
                                                const std::string& title);

/// The most points an imported route may have.  A track of a whole day sampled every second
/// stays below it; far more would make a plan no planner list or chart window can show.
inline constexpr std::size_t kMaxImportedPoints = 100000;

/// An imported plan and what it could not carry over or had to fill in.
struct Imported {
    xml::DocumentPtr plan;
    std::vector<std::string> notes;
};

/// Reads the route of a GPX 1.1 or KML file (by its root element, `gpx` or `kml`) into a plan.
/// Of a GPX file the first route is read, else the first track (its segments joined), else the
/// waypoints; of a KML file the first line (`LineString`), else the point placemarks.
///
/// The first point becomes the take-off airport steer point (phase and task "takeoff") on a
/// runway of the nearest airport of `airports` (avilo::airports::NearestAirport over the usable
/// airports of the neighbourhood), resolved as the airport dialog resolves it: the runway named
/// by the point's Avilo data when that airport has it, else the runway direction whose threshold
/// lies nearest to the point; the steer point then lies on that threshold (the distance moved is
/// noted), except for a point of an Avilo file, whose position is kept.  Every other point
/// becomes a GPS steer point with phase and task "cruise" (or its Avilo data), the altitude from
/// its elevation (feet) or else the previous point's, the airspeed and time over steer point
/// from the previous point's (or the point's own time), and the heading of the leg that ends at
/// it (degrees true, TrueCourse of tavola/GreatCircle.h).
///
/// The file is loaded with the XML layer's limits (xml::kMaxDocumentBytes, kMaxElementDepth).
/// Throws ExchangeError, naming `path` and the element, when the file cannot be read or is
/// neither GPX nor KML, holds no point, more than kMaxImportedPoints points, a position or
/// elevation that is not a finite number or lies beyond the poles or the date line, or when no
/// airport lies near the first point.
AVILO_EXCHANGE_API Imported ImportRoute(const std::string& path, const xml::DocumentPtr& airports);

/// The same from the document `source`, already loaded (`name` is used in messages).
AVILO_EXCHANGE_API Imported ImportRoute(const xml::DocumentPtr& source, const std::string& name,
                                        const xml::DocumentPtr& airports);

} // namespace exchange
