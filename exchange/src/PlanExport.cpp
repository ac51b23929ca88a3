// Plans as GPX routes, FlightGear routes and KML.

#include "ExchangeCommon.h"

#include "exchange/Exchange.h"

#include <numbers/Numbers.h>
#include <tavola/Units.h>

#include <algorithm>
#include <cctype>

namespace exchange {

using namespace detail;

namespace {

constexpr const char* kGpxNamespace = "http://www.topografix.com/GPX/1/1";
constexpr const char* kKmlNamespace = "http://www.opengis.net/kml/2.2";

std::string PointName(const PlanPoint& p, std::size_t index) {
    if (p.type == "airport" && !p.icao.empty())
        return p.icao;
    return "SP" + std::to_string(index + 1);
}

/// A runway designator as FlightGear names runways, with two digits: "9" and "09" give "09",
/// "9L" gives "09L".
std::string TwoDigitRunway(const std::string& runway) {
    if (!runway.empty() && std::isdigit(static_cast<unsigned char>(runway[0])) &&
        (runway.size() == 1 || !std::isdigit(static_cast<unsigned char>(runway[1]))))
        return "0" + runway;
    return runway;
}

} // namespace

std::optional<Format> FormatOfPath(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return std::nullopt;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "gpx")
        return Format::Gpx;
    if (ext == "kml")
        return Format::Kml;
    if (ext == "fgfp" || ext == "xml")
        return Format::FlightGearRoute;
    if (ext == "csv")
        return Format::Csv;
    return std::nullopt;
}

Exported PlanToGpx(const xml::DocumentPtr& plan, const std::string& title) {
    const std::vector<PlanPoint> points = ReadPlan(plan);
    std::vector<std::string> times;
    for (const PlanPoint& p : points)
        times.push_back(p.time);
    const std::vector<std::string> dated = DatedTimes(times);

    Exported out{NewDocument("gpx"), {}};
    xml::Node gpx = out.document->documentElement();
    gpx.setAttribute("version", "1.1");
    gpx.setAttribute("creator", "Avilo");
    gpx.setAttribute("xmlns", kGpxNamespace);
    Add(Add(gpx, "metadata"), "name", title);
    xml::Node rte = Add(gpx, "rte");
    Add(rte, "name", title);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const PlanPoint& p = points[i];
        xml::Node pt = Add(rte, "rtept");
        pt.setAttribute("lat", Degrees(p.latitude));
        pt.setAttribute("lon", Degrees(p.longitude));
        if (p.altitude_ft)
            Add(pt, "ele", Metres(*p.altitude_ft * tavola::kMetresPerFoot));
        else
            out.notes.push_back(numbers::Format("steer point %zu: no altitude (no ele)", i + 1));
        if (!dated[i].empty())
            Add(pt, "time", dated[i]);
        else
            out.notes.push_back(
                numbers::Format("steer point %zu: time over steer point \"", i + 1) + p.time +
                "\" is no time of day hh:mm (no time)");
        Add(pt, "name", PointName(p, i));
        // The steer point's own data for Avilo, in its own namespace: everything but the position.
        xml::Node sp = Add(Add(pt, "extensions"), "steerpoint");
        sp.setAttribute("xmlns", "urn:avilo");
        if (const xml::Node phase = p.node.getAttributeNode("phase"); !phase.empty())
            sp.setAttribute("phase", phase.text());
        for (xml::Node c = p.node.firstChild(); !c.empty(); c = c.nextSibling())
            if (c.nodeType() == xml::NodeType::Element && c.nodeName() != "GPSCoordinate")
                sp.appendChild(c);
    }
    return out;
}

Exported PlanToFlightGearRoute(const xml::DocumentPtr& plan) {
    const std::vector<PlanPoint> points = ReadPlan(plan);
    Exported out{NewDocument("PropertyList"), {}};
    xml::Node root = out.document->documentElement();
    auto typed = [](const xml::Node& parent, std::string_view name, const char* type,
                    std::string_view text) { Add(parent, name, text).setAttribute("type", type); };
    typed(root, "version", "int", "2");
    std::size_t first = 0;
    if (!points.empty() && points[0].type == "airport") {
        xml::Node departure = Add(root, "departure");
        typed(departure, "airport", "string", points[0].icao);
        typed(departure, "runway", "string", TwoDigitRunway(points[0].runway));
        first = 1;
    } else {
        out.notes.push_back("the first steer point is no airport: the route has no departure");
    }
    xml::Node route = Add(root, "route");
    for (std::size_t i = first; i < points.size(); ++i) {
        const PlanPoint& p = points[i];
        xml::Node wp = Add(route, "wp");
        wp.setAttribute("n", std::to_string(i - first));
        typed(wp, "type", "string", "basic");
        typed(wp, "ident", "string", PointName(p, i));
        typed(wp, "lon", "double", Degrees(p.longitude));
        typed(wp, "lat", "double", Degrees(p.latitude));
        if (p.altitude_ft) {
            typed(wp, "alt-restrict", "string", "at");
            typed(wp, "altitude-ft", "double", Trimmed(*p.altitude_ft, 4));
        } else {
            out.notes.push_back(numbers::Format("steer point %zu: no altitude", i + 1));
        }
        if (p.airspeed_kt) {
            typed(wp, "speed-restrict", "string", "at");
            typed(wp, "speed", "double", Trimmed(*p.airspeed_kt, 4));
        }
        if (p.type == "airport")
            out.notes.push_back(numbers::Format("steer point %zu: the airport ", i + 1) + p.icao +
                                " is a plain waypoint at its position and runway elevation");
    }
    out.notes.push_back("times over steer point, phases, tasks and headings (a FlightGear route "
                        "has no place for them)");
    return out;
}

Exported PlanToKml(const xml::DocumentPtr& plan, const std::string& title) {
    const std::vector<PlanPoint> points = ReadPlan(plan);
    Exported out{NewDocument("kml"), {}};
    xml::Node kml = out.document->documentElement();
    kml.setAttribute("xmlns", kKmlNamespace);
    xml::Node doc = Add(kml, "Document");
    Add(doc, "name", title);
    xml::Node style = Add(doc, "Style");
    style.setAttribute("id", "route");
    xml::Node line = Add(style, "LineStyle");
    Add(line, "color", "ff00a5ff");
    Add(line, "width", "3");
    std::string coordinates;
    double altitude_m = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const PlanPoint& p = points[i];
        if (p.altitude_ft)
            altitude_m = *p.altitude_ft * tavola::kMetresPerFoot;
        else
            out.notes.push_back(numbers::Format("steer point %zu: no altitude (the previous "
                                                "one's is drawn)",
                                                i + 1));
        const std::string tuple =
            Degrees(p.longitude) + "," + Degrees(p.latitude) + "," + Metres(altitude_m);
        xml::Node mark = Add(doc, "Placemark");
        Add(mark, "name", PointName(p, i));
        xml::Node point = Add(mark, "Point");
        Add(point, "altitudeMode", "absolute");
        Add(point, "coordinates", tuple);
        coordinates += (coordinates.empty() ? "" : " ") + tuple;
    }
    if (points.size() >= 2) {
        xml::Node mark = Add(doc, "Placemark");
        Add(mark, "name", title);
        Add(mark, "styleUrl", "#route");
        xml::Node ls = Add(mark, "LineString");
        Add(ls, "altitudeMode", "absolute");
        Add(ls, "coordinates", coordinates);
    }
    out.notes.push_back("times over steer point, phases, tasks, airspeeds, headings and runways "
                        "(KML draws the route only)");
    return out;
}

} // namespace exchange
