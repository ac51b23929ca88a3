#include "avilo/AirportDb.h"

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

std::optional<RunwayDirection> ResolveRunwayEntry(const xml::Node& airport, long index) {
    if (index < 0)
        return std::nullopt;
    const xml::Node runway = Runways(airport).item(index / 2);
    if (runway.empty())
        return std::nullopt;
    const bool opposite = index % 2 == 1;
    RunwayDirection d;
    const std::string heading = runway.getAttribute("heading");
    if (opposite) {
        d.heading = numbers::Format("%f", std::fmod(numbers::ToDouble(heading) + 180.0, 360.0));
    } else {
        d.heading = heading;
    }
    d.magnvar = runway.getAttribute("magnvar");
    d.elevation = runway.getAttribute("elevation");
    const char* end = opposite ? "GPSRwyEnd" : "GPSRwyStart";
    d.longitudeText = runway.selectSingleNode(std::string(end) + "/longitude").text();
    d.latitudeText = runway.selectSingleNode(std::string(end) + "/latitude").text();
    d.longitude = numbers::ToDouble(d.longitudeText);
    d.latitude = numbers::ToDouble(d.latitudeText);
    return d;
}

} // namespace avilo::airports
