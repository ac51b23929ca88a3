#include "PlanFile.h"

#include <string>
#include <vector>

namespace avilo::planner {

std::string QtFileFilter(std::string_view filter) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);

    std::string result;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns;
        std::string pattern;
        for (char c : parts[i + 1] + ';') {
            if (c != ';') {
                pattern += c;
            } else if (!pattern.empty()) {
                patterns += (patterns.empty() ? "" : " ") + pattern;
                pattern.clear();
            }
        }
        std::string entry = parts[i];
        const std::string suffix = "(" + patterns + ")";
        if (entry.size() < suffix.size() ||
            entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
            entry += " " + suffix;
        result += (result.empty() ? "" : ";;") + entry;
    }
    return result;
}

std::string PlanParseErrorMessage(const xml::ParseError& error) {
    return "Flight script XML database parse error:\r\nError code: " +
           std::to_string(error.errorCode) + "\r\nLine number: " + std::to_string(error.line) +
           "\r\nError message: " + error.reason;
}

std::variant<LoadedPlan, xml::ParseError> LoadPlanFile(const std::string& path) {
    xml::DocumentPtr plan = xml::Document::Create();
    if (!plan->load(path))
        return plan->parseError();
    xml::Node root = plan->selectSingleNode("/avilo");
    root.nodeName(); // no `avilo` root: raise the COM error before anything is replaced
    return LoadedPlan{std::move(plan), std::move(root)};
}

void SavePlanFile(const xml::Document& plan, const std::string& path) {
    plan.save(path);
}

} // namespace avilo::planner
