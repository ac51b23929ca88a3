#include "kestro/Kestro.h"

namespace kestro {

ExecutionResult ExecuteFlightScript(xml::DocumentPtr script, const ExecutionOptions& options) {
    CKestroWnd window;
    window.Create();
    if (options.onWindowCreated)
        options.onWindowCreated(window);
    return ExecuteFlightScript(std::move(script), static_cast<const FlightOptions&>(options),
                               window);
}

void ExecuteFlightScript(xml::DocumentPtr script) {
    ExecuteFlightScript(std::move(script), ExecutionOptions{});
}

} // namespace kestro
