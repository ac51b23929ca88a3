#pragma once
// Kestro, the flight executor, as the planner calls it: ExecuteFlightScript(script) opens the
// message window (CKestroWnd), flies the script on a worker thread while the window shows each
// step, waits until the user closes the window, stops the worker if it still flies and returns.
// It throws nothing.  The overload with ExecutionOptions lets a caller choose the clock (virtual
// time for the in-process simulator), the control law and a limit of the flight's length, and
// reports how it ended.  The flying itself is the core's (<kestro/Execute.h>).

#include "kestro/Execute.h"
#include "kestro/Export.h"
#include "kestro/KestroWnd.h"

#include <xml/Dom.h>

#include <functional>

namespace kestro {

struct ExecutionOptions : FlightOptions {
    /// Called on the caller's thread once the window exists, before the worker starts (tests use
    /// it to close the window from elsewhere).
    std::function<void(CKestroWnd&)> onWindowCreated;
    /// Called on the caller's thread with the samples of the aircraft's state that arrived since
    /// the last call: at least twice a second while the flight runs, and once after it (the
    /// planner's moving map).  The samples go through `samples` (made when null).
    std::function<void(const std::vector<FlightSample>&)> onSamples;
};

/// Flies `script` in real time, returns when the message window is closed.
KESTRO_API void ExecuteFlightScript(xml::DocumentPtr script);
/// The same with a chosen clock, law and limit; reports how the flight ended.
KESTRO_API ExecutionResult ExecuteFlightScript(xml::DocumentPtr script,
                                               const ExecutionOptions& options);

} // namespace kestro
