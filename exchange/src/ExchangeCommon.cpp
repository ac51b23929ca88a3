#include "ExchangeCommon.h"

#include "exchange/Exchange.h"

#include <avilo/PlanDocuments.h>
#include <numbers/Numbers.h>
#include <planformat/PlanFormat.h>

#include <chrono>
#include <cmath>

namespace exchange::detail {

namespace {

/// The text of the child element `name` of `parent`, or nothing when there is none.
std::optional<std::string> ChildText(const xml::Node& parent, std::string_view name) {
    const xml::Node child = Child(parent, name);
    if (child.empty())
        return std::nullopt;
    return child.text();
}

double Coordinate(const std::string& text, const char* what, double limit, long index) {
    const std::optional<double> value = numbers::Parse(text);
    if (!value || std::fabs(*value) > limit)
        throw ExchangeError(numbers::Format("steer point %ld: %s \"", index, what) + text +
                            numbers::Format("\" is not a number from %g to %g", -limit, limit));
    return *value;
}

} // namespace

std::vector<PlanPoint> ReadPlan(const xml::DocumentPtr& plan) {
    const xml::Node root = plan ? plan->documentElement() : xml::Node();
    if (root.empty() || root.nodeName() != "avilo")
        throw ExchangeError("the document is not a flight plan (root \"avilo\")");
    static const std::vector<std::string> kTypes{"airport", "GPS"};
    std::vector<PlanPoint> points;
    long index = 0;
    for (const xml::Node& sp : Children(root, "steerpoint")) {
        ++index;
        PlanPoint p;
        p.node = sp;
        const xml::Node coordinate = sp.firstChild();
        if (coordinate.empty() || coordinate.nodeName() != "GPSCoordinate")
            throw ExchangeError(numbers::Format("steer point %ld has no GPSCoordinate", index));
        const avilo::CoordinateText text = avilo::ReadGPSCoordinate(coordinate);
        p.longitude = Coordinate(text.longitude, "longitude", 180, index);
        p.latitude = Coordinate(text.latitude, "latitude", 90, index);
        p.type = planformat::SteerPointTypeOf(kTypes, sp);
        p.time = ChildText(sp, "timeOverSteerPoint").value_or("");
        if (p.type == "airport") {
            const xml::Node airport = Child(sp, "airport");
            if (const xml::Node a = airport.getAttributeNode("shortname"); !a.empty())
                p.icao = a.text();
            if (const xml::Node a = airport.getAttributeNode("name"); !a.empty())
                p.airportName = a.text();
            p.runway = ChildText(airport, "runway").value_or("");
            p.altitude_ft = numbers::Parse(ChildText(airport, "runwayElevation").value_or(""));
        } else if (p.type == "GPS") {
            const xml::Node gps = Child(sp, "GPS");
            p.altitude_ft = numbers::Parse(ChildText(gps, "altitude").value_or(""));
            p.airspeed_kt = numbers::Parse(ChildText(gps, "airspeed").value_or(""));
        }
        points.push_back(std::move(p));
    }
    return points;
}

std::optional<int> MinutesOfDay(std::string_view hhmm) {
    const std::size_t colon = hhmm.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || hhmm.size() - colon - 1 < 1 ||
        hhmm.size() - colon - 1 > 2)
        return std::nullopt;
    int h = 0, m = 0;
    for (std::size_t i = 0; i < hhmm.size(); ++i) {
        if (i == colon)
            continue;
        if (hhmm[i] < '0' || hhmm[i] > '9')
            return std::nullopt;
        int& field = i < colon ? h : m;
        field = field * 10 + (hhmm[i] - '0');
    }
    if (h > 23 || m > 59)
        return std::nullopt;
    return h * 60 + m;
}

std::string ReferenceDate(int days) {
    using namespace std::chrono;
    const year_month_day date{sys_days{year{2000} / January / 1} + std::chrono::days{days}};
    return numbers::Format("%04d-%02u-%02u", static_cast<int>(date.year()),
                           static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
}

std::vector<std::string> DatedTimes(const std::vector<std::string>& times) {
    std::vector<std::string> dated;
    int day = 0;
    int previous = -1;
    for (const std::string& t : times) {
        const std::optional<int> minutes = MinutesOfDay(t);
        if (!minutes) {
            dated.emplace_back();
            continue;
        }
        if (*minutes < previous)
            ++day;
        previous = *minutes;
        dated.push_back(ReferenceDate(day) +
                        numbers::Format("T%02d:%02d:00Z", *minutes / 60, *minutes % 60));
    }
    return dated;
}

std::string Degrees(double value) {
    return numbers::Format("%.9f", value);
}
std::string Metres(double value) {
    return numbers::Format("%.4f", value);
}

std::string Trimmed(double value, int decimals) {
    std::string text = numbers::Format("%.*f", decimals, value);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    if (text == "-0")
        text = "0";
    return text;
}

xml::Node Add(xml::Node parent, std::string_view name, std::string_view text) {
    xml::Node element = parent.ownerDocument()->createElement(name);
    if (!text.empty())
        element.setText(text);
    return parent.appendChild(element);
}

xml::DocumentPtr NewDocument(std::string_view root) {
    xml::DocumentPtr doc = xml::Document::Create();
    doc->appendChild(doc->createProcessingInstruction("xml", "version='1.0' encoding='UTF-8'"));
    doc->appendChild(doc->createElement(root));
    return doc;
}

std::string LocalName(const xml::Node& node) {
    std::string name = node.nodeName();
    if (const std::size_t colon = name.find(':'); colon != std::string::npos)
        name.erase(0, colon + 1);
    return name;
}

std::vector<xml::Node> Children(const xml::Node& parent, std::string_view name) {
    std::vector<xml::Node> found;
    if (parent.empty())
        return found;
    for (xml::Node c = parent.firstChild(); !c.empty(); c = c.nextSibling())
        if (c.nodeType() == xml::NodeType::Element && LocalName(c) == name)
            found.push_back(c);
    return found;
}

xml::Node Child(const xml::Node& parent, std::string_view name) {
    if (parent.empty())
        return {};
    for (xml::Node c = parent.firstChild(); !c.empty(); c = c.nextSibling())
        if (c.nodeType() == xml::NodeType::Element && LocalName(c) == name)
            return c;
    return {};
}

} // namespace exchange::detail
