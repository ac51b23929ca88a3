#pragma once
// Queries on the generation database "scrivodb.xml".
//
// Format: root `scrivodb` with, in any order, `phase` elements (attribute `name`; `task` children
// naming the tasks the phase permits), `sptype` elements ("airport", "GPS"; `task` children naming
// the tasks the planner offers at that steer point type), `task` definitions (attribute `name`;
// `procedure` children naming its procedures) and `procedure` definitions (attribute `name`; each
// child element is a parameter, named after the plan element that supplies it, with an optional
// `default`).  Names compare exactly; of several matches the first in document order counts.
// Every name is placed into the queries so that it matches only itself, quotes included.

#include "avilo/Export.h"

#include <planformat/PlanFormat.h>
#include <xml/Dom.h>

#include <string>
#include <vector>

namespace avilo::gendb {

inline constexpr const char* kGenerationDatabaseFile = planformat::kGenerationDatabaseFile;

/// The `task` reference of `phase` naming `task`, or an empty handle when the phase does not
/// permit it.
AVILO_PLANCORE_API xml::Node PermittedTask(const xml::DocumentPtr& db, const std::string& phase,
                                           const std::string& task);

/// The first definition of `task`, or an empty handle.
AVILO_PLANCORE_API xml::Node TaskDefinition(const xml::DocumentPtr& db, const std::string& task);

/// The parameter elements of the definitions of `procedure`, in document order.
AVILO_PLANCORE_API xml::NodeList ProcedureParameters(const xml::DocumentPtr& db,
                                                     const std::string& procedure);

/// The names of the tasks `phase` permits, in document order.
AVILO_PLANCORE_API std::vector<std::string> TasksOfPhase(const xml::DocumentPtr& db,
                                                         const std::string& phase);

/// Whether the planner offers `task` at steer points of type `steerPointType` ("airport", "GPS").
AVILO_PLANCORE_API bool TaskOfferedFor(const xml::DocumentPtr& db,
                                       const std::string& steerPointType, const std::string& task);

} // namespace avilo::gendb
