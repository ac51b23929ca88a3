// avilo-cli fly PLAN.av|SCRIPT.xml [--sim builtin|ipc] [--fdm builtin|jsbsim]
//               [--control classic|stabilised] [--track TRACK.csv] [--limit SECONDS]
//               [--wind DIR/KT] [--gusts KT] [--turbulence light|moderate|severe] [--seed N]
//
// Flies a flight script with the flight executor, printing its log as the message window shows
// it.  A plan is checked and turned into a script first (a plan the checker finds inconsistent is
// still generated and flown, as in the planner).  "builtin" flies the simulator inside this
// process in virtual time, starting parked on the take-off runway of the script; "ipc" connects
// to a running fssim in real time.  --fdm chooses the in-process simulator's flight model (the
// simulator's own trainer, or JSBSim's c172p), --control the executor's control law (the
// stabilised one, which holds each steer point's altitude and airspeed, unless "classic" is
// asked for).  At the end
// it prints a flight report computed from the flown track and the script.  Exit 0 after
// "Finished executing the flight script.".
//
// Weather, for the in-process simulator (a running fssim has its own: fssim --wind ...): a
// steady wind from DIR degrees true at KT knots, gusts of up to KT knots above it, turbulence
// (on JSBSim its own turbulence model), all drawn from --seed (default 1).  In virtual time a
// plan, weather and seed always give the same flight.  Bad values exit 2 naming the option.

#include "Commands.h"

#include <exchange/Exchange.h>
#include <fssim/FlightModel.h>
#include <fssim/InProcess.h>
#include <fssim/Simulator.h>
#include <fssim/Start.h>
#include <ipc/Ipc.h>
#include <kestro/Execute.h>
#include <kestro/FSUIPC.h>
#include <kestro/FSUIPCAircraft.h>
#include <kestro/FlightReport.h>
#include <numbers/Numbers.h>
#include <scrivo/ScrivoCore.h>
#include <tavola/Units.h>
#include <tessar/TessarCore.h>
#include <ui/ComponentLog.h>
#include <xml/Dom.h>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

int FlyUsage() {
    std::fputs(
        "usage: avilo-cli fly PLAN.av|SCRIPT.xml [--sim builtin|ipc] [--fdm builtin|jsbsim]\n"
        "                      [--control stabilised|classic] [--track TRACK.csv|gpx|kml] "
        "[--limit SECONDS]\n"
        "                      [--wind DIR/KT] [--gusts KT] "
        "[--turbulence light|moderate|severe] [--seed N]\n",
        stderr);
    return 2;
}

/// The flight script to fly: the file itself, or the script generated from the plan in it (the
/// plan then in `plan`).
xml::DocumentPtr LoadScript(const std::string& path, xml::DocumentPtr& plan) {
    const xml::DocumentPtr document = xml::Document::Create();
    if (!document->load(path)) {
        const xml::ParseError& e = document->parseError();
        std::fprintf(stderr, "avilo-cli fly: cannot load %s: %s (line %ld)\n", path.c_str(),
                     e.reason.c_str(), e.line);
        return nullptr;
    }
    const xml::Node root = document->documentElement();
    const std::string rootName = root.empty() ? std::string() : root.nodeName();
    if (rootName == "flightscript")
        return document;
    if (rootName != "avilo") {
        std::fprintf(stderr,
                     "avilo-cli fly: %s is neither a flight plan (root \"avilo\") nor a flight "
                     "script (root \"flightscript\")\n",
                     path.c_str());
        return nullptr;
    }
    plan = document;
    try {
        // A failed check does not block generation; the log says what is wrong.
        ui::TextLog log; // standard output
        tessar::CheckConsistency(document, tessar::TessarFiles::WorkingDirectory(), log);
        std::fputs("\r\n\r\n", stdout);
    } catch (const tessar::CTessarException& e) {
        std::fprintf(stderr, "\navilo-cli fly: the check failed: %s\n", e.m_message.c_str());
        return nullptr;
    }
    try {
        ui::TextLog log; // standard output
        xml::DocumentPtr script =
            scrivo::GenerateFlightScript(document, scrivo::ScrivoFiles::WorkingDirectory(), log);
        std::fputs("\r\n\r\n", stdout);
        if (!script)
            std::fputs("avilo-cli fly: the generator returned no flight script\n", stderr);
        return script;
    } catch (const scrivo::CScrivoException& e) {
        std::fprintf(stderr, "\navilo-cli fly: the generation failed: %s\n", e.m_message.c_str());
        return nullptr;
    }
}

/// Samples the aircraft once per second through a link of its own, while a real-time flight
/// runs against an fssim of another process, and once more when stopped: once per second of the
/// simulator's time when it serves it (so a faster or paused simulator gives the same track),
/// else of the wall clock.
class TrackRecorder {
public:
    TrackRecorder() : m_thread([this] { Run(); }) {}
    ~TrackRecorder() { Stop(); }

