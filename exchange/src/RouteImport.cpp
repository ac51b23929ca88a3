// Routes, tracks and waypoints of GPX and KML files read into a plan.

#include "ExchangeCommon.h"

#include "exchange/Exchange.h"

#include <avilo/AirportDb.h>
#include <avilo/PlanDocuments.h>
#include <numbers/Numbers.h>
#include <planformat/FlyableValues.h>
#include <tavola/GreatCircle.h>
#include <tavola/Units.h>

#include <cctype>
#include <cmath>
#include <limits>

namespace exchange {

using namespace detail;

namespace {

namespace ap = avilo::airports;

/// A point read from the file.
struct SourcePoint {
    double latitude = 0;
    double longitude = 0;
    std::optional<double> ele_m;
    std::optional<int> minutes; ///< time of day, minutes after midnight UTC
    std::string name;
    xml::Node avilo; ///< the Avilo steer point data of the point, if any
};

constexpr planformat::ValueRange kLat{"lat", -90, 90};
constexpr planformat::ValueRange kLon{"lon", -180, 180};
/// From below the Dead Sea to well above any aircraft; beyond it an elevation is no altitude.
constexpr planformat::ValueRange kEle{"ele", -1000, 100000};

/// Text of a "%.9f" number with trailing zeros removed down to six decimals, the planner's own.
std::string PlanDegrees(double value) {
    std::string text = numbers::Format("%.9f", value);
    while (text.size() > text.find('.') + 7 && text.back() == '0')
        text.pop_back();
    return text;
}

/// Reads a number of `where`; throws naming the file, the place and the value.
double Number(const std::string& file, const std::string& where, const planformat::ValueRange& r,
              const std::string& text) {
    if (const std::string problem = planformat::ValueProblem(r, text); !problem.empty())
        throw ExchangeError(file + ": " + where + ": " + problem);
    return numbers::ToDouble(text);
}

/// Minutes after midnight UTC of an ISO 8601 date and time "YYYY-MM-DDThh:mm[:ss[.f]][Z|+hh:mm]".
std::optional<int> UtcMinutes(std::string_view t) {
    auto digits = [&](std::size_t at, std::size_t n) -> std::optional<int> {
        if (at + n > t.size())
            return std::nullopt;
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(t[i])))
                return std::nullopt;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    if (t.size() < 16 || t[4] != '-' || t[7] != '-' || (t[10] != 'T' && t[10] != ' ') ||
        t[13] != ':' || !digits(0, 4) || !digits(5, 2) || !digits(8, 2))
        return std::nullopt;
    const auto h = digits(11, 2), m = digits(14, 2);
    if (!h || !m || *h > 23 || *m > 59)
        return std::nullopt;
    std::size_t at = 16;
    if (at < t.size() && t[at] == ':') {
        if (!digits(at + 1, 2))
            return std::nullopt;
        at += 3;
        if (at < t.size() && t[at] == '.')
            for (++at; at < t.size() && std::isdigit(static_cast<unsigned char>(t[at]));)
                ++at;
    }
    int offset = 0;
    if (at < t.size() && t[at] == 'Z') {
        ++at;
    } else if (at < t.size() && (t[at] == '+' || t[at] == '-')) {
        const auto oh = digits(at + 1, 2);
        const std::size_t mAt = at + 3 < t.size() && t[at + 3] == ':' ? at + 4 : at + 3;
        const auto om = digits(mAt, 2);
        if (!oh || !om)
            return std::nullopt;
        offset = (t[at] == '-' ? -1 : 1) * (*oh * 60 + *om);
        at = mAt + 2;
    }
    if (at != t.size())
        return std::nullopt;
    return ((*h * 60 + *m - offset) % 1440 + 1440) % 1440;
}

/// A name of the file as a message quotes it: at most 40 bytes, then "...".
std::string Shortened(const std::string& name) {
    return name.size() <= 40 ? name : name.substr(0, 40) + "...";
}

/// Reads the points of a GPX file: the first route, else the first track, else the waypoints.
std::vector<SourcePoint> ReadGpx(const xml::Node& gpx, const std::string& file,
                                 std::vector<std::string>& notes) {
    const std::vector<xml::Node> routes = Children(gpx, "rte");
    const std::vector<xml::Node> tracks = Children(gpx, "trk");
    const std::vector<xml::Node> waypoints = Children(gpx, "wpt");
    std::vector<std::pair<xml::Node, std::string>> source; // point and its place
    if (!routes.empty()) {
        long n = 0;
        for (const xml::Node& pt : Children(routes[0], "rtept"))
            source.emplace_back(pt, numbers::Format("rte 1, rtept %ld", ++n));
        if (routes.size() > 1)
            notes.push_back(
                numbers::Format("%zu more routes (the first one is read)", routes.size() - 1));
        if (!tracks.empty())
            notes.push_back(numbers::Format("%zu tracks (the route is read)", tracks.size()));
    } else if (!tracks.empty()) {
        long seg = 0;
        for (const xml::Node& s : Children(tracks[0], "trkseg")) {
            ++seg;
            long n = 0;
            for (const xml::Node& pt : Children(s, "trkpt")) {
                source.emplace_back(pt, numbers::Format("trk 1, trkseg %ld, trkpt %ld", seg, ++n));
                if (source.size() > kMaxImportedPoints)
                    break;
            }
        }
        if (seg > 1)
            notes.push_back(numbers::Format("the gaps between the %ld segments of the track (they "
                                            "are joined)",
                                            seg));
        if (tracks.size() > 1)
            notes.push_back(
                numbers::Format("%zu more tracks (the first one is read)", tracks.size() - 1));
    } else {
        long n = 0;
        for (const xml::Node& pt : waypoints)
            source.emplace_back(pt, numbers::Format("wpt %ld", ++n));
    }
    if (!waypoints.empty() && (!routes.empty() || !tracks.empty()))
        notes.push_back(numbers::Format("%zu waypoints (the %s is read)", waypoints.size(),
                                        routes.empty() ? "track" : "route"));
    if (source.size() > kMaxImportedPoints)
        throw ExchangeError(file + numbers::Format(": more than %zu points; a plan takes no more",
                                                   kMaxImportedPoints));

    std::vector<SourcePoint> points;
    points.reserve(source.size());
    std::size_t badTimes = 0;
    std::string firstBadTime;
    for (const auto& [pt, where] : source) {
        SourcePoint p;
        const xml::Node lat = pt.getAttributeNode("lat");
        const xml::Node lon = pt.getAttributeNode("lon");
        if (lat.empty() || lon.empty())
            throw ExchangeError(file + ": " + where + ": no " + (lat.empty() ? "lat" : "lon"));
        p.latitude = Number(file, where, kLat, lat.text());
        p.longitude = Number(file, where, kLon, lon.text());
        if (const xml::Node ele = Child(pt, "ele"); !ele.empty())
            p.ele_m = Number(file, where, kEle, ele.text());
        if (const xml::Node time = Child(pt, "time"); !time.empty()) {
            p.minutes = UtcMinutes(time.text());
            if (!p.minutes && badTimes++ == 0)
                firstBadTime = where + ": time \"" + Shortened(time.text()) + "\"";
        }
        if (const xml::Node name = Child(pt, "name"); !name.empty())
            p.name = name.text();
        p.avilo = Child(Child(pt, "extensions"), "steerpoint");
        points.push_back(std::move(p));
    }
    if (badTimes > 0)
        notes.push_back(
            numbers::Format("%zu times that are no ISO 8601 date and time, the first ", badTimes) +
            firstBadTime + " (not read)");
    return points;
}

/// Reads the points of a KML file: the first line, else the point placemarks.
std::vector<SourcePoint> ReadKml(const xml::Node& kml, const std::string& file,
                                 std::vector<std::string>& notes) {
    std::vector<SourcePoint> points;
    auto tuples = [&](const std::string& text, const std::string& where) {
        std::size_t at = 0;
        long n = 0;
        while (true) {
            at = text.find_first_not_of(" \t\r\n", at);
            if (at == std::string::npos)
                break;
            const std::size_t end = std::min(text.find_first_of(" \t\r\n", at), text.size());
            const std::string tuple = text.substr(at, end - at);
            at = end;
            const std::string place = where + numbers::Format(", coordinates %ld", ++n);
            if (points.size() >= kMaxImportedPoints)
                throw ExchangeError(file + numbers::Format(": more than %zu points; a plan "
                                                           "takes no more",
                                                           kMaxImportedPoints));
            const std::size_t c1 = tuple.find(',');
            const std::size_t c2 = c1 == std::string::npos ? c1 : tuple.find(',', c1 + 1);
            if (c1 == std::string::npos)
                throw ExchangeError(file + ": " + place + ": \"" + tuple +
                                    "\" is not lon,lat[,alt]");
            SourcePoint p;
            p.longitude = Number(file, place, kLon, tuple.substr(0, c1));
            p.latitude = Number(file, place, kLat, tuple.substr(c1 + 1, c2 - c1 - 1));
            if (c2 != std::string::npos)
                p.ele_m = Number(file, place, kEle, tuple.substr(c2 + 1));
            points.push_back(std::move(p));
        }
    };
    const xml::NodeList lines = kml.selectNodes("//*[local-name()='LineString']");
    const xml::NodeList marks = kml.selectNodes("//*[local-name()='Placemark'][*[local-name()="
                                                "'Point']]");
    if (lines.length() > 0) {
        tuples(Child(lines.item(0), "coordinates").empty()
                   ? std::string()
                   : Child(lines.item(0), "coordinates").text(),
               "LineString 1");
        if (lines.length() > 1)
            notes.push_back(
                numbers::Format("%ld more lines (the first one is read)", lines.length() - 1));
        if (marks.length() > 0)
            notes.push_back(
                numbers::Format("%ld point placemarks (the line is read)", marks.length()));
    } else {
        long n = 0;
        for (const xml::Node& mark : marks) {
            const std::size_t before = points.size();
            tuples(Child(Child(mark, "Point"), "coordinates").empty()
                       ? std::string()
                       : Child(Child(mark, "Point"), "coordinates").text(),
                   numbers::Format("Placemark %ld", ++n));
            if (points.size() > before)
                if (const xml::Node name = Child(mark, "name"); !name.empty())
                    points.back().name = name.text();
        }
    }
    return points;
}

/// A list of at most a few items, then how many more.
std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size() && i < 5; ++i)
        text += (i ? ", " : "") + items[i];
    if (items.size() > 5)
        text += numbers::Format(" and %zu more", items.size() - 5);
    return text;
}

