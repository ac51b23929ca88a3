#include "scrivo/Scrivo.h"

#include <xml/Schema.h>

namespace scrivo {

std::string GetSteerPointType(const xml::Node& steerpoint) {
    // The schema is read on every call: the type list is the schema's, whatever file is there now.
    xml::SchemaCache schemas;
    schemas.add("urn:avilo", "avilo.xsd");
    const xml::ComplexType& type = schemas.getSchema("urn:avilo").complexType("steerpoint");
    for (const xml::Particle& particle : type.contentModel.particles) {
        if (particle.id != "steerpointType")
            continue;
        for (const xml::Particle& alternative : particle.particles) {
            if (!steerpoint.hasChildNodes())
                continue;
            for (xml::Node child = steerpoint.firstChild(); child; child = child.nextSibling())
                if (child.nodeName() == alternative.name)
                    return alternative.name;
        }
        break;
    }
    return {};
}

} // namespace scrivo
