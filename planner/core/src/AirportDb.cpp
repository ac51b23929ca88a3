#include "avilo/AirportDb.h"

#include "avilo/PlanDocuments.h"

#include <numbers/Numbers.h>

#include <cmath>
#include <string>
#include <vector>

namespace avilo::airports {

namespace {
std::string Bound(double value) {
    return numbers::Format("%13.10f", value);
}
} // namespace

std::string NeighbourhoodQuery(double lon, double lat) {
    return "/airportdb/airport[(@GPSLon>=" + Bound(lon - kNeighbourhoodDegrees) +
           " and @GPSLon<=" + Bound(lon + kNeighbourhoodDegrees) +
           ") and (@GPSLat>=" + Bound(lat - kNeighbourhoodDegrees) +
           " and @GPSLat<=" + Bound(lat + kNeighbourhoodDegrees) + ")]";
}

namespace {

// XPath 1.0 number(): optional white space, an optional minus, digits with an optional point,
// optional white space; anything else is NaN (which compares false).
double XPathNumber(const char* text) {
    const char* p = text;
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (space(*p))
        ++p;
    const char* start = p;
    if (*p == '-')
        ++p;
    bool digits = false;
    while (*p >= '0' && *p <= '9') {
        ++p;
        digits = true;
    }
    if (*p == '.') {
        ++p;
        while (*p >= '0' && *p <= '9') {
            ++p;
            digits = true;
        }
    }
    const char* end = p;
    while (space(*p))
        ++p;
    if (!digits || *p != '\0')
        return std::nan("");
    return numbers::ToDouble(std::string_view(start, static_cast<std::size_t>(end - start)));
}

struct IndexedAirport {
    xml::NodeKey key;
    double lon; // XPath number of @GPSLon (NaN when absent or not a number)
    double lat; // XPath number of @GPSLat
};

using AirportIndex = std::vector<IndexedAirport>;

// Every airport the neighbourhood query can select, in document order, with its coordinates as
// the query compares them.  Kept with the document until its content changes.
AirportIndex BuildIndex(xml::Document& db) {
    AirportIndex index;
    for (const xml::Node& airport : db.selectNodes("/airportdb/airport")) {
        const xml::Node lon = airport.getAttributeNode("GPSLon");
        const xml::Node lat = airport.getAttributeNode("GPSLat");
        index.push_back({airport.key(),
                         lon.empty() ? std::nan("") : XPathNumber(lon.text().c_str()),
                         lat.empty() ? std::nan("") : XPathNumber(lat.text().c_str())});
    }
    return index;
}

// A bound as the query text carries it: formatted with "%13.10f" and read back.
double QueryBound(double value) {
    return numbers::ToDouble(Bound(value));
}

} // namespace

xml::NodeList AirportsNear(const xml::DocumentPtr& db, double lon, double lat) {
    // Selects exactly what NeighbourhoodQuery(lon, lat) selects, without evaluating XPath over
    // the whole database on every call.
    const AirportIndex& index = db->memo<AirportIndex>("avilo.airports.neighbourhood", BuildIndex);
    const double west = QueryBound(lon - kNeighbourhoodDegrees);
    const double east = QueryBound(lon + kNeighbourhoodDegrees);
    const double south = QueryBound(lat - kNeighbourhoodDegrees);
    const double north = QueryBound(lat + kNeighbourhoodDegrees);
    std::vector<xml::Node> near;
    for (const IndexedAirport& a : index)
        if (a.lon >= west && a.lon <= east && a.lat >= south && a.lat <= north)
            near.push_back(db->nodeFromKey(a.key));
    return xml::NodeList(std::move(near));
}

xml::NodeList AirportsNearByXPath(const xml::DocumentPtr& db, double lon, double lat) {
    return db->selectNodes(NeighbourhoodQuery(lon, lat));
}

std::string DatabaseProblem(const xml::DocumentPtr& db, const std::string& file) {
    const std::string what = "The airport database \"" + file + "\" ";
    const xml::ParseError& error = db->parseError();
    if (error.errorCode != 0) {
        if (error.line == 0) // not read at all: missing, unreadable
            return what + "cannot be read: " + error.reason;
        return what + "is not well formed: " + error.reason + " (line " +
               std::to_string(error.line) + ", column " + std::to_string(error.linepos) + ")";
    }
    const xml::Node root = db->documentElement();
    if (root.empty())
        return what + "has no root element; expected <airportdb>.";
    if (root.nodeName() != "airportdb")
        return what + "has the root element <" + root.nodeName() + ">; expected <airportdb>.";
    return {};
}

namespace {

constexpr const char* kSource = "avilo airport database";

// How a message names an airport: by name, else by ICAO code, else by its position (which every
// airport of a neighbourhood has).
std::string Describe(const xml::Node& airport) {
    if (const xml::Node name = airport.getAttributeNode("name"); !name.empty())
        return "airport \"" + name.text() + "\"";
    if (const xml::Node icao = airport.getAttributeNode("ICAO"); !icao.empty())
        return "the airport with ICAO code \"" + icao.text() + "\"";
    const xml::Node lon = airport.getAttributeNode("GPSLon");
    const xml::Node lat = airport.getAttributeNode("GPSLat");
    return "the airport at GPSLon=\"" + (lon.empty() ? std::string() : lon.text()) +
           "\" GPSLat=\"" + (lat.empty() ? std::string() : lat.text()) + "\"";
}

std::string Where(const xml::Node& runway, long runwayIndex) {
    return std::string("The airport database \"") + kAirportDatabaseFile + "\": runway " +
           std::to_string(runwayIndex + 1) + " of " + Describe(runway.parentNode());
}

std::string RequiredAttribute(const xml::Node& runway, long runwayIndex, const char* name) {
    const xml::Node a = runway.getAttributeNode(name);
    if (a.empty())
        throw xml::ComError(xml::hr::DISP_E_TYPEMISMATCH_, kSource,
                            Where(runway, runwayIndex) + " has no attribute '" + name + "'.");
    return a.text();
}

std::string RequiredText(const xml::Node& runway, long runwayIndex, const std::string& path) {
    const xml::Node n = runway.selectSingleNode(path);
    if (n.empty())
        throw xml::ComError(xml::hr::E_POINTER_, kSource,
                            Where(runway, runwayIndex) + " has no element <" + path + ">.");
    return n.text();
}

} // namespace

xml::NodeList UsableAirports(const xml::NodeList& airports, std::vector<std::string>& warnings) {
    std::vector<xml::Node> usable;
    usable.reserve(static_cast<std::size_t>(airports.length()));
    for (const xml::Node& airport : airports) {
        std::string missing;
        for (const char* key : {"name", "ICAO", "GPSLon", "GPSLat"})
            if (airport.getAttributeNode(key).empty())
                missing += (missing.empty() ? "'" : ", '") + std::string(key) + "'";
        if (missing.empty()) {
            usable.push_back(airport);
            continue;
        }
        warnings.push_back(std::string("The airport database \"") + kAirportDatabaseFile + "\": " +
                           Describe(airport) + " has no attribute " + missing + "; it is skipped.");
    }
    return xml::NodeList(std::move(usable));
}

xml::Node NearestAirport(const xml::NodeList& airports, double lon, double lat) {
    double best = kNoAirportDistance;
    xml::Node nearest;
    for (const xml::Node& airport : airports) {
        const double dx = numbers::ToDouble(airport.getAttribute("GPSLon")) - lon;
        const double dy = numbers::ToDouble(airport.getAttribute("GPSLat")) - lat;
        const double distance = std::sqrt(dx * dx + dy * dy);
        if (distance < best) {
            best = distance;
            nearest = airport;
        }
    }
    return nearest;
}

xml::Node AirportByName(const xml::DocumentPtr& db, const std::string& name) {
    return db->selectSingleNode("/airportdb/airport[@name=" + xml::XPathLiteral(name) + "]");
}

xml::NodeList Runways(const xml::Node& airport) {
    return airport.selectNodes("runway");
}

int RunwayNumber(double magneticHeading) {
    // Rounded tens of degrees, reduced into 1..36 whatever the heading: a heading just west of
    // north with west variation must not give 37, nor one just east with east variation -1.
    long n = static_cast<long>(std::floor(magneticHeading / 10.0 + 0.5)) % 36;
    if (n <= 0)
        n += 36;
    return static_cast<int>(n);
}

std::vector<std::string> RunwayEntries(const xml::Node& airport) {
    std::vector<std::string> entries;
    for (const xml::Node& runway : Runways(airport)) {
        const xml::Node prefix = runway.getAttributeNode("prefix");
        const std::string p1 = prefix.empty() ? std::string() : prefix.text();
        const std::string p2 = p1 == "L" ? "R" : p1 == "R" ? "L" : p1;
        const xml::Node heading = runway.getAttributeNode("heading");
        if (heading.empty()) {
            entries.push_back(p1);
            entries.push_back(p2);
            continue;
        }
        double m = numbers::ToDouble(heading.text());
        const xml::Node magnvar = runway.getAttributeNode("magnvar");
        if (!magnvar.empty())
            m -= numbers::ToDouble(magnvar.text());
        entries.push_back(std::to_string(RunwayNumber(m)) + p1);
        entries.push_back(std::to_string(RunwayNumber(m + 180.0)) + p2);
    }
    return entries;
}

std::vector<std::string> RunwayNumberProblems(const xml::Node& runway, long runwayIndex) {
    std::vector<std::string> problems;
    auto check = [&](const xml::Node& value, const std::string& what) {
        if (value.empty())
            return;
        const std::string text = value.text();
        if (!numbers::Parse(text))
            problems.push_back(Where(runway, runwayIndex) + ": " + what + " \"" + text +
                               "\" is not a number; it is read as " +
                               numbers::Format("%g", numbers::ToDouble(text)) + ".");
    };
    check(runway.getAttributeNode("heading"), "the attribute 'heading'");
    check(runway.getAttributeNode("magnvar"), "the attribute 'magnvar'");
    for (const char* path : {"GPSRwyStart/longitude", "GPSRwyStart/latitude", "GPSRwyEnd/longitude",
                             "GPSRwyEnd/latitude"})
        check(runway.selectSingleNode(path), std::string("the element <") + path + ">");
    return problems;
}

RunwayDirection ResolveRunway(const xml::Node& runway, long runwayIndex, bool opposite) {
    RunwayDirection d;
    const std::string heading = RequiredAttribute(runway, runwayIndex, "heading");
    if (opposite) {
        d.heading = numbers::Format("%f", std::fmod(numbers::ToDouble(heading) + 180.0, 360.0));
    } else {
        d.heading = heading;
    }
    d.magnvar = RequiredAttribute(runway, runwayIndex, "magnvar");
    d.elevation = RequiredAttribute(runway, runwayIndex, "elevation");
    const std::string end = opposite ? "GPSRwyEnd" : "GPSRwyStart";
    d.longitudeText = RequiredText(runway, runwayIndex, end + "/longitude");
    d.latitudeText = RequiredText(runway, runwayIndex, end + "/latitude");
    d.longitude = numbers::ToDouble(d.longitudeText);
    d.latitude = numbers::ToDouble(d.latitudeText);
    return d;
}

std::optional<RunwayDirection> ResolveRunwayEntry(const xml::Node& airport, long index) {
    if (index < 0)
        return std::nullopt;
    const xml::Node runway = Runways(airport).item(index / 2);
    if (runway.empty())
        return std::nullopt;
    return ResolveRunway(runway, index / 2, index % 2 == 1);
}

} // namespace avilo::airports