    void Stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    const std::vector<fssim::TrackPoint>& Track() const { return m_track; }

private:
    void Run() {
        kestro::CFSUIPCClient client;
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock lock(m_mutex);
        for (int look = 0; !m_stop; ++look) {
            lock.unlock();
            if (client.IsOpen() || client.Open())
                Sample(client,
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                           .count());
            lock.lock();
            m_wake.wait_until(lock, start + std::chrono::milliseconds(20) * (look + 1),
                              [this] { return m_stop; });
        }
        // Where the flight ended, which falls between two samples.
        lock.unlock();
        if (client.IsOpen())
            Sample(client,
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                   true);
    }

    void Sample(kestro::CFSUIPCClient& client, double wall_s, bool last = false) {
        using kestro::StateItem;
        static constexpr StateItem kItems[] = {
            StateItem::Latitude, StateItem::Longitude, StateItem::Altitude, StateItem::Airspeed,
            StateItem::Pitch,    StateItem::Bank,      StateItem::Heading};
        kestro::CFSUIPCAircraft aircraft(client);
        kestro::AircraftState s;
        try {
            if (!aircraft.Exchange({}, kItems, s))
                return;
        } catch (const kestro::LinkLost&) {
            client.Close(); // the simulator has gone: linked again should it come back
            return;
        }
        const std::optional<std::int64_t> sim_ms = aircraft.SimulatorTimeMs();
        const double time_s = sim_ms ? static_cast<double>(*sim_ms) / 1000.0 : wall_s;
        if (!last && time_s < m_next_s)
            return;
        m_next_s = std::floor(time_s) + 1.0;
        m_track.push_back({time_s, s.latitude_deg, s.longitude_deg, s.altitude_m, s.airspeed_kt,
                           s.pitch_deg, s.bank_deg, tavola::Wrap360(s.heading_deg)});
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    double m_next_s = 0; ///< the next sample from this time on (simulator's or wall clock's)
    std::vector<fssim::TrackPoint> m_track;
    std::thread m_thread;
};

/// Writes the track as GPX (a track with times from the plan's take-off time) or KML (the planned
/// route and the flown track) by the extension, else as the CSV table.
bool WriteTrack(const std::string& path, const std::vector<fssim::TrackPoint>& track,
                const xml::DocumentPtr& plan) {
    const std::optional<exchange::Format> format = exchange::FormatOfPath(path);
    if (format == exchange::Format::Gpx || format == exchange::Format::Kml) {
        std::vector<exchange::FlownPoint> flown;
        flown.reserve(track.size());
        for (const fssim::TrackPoint& p : track)
            flown.push_back({p.time_s, p.latitude_deg, p.longitude_deg, p.altitude_m});
        const std::string title = std::filesystem::path(path).stem().string();
        try {
            (format == exchange::Format::Gpx
                 ? exchange::TrackToGpx(flown, exchange::FlightStartMinutes(plan), title)
                 : exchange::FlightToKml(plan, flown, title))
                ->save(path);
            return true;
        } catch (const xml::ComError& e) {
            std::fprintf(stderr, "avilo-cli fly: cannot write the track to %s: %s\n", path.c_str(),
                         (e.HasErrorInfo() ? e.Description() : e.ErrorMessage()).c_str());
            return false;
        } catch (const exchange::ExchangeError& e) { // the plan's route cannot be drawn
            std::fprintf(stderr, "avilo-cli fly: cannot write the track to %s: %s\n", path.c_str(),
                         e.what());
            return false;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        fssim::WriteTrackCsv(out, track);
    out.close();
    if (!out) {
        std::fprintf(stderr, "avilo-cli fly: cannot write the track to %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int RunFly(const Args& args) {
    std::string input;
    std::string sim = "builtin";
    std::string trackPath;
    std::string fdm;
    std::string control = "stabilised";
    double limit_s = 4 * 3600.0; // a generous bound: the sample flights take well under an hour
    fssim::Weather weather;
    bool weatherGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (fssim::IsWeatherOption(a) && i + 1 < args.size()) {
            if (const std::string problem = fssim::SetWeatherOption(weather, a, args[++i]);
                !problem.empty()) {
                std::fprintf(stderr, "avilo-cli fly: %s\n", problem.c_str());
                return 2;
            }
            weatherGiven = true;
        } else if ((a == "--sim" || a == "--track" || a == "--limit" || a == "--fdm" ||
                    a == "--control") &&
                   i + 1 < args.size()) {
            const std::string& value = args[++i];
            if (a == "--sim")
                sim = value;
            else if (a == "--fdm")
                fdm = value;
            else if (a == "--control")
                control = value;
            else if (a == "--track")
                trackPath = value;
            else
                limit_s = numbers::Parse(value).value_or(0.0);
        } else if (!a.empty() && a[0] != '-' && input.empty()) {
            input = a;
        } else {
            return FlyUsage();
        }
    }
    if (input.empty() || (sim != "builtin" && sim != "ipc") || !(limit_s > 0) ||
        (control != "classic" && control != "stabilised") ||
        (!fdm.empty() && fdm != "builtin" && fdm != "jsbsim"))
        return FlyUsage();
    if (!fdm.empty() && sim != "builtin") {
        std::fputs("avilo-cli fly: --fdm chooses the in-process simulator's model; a running "
                   "fssim has its own (fssim --fdm)\n",
                   stderr);
        return 2;
    }
    if (weatherGiven && sim != "builtin") {
        std::fputs("avilo-cli fly: --wind, --gusts, --turbulence and --seed set the in-process "
                   "simulator's weather; a running fssim has its own (fssim --wind ...)\n",
                   stderr);
        return 2;
    }
    if (const std::string problem = fssim::WeatherProblem(
            fdm == "jsbsim" ? fssim::Fdm::Jsbsim : fssim::Fdm::Builtin, weather);
        !problem.empty()) {
        std::fprintf(stderr, "avilo-cli fly: %s\n", problem.c_str());
        return 2;
    }

    xml::DocumentPtr plan; // null when a script is flown
    const xml::DocumentPtr script = LoadScript(input, plan);
    if (!script)
        return 1;

    kestro::FlightOptions options;
    options.timeLimitMs = static_cast<std::int64_t>(limit_s * 1000);
    options.law =
        control == "stabilised" ? kestro::ControlLaw::Stabilised : kestro::ControlLaw::Classic;
    kestro::ExecutionResult result;
    kestro::CConsoleWindow window;
    std::vector<fssim::TrackPoint> track;
    if (sim == "builtin") {
        fssim::SimConfig config;
        config.fdm = fdm == "jsbsim" ? fssim::Fdm::Jsbsim : fssim::Fdm::Builtin;
        config.weather = weather;
        config.trackPeriodMs = 200; // fine enough for the flight report's figures
        std::string error;
        if (const auto start = fssim::StartFromScript(script, error))
            config.start = *start;
        // Without a usable take-off runway the aircraft starts at the default position; the
        // executor then reports what the script lacks.
        std::unique_ptr<fssim::InProcessSim> started;
        try {
            started = std::make_unique<fssim::InProcessSim>(config);
        } catch (const std::exception& e) {
            // JSBSim missing or refusing to start, for example.
            std::fprintf(stderr, "avilo-cli fly: cannot start the simulator: %s\n", e.what());
            return 1;
        }
        fssim::InProcessSim& simulator = *started;
        options.clock = simulator.Clock();
        result = kestro::ExecuteFlightScript(script, options, window);
        track = simulator.Sim().Track();
        // The state where the flight ended, which falls between two track points.
        const fssim::TrackPoint last = simulator.Sim().CurrentPoint();
        if (track.empty() || last.time_s > track.back().time_s)
            track.push_back(last);
    } else {
        // Recorded for the flight report as well as for --track.
        TrackRecorder recorder;
        result = kestro::ExecuteFlightScript(script, options, window);
        recorder.Stop();
        track = recorder.Track();
    }
    // A refused script was not flown: the log above says why, and there is nothing to report.
    if (!result.refused && (result.exitCode == 0 || !track.empty())) {
        std::vector<kestro::FlightSample> samples;
        samples.reserve(track.size());
        for (const fssim::TrackPoint& p : track)
            samples.push_back({p.time_s, p.latitude_deg, p.longitude_deg, p.altitude_m,
                               p.airspeed_kt, p.pitch_deg, p.bank_deg, p.heading_deg});
        std::fputs(kestro::FlightReport(script, samples).Text().c_str(), stdout);
    }
    std::fflush(stdout);

    if (!trackPath.empty() && !WriteTrack(trackPath, track, plan))
        return 1;
    if (result.timeLimitReached) {
        std::fputs(numbers::Format("avilo-cli fly: the flight had not ended after %.0f s of %s "
                                   "time; stopped.\n",
                                   limit_s, sim == "builtin" ? "simulated" : "real")
                       .c_str(),
                   stderr);
        return 1;
    }
    if (result.exitCode != 0) {
        if (!result.messageBoxes.empty()) {
            std::fprintf(stderr, "avilo-cli fly: %s\n", result.messageBoxes.back().c_str());
            // Why no simulator could be found, when the link's folder is the reason.
            std::string problem;
            if (sim == "ipc" &&
                result.messageBoxes.back() ==
                    kestro::CFSUIPCClient::GetErrorText(kestro::FSUIPC_ERR_NOFS) &&
                ipc::IpcDirectory(&problem).empty() && !problem.empty())
                std::fprintf(stderr, "avilo-cli fly: %s\n", problem.c_str());
        } else if (result.refused) {
            std::fputs("avilo-cli fly: the flight script cannot be flown; the log says why\n",
                       stderr);
        } else {
            std::fputs("avilo-cli fly: the flight script could not be flown to its end\n", stderr);
        }
        return 1;
    }
    return 0;
}
