#pragma once
// The component log window: the window in which the generator and the checker show their work.
//
// With a display it is a dialog (object name "6000") with the caption given, a read-only
// scrolling text box (object name "7000") into which every step is appended, and a button "Close"
// (object name "1") that stays disabled until FinishLog.  FinishLog enables Close and waits, in a
// modal loop, until the user presses Close (or Enter or Escape); then the window is destroyed.
//
// Without a display (a program without a QApplication) it behaves as ui::TextLog: the text goes
// to the log sink and FinishLog returns at once.  The text is the same either way: it is exactly
// the text appended, CR LF pairs included; nothing is added.

#include "ui/ComponentLog.h"
#include "ui/Export.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QWidget;
class QDialog;

namespace ui {

/// Called with the log dialog once FinishLog has enabled Close and starts waiting; tests install
/// one to press Close.  An empty handler removes it.  Returns the previous handler.
using LogFinishHandler = std::function<void(QDialog&)>;
AVILO_UI_API LogFinishHandler SetLogFinishHandler(LogFinishHandler handler);

/// The log window of one component call.  Created at the start of the call and shown at once;
/// FinishLog ends it.  The destructor closes a window that was not finished.
class AVILO_UI_API ComponentLogDialog : public ComponentLog {
public:
    /// `caption`: "Scrivo", "Tessar", ...  `parent`: the parent window; none means the
    /// application's main window, when there is one.
    explicit ComponentLogDialog(std::string caption, QWidget* parent = nullptr);
    ~ComponentLogDialog() override;
    ComponentLogDialog(const ComponentLogDialog&) = delete;
    ComponentLogDialog& operator=(const ComponentLogDialog&) = delete;

    /// Appends to the text box (and, without a display, to the log sink).
    void Append(std::string_view text) override;
    /// Enables Close and waits until the user presses it, then destroys the window.  Without a
    /// display it returns at once.  A second call does nothing.
    void Finish() override;

    const std::string& caption() const noexcept { return m_caption; }
    /// The whole text appended so far.
    const std::string& text() const noexcept { return m_text; }
    /// The dialog, or nullptr without a display or once finished.
    QDialog* dialog() const;
    bool finished() const noexcept { return m_finished; }

private:
    struct Window;

    std::string m_caption;
    std::string m_text;
    bool m_finished = false;
    std::unique_ptr<Window> m_window;
};

} // namespace ui