/// A runway designator without leading zeros: "09" and "9" name the same runway.
std::string Designator(std::string text) {
    while (text.size() > 1 && text[0] == '0')
        text.erase(0, 1);
    return text;
}

std::string TimeText(int minutes) {
    return numbers::Format("%02d:%02d", minutes / 60, minutes % 60);
}

/// The text of the child `name` of `parent`, or `fallback`.
std::string TextOr(const xml::Node& parent, std::string_view name, const std::string& fallback) {
    const xml::Node child = Child(parent, name);
    return child.empty() ? fallback : child.text();
}

/// Appends the position, the time and the tasks (those of `avilo`, else `defaultTask`).
xml::Node NewSteerPoint(xml::Node& root, const SourcePoint& p, double lat, double lon,
                        const std::string& time, const std::string& defaultPhase,
                        const std::string& defaultTask) {
    xml::Node sp = Add(root, "steerpoint");
    std::string phase = defaultPhase;
    if (!p.avilo.empty())
        if (const xml::Node a = p.avilo.getAttributeNode("phase"); !a.empty())
            phase = a.text();
    sp.setAttribute("phase", phase);
    xml::Node coordinate = Add(sp, "GPSCoordinate");
    Add(coordinate, "longitude", PlanDegrees(lon));
    Add(coordinate, "latitude", PlanDegrees(lat));
    Add(sp, "timeOverSteerPoint", time);
    const std::vector<xml::Node> tasks = Children(p.avilo, "task");
    if (tasks.empty())
        Add(sp, "task", defaultTask);
    for (const xml::Node& t : tasks)
        Add(sp, "task", t.text());
    return sp;
}

