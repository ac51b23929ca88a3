#pragma once
// Tessar, the consistency checker: examines a flight plan against what the generator and the
// executor need and against the aircraft database "acdb.xml", logging in its log window.

#include "tessar/TessarDialog.h"
#include "tessar/TessarException.h"

#include <xml/Dom.h>

namespace tessar {

/// Checks `plan` and returns true when it is consistent.
///
/// Reads "acdb.xml", "scrivodb.xml" and "avilo.xsd" from the working directory.  The log lists
/// one line per problem found ("Steer point %i: <problem>." or "Flight plan: <problem>.") and
/// ends with "Flight Plan is consistent." or "Flight Plan is not consistent." (no line break).
/// The plan is read, never changed.  The call returns after the user has closed the log window.
///
/// Throws CTessarException (after the log window is closed): TessarDatabaseParseError when
/// "acdb.xml" is missing or malformed, TessarComError for any other failed XML operation.
bool CheckConsistency(xml::DocumentPtr plan);

} // namespace tessar
