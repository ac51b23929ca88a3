#pragma once
// Whether windows can be shown.

#include "ui/Export.h"

namespace ui {

/// True when a QApplication (a GUI application, the offscreen platform included) exists and the
/// caller runs on its thread, so that windows can be created.  Command-line tools and most tests
/// run without one; the user-interface calls of this library then fall back to text.
AVILO_UI_API bool HasDisplay();

} // namespace ui
