#pragma once
// What the steer point dialogs offer, computed without windows: the type and phase lists from
// the plan schema, the tasks of the generation database, and the ordering of sorted lists.

#include <xml/Dom.h>
#include <xml/Schema.h>

#include <optional>
#include <string>
#include <vector>

namespace avilo::planner {

/// The steer point type names: the particles of the model group with id "steerpointType" in the
/// complex type "steerpoint", in schema order; empty when no group has that id.  Throws
/// xml::ComError when the schema or the type is missing (also for a null cache).
std::vector<std::string> SteerPointTypeNames(const xml::SchemaCache* schemas);

/// The flight phases: the enumeration of the simple type "flightPhaseList", in schema order.
std::vector<std::string> FlightPhaseNames(const xml::SchemaCache* schemas);

/// The order of a sorted list or combo box: case-insensitive, ties in insertion order.
std::vector<std::string> SortedEntries(std::vector<std::string> entries);

/// The tasks a dialog offers for a phase at one steer point type, read from the generation
/// database file.
struct TaskChoices {
    /// Set when the database could not be loaded; nothing else is then filled.
    std::optional<xml::ParseError> parseError;
    /// The tasks of the phase that the steer point type allows, in database order.
    std::vector<std::string> tasks;
    /// A COM error met while querying (the tasks found before it stay).
    std::optional<xml::ComError> comError;
};

/// Loads `databasePath` afresh and collects the tasks of `phase` offered at `steerPointType`.
TaskChoices LoadTaskChoices(const std::string& databasePath, const std::string& phase,
                            const std::string& steerPointType);

/// "Flight script generation XML database parse error:\r\nError code: %i\r\nLine number: %i\r\n
/// Error message: %s".
std::string GenerationDbParseErrorMessage(const xml::ParseError& error);

} // namespace avilo::planner
