#include "DialogModels.h"

#include <avilo/GenerationDb.h>
#include <avilo/PlanDocuments.h>
#include <planformat/PlanFormat.h>

#include <algorithm>
#include <cctype>

namespace avilo::planner {
namespace {

const xml::Schema& PlanSchema(const xml::SchemaCache* schemas) {
    if (!schemas)
        throw xml::ComError(xml::hr::E_POINTER_);
    return schemas->getSchema(kPlanNamespace);
}

} // namespace

std::vector<std::string> SteerPointTypeNames(const xml::SchemaCache* schemas) {
    return planformat::SteerPointTypeNames(PlanSchema(schemas));
}

std::vector<std::string> FlightPhaseNames(const xml::SchemaCache* schemas) {
    return PlanSchema(schemas).simpleTypeEnumeration("flightPhaseList");
}

std::vector<std::string> SortedEntries(std::vector<std::string> entries) {
    std::stable_sort(
        entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
            return std::lexicographical_compare(
                a.begin(), a.end(), b.begin(), b.end(),
                [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
        });
    return entries;
}

TaskChoices LoadTaskChoices(const std::string& databasePath, const std::string& phase,
                            const std::string& steerPointType) {
    TaskChoices choices;
    xml::DocumentPtr db = xml::Document::Create();
    if (!db->load(databasePath)) {
        choices.parseError = db->parseError();
        return choices;
    }
    try {
        for (const std::string& task : gendb::TasksOfPhase(db, phase))
            if (gendb::TaskOfferedFor(db, steerPointType, task))
                choices.tasks.push_back(task);
    } catch (const xml::ComError& e) {
        choices.comError = e;
    }
    return choices;
}

std::string GenerationDbParseErrorMessage(const xml::ParseError& error) {
    return "Flight script generation XML database parse error:\r\nError code: " +
           std::to_string(error.errorCode) + "\r\nLine number: " + std::to_string(error.line) +
           "\r\nError message: " + error.reason;
}

} // namespace avilo::planner
