#pragma once
// Tessar's core, the consistency checker without windows: examines a flight plan against what
// the generator and the executor need and against the aircraft database, writing its findings
// to the log it is given.  Links no Qt; the window library (tessar/Tessar.h) runs it in the
// "Tessar" log window.

#include "tessar/Export.h"
#include "tessar/TessarException.h"

#include <ui/ComponentLog.h>
#include <xml/Dom.h>

#include <string>

namespace tessar {

/// The files the checker reads.
struct TESSAR_CORE_API TessarFiles {
    std::string aircraftDatabase;   ///< the aircraft specification database
    std::string generationDatabase; ///< the generation database, for phases and tasks
    std::string schema;             ///< the flight plan schema, for the steer point types

    /// "acdb.xml", "scrivodb.xml" and "avilo.xsd" in the working directory.
    static TessarFiles WorkingDirectory();
};

/// Checks `plan` and returns true when it is consistent.
///
/// The log lists one line per problem found ("Steer point %i: <problem>." or "Flight plan:
/// <problem>.") and ends with "Flight Plan is consistent." or "Flight Plan is not consistent."
/// (no line break); a generation database that cannot be loaded is one of the problems.  The
/// plan is read, never changed.  The log is finished (the wait for Close) before the call
/// returns or throws.
///
/// Throws CTessarException, after the log is finished: TessarDatabaseParseError when the
/// aircraft database is missing or malformed, TessarComError for any other failed XML operation,
/// among them a missing or unusable schema.
TESSAR_CORE_API bool CheckConsistency(xml::DocumentPtr plan, const TessarFiles& files,
                                      ui::ComponentLog& log);

} // namespace tessar
