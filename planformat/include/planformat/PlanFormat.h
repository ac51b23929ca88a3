#pragma once
// The flight plan format, shared by the planner, the generator and the checker: the vocabulary
// constants and the one rule for a steer point's type.
//
// A steer point's type is not an attribute: it is the name of one of its child elements, and
// which names count as types is the plan schema's business.  The schema "avilo.xsd" (namespace
// "urn:avilo") defines a complex type "steerpoint" whose content model holds a model group with
// the schema id "steerpointType"; the names of that group's element declarations, in schema
// order, are the steer point types ("airport", "GPS").

#include "planformat/Export.h"

#include <xml/Dom.h>
#include <xml/Schema.h>

#include <string>
#include <vector>

namespace planformat {

/// The namespace the plan schema is registered under.
inline constexpr const char* kPlanNamespace = "urn:avilo";
/// The plan schema, read from the working directory.
inline constexpr const char* kPlanSchemaFile = "avilo.xsd";
/// The generation database of phases, steer point types, tasks and procedures, read from the
/// working directory by the generator, the checker and the planner's steer point dialogs.
inline constexpr const char* kGenerationDatabaseFile = "scrivodb.xml";
/// The data of the `xml` processing instruction that heads a plan and a flight script.
inline constexpr const char* kDeclarationData = "version='1.0' encoding='UTF-8'";
/// The schema id of the model group whose element declarations are the steer point types.
inline constexpr const char* kSteerPointTypeGroupId = "steerpointType";

/// The steer point type names of `schema`: the particle names of the first particle with id
/// "steerpointType" in the content model of the complex type "steerpoint", in schema order;
/// empty when no particle has that id.  Throws xml::ComError when the schema has no complex
/// type "steerpoint".
AVILO_PLANFORMAT_API std::vector<std::string> SteerPointTypeNames(const xml::Schema& schema);

/// The same from the schema registered under "urn:avilo" in `schemas`; throws xml::ComError when
/// none is registered.
AVILO_PLANFORMAT_API std::vector<std::string> SteerPointTypeNames(const xml::SchemaCache& schemas);

/// Reads the plan schema file `schemaPath` (registered under "urn:avilo") and returns its steer
/// point type names.  Throws xml::ComError when the file is missing, malformed, of another
/// namespace, or has no complex type "steerpoint".
AVILO_PLANFORMAT_API std::vector<std::string>
ReadSteerPointTypeNames(const std::string& schemaPath);

/// The type of `steerPoint`: the first of `types`, in their order, that is the node name of a
/// child of `steerPoint` (the child's position does not matter); empty when none is, and when
/// `steerPoint` has no children.  Only reads.  With a non-empty `types`, an empty handle throws
/// xml::ComError as every use of one does.
AVILO_PLANFORMAT_API std::string SteerPointTypeOf(const std::vector<std::string>& types,
                                                  const xml::Node& steerPoint);

} // namespace planformat
