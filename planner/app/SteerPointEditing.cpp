#include "SteerPointEditing.h"

#include <avilo/PlanDocuments.h>
#include <numbers/Numbers.h>

#include <charconv>
#include <optional>

namespace avilo::planner {
namespace {

xml::Node AppendTextElement(xml::Node parent, const char* name, const std::string& text) {
    xml::Node element = parent.ownerDocument()->createElement(name);
    element.setText(text);
    return parent.appendChild(element);
}

xml::Node ChildNamed(const xml::Node& parent, const std::string& name) {
    return ChildElement(parent, name);
}

const xml::SchemaCache& Schemas(const xml::SchemaCache* schemas) {
    if (!schemas) // the schema cache could not be created at start-up
        throw xml::ComError(xml::hr::E_POINTER_);
    return *schemas;
}

void RemoveTasks(xml::Node steerPoint) {
    for (const xml::Node& task : steerPoint.selectNodes("task"))
        steerPoint.removeChild(task);
}

} // namespace

// Walks the children instead of building an XPath query, so that any name matches literally.
xml::Node ChildElement(const xml::Node& parent, const std::string& name) {
    if (!parent.hasChildNodes())
        return {};
    for (xml::Node child = parent.firstChild(); !child.empty(); child = child.nextSibling())
        if (child.nodeType() == xml::NodeType::Element && child.nodeName() == name)
            return child;
    return {};
}

std::string FormatDegrees(double degrees) {
    return numbers::Format("%f", degrees);
}

xml::Node AppendDefaultAirport(xml::Node steerPoint) {
    xml::Node airport =
        steerPoint.appendChild(steerPoint.ownerDocument()->createElement(kTypeAirport));
    airport.setAttribute("shortname", "EHAM");
    airport.setAttribute("name", "Schiphol");
    AppendTextElement(airport, "runway", "1L");
    AppendTextElement(airport, "runwayHeading", "3.22010827");
    AppendTextElement(airport, "runwayMagnVar", "-2.010010");
    AppendTextElement(airport, "runwayElevation", "-11.965884");
    xml::Node runway = airport.appendChild(airport.ownerDocument()->createElement("GPSRunway"));
    AppendTextElement(runway, "latitude", "52.3022666667");
    AppendTextElement(runway, "longitude", "4.7373383333");
    return airport;
}

xml::Node AppendDefaultGPS(xml::Node steerPoint) {
    xml::Node gps = steerPoint.appendChild(steerPoint.ownerDocument()->createElement(kTypeGPS));
    AppendTextElement(gps, "airspeed", "70");
    AppendTextElement(gps, "heading", "4");
    AppendTextElement(gps, "altitude", "5000");
    return gps;
}

xml::Node AppendNewSteerPoint(xml::Node root, double longitude, double latitude) {
    const std::string lon = FormatDegrees(longitude);
    const std::string lat = FormatDegrees(latitude);
    const xml::Node previous = root.lastChild();
    // Built completely before it is appended, so that a failure adds nothing to the plan.
    xml::Node steerPoint = root.ownerDocument()->createElement("steerpoint");
    xml::Node coordinate =
        steerPoint.appendChild(root.ownerDocument()->createElement("GPSCoordinate"));
    AppendTextElement(coordinate, "longitude", lon);
    AppendTextElement(coordinate, "latitude", lat);

    if (!previous.empty()) {
        // Continue the flight as the previous steer point left it: phase, time, tasks, type.
        steerPoint.setAttribute("phase", previous.getAttributeNode("phase").text());
        if (previous.hasChildNodes())
            for (xml::Node child = previous.firstChild(); !child.empty();
                 child = child.nextSibling())
                if (child.nodeName() != "GPSCoordinate")
                    steerPoint.appendChild(child.cloneNode(true));
    } else {
        AppendTextElement(steerPoint, "timeOverSteerPoint", "00:00");
        AppendTextElement(steerPoint, "task", "takeoff");
        steerPoint.setAttribute("phase", "takeoff");
        AppendDefaultAirport(steerPoint);
    }
    return root.appendChild(steerPoint);
}

void ReadTypeValues(const xml::SchemaCache* schemas, const xml::Node& steerPoint,
                    TypeValues& values) {
    values.m_strType = GetSteerPointType(Schemas(schemas), steerPoint);
    values.m_strPhase = steerPoint.getAttributeNode("phase").text();
    if (!steerPoint.hasChildNodes())
        return;
    for (xml::Node child = steerPoint.firstChild(); !child.empty(); child = child.nextSibling()) {
        const std::string name = child.nodeName();
        if (name == "GPSCoordinate") {
            const CoordinateText position = ReadGPSCoordinate(child);
            values.m_strLongitude = position.longitude;
            values.m_strLatitude = position.latitude;
        } else if (name == "timeOverSteerPoint") {
            values.m_strTOS = child.text();
        }
    }
}

void WriteTypeValues(xml::Node steerPoint, const TypeValues& values) {
    steerPoint.selectSingleNode(".//longitude").setText(values.m_strLongitude);
    steerPoint.selectSingleNode(".//latitude").setText(values.m_strLatitude);
    ChildNamed(steerPoint, "timeOverSteerPoint").setText(values.m_strTOS);
    steerPoint.selectSingleNode("./@phase").setText(values.m_strPhase);
}

void ApplyTypeChange(const xml::SchemaCache* schemas, xml::Node steerPoint,
                     const std::string& newType) {
    const std::string oldType = GetSteerPointType(Schemas(schemas), steerPoint);
    if (newType == oldType)
        return;
    // A steer point without a type element has nothing to replace: the removal throws.
    steerPoint.removeChild(oldType.empty() ? xml::Node() : ChildNamed(steerPoint, oldType));
    if (newType == kTypeAirport) {
        RemoveTasks(steerPoint);
        AppendTextElement(steerPoint, "task", "takeoff");
        AppendDefaultAirport(steerPoint);
    } else if (newType == kTypeGPS) {
        ChildNamed(steerPoint, "task").setText("cruise");
        AppendDefaultGPS(steerPoint);
    }
}

std::vector<std::string> TaskTexts(const xml::Node& steerPoint) {
    std::vector<std::string> tasks;
    for (const xml::Node& task : steerPoint.selectNodes("task"))
        tasks.push_back(task.text());
    return tasks;
}

void ReplaceTasks(xml::Node steerPoint, const std::vector<std::string>& tasks) {
    RemoveTasks(steerPoint);
    for (const std::string& task : tasks)
        AppendTextElement(steerPoint, "task", task);
}

void ReadAirportValues(const xml::Node& steerPoint, const xml::Node& airport,
                       AirportValues& values) {
    values.m_lstTasks = TaskTexts(steerPoint);
    values.m_strName = airport.getAttribute("name");
    values.m_strICAO = airport.getAttribute("shortname");
    values.m_strRunway = ChildNamed(airport, "runway").text();
    values.m_strHeading = ChildNamed(airport, "runwayHeading").text();
    values.m_strMagnVar = ChildNamed(airport, "runwayMagnVar").text();
    values.m_strElevation = ChildNamed(airport, "runwayElevation").text();
    const xml::Node runway = ChildNamed(airport, "GPSRunway");
    runway.nodeName(); // an airport element without GPSRunway cannot be edited
    if (const xml::Node lon = ChildNamed(runway, "longitude"))
        values.m_strRwyLongitude = lon.text();
    if (const xml::Node lat = ChildNamed(runway, "latitude"))
        values.m_strRwyLatitude = lat.text();
}

void WriteAirportValues(xml::Node steerPoint, xml::Node airport, const AirportValues& values) {
    ReplaceTasks(steerPoint, values.m_lstTasks);
    steerPoint.selectSingleNode("GPSCoordinate/longitude")
        .setText(FormatDegrees(values.m_dLongitude));
    steerPoint.selectSingleNode("GPSCoordinate/latitude")
        .setText(FormatDegrees(values.m_dLatitude));
    airport.getAttributeNode("name").setText(values.m_strName);
    airport.getAttributeNode("shortname").setText(values.m_strICAO);
    ChildNamed(airport, "runway").setText(values.m_strRunway);
    ChildNamed(airport, "runwayHeading").setText(values.m_strHeading);
    ChildNamed(airport, "runwayMagnVar").setText(values.m_strMagnVar);
    ChildNamed(airport, "runwayElevation").setText(values.m_strElevation);
    const xml::Node runway = ChildNamed(airport, "GPSRunway");
    ChildNamed(runway, "longitude").setText(values.m_strRwyLongitude);
    ChildNamed(runway, "latitude").setText(values.m_strRwyLatitude);
}

void ReadGPSValues(const xml::Node& steerPoint, const xml::Node& gps, GPSValues& values) {
    values.m_lstTasks = TaskTexts(steerPoint);
    values.m_strAirspeed = ChildNamed(gps, "airspeed").text();
    values.m_strHeading = ChildNamed(gps, "heading").text();
    values.m_strAltitude = ChildNamed(gps, "altitude").text();
}

void WriteGPSValues(xml::Node steerPoint, xml::Node gps, const GPSValues& values) {
    ReplaceTasks(steerPoint, values.m_lstTasks);
    ChildNamed(gps, "airspeed").setText(values.m_strAirspeed);
    ChildNamed(gps, "heading").setText(values.m_strHeading);
    ChildNamed(gps, "altitude").setText(values.m_strAltitude);
}

namespace {

// "Field: "text" is not ..." when `text` is not a whole number in [low, high].
std::string RangeProblem(const char* field, const std::string& text, double low, double high,
                         const char* what) {
    const std::optional<double> value = numbers::Parse(text, std::chars_format::fixed);
    if (value && *value >= low && *value <= high)
        return {};
    return std::string(field) + ": \"" + text + "\" is not " + what + ".";
}

bool IsTimeOfDay(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != colon && (text[i] < '0' || text[i] > '9'))
            return false;
    return std::stoi(text.substr(0, colon)) <= 23 && std::stoi(text.substr(colon + 1)) <= 59;
}

} // namespace