/// The take-off airport steer point of the first point.
void AddTakeOff(xml::Node& root, const SourcePoint& p, const std::string& file,
                const xml::DocumentPtr& airports, std::vector<std::string>& notes) {
    std::vector<std::string> warnings;
    const xml::NodeList near =
        ap::UsableAirports(ap::AirportsNear(airports, p.longitude, p.latitude), warnings);
    const xml::Node own = Child(p.avilo, "airport");
    xml::Node airport;
    if (!own.empty() && !own.getAttributeNode("name").empty())
        for (const xml::Node& a : near)
            if (a.getAttribute("name") == own.getAttribute("name") &&
                (own.getAttributeNode("shortname").empty() ||
                 a.getAttribute("ICAO") == own.getAttribute("shortname")))
                airport = a;
    if (airport.empty())
        airport = ap::NearestAirport(near, p.longitude, p.latitude);
    if (airport.empty()) {
        const std::string problem = ap::DatabaseProblem(airports, avilo::kAirportDatabaseFile);
        throw ExchangeError(file + ": no airport lies near the first point (" +
                            numbers::Format("%.6f N, %.6f E", p.latitude, p.longitude) +
                            ") for the take-off" + (problem.empty() ? "" : ": " + problem));
    }
    const std::string airportText =
        airport.getAttribute("name") + " (" + airport.getAttribute("ICAO") + ")";
    const std::vector<std::string> entries = ap::RunwayEntries(airport);
    const std::string ownRunway = Designator(TextOr(own, "runway", ""));
    std::optional<ap::RunwayDirection> chosen;
    std::size_t chosenIndex = 0;
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::optional<ap::RunwayDirection> d;
        try {
            d = ap::ResolveRunwayEntry(airport, static_cast<long>(i));
        } catch (const xml::ComError&) {
            continue; // an incomplete runway of the database: the others still serve
        }
        if (!d)
            continue;
        if (!ownRunway.empty() && Designator(entries[i]) == ownRunway) {
            chosen = d;
            chosenIndex = i;
            break;
        }
        const double distance =
            ::GreatCircleDistance(p.latitude, p.longitude, d->latitude, d->longitude);
        if (distance < nearest) {
            nearest = distance;
            chosen = d;
            chosenIndex = i;
        }
    }
    if (!chosen)
        throw ExchangeError(file + ": the airport nearest to the first point, " + airportText +
                            ", has no runway the airport database describes whole");

    // A point of an Avilo file on the runway it names keeps its place; any other lies on the
    // threshold, where the airport dialog puts a take-off steer point.
    const bool keep = !own.empty() && Designator(entries[chosenIndex]) == ownRunway;
    const double lat = keep ? p.latitude : chosen->latitude;
    const double lon = keep ? p.longitude : chosen->longitude;
    if (!keep) {
        const double moved_m = ::GreatCircleDistance(p.latitude, p.longitude, lat, lon) *
                               tavola::kMetresPerDegreeOfLatitude;
        notes.push_back("the first point, " + numbers::Format("%.0f", moved_m) +
                        " m away, is the take-off from the threshold of runway " +
                        entries[chosenIndex] + " of " + airportText);
    }
    const std::string time = TextOr(p.avilo, "timeOverSteerPoint",
                                    p.minutes ? TimeText(*p.minutes) : std::string("00:00"));
    xml::Node sp = NewSteerPoint(root, p, lat, lon, time, "takeoff", "takeoff");
    xml::Node a = Add(sp, "airport");
    a.setAttribute("shortname", airport.getAttribute("ICAO"));
    a.setAttribute("name", airport.getAttribute("name"));
    Add(a, "runway", entries[chosenIndex]);
    Add(a, "runwayHeading", chosen->heading);
    Add(a, "runwayMagnVar", chosen->magnvar);
    Add(a, "runwayElevation", chosen->elevation);
    xml::Node runway = Add(a, "GPSRunway");
    Add(runway, "latitude", chosen->latitudeText);
    Add(runway, "longitude", chosen->longitudeText);
}

} // namespace

