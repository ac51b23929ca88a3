#include "xml/Schema.h"

#include "DocumentFile.h"
#include "xml/Dom.h"

#include <pugixml.hpp>

#include <cstring>
#include <functional>

namespace xml {

namespace {

constexpr const char* kSource = "avilo-xml schema cache";
constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

[[noreturn]] void Fail(HRESULT code, std::string description) {
    throw ComError(code, kSource, std::move(description));
}

std::string_view LocalName(std::string_view qname) {
    const auto colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

bool IsXsd(pugi::xml_node n, const char* local) {
    return n.type() == pugi::node_element && LocalName(n.name()) == local;
}

class Reader {
public:
    explicit Reader(pugi::xml_node schema) : m_schema(schema) {
        for (pugi::xml_node c : schema.children())
            if (IsXsd(c, "group") && c.attribute("name"))
                m_groups[c.attribute("name").value()] = c;
    }

    // A particle of a content model, or nothing for schema components that are not particles
    // (annotations, attributes).
    bool ReadParticle(pugi::xml_node n, Particle& out, int depth = 0) {
        if (depth > 64)
            Fail(hr::E_FAIL_, "The schema's model groups nest too deeply.");
        const std::string_view local = LocalName(n.name());
        out.id = n.attribute("id").value();
        if (local == "element") {
            out.kind = Particle::Kind::Element;
            const char* name =
                n.attribute("name") ? n.attribute("name").value() : n.attribute("ref").value();
            out.name = std::string(LocalName(name));
            return true;
        }
        if (local == "any") {
            out.kind = Particle::Kind::Any;
            return true;
        }
        if (local == "sequence" || local == "choice" || local == "all") {
            out.kind = local == "sequence" ? Particle::Kind::Sequence
                       : local == "choice" ? Particle::Kind::Choice
                                           : Particle::Kind::All;
            for (pugi::xml_node c : n.children()) {
                Particle p;
                if (c.type() == pugi::node_element && ReadParticle(c, p, depth + 1))
                    out.particles.push_back(std::move(p));
            }
            return true;
        }
        if (local == "group") {
            // A reference to a named group stands for that group's model group.
            const auto it = m_groups.find(std::string(LocalName(n.attribute("ref").value())));
            if (it == m_groups.end())
                Fail(hr::E_FAIL_, std::string("Undefined group '") + n.attribute("ref").value() +
                                      "' in the schema.");
            for (pugi::xml_node c : it->second.children()) {
                if (c.type() != pugi::node_element || LocalName(c.name()) == "annotation")
                    continue;
                const std::string refId = out.id;
                if (!ReadParticle(c, out, depth + 1))
                    return false;
                if (!refId.empty())
                    out.id = refId;
                return true;
            }
            return false;
        }
        return false;
    }

    ComplexType ReadComplexType(pugi::xml_node n) {
        ComplexType type;
        type.name = n.attribute("name").value();
        // The model group sits directly in the type, or in complexContent's extension or
        // restriction.
        std::function<bool(pugi::xml_node)> find = [&](pugi::xml_node parent) {
            for (pugi::xml_node c : parent.children()) {
                const std::string_view local = LocalName(c.name());
                if (local == "sequence" || local == "choice" || local == "all" || local == "group")
                    return ReadParticle(c, type.contentModel);
                if (local == "complexContent" || local == "extension" || local == "restriction")
                    if (find(c))
                        return true;
            }
            return false;
        };
        find(n);
        return type;
    }

private:
    pugi::xml_node m_schema;
    std::map<std::string, pugi::xml_node> m_groups;
};

} // namespace

const ComplexType& Schema::complexType(std::string_view name) const {
    const auto it = m_complexTypes.find(name);
    if (it == m_complexTypes.end())
        Fail(hr::E_ELEMENT_NOT_FOUND_,
             "The schema has no complex type named '" + std::string(name) + "'.");
    return it->second;
}

const std::vector<std::string>& Schema::simpleTypeEnumeration(std::string_view name) const {
    const auto it = m_simpleTypes.find(name);
    if (it == m_simpleTypes.end())
        Fail(hr::E_ELEMENT_NOT_FOUND_,
             "The schema has no simple type named '" + std::string(name) + "'.");
    return it->second;
}

void SchemaCache::add(const std::string& namespaceURI, const std::string& path) {
    std::string text;
    int err = 0;
    switch (detail::ReadDocumentFile(path, text, err)) {
    case detail::ReadStatus::Ok:
        break;
    case detail::ReadStatus::NotRegular:
        Fail(hr::E_ACCESSDENIED_, "The schema file '" + path + "' is not a regular file.");
    case detail::ReadStatus::TooLarge:
        Fail(hr::E_FAIL_, "The schema file '" + path + "' is larger than 64 MB.");
    case detail::ReadStatus::OutOfMemory:
        Fail(hr::E_OUTOFMEMORY_, "Not enough memory to read the schema file '" + path + "'.");
    default:
        Fail(hr::INET_E_OBJECT_NOT_FOUND_, "The schema file '" + path + "' cannot be read.");
    }
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_buffer(text.data(), text.size());
    if (!result)
        Fail(hr::E_FAIL_,
             "The schema file '" + path + "' is not well formed: " + result.description());
    if (detail::FirstTooDeep(doc, 0))
        Fail(hr::E_FAIL_, "The schema file '" + path + "' nests elements more than " +
                              std::to_string(kMaxElementDepth) + " levels deep.");
    const pugi::xml_node root = doc.document_element();
    if (!IsXsd(root, "schema"))
        Fail(hr::E_FAIL_, "'" + path + "' is not an XML schema.");
    // The root's prefix must be bound to the XML Schema namespace.
    const std::string_view rootName = root.name();
    const auto colon = rootName.find(':');
    const std::string xmlnsAttr = colon == std::string_view::npos
                                      ? "xmlns"
                                      : "xmlns:" + std::string(rootName.substr(0, colon));
    if (std::strcmp(root.attribute(xmlnsAttr.c_str()).value(), kXsdNamespace) != 0)
        Fail(hr::E_FAIL_, "'" + path + "' is not an XML schema.");

    auto schema = std::make_shared<Schema>();
    schema->m_targetNamespace = root.attribute("targetNamespace").value();
    if (schema->m_targetNamespace != namespaceURI)
        Fail(hr::E_FAIL_, "The namespace '" + namespaceURI +
                              "' does not match the schema's target namespace '" +
                              schema->m_targetNamespace + "'.");

    Reader reader(root);
    for (pugi::xml_node c : root.children()) {
        if (IsXsd(c, "complexType") && c.attribute("name")) {
            schema->m_complexTypes.emplace(c.attribute("name").value(), reader.ReadComplexType(c));
        } else if (IsXsd(c, "simpleType") && c.attribute("name")) {
            std::vector<std::string> values;
            for (pugi::xml_node r : c.children())
                if (IsXsd(r, "restriction"))
                    for (pugi::xml_node e : r.children())
                        if (IsXsd(e, "enumeration"))
                            values.emplace_back(e.attribute("value").value());
            schema->m_simpleTypes.emplace(c.attribute("name").value(), std::move(values));
        }
    }
    m_schemas[namespaceURI] = std::move(schema);
}

const Schema& SchemaCache::getSchema(std::string_view namespaceURI) const {
    const auto it = m_schemas.find(namespaceURI);
    if (it == m_schemas.end())
        Fail(hr::E_ELEMENT_NOT_FOUND_,
             "No schema is registered for the namespace '" + std::string(namespaceURI) + "'.");
    return *it->second;
}

} // namespace xml
