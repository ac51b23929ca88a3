#pragma once
// What the exporters and the importer share: a plan's steer points read once, numbers and times
// as the formats write them, and small DOM helpers.

#include <xml/Dom.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exchange::detail {

/// A steer point of a plan, with the numbers the exports need.
struct PlanPoint {
    xml::Node node;                    ///< the `steerpoint` element
    double latitude = 0;               ///< degrees north
    double longitude = 0;              ///< degrees east
    std::string type;                  ///< "airport", "GPS" or empty
    std::optional<double> altitude_ft; ///< GPS altitude or airport runway elevation, feet
    std::optional<double> airspeed_kt; ///< GPS airspeed, knots
    std::string time;                  ///< time over steer point text
    std::string icao;                  ///< airport `shortname`
    std::string airportName;           ///< airport `name`
    std::string runway;                ///< airport `runway`
};

/// The steer points of `plan`.  Throws ExchangeError when the root is not `avilo`, or a steer
/// point's position is missing or not a finite number within [-90, 90] and [-180, 180].
std::vector<PlanPoint> ReadPlan(const xml::DocumentPtr& plan);

/// Minutes since midnight of a "hh:mm" text (h 0..23, m 0..59; one or two digits each).
std::optional<int> MinutesOfDay(std::string_view hhmm);

/// "2000-01-01" plus `days`, as "YYYY-MM-DD".
std::string ReferenceDate(int days);

/// For each text of `times` that is a valid "hh:mm", the GPX time "YYYY-MM-DDThh:mm:00Z" on the
/// reference date, moved a day on whenever the clock goes back; empty for the others.
std::vector<std::string> DatedTimes(const std::vector<std::string>& times);

/// Degrees with nine decimals, metres with four, in the C locale.
std::string Degrees(double value);
std::string Metres(double value);
/// A number with up to `decimals` decimals, trailing zeros (and a bare point) removed.
std::string Trimmed(double value, int decimals);

/// Appends an element `name` to `parent`, with `text` when not empty, and returns it.
xml::Node Add(xml::Node parent, std::string_view name, std::string_view text = {});

/// A new document with the xml declaration and a root element `root`.
xml::DocumentPtr NewDocument(std::string_view root);

/// The name of an element without its namespace prefix.
std::string LocalName(const xml::Node& node);

/// The child elements of `parent` whose local name is `name`, in document order.
std::vector<xml::Node> Children(const xml::Node& parent, std::string_view name);
/// The first of them, or an empty handle.
xml::Node Child(const xml::Node& parent, std::string_view name);

} // namespace exchange::detail
