#pragma once
// The log of a component call (generator, checker, executor), without any window.
//
// A component writes its work as whole lines that carry their own CR LF pairs and ends every
// call, successful or not, with FinishLog: the wait for the user to press Close.  It reports
// through ComponentLog, which the caller chooses: the component log window (ui::ComponentLogDialog
// in the window library), or TextLog, which writes the same text to the process's log sink
// (standard output unless a sink is installed) and does not wait.  The text is byte for byte the
// same either way: exactly the text appended; nothing is added.
//
// This header and its library need no Qt: command-line programs and tests link it alone.

#include "ui/Export.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ui {

/// The line that separates the stages of the generator's and the checker's logs: 67 hyphens.
inline constexpr std::string_view kLogSeparator =
    "-------------------------------------------------------------------\r\n";

/// Where a component call writes its log.
class AVILO_LOG_API ComponentLog {
public:
    virtual ~ComponentLog();

    /// Appends `text` as it stands (line breaks are the CR LF pairs inside it).
    virtual void Append(std::string_view text) = 0;
    /// The end of the call: lets the user close the log and waits until it is closed.  Called
    /// once, after the last line; a second call does nothing.
    virtual void Finish() = 0;
};

/// Appends `text` to the log as it stands.
inline void AppendToLog(ComponentLog& log, std::string_view text) {
    log.Append(text);
}
/// Ends the log: waits for Close where there is a window, returns at once otherwise.
inline void FinishLog(ComponentLog& log) {
    log.Finish();
}

/// Receives log text as it is appended, piece by piece.
using LogSink = std::function<void(std::string_view)>;

/// Installs the process's log sink and returns the previous one.  An empty sink restores the
/// default, which writes to standard output (flushed after every piece).  TextLog writes all its
/// text to the sink; a log window sends a copy to an installed (non-default) sink, so that tests
/// can capture the text.  Thread-safe.
AVILO_LOG_API LogSink SetLogSink(LogSink sink);
/// True when a sink other than the default is installed.
AVILO_LOG_API bool LogSinkInstalled();
/// Writes `text` to the installed sink, or to standard output when none is.
AVILO_LOG_API void WriteToLogSink(std::string_view text);

/// The log without a window: every piece goes to the log sink at once, and Finish returns at
/// once.  It also keeps the whole text.
class AVILO_LOG_API TextLog : public ComponentLog {
public:
    TextLog() = default;
    TextLog(const TextLog&) = delete;
    TextLog& operator=(const TextLog&) = delete;

    void Append(std::string_view text) override;
    void Finish() override { m_finished = true; }

    /// The whole text appended so far.
    const std::string& text() const noexcept { return m_text; }
    bool finished() const noexcept { return m_finished; }

private:
    std::string m_text;
    bool m_finished = false;
};

/// Collects all text written to the log sink while it lives (installs a sink, and restores the
/// previous one when it ends).  Captures nest.
class AVILO_LOG_API LogCapture {
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

} // namespace ui
