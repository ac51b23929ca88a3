// Flown tracks as GPX tracks and flights as KML.

#include "ExchangeCommon.h"

#include "exchange/Exchange.h"

#include <numbers/Numbers.h>
#include <tavola/Units.h>

#include <cmath>

namespace exchange {

using namespace detail;

namespace {

/// The GPX time of `time_s` seconds after `startMinutes` of the reference date, to the
/// millisecond.
std::string TrackTime(int startMinutes, double time_s) {
    constexpr long long kDayMs = 86400000;
    const long long ms = static_cast<long long>(startMinutes) * 60000 + std::llround(time_s * 1000);
    const long long day = ms >= 0 ? ms / kDayMs : (ms - kDayMs + 1) / kDayMs;
    const long long inDay = ms - day * kDayMs;
    return ReferenceDate(static_cast<int>(day)) +
           numbers::Format("T%02lld:%02lld:%02lld.%03lldZ", inDay / 3600000, inDay / 60000 % 60,
                           inDay / 1000 % 60, inDay % 1000);
}

std::string Tuple(double lon, double lat, double alt_m) {
    return Degrees(lon) + "," + Degrees(lat) + "," + Metres(alt_m);
}

void AddLine(xml::Node& doc, const std::string& name, const std::string& style,
             const std::string& coordinates) {
    xml::Node mark = Add(doc, "Placemark");
    Add(mark, "name", name);
    Add(mark, "styleUrl", "#" + style);
    xml::Node ls = Add(mark, "LineString");
    Add(ls, "altitudeMode", "absolute");
    Add(ls, "coordinates", coordinates);
}

void AddStyle(xml::Node& doc, const std::string& id, const std::string& colour) {
    xml::Node style = Add(doc, "Style");
    style.setAttribute("id", id);
    xml::Node line = Add(style, "LineStyle");
    Add(line, "color", colour);
    Add(line, "width", "3");
}

} // namespace

int FlightStartMinutes(const xml::DocumentPtr& plan) {
    try {
        const std::vector<PlanPoint> points = ReadPlan(plan);
        if (!points.empty())
            return MinutesOfDay(points.front().time).value_or(0);
    } catch (const std::exception&) {
        // No plan, or one without a usable first steer point: the reference midnight.
    }
    return 0;
}

xml::DocumentPtr TrackToGpx(const std::vector<FlownPoint>& track, int startMinutes,
                            const std::string& title) {
    xml::DocumentPtr doc = NewDocument("gpx");
    xml::Node gpx = doc->documentElement();
    gpx.setAttribute("version", "1.1");
    gpx.setAttribute("creator", "Avilo");
    gpx.setAttribute("xmlns", "http://www.topografix.com/GPX/1/1");
    Add(Add(gpx, "metadata"), "name", title);
    xml::Node trk = Add(gpx, "trk");
    Add(trk, "name", title);
    xml::Node seg = Add(trk, "trkseg");
    for (const FlownPoint& p : track) {
        xml::Node pt = Add(seg, "trkpt");
        pt.setAttribute("lat", Degrees(p.latitude_deg));
        pt.setAttribute("lon", Degrees(p.longitude_deg));
        Add(pt, "ele", Metres(p.altitude_m));
        Add(pt, "time", TrackTime(startMinutes, p.time_s));
    }
    return doc;
}

xml::DocumentPtr FlightToKml(const xml::DocumentPtr& plan, const std::vector<FlownPoint>& track,
                             const std::string& title) {
    xml::DocumentPtr kmlDoc = NewDocument("kml");
    xml::Node kml = kmlDoc->documentElement();
    kml.setAttribute("xmlns", "http://www.opengis.net/kml/2.2");
    xml::Node doc = Add(kml, "Document");
    Add(doc, "name", title);
    AddStyle(doc, "planned", "ff00a5ff");
    AddStyle(doc, "flown", "ff0000ff");
    if (plan) {
        std::string coordinates;
        double altitude_m = 0;
        for (const PlanPoint& p : ReadPlan(plan)) {
            if (p.altitude_ft)
                altitude_m = *p.altitude_ft * tavola::kMetresPerFoot;
            coordinates +=
                (coordinates.empty() ? "" : " ") + Tuple(p.longitude, p.latitude, altitude_m);
        }
        if (!coordinates.empty())
            AddLine(doc, "Planned route", "planned", coordinates);
    }
    std::string coordinates;
    coordinates.reserve(track.size() * 44);
    for (const FlownPoint& p : track)
        coordinates +=
            (coordinates.empty() ? "" : " ") + Tuple(p.longitude_deg, p.latitude_deg, p.altitude_m);
    if (!coordinates.empty())
        AddLine(doc, "Flown track", "flown", coordinates);
    return kmlDoc;
}

} // namespace exchange
