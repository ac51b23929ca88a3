#include "fgbridge/PlanRunway.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>

namespace fgbridge {

namespace {

std::string Trimmed(std::string text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    return text;
}

} // namespace

std::optional<PlanRunway> RunwayOfPlan(const std::string& path, std::string& error) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (!parsed) {
        error = path + ": " + parsed.description();
        return std::nullopt;
    }
    pugi::xml_node chosen;
    for (const pugi::xml_node& sp : doc.child("avilo").children("steerpoint")) {
        if (!sp.child("airport"))
            continue;
        bool takeoff = false;
        for (const pugi::xml_node& task : sp.children("task"))
            takeoff = takeoff || Trimmed(task.child_value()) == "takeoff";
        if (takeoff) {
            chosen = sp;
            break;
        }
        if (!chosen)
            chosen = sp;
    }
    if (!chosen) {
        error = path + ": no steer point has an airport (a plan flown from the ground starts at "
                       "one)";
        return std::nullopt;
    }
    PlanRunway r{Trimmed(chosen.child("airport").attribute("shortname").value()),
                 Trimmed(chosen.child("airport").child_value("runway"))};
    if (r.airport.empty() || r.runway.empty()) {
        error = path + ": the take-off airport has no " +
                (r.airport.empty() ? "shortname attribute" : "<runway>");
        return std::nullopt;
    }
    return r;
}

} // namespace fgbridge