std::string TypeValuesProblem(const TypeValues& values) {
    std::string problem = RangeProblem("Longitude", values.m_strLongitude, -180.0, 180.0,
                                       "a longitude from -180 to 180 degrees (east positive)");
    if (problem.empty())
        problem = RangeProblem("Latitude", values.m_strLatitude, -90.0, 90.0,
                               "a latitude from -90 to 90 degrees (north positive)");
    if (problem.empty() && !values.m_strTOS.empty() && !IsTimeOfDay(values.m_strTOS))
        problem = "TOS: \"" + values.m_strTOS + "\" is not a time of day as hh:mm.";
    return problem;
}

std::string GPSValuesProblem(const GPSValues& values) {
    constexpr double kUnbounded = 1e9;
    std::string problem = RangeProblem("Airspeed", values.m_strAirspeed, 0.0, kUnbounded,
                                       "an airspeed of 0 kt or more");
    if (problem.empty())
        problem = RangeProblem("Heading", values.m_strHeading, 0.0, 360.0,
                               "a heading from 0 to 360 degrees true");
    if (problem.empty())
        problem = RangeProblem("Altitude", values.m_strAltitude, 0.0, kUnbounded,
                               "an altitude of 0 ft or more");
    return problem;
}

void RestoreSteerPoint(xml::Node steerPoint, const xml::Node& copy) {
    std::vector<std::string> names;
    for (const xml::Node& attribute : steerPoint.attributes())
        names.push_back(attribute.nodeName());
    for (const std::string& name : names)
        steerPoint.removeAttribute(name);
    while (steerPoint.hasChildNodes())
        steerPoint.removeChild(steerPoint.firstChild());
    for (const xml::Node& attribute : copy.attributes())
        steerPoint.setAttribute(attribute.nodeName(), attribute.text());
    if (copy.hasChildNodes())
        for (xml::Node child = copy.firstChild(); !child.empty(); child = child.nextSibling())
            steerPoint.appendChild(child.cloneNode(true));
}

void DeleteSteerPoint(xml::Node root, long index) {
    root.removeChild(root.childNodes().item(index));
}

} // namespace avilo::planner
