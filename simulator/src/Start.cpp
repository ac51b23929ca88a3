#include "fssim/Start.h"

#include <numbers/Numbers.h>
#include <xml/ComError.h>
#include <xml/Dom.h>

#include <cmath>
#include <limits>

namespace fssim {

namespace {

const char* const kTakeoffProcedure =
    "/flightscript/phase[@name=\"takeoff\"]/task[@name=\"takeoff\"]/procedure[@name=\"takeoff\"]";

/// A start value, the script or plan element it comes from, the command-line option that sets
/// it, and the range it must lie in.
struct Field {
    double StartPosition::*member;
    const char* path;
    const char* option;
    double lo, hi;
};

constexpr double kAnyAngle = std::numeric_limits<double>::infinity();

/// A position on the earth, any heading, and an elevation (feet) between the lowest shore on
/// earth (Dead Sea, about -1,400 ft) and twice the highest airport (about 14,500 ft).
const Field kFields[] = {
    {&StartPosition::latitude_deg, "GPSRunway/latitude", "--lat", -90, 90},
    {&StartPosition::longitude_deg, "GPSRunway/longitude", "--lon", -180, 180},
    {&StartPosition::heading_deg, "runwayHeading", "--heading", -kAnyAngle, kAnyAngle},
    {&StartPosition::elevation_ft, "runwayElevation", "--elevation", -1500, 30000},
};

std::string OutOfRange(const Field& f) {
    return " is out of range (" + numbers::Format("%g", f.lo) + " to " +
           numbers::Format("%g", f.hi) + ")";
}

bool InRange(const Field& f, double value) {
    return std::isfinite(value) && value >= f.lo && value <= f.hi;
}

/// The runway values below `node`: each a finite number filling its element's text, within its
/// range.  Text that is no number would otherwise put the aircraft at 0 N 0 E, and NaN nowhere.
std::optional<StartPosition> FromRunway(const xml::Node& node, std::string& error) {
    StartPosition start;
    for (const Field& f : kFields) {
        const xml::Node n = node.selectSingleNode(f.path);
        if (!n) {
            error = std::string("the take-off runway has no ") + f.path;
            return std::nullopt;
        }
        const std::string text = n.text();
        const std::optional<double> value = numbers::Parse(text);
        if (!value) {
            error = std::string("the take-off runway's ") + f.path + " \"" + text +
                    "\" is not a finite number";
            return std::nullopt;
        }
        if (!InRange(f, *value)) {
            error = std::string("the take-off runway's ") + f.path + " " + text + OutOfRange(f);
            return std::nullopt;
        }
        start.*f.member = *value;
    }
    return start;
}

} // namespace

std::string StartProblem(const StartPosition& start) {
    for (const Field& f : kFields)
        if (!InRange(f, start.*f.member))
            return std::string(f.option) + " " + numbers::Format("%.9g", start.*f.member) +
                   OutOfRange(f);
    return {};
}

std::optional<StartPosition> StartFromScript(const std::shared_ptr<xml::Document>& script,
                                             std::string& error) {
    try {
        const xml::Node procedure = script->selectSingleNode(kTakeoffProcedure);
        if (!procedure) {
            error = "the flight script has no take-off procedure";
            return std::nullopt;
        }
        return FromRunway(procedure, error);
    } catch (const xml::ComError& e) {
        error = e.what();
        return std::nullopt;
    }
}

std::optional<StartPosition> StartFromPlan(const std::shared_ptr<xml::Document>& plan,
                                           std::string& error) {
    try {
        xml::Node airport = plan->selectSingleNode("/avilo/steerpoint[task=\"takeoff\"]/airport");
        if (!airport)
            airport = plan->selectSingleNode("/avilo/steerpoint/airport");
        if (!airport) {
            error = "the flight plan has no airport steer point";
            return std::nullopt;
        }
        return FromRunway(airport, error);
    } catch (const xml::ComError& e) {
        error = e.what();
        return std::nullopt;
    }
}

std::optional<StartPosition> StartFromFile(const std::string& path, std::string& error) {
    try {
        auto doc = xml::Document::Create();
        if (!doc->load(path)) {
            const auto& pe = doc->parseError();
            error = path + ": " + pe.reason;
            return std::nullopt;
        }
        const xml::Node root = doc->documentElement();
        std::optional<StartPosition> start;
        if (root && root.nodeName() == "flightscript")
            start = StartFromScript(doc, error);
        else if (root && root.nodeName() == "avilo")
            start = StartFromPlan(doc, error);
        else
            error = "neither a flight script nor a flight plan";
        if (!start)
            error = path + ": " + error;
        return start;
    } catch (const xml::ComError& e) {
        error = path + ": " + e.what();
        return std::nullopt;
    }
}

} // namespace fssim
