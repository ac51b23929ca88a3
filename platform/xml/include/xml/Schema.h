#pragma once
// A schema cache that reads XSD files and answers the questions the planner and the generator ask
// of a schema: a named complex type's content model with its particles in order (element
// declarations and model groups, each with its schema `id`), a model group's particles and their
// names, and a named simple type's enumeration.  Nothing is validated against the schemas.

#include "xml/ComError.h"
#include "xml/Export.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xml {

/// One particle of a content model.
struct Particle {
    enum class Kind { Element, Sequence, Choice, All, Any };
    Kind kind = Kind::Element;
    std::string name; ///< element name (declared or referenced, without prefix); empty for groups
    std::string id;   ///< the schema `id` attribute, empty when absent
    std::vector<Particle> particles; ///< a model group's particles, in schema order

    bool isModelGroup() const noexcept {
        return kind == Kind::Sequence || kind == Kind::Choice || kind == Kind::All;
    }
};

struct ComplexType {
    std::string name;
    /// The content model: the type's top-level model group.  A type without one has an empty
    /// sequence.
    Particle contentModel{Particle::Kind::Sequence, {}, {}, {}};
};

class AVILO_XML_API Schema {
public:
    const std::string& targetNamespace() const noexcept { return m_targetNamespace; }
    /// The named complex type; throws ComError when the schema has none of that name.
    const ComplexType& complexType(std::string_view name) const;
    /// The enumeration values of the named simple type, in schema order; throws ComError when
    /// the schema has no simple type of that name.
    const std::vector<std::string>& simpleTypeEnumeration(std::string_view name) const;

private:
    friend class SchemaCache;
    std::string m_targetNamespace;
    std::map<std::string, ComplexType, std::less<>> m_complexTypes;
    std::map<std::string, std::vector<std::string>, std::less<>> m_simpleTypes;
};

class AVILO_XML_API SchemaCache {
public:
    /// Reads the XSD file `path` and registers it under `namespaceURI`, which must be the schema's
    /// target namespace.  A missing or malformed file, or another namespace, throws ComError.
    void add(const std::string& namespaceURI, const std::string& path);
    /// The schema registered under `namespaceURI`; throws ComError when there is none.
    const Schema& getSchema(std::string_view namespaceURI) const;

private:
    std::map<std::string, std::shared_ptr<const Schema>, std::less<>> m_schemas;
};

} // namespace xml
