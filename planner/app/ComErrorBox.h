#pragma once
// How the planner shows a failed XML operation: one message box, the same everywhere (the
// commands of the main frame and the list bar, the steer point dialogs, the chart windows).

#include <xml/ComError.h>

class QWidget;

namespace avilo::planner {

/// Shows `error` over `parent` in a message box captioned "Avilo" with the error icon; the text
/// is xml::FormatComErrorMessage's: "COM Error:\r\n", then the source and description when the
/// error carries them, else the system message of its code and the description.
void ShowComError(QWidget* parent, const xml::ComError& error);

} // namespace avilo::planner
