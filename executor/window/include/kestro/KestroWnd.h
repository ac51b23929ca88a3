#pragma once
// CKestroWnd: the flight executor's message window.
//
// With a display it is a dialog (object name "6000") captioned "Kestro", with a read-only
// scrolling text box (object name "7000") and a Close button (object name "1") that is enabled
// from the start.  The worker thread appends lines with AddMessage; the text changes are carried
// out on the window's own thread by queued invocation, in the order sent, and the newest line is
// always scrolled into view.  RunModalLoop returns when the user presses Close (or Enter or
// Escape).
//
// Without a display (most tests) the text goes to the log sink of the user interface layer
// (standard output by default), and RunModalLoop returns once the worker has ended or
// RequestClose was called.  The text is the same either way: exactly the messages appended, CR
// LF pairs included.

#include "kestro/Export.h"
#include "kestro/FlightReport.h"
#include "kestro/FlightSamples.h"
#include "kestro/MessageWindow.h"

#include <xml/Dom.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QChart;
class QDialog;
class QLabel;
class QPlainTextEdit;

namespace ui {
class ComponentLogDialog;
}

namespace kestro {

class KESTRO_API CKestroWnd : public IMessageWindow {
public:
    CKestroWnd();
    ~CKestroWnd() override;
    CKestroWnd(const CKestroWnd&) = delete;
    CKestroWnd& operator=(const CKestroWnd&) = delete;

    /// Creates and shows the dialog when there is a display (call on the display's thread),
    /// otherwise prepares the text sink.  True when the window (or the sink) is ready.
    virtual bool Create();

    /// Appends `text` as it stands (its CR LF pairs are the line breaks).  Any thread.
    void AddMessage(std::string text) override;
    /// Shows `text` in a message box with the stop icon over the window.  Any thread; the call
    /// does not wait for the box to be answered when it comes from another thread than the
    /// window's.
    void ShowStopMessage(const std::string& text) override;

    /// Waits until the window is closed (see the class comment).  On the window's thread.
    void RunModalLoop() override;
    /// Closes the window as the Close button does.  Any thread.
    void RequestClose() override;
    /// Tells a window without display that the worker has ended.  Any thread.
    void NotifyWorkerEnded() override;

    /// Follows the flight of `script`: on the window's thread, at least twice a second while the
    /// worker flies and once when it has ended, takes the samples the worker handed to
    /// `samples`, passes them to `onSamples` (may be empty) and, with a display, shows beside
    /// the log the current leg, altitude, airspeed and heading against the planned ones and the
    /// profile; when the flight has ended, its report (FlightReport) below the log.  Call on the
    /// window's thread after Create.
    void FollowFlight(xml::DocumentPtr script, std::shared_ptr<FlightSampleBuffer> samples,
                      std::function<void(const std::vector<FlightSample>&)> onSamples);
    /// Takes and shows what the worker handed since the last look.  On the window's thread.
    void TakeSamples();
    /// The flight's samples taken so far.  On the window's thread.
    const std::vector<FlightSample>& Track() const { return m_track; }
    /// The flight report once the flight has ended with a track, else empty.
    const std::string& ReportText() const { return m_report; }

    /// The whole text appended so far.
    std::string GetText() const;
    /// The dialog, or nullptr without a display.
    QDialog* GetDialog() const;

private:
    std::unique_ptr<QDialog> m_pDialog;
    QPlainTextEdit* m_pEdit = nullptr;
    std::unique_ptr<ui::ComponentLogDialog> m_sink;
    QLabel* m_pFigures = nullptr;
    QPlainTextEdit* m_pReport = nullptr;
    QChart* m_pProfile = nullptr; ///< owned by its view in the dialog

    void ShowFigures();
    void OnFlightEnded();
    xml::DocumentPtr m_script;
    std::shared_ptr<FlightSampleBuffer> m_samples;
    std::function<void(const std::vector<FlightSample>&)> m_onSamples;
    std::vector<FlightSample> m_track;
    std::string m_report;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::string m_text;
    /// Text added since the window last showed it, and whether a hand-over to the window's
    /// thread is already queued: a fast worker's lines reach the text box in batches, one
    /// insertion and one repaint per turn of the window's event loop rather than per line.
    std::string m_pending;
    bool m_flushQueued = false;
    bool m_closeRequested = false;
    bool m_workerEnded = false;
};

} // namespace kestro
