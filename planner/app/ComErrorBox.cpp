#include "ComErrorBox.h"

#include <ui/Dialogs.h>

namespace avilo::planner {

void ShowComError(QWidget* parent, const xml::ComError& error) {
    ui::MessageBox(parent, xml::FormatComErrorMessage(error), "Avilo", ui::Icon::Error);
}

} // namespace avilo::planner
