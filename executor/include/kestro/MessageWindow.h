#pragma once
// The window an execution reports to, as the executor sees it: the worker appends its log lines
// and shows its stop messages; the caller waits in it until it is closed.  CKestroWnd (the
// executor's message window, in the window library) is one; CConsoleWindow, for programs
// without windows, writes to the standard streams.

#include "kestro/Export.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace kestro {

class KESTRO_CORE_API IMessageWindow {
public:
    virtual ~IMessageWindow() = default;

    /// Appends `text` as it stands (its CR LF pairs are the line breaks).  Any thread; the
    /// texts appear in the order of the calls.
    virtual void AddMessage(std::string text) = 0;
    /// Shows `text` as a stop message (a message box with the stop icon, over a window).  Any
    /// thread; from another thread than the window's it does not wait for an answer.
    virtual void ShowStopMessage(const std::string& text) = 0;
    /// Waits until the window is closed: by its user, by RequestClose, or, for a window without
    /// a user to close it, once the worker has ended.  On the caller's thread.
    virtual void RunModalLoop() = 0;
    /// Closes the window as its Close button does.  Any thread.
    virtual void RequestClose() = 0;
    /// Tells the window that the worker has ended.  Any thread.
    virtual void NotifyWorkerEnded() = 0;
};

/// The message window of a console program: the messages go to the process's log sink as they
/// come (standard output unless a sink is installed, <ui/ComponentLog.h>; exactly the text
/// appended, CR LF pairs included), as the generator's and the checker's logs do; stop messages
/// go to standard error as "Kestro: <text>" and a line end, as a message box without a display
/// shows them.  RunModalLoop returns once the worker has ended or RequestClose was called.
class KESTRO_CORE_API CConsoleWindow final : public IMessageWindow {
public:
    /// Receives text as it is written.
    using Output = std::function<void(std::string_view)>;

    /// Writes to the log sink and standard error.
    CConsoleWindow();
    /// Writes the messages to `messages` and the stop messages ("Kestro: <text>\n") to
    /// `stopMessages` (tests silence or capture them).
    CConsoleWindow(Output messages, Output stopMessages);

    void AddMessage(std::string text) override;
    void ShowStopMessage(const std::string& text) override;
    void RunModalLoop() override;
    void RequestClose() override;
    void NotifyWorkerEnded() override;

private:
    Output m_messages;
    Output m_stopMessages;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_closeRequested = false;
    bool m_workerEnded = false;
};

} // namespace kestro
