#include "fgbridge/Commands.h"

#include <numbers/Numbers.h>

#include <chrono>
#include <thread>

namespace fgbridge {

bool Paused(const PropertyClient& fg, bool& paused, std::string& error) {
    const std::optional<std::string> v = fg.Get("/sim/freeze/clock", error);
    if (!v)
        return false;
    paused = *v == "true" || *v == "1";
    return true;
}

bool SetPaused(const PropertyClient& fg, bool pause, std::string& error) {
    bool paused = false;
    if (!Paused(fg, paused, error))
        return false;
    // "pause" toggles: run it only when the state is the other one.
    if (paused != pause && !fg.Command("pause", error))
        return false;
    if (!Paused(fg, paused, error))
        return false;
    if (paused != pause) {
        error = std::string("FlightGear is still ") + (paused ? "paused" : "running") +
                " after the pause command";
        return false;
    }
    return true;
}

bool Reposition(const PropertyClient& fg, const Placement& to, std::string& error) {
    const std::pair<const char*, std::string> presets[] = {
        {"/sim/presets/latitude-deg", numbers::Format("%.9f", to.latitude_deg)},
        {"/sim/presets/longitude-deg", numbers::Format("%.9f", to.longitude_deg)},
        {"/sim/presets/altitude-ft", numbers::Format("%.1f", to.altitude_ft)},
        {"/sim/presets/heading-deg", numbers::Format("%.3f", to.heading_deg)},
        {"/sim/presets/airspeed-kt", numbers::Format("%.1f", to.airspeed_kt)},
        {"/sim/presets/onground", "false"},
        {"/sim/presets/airport-id", ""},
        {"/sim/presets/runway", ""}};
    for (const auto& [path, value] : presets)
        if (!fg.Set(path, value, error))
            return false;
    return fg.Command("reposition", error);
}

bool KeepSilentLink(const PropertyClient& fg, bool flying, std::int64_t silentMs,
                    std::string& why) {
    if (flying) {
        const PropertyClient quick(fg.Port(), 1000);
        bool frozen = false;
        std::string error;
        if (Paused(quick, frozen, error) && frozen)
            return true;
    }
    if (!fg.Listening(200)) {
        why = "it quit, or stopped sending";
        return false;
    }
    if (flying && silentMs >= kStallMs) {
        why = "it runs but sends nothing";
        return false;
    }
    return true;
}

bool StartEngine(const PropertyClient& fg, const PropertyFile& file, std::string& error) {
    if (file.engineRunning.empty() || file.starter.empty()) {
        error = file.path + " says nothing of the engine start (<avilo><engine-running> and "
                            "<engine-start><starter>)";
        return false;
    }
    const std::optional<std::string> running = fg.Get(file.engineRunning, error);
    if (!running)
        return false;
    if (*running == "true" || *running == "1")
        return true;
    for (const PropertyValue& set : file.engineStart)
        if (!fg.Set(set.node, set.value, error))
            return false;
    if (!fg.Set(file.starter, "true", error))
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(file.starter_s * 1000)));
    if (!fg.Set(file.starter, "false", error))
        return false;
    const std::optional<std::string> after = fg.Get(file.engineRunning, error);
    if (!after)
        return false;
    if (*after != "true" && *after != "1") {
        error = "the engine did not start (" + file.engineRunning + " is " + *after + ")";
        return false;
    }
    return true;
}

std::optional<std::string> Facts(const PropertyClient& fg, const PropertyFile& file,
                                 std::string& error) {
    std::vector<std::pair<std::string, std::string>> rows = {
        {"aircraft", "/sim/aircraft"},
        {"FlightGear", "/sim/version/flightgear"},
        {"simulated time (s)", "/sim/time/elapsed-sec"},
        {"paused", "/sim/freeze/clock"},
        {"scenery loaded", "/sim/sceneryloaded"},
        {"latitude (deg)", "/position/latitude-deg"},
        {"longitude (deg)", "/position/longitude-deg"},
        {"altitude (ft)", "/position/altitude-ft"},
        {"indicated airspeed (kt)", "/velocities/airspeed-kt"},
        {"frame rate (1/s)", "/sim/frame-rate"}};
    if (!file.engineRunning.empty())
        rows.emplace_back("engine running", file.engineRunning);
    std::string text;
    for (const auto& [label, path] : rows) {
        const std::optional<std::string> v = fg.Get(path, error);
        if (!v)
            return std::nullopt;
        text += label + ": " + *v + "\n";
    }
    return text;
}

} // namespace fgbridge