Imported ImportRoute(const std::string& path, const xml::DocumentPtr& airports) {
    const xml::DocumentPtr source = xml::Document::Create();
    if (!source->load(path)) {
        const xml::ParseError& e = source->parseError();
        throw ExchangeError(path + ": " + e.reason +
                            (e.line > 0
                                 ? numbers::Format(" (line %ld, column %ld)", e.line, e.linepos)
                                 : std::string()));
    }
    return ImportRoute(source, path, airports);
}

Imported ImportRoute(const xml::DocumentPtr& source, const std::string& name,
                     const xml::DocumentPtr& airports) {
    Imported out;
    const xml::Node root = source ? source->documentElement() : xml::Node();
    const std::string kind = root.empty() ? std::string() : LocalName(root);
    std::vector<SourcePoint> points;
    if (kind == "gpx")
        points = ReadGpx(root, name, out.notes);
    else if (kind == "kml")
        points = ReadKml(root, name, out.notes);
    else
        throw ExchangeError(name + ": neither GPX (root \"gpx\") nor KML (root \"kml\")");
    if (points.empty())
        throw ExchangeError(name + ": no route, track or waypoint with a point");

    out.plan = NewDocument("avilo");
    xml::Node plan = out.plan->documentElement();
    AddTakeOff(plan, points[0], name, airports, out.notes);

    std::string altitude = "5000", airspeed = "70"; // the defaults of a new GPS steer point
    std::string time = TextOr(Child(plan, "steerpoint"), "timeOverSteerPoint", "00:00");
    std::vector<std::string> filledAltitudes, names, ownAirports;
    bool defaultAltitude = false, defaultAirspeed = false;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const SourcePoint& p = points[i];
        const SourcePoint& prev = points[i - 1];
        const xml::Node own = Child(p.avilo, "GPS");
        if (p.ele_m)
            altitude = Trimmed(*p.ele_m / tavola::kMetresPerFoot, 2);
        else if (i == 1)
            defaultAltitude = true;
        else
            filledAltitudes.push_back(std::to_string(i + 1));
        if (own.empty() && i == 1 && Child(p.avilo, "airport").empty())
            defaultAirspeed = true;
        airspeed = TextOr(own, "airspeed", airspeed);
        if (!p.avilo.empty())
            time = TextOr(p.avilo, "timeOverSteerPoint", time);
        else if (p.minutes)
            time = TimeText(*p.minutes);
        const double course = ::TrueCourse(prev.latitude, prev.longitude, p.latitude, p.longitude);
        const std::string heading = TextOr(own, "heading", Trimmed(std::round(course), 0));
        if (p.avilo.empty() && !p.name.empty())
            names.push_back(numbers::Format("%zu ", i + 1) + "\"" + Shortened(p.name) + "\"");
        if (const xml::Node a = Child(p.avilo, "airport"); !a.empty())
            ownAirports.push_back(numbers::Format("%zu", i + 1));
        xml::Node sp = NewSteerPoint(plan, p, p.latitude, p.longitude, time, "cruise", "cruise");
        xml::Node gps = Add(sp, "GPS");
        Add(gps, "airspeed", airspeed);
        Add(gps, "heading", heading);
        Add(gps, "altitude", altitude);
    }
    if (points[0].avilo.empty() && !points[0].name.empty())
        names.insert(names.begin(), "1 \"" + Shortened(points[0].name) + "\"");
    if (!names.empty())
        out.notes.push_back("the names of points " + Listed(names) +
                            " (a plan has no place for "
                            "them)");
    if (defaultAltitude)
        out.notes.push_back("point 2 has no elevation: altitude 5000 ft, the default of a GPS "
                            "steer point");
    if (!filledAltitudes.empty())
        out.notes.push_back("points " + Listed(filledAltitudes) +
                            " have no elevation: the previous point's altitude");
    if (defaultAirspeed && points.size() > 1)
        out.notes.push_back("airspeed 70 kt, the default of a GPS steer point, for every point");
    if (!ownAirports.empty())
        out.notes.push_back("the airport steer points " + Listed(ownAirports) +
                            " after the take-off are GPS steer points");
    for (const SourcePoint& p : points)
        if (p.minutes && p.avilo.empty()) {
            out.notes.push_back(
                "the dates and seconds of the times (a plan keeps hh:mm, here UTC)");
            break;
        }
    return out;
}

} // namespace exchange
