#pragma once
// The component log window: the window in which the generator and the checker show their work.
//
// With a display it is a dialog (object name "6000") with the caption given, a read-only
// scrolling text box (object name "7000") into which every step is appended, and a button "Close"
// (object name "1") that stays disabled until FinishLog.  FinishLog enables Close and waits, in a
// modal loop, until the user presses Close (or Enter or Escape); then the window is destroyed.
//
// Without a display (command-line tools, most tests) the same calls write the text to the log
// sink and FinishLog returns at once.  The text is the same either way: it is exactly the text
// appended, CR LF pairs included; nothing is added.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QWidget;
class QDialog;

namespace ui {

/// Receives log text as it is appended, piece by piece.
using LogSink = std::function<void(std::string_view)>;

/// Installs the log sink and returns the previous one.  An empty sink restores the default,
/// which writes to standard output.  Without a display all log text goes to the sink; with a
/// display an installed (non-default) sink receives a copy, so tests can capture the text.
LogSink SetLogSink(LogSink sink);

/// Called with the log dialog once FinishLog has enabled Close and starts waiting; tests install
/// one to press Close.  An empty handler removes it.  Returns the previous handler.
using LogFinishHandler = std::function<void(QDialog&)>;
LogFinishHandler SetLogFinishHandler(LogFinishHandler handler);

/// Collects all log text while it lives (installs a sink, restores the previous one).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    const std::string& text() const noexcept { return *m_text; }

private:
    std::shared_ptr<std::string> m_text;
    LogSink m_previous;
};

/// The log window of one component call.  Created at the start of the call and shown at once;
/// FinishLog ends it.  The destructor closes a window that was not finished.
class ComponentLogDialog {
public:
    /// `caption`: "Scrivo", "Tessar", ...  `parent`: the parent window; none means the
    /// application's main window, when there is one.
    explicit ComponentLogDialog(std::string caption, QWidget* parent = nullptr);
    virtual ~ComponentLogDialog();
    ComponentLogDialog(const ComponentLogDialog&) = delete;
    ComponentLogDialog& operator=(const ComponentLogDialog&) = delete;

    const std::string& caption() const noexcept { return m_caption; }
    /// The whole text appended so far.
    const std::string& text() const noexcept { return m_text; }
    /// The dialog, or nullptr without a display or once finished.
    QDialog* dialog() const;
    bool finished() const noexcept { return m_finished; }

private:
    friend void AppendToLog(ComponentLogDialog& log, std::string_view text);
    friend void FinishLog(ComponentLogDialog& log);
    struct Window;

    std::string m_caption;
    std::string m_text;
    bool m_finished = false;
    std::unique_ptr<Window> m_window;
};

/// Appends `text` to the log as it stands (line breaks are the CR LF pairs inside it).
void AppendToLog(ComponentLogDialog& log, std::string_view text);
/// Enables Close and waits until the user presses it, then destroys the window.  Without a
/// display it returns at once.  A second call does nothing.
void FinishLog(ComponentLogDialog& log);

} // namespace ui
