#pragma once
// Scrivo's core, the flight script generator without windows: turns a flight plan into a flight
// script by the rules of the generation database, writing every step to the log it is given.
// Links no Qt; the window library (scrivo/Scrivo.h) runs it in the "Scrivo" log window.

#include "scrivo/Export.h"
#include "scrivo/ScrivoException.h"

#include <ui/ComponentLog.h>
#include <xml/Dom.h>

#include <string>

namespace scrivo {

/// The files the generator reads.
struct SCRIVO_CORE_API ScrivoFiles {
    std::string database; ///< the generation database
    std::string schema;   ///< the flight plan schema, for the steer point types

    /// "scrivodb.xml" and "avilo.xsd" in the working directory.
    static ScrivoFiles WorkingDirectory();
};

/// Builds the flight script of `plan` (root element "avilo", one child per steer point).
///
/// Reads `files.database` at the start and `files.schema` once, at the first steer point it
/// types.  The plan is read, never changed.  Every step is appended to `log`, which is finished
/// (the wait for Close) before the call returns or throws.  The result is a new document: a
/// processing instruction "xml" and the root "flightscript" with one "phase" element per run of
/// steer points of one phase, holding copies of the database's task definitions stamped with the
/// steer point number and filled with procedure parameters.
///
/// Throws CScrivoException, after the log is finished: ScrivoDatabaseParseError when the
/// database is missing or malformed, ScrivoPlanNotInitialized when `plan` has no child node,
/// ScrivoComError for any failed XML operation, among them a missing plan, a missing root
/// "avilo", a missing or unusable schema, a steer point without "phase", "GPSCoordinate" or
/// "timeOverSteerPoint", and a procedure that is not a direct child of its task.
SCRIVO_CORE_API xml::DocumentPtr
GenerateFlightScript(xml::DocumentPtr plan, const ScrivoFiles& files, ui::ComponentLog& log);

} // namespace scrivo
