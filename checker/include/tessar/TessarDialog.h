#pragma once
// The checker's log window (caption "Tessar"); AppendToLog and FinishLog are ui's.

#include "tessar/Export.h"

#include <ui/LogWindow.h>

namespace tessar {

class TESSAR_API CTessarDialog : public ui::ComponentLogDialog {
public:
    explicit CTessarDialog(QWidget* parent = nullptr) : ui::ComponentLogDialog("Tessar", parent) {}
    ~CTessarDialog() override = default;
};

using ui::AppendToLog;
using ui::FinishLog;

} // namespace tessar
