#pragma once
// The generator's log window (caption "Scrivo"); AppendToLog and FinishLog are ui's.

#include "scrivo/Export.h"

#include <ui/LogWindow.h>

namespace scrivo {

class SCRIVO_API CScrivoDialog : public ui::ComponentLogDialog {
public:
    explicit CScrivoDialog(QWidget* parent = nullptr) : ui::ComponentLogDialog("Scrivo", parent) {}
    ~CScrivoDialog() override = default;
};

using ui::AppendToLog;
using ui::FinishLog;

} // namespace scrivo
