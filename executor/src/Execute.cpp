#include "kestro/Execute.h"

#include "kestro/FlightExecutor.h"

#include <thread>

namespace kestro {

CFSUIPCClient& TheFSUIPCClient() {
    static CFSUIPCClient client;
    return client;
}

int ExecutorThread(const ExecutionParams& params, CFSUIPCClient& client, std::int64_t timeLimitMs,
                   ExecutionResult& result, ControlLaw law,
                   std::shared_ptr<FlightSampleBuffer> samples, std::int64_t samplePeriodMs) {
    const xml::DocumentPtr script = params.script; // the worker's own reference
    IMessageWindow& window = *params.window;
    CFlightExecutor executor(
        client,
        [&window, &result](const std::string& text) {
            result.log += text;
            window.AddMessage(text);
        },
        [&window, &result](const std::string& text) {
            result.messageBoxes.push_back(text);
            window.ShowStopMessage(text);
        },
        timeLimitMs);
    executor.SetControlLaw(law);
    executor.SetSampleBuffer(std::move(samples), samplePeriodMs);
    const int exitCode = executor.Run(script);
    result.timeLimitReached = executor.TimeLimitReached();
    result.stopped = executor.Stopped();
    result.refused = executor.Refused();
    return exitCode;
}

ExecutionResult ExecuteFlightScript(xml::DocumentPtr script, const FlightOptions& options,
                                    IMessageWindow& window) {
    const std::shared_ptr<ipc::Clock> clock =
        options.clock ? options.clock : std::make_shared<ipc::RealClock>();
    CFSUIPCClient& client = TheFSUIPCClient();
    client.SetClock(clock);

    ExecutionResult result;
    const ExecutionParams params{std::move(script), &window};
    std::thread worker([&] {
        result.exitCode = ExecutorThread(params, client, options.timeLimitMs, result, options.law,
                                         options.samples, options.samplePeriodMs);
        window.NotifyWorkerEnded();
    });

    window.RunModalLoop();
    // A flight still under way stops at its next wait or exchange; nothing is torn down under
    // it, since the worker is joined before the window and the parameters go.
    clock->RequestStop();
    worker.join();
    client.SetClock(nullptr);
    return result;
}

} // namespace kestro
