#pragma once
// Scrivo, the flight script generator as the planner calls it: the core (scrivo/ScrivoCore.h)
// run in the "Scrivo" log window on the files of the working directory.

#include "scrivo/Export.h"
#include "scrivo/ScrivoCore.h"
#include "scrivo/ScrivoDialog.h"
#include "scrivo/ScrivoException.h"

#include <xml/Dom.h>

namespace scrivo {

/// Builds the flight script of `plan` (see the three-argument GenerateFlightScript), reading
/// "scrivodb.xml" and "avilo.xsd" from the working directory and logging in a CScrivoDialog
/// (without a display: to the log sink).  Returns after the user has closed the window; throws
/// CScrivoException after the window is closed.
SCRIVO_API xml::DocumentPtr GenerateFlightScript(xml::DocumentPtr plan);

} // namespace scrivo
