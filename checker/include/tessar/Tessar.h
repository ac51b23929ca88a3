#pragma once
// Tessar, the consistency checker as the planner calls it: the core (tessar/TessarCore.h) run in
// the "Tessar" log window on the files of the working directory.

#include "tessar/Export.h"
#include "tessar/TessarCore.h"
#include "tessar/TessarDialog.h"
#include "tessar/TessarException.h"

#include <xml/Dom.h>

namespace tessar {

/// Checks `plan` (see the three-argument CheckConsistency), reading "acdb.xml", "scrivodb.xml"
/// and "avilo.xsd" from the working directory and logging in a CTessarDialog (without a display:
/// to the log sink).  Returns after the user has closed the window; throws CTessarException
/// after the window is closed.
TESSAR_API bool CheckConsistency(xml::DocumentPtr plan);

} // namespace tessar
