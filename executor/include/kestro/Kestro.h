#pragma once
// Kestro, the flight executor: flies a flight script through the simulator link on a worker
// thread while its message window shows each step.
//
// ExecuteFlightScript(script) is the planner's call: it opens the message window, starts the
// worker, waits until the user closes the window, stops the worker if it still flies (within one
// wait: every wait and exchange of the worker checks the clock's stop request) and returns.  It
// throws nothing.  The overload with ExecutionOptions lets a caller choose the clock (virtual
// time for the in-process simulator) and limit the flight's length, and reports how it ended.

#include "kestro/ControlLaw.h"
#include "kestro/FSExecException.h"
#include "kestro/FSUIPC.h"
#include "kestro/KestroWnd.h"

#include <ipc/Clock.h>
#include <xml/Dom.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestro {

/// What the worker is given: its own reference to the script, and the window it reports to.
struct ExecutionParams {
    xml::DocumentPtr script;
    CKestroWnd* window = nullptr;
};

struct ExecutionOptions {
    /// The clock every wait goes through; null for real time.  The clock is asked to stop when
    /// the window closes, so give each execution a fresh one.
    std::shared_ptr<ipc::Clock> clock;
    /// Ends a flight still under way after this many milliseconds of the clock's time; 0 for no
    /// limit (the planner's behaviour).
    std::int64_t timeLimitMs = 0;
    /// The control law to fly with; the classic one unless a caller chooses otherwise.
    ControlLaw law = ControlLaw::Classic;
    /// Called on the caller's thread once the window exists, before the worker starts (tests use
    /// it to close the window from elsewhere).
    std::function<void(CKestroWnd&)> onWindowCreated;
};

struct ExecutionResult {
    /// The worker's exit code: 0 after "Finished executing the flight script.", else 1.
    int exitCode = 1;
    /// The whole text of the message window.
    std::string log;
    /// The texts of the message boxes shown (stop icon), in order.
    std::vector<std::string> messageBoxes;
    /// The flight was ended by the time limit.
    bool timeLimitReached = false;
    /// The flight was ended because the window was closed while it ran.
    bool stopped = false;
};

/// Flies `script` in real time, returns when the message window is closed.
void ExecuteFlightScript(xml::DocumentPtr script);
/// The same with a chosen clock and limit; reports how the flight ended.
ExecutionResult ExecuteFlightScript(xml::DocumentPtr script, const ExecutionOptions& options);

/// The worker: flies the script of `params`, reporting to its window, through the library's one
/// link `client` with the control law `law`; returns the exit code.
int ExecutorThread(const ExecutionParams& params, CFSUIPCClient& client, std::int64_t timeLimitMs,
                   ExecutionResult& result, ControlLaw law = ControlLaw::Classic);

/// The library's one simulator link, used by the worker of the execution under way.
CFSUIPCClient& TheFSUIPCClient();

} // namespace kestro
