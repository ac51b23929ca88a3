#include "kestro/Kestro.h"

namespace kestro {

ExecutionResult ExecuteFlightScript(xml::DocumentPtr script, const ExecutionOptions& options) {
    FlightOptions flight = options;
    if (!flight.samples)
        flight.samples = std::make_shared<FlightSampleBuffer>();
    CKestroWnd window;
    window.Create();
    window.FollowFlight(script, flight.samples, options.onSamples);
    if (options.onWindowCreated)
        options.onWindowCreated(window);
    ExecutionResult result = ExecuteFlightScript(std::move(script), flight, window);
    window.TakeSamples(); // the end of the flight, also for a window without display
    return result;
}

void ExecuteFlightScript(xml::DocumentPtr script) {
    ExecuteFlightScript(std::move(script), ExecutionOptions{});
}

} // namespace kestro
