#include "fssim/Start.h"

#include <numbers/Numbers.h>
#include <planformat/FlyableValues.h>
#include <xml/ComError.h>
#include <xml/Dom.h>

namespace fssim {

namespace {

const char* const kTakeoffProcedure =
    "/flightscript/phase[@name=\"takeoff\"]/task[@name=\"takeoff\"]/procedure[@name=\"takeoff\"]";

/// A start value, the command-line option that sets it, and the script or plan element it comes
/// from with its range.
struct Field {
    double StartPosition::*member;
    const char* option;
    planformat::ValueRange range;
};

const Field kFields[] = {
    {&StartPosition::latitude_deg, "--lat", planformat::kRunwayLatitude},
    {&StartPosition::longitude_deg, "--lon", planformat::kRunwayLongitude},
    {&StartPosition::heading_deg, "--heading", planformat::kRunwayHeading},
    {&StartPosition::elevation_ft, "--elevation", planformat::kRunwayElevation},
};

/// The runway values below `node`, each a finite number filling its element's text within its
/// range: text that is no number would otherwise put the aircraft at 0 N 0 E, and NaN nowhere.
std::optional<StartPosition> FromRunway(const xml::Node& node, std::string& error) {
    StartPosition start;
    for (const Field& f : kFields) {
        const xml::Node n = node.selectSingleNode(f.range.path);
        if (!n) {
            error = std::string("the take-off runway has no ") + f.range.path;
            return std::nullopt;
        }
        const std::string text = n.text();
        if (const std::string problem = planformat::ValueProblem(f.range, text); !problem.empty()) {
            error = "the take-off runway's " + problem;
            return std::nullopt;
        }
        start.*f.member = *numbers::Parse(text);
    }
    return start;
}

} // namespace

std::string StartProblem(const StartPosition& start) {
    for (const Field& f : kFields)
        if (!planformat::InRange(f.range, start.*f.member))
            return std::string(f.option) + " " + numbers::Format("%.9g", start.*f.member) +
                   planformat::OutOfRangeText(f.range);
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
