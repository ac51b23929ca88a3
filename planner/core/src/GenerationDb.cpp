#include "avilo/GenerationDb.h"

namespace avilo::gendb {

using xml::XPathLiteral;

xml::Node PermittedTask(const xml::DocumentPtr& db, const std::string& phase,
                        const std::string& task) {
    return db->selectSingleNode("/scrivodb/phase[@name=" + XPathLiteral(phase) +
                                "]/task[@name=" + XPathLiteral(task) + "]");
}

xml::Node TaskDefinition(const xml::DocumentPtr& db, const std::string& task) {
    return db->selectSingleNode("/scrivodb/task[@name=" + XPathLiteral(task) + "]");
}

xml::NodeList ProcedureParameters(const xml::DocumentPtr& db, const std::string& procedure) {
    return db->selectNodes("/scrivodb/procedure[@name=" + XPathLiteral(procedure) + "]/*");
}

std::vector<std::string> TasksOfPhase(const xml::DocumentPtr& db, const std::string& phase) {
    std::vector<std::string> names;
    for (const xml::Node& name :
         db->selectNodes("/scrivodb/phase[@name=" + XPathLiteral(phase) + "]/task/@name"))
        names.push_back(name.text());
    return names;
}

bool TaskOfferedFor(const xml::DocumentPtr& db, const std::string& steerPointType,
                    const std::string& task) {
    return !db->selectSingleNode("/scrivodb/sptype[@name=" + XPathLiteral(steerPointType) +
                                 "]/task[@name=" + XPathLiteral(task) + "]")
                .empty();
}

} // namespace avilo::gendb
