#include "fssim/Start.h"

#include <numbers/Numbers.h>
#include <xml/ComError.h>
#include <xml/Dom.h>

namespace fssim {

namespace {

const char* const kTakeoffProcedure =
    "/flightscript/phase[@name=\"takeoff\"]/task[@name=\"takeoff\"]/procedure[@name=\"takeoff\"]";

/// The text of `path` below `node` as a number; false when the element is missing.
bool Number(const xml::Node& node, const char* path, double& value, std::string& error) {
    const xml::Node n = node.selectSingleNode(path);
    if (!n) {
        error = std::string("the take-off runway has no ") + path;
        return false;
    }
    value = numbers::ToDouble(n.text());
    return true;
}

std::optional<StartPosition> FromRunway(const xml::Node& node, std::string& error) {
    StartPosition start;
    if (!Number(node, "GPSRunway/latitude", start.latitude_deg, error) ||
        !Number(node, "GPSRunway/longitude", start.longitude_deg, error) ||
        !Number(node, "runwayHeading", start.heading_deg, error) ||
        !Number(node, "runwayElevation", start.elevation_ft, error))
        return std::nullopt;
    return start;
}

} // namespace

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
        if (root && root.nodeName() == "flightscript")
            return StartFromScript(doc, error);
        if (root && root.nodeName() == "avilo")
            return StartFromPlan(doc, error);
        error = path + ": neither a flight script nor a flight plan";
        return std::nullopt;
    } catch (const xml::ComError& e) {
        error = path + ": " + e.what();
        return std::nullopt;
    }
}

} // namespace fssim
