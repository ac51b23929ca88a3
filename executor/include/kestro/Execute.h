#pragma once
// Executing a flight script: the worker thread flies it through the library's one simulator
// link while a message window (any IMessageWindow) shows each step; the call returns when the
// window is closed, after stopping a flight still under way (within one wait: every wait and
// exchange of the worker checks the clock's stop request).  It throws nothing of its own.
//
// This is the executor's core, without windows: command-line programs pass a CConsoleWindow.
// The planner's ExecuteFlightScript(script), which opens the message window CKestroWnd, is in
// the window library (<kestro/Kestro.h>).

#include "kestro/ControlLaw.h"
#include "kestro/Export.h"
#include "kestro/FSUIPC.h"
#include "kestro/FlightSamples.h"
#include "kestro/MessageWindow.h"

#include <ipc/Clock.h>
#include <xml/Dom.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestro {

/// What the worker is given: its own reference to the script, and the window it reports to.
struct ExecutionParams {
    xml::DocumentPtr script;
    IMessageWindow* window = nullptr;
};

/// How to fly.
struct FlightOptions {
    /// The clock every wait goes through; null for real time.  The clock is asked to stop when
    /// the window closes, so give each execution a fresh one.
    std::shared_ptr<ipc::Clock> clock;
    /// Ends a flight still under way after this many milliseconds of the clock's time; 0 for no
    /// limit (the planner's behaviour).
    std::int64_t timeLimitMs = 0;
    /// The control law to fly with; the classic one unless a caller chooses otherwise.
    ControlLaw law = ControlLaw::Classic;
    /// Where the worker hands the aircraft's state while it flies (every `samplePeriodMs` of the
    /// flight's clock, and at the end), for a reader on another thread; none when null.
    std::shared_ptr<FlightSampleBuffer> samples;
    std::int64_t samplePeriodMs = 250;
};

struct ExecutionResult {
    /// The worker's exit code: 0 after "Finished executing the flight script.", else 1.
    int exitCode = 1;
    /// The whole text the window was given.
    std::string log;
    /// The texts of the stop messages shown, in order.
    std::vector<std::string> messageBoxes;
    /// The flight was ended by the time limit.
    bool timeLimitReached = false;
    /// The flight was ended because the window was closed while it ran.
    bool stopped = false;
    /// The script was refused before the link opened (the log says why): nothing was flown.
    bool refused = false;
};

/// Flies `script` on a worker thread, reporting to `window`, and returns when the window is
/// closed (for a window without a user: when the worker has ended).
KESTRO_CORE_API ExecutionResult ExecuteFlightScript(xml::DocumentPtr script,
                                                    const FlightOptions& options,
                                                    IMessageWindow& window);

/// The worker: flies the script of `params`, reporting to its window (and into `result`),
/// through the library's one link `client` with the control law `law`; returns the exit code.
KESTRO_CORE_API int ExecutorThread(const ExecutionParams& params, CFSUIPCClient& client,
                                   std::int64_t timeLimitMs, ExecutionResult& result,
                                   ControlLaw law = ControlLaw::Classic,
                                   std::shared_ptr<FlightSampleBuffer> samples = nullptr,
                                   std::int64_t samplePeriodMs = 250);

/// The library's one simulator link, used by the worker of the execution under way.
KESTRO_CORE_API CFSUIPCClient& TheFSUIPCClient();

} // namespace kestro
