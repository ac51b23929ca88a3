#include "avilo/PlanDocuments.h"

namespace avilo {

PlanDocuments::PlanDocuments(const ComErrorReporter& report) {
    try {
        auto schemas = std::make_shared<xml::SchemaCache>();
        schemas->add(kPlanNamespace, kPlanSchemaFile);
        m_pSchemas = std::move(schemas);
        m_pAirports = xml::Document::Create();
        m_pAirports->load(kAirportDatabaseFile); // result deliberately not examined
    } catch (const xml::ComError& e) {
        report(e);
    }
    try {
        m_pPlan = xml::Document::Create();
        m_pPlan->insertBefore(m_pPlan->createProcessingInstruction("xml", kPlanDeclarationData),
                              xml::Node());
        m_pRoot = m_pPlan->appendChild(m_pPlan->createElement("avilo"));
        m_pScript = xml::Document::Create();
    } catch (const xml::ComError& e) {
        report(e);
    }
}

std::string GetSteerPointType(const xml::SchemaCache& schemas, const xml::Node& steerPoint) {
    return planformat::SteerPointTypeOf(planformat::SteerPointTypeNames(schemas), steerPoint);
}

CoordinateText ReadGPSCoordinate(const xml::Node& gpsCoordinate) {
    const xml::Node first = gpsCoordinate.firstChild();
    const xml::Node last = gpsCoordinate.lastChild();
    if (first.nodeName() == "longitude")
        return {first.text(), last.text()};
    return {last.text(), first.text()};
}

} // namespace avilo
