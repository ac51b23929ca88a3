#include "planformat/PlanFormat.h"

namespace planformat {

std::vector<std::string> SteerPointTypeNames(const xml::Schema& schema) {
    std::vector<std::string> names;
    for (const xml::Particle& particle : schema.complexType("steerpoint").contentModel.particles) {
        if (particle.id != kSteerPointTypeGroupId)
            continue;
        for (const xml::Particle& type : particle.particles)
            names.push_back(type.name);
        break;
    }
    return names;
}

std::vector<std::string> SteerPointTypeNames(const xml::SchemaCache& schemas) {
    return SteerPointTypeNames(schemas.getSchema(kPlanNamespace));
}

std::vector<std::string> ReadSteerPointTypeNames(const std::string& schemaPath) {
    xml::SchemaCache schemas;
    schemas.add(kPlanNamespace, schemaPath);
    return SteerPointTypeNames(schemas);
}

std::string SteerPointTypeOf(const std::vector<std::string>& types, const xml::Node& steerPoint) {
    if (types.empty() || !steerPoint.hasChildNodes())
        return {};
    for (const std::string& type : types)
        for (xml::Node child = steerPoint.firstChild(); child; child = child.nextSibling())
            if (child.nodeName() == type)
                return type;
    return {};
}

} // namespace planformat
