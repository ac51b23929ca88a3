#pragma once
// The generator's log window (caption "Scrivo"); AppendToLog and FinishLog are ui's.

#include <ui/LogWindow.h>

namespace scrivo {

class CScrivoDialog : public ui::ComponentLogDialog {
public:
    explicit CScrivoDialog(QWidget* parent = nullptr) : ui::ComponentLogDialog("Scrivo", parent) {}
    ~CScrivoDialog() override = default;
};

using ui::AppendToLog;
using ui::FinishLog;

} // namespace scrivo
