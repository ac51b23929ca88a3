// fssim: serves the simulator link to other processes, in real time (or faster), with the flight
// model of a light trainer (or JSBSim's Cessna 172P) parked on a runway threshold.
#include "fssim/Simulator.h"
#include "fssim/Start.h"

#include <ipc/Endpoint.h>
#include <ipc/Protocol.h>
#include <numbers/Numbers.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

std::atomic<bool> g_stop{false};
/// Set by SIGUSR1, cleared by SIGUSR2.
std::atomic<bool> g_paused{false};

void OnSignal(int) {
    g_stop = true;
}
void OnPause(int) {
    g_paused = true;
}
void OnResume(int) {
    g_paused = false;
}

const char* const kUsage =
    "usage: fssim [options]\n"
    "Start (default: Amsterdam Schiphol, runway 36C threshold):\n"
    "  --start FILE          a flight plan (.av) or flight script (.xml): its take-off runway\n"
    "  --lat DEG --lon DEG   threshold position, degrees north and east\n"
    "  --heading DEG         true heading the aircraft stands on\n"
    "  --elevation FT        runway elevation in feet\n"
    "Simulation:\n"
    "  --fdm builtin|jsbsim  flight model: the simulator's own trainer (default) or JSBSim's\n"
    "                        Cessna 172P run by the JSBSim program in lock-step\n"
    "  --rate R              simulated seconds per wall-clock second (default 1)\n"
    "  --hz N                model steps per simulated second, 1 to 1000 (default 100;\n"
    "                        JSBSim always runs 120)\n"
    "Weather (both models; the same seed gives the same weather):\n"
    "  --wind DIR/KT         steady wind from DIR degrees true (0-360) at KT knots (0-150)\n"
    "  --gusts KT            gusts: now and then the wind's speed rises by up to KT knots\n"
    "  --turbulence LEVEL    light, moderate or severe (MIL-F-8785C intensities; on JSBSim\n"
    "                        its own turbulence model); a number instead is the builtin\n"
    "                        model's expert form: vertical gusts of that many m/s (s.d.)\n"
    "  --seed N              seed of the turbulence and the gusts, 0 to 2147483647 (default 1)\n"
    "  --duration S          stop after S simulated seconds (default: until interrupted)\n"
    "  --track FILE          write the flown track as CSV when stopping\n"
    "Link:\n"
    "  --class NAME          endpoint class name (default UIPCMAIN; FS98MAIN for the old one)\n"
    "  --sim-version N       simulator version served at 0x3308 (default 6, FS2002)\n"
    "  --link-version HEX    version word served at 0x3304 (default 30000000)\n"
    "Faults (for testing clients):\n"
    "  --no-answer           never answer a request\n"
    "  --wrong-answer        answer 2 instead of 1\n"
    "  --wrong-version       serve the too old version word 19980004 at 0x3304\n"
    "  --close-after N       answer N requests, then close the link\n"
    "  --no-clock            serve no simulated time at 0x3310, as an older simulator\n"
    "Pause: SIGUSR1 pauses the simulation (its time stands still, the model does not move, the\n"
    "link is still served), SIGUSR2 resumes it.\n"
    "The endpoint is a socket in $AVILO_IPC_DIR (default: a per-user runtime folder).\n";

/// A whole option value as a number, in the C locale whatever the user's.
double ToDouble(const std::string& option, const char* text) {
    const std::optional<double> v = numbers::Parse(text);
    if (!v)
        throw std::invalid_argument(option + ": not a number: " + text);
    return *v;
}

unsigned long ToUnsigned(const std::string& option, const char* text, int base = 10) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, base);
    if (end == text || *end != '\0' || text[0] == '-')
        throw std::invalid_argument(option + ": not a whole number: " + text);
    return v;
}

} // namespace

int main(int argc, char** argv) {
    fssim::SimConfig config;
    config.start = {52.30173122, 4.73740403, 3.205903, -11.0};
    std::string className = ipc::protocol::kClassName;
    std::string trackPath;
    double rate = 1.0;
    double duration = 0.0;

    try {
        for (int i = 1; i < argc; ++i) {
            const std::string opt = argv[i];
            auto value = [&]() -> const char* {
                if (i + 1 >= argc)
                    throw std::invalid_argument(opt + " needs a value");
                return argv[++i];
            };
            if (opt == "--help" || opt == "-h") {
                std::cout << kUsage;
                return 0;
            } else if (opt == "--start") {
                std::string error;
                const auto start = fssim::StartFromFile(value(), error);
                if (!start)
                    throw std::invalid_argument(error);
                config.start = *start;
            } else if (opt == "--fdm") {
                const std::string fdm = value();
                if (fdm == "builtin")
                    config.fdm = fssim::Fdm::Builtin;
                else if (fdm == "jsbsim")
                    config.fdm = fssim::Fdm::Jsbsim;
                else
                    throw std::invalid_argument("--fdm wants builtin or jsbsim, not " + fdm);
            } else if (opt == "--lat") {
                config.start.latitude_deg = ToDouble(opt, value());
            } else if (opt == "--lon") {
                config.start.longitude_deg = ToDouble(opt, value());
            } else if (opt == "--heading") {
                config.start.heading_deg = ToDouble(opt, value());
            } else if (opt == "--elevation") {
                config.start.elevation_ft = ToDouble(opt, value());
            } else if (opt == "--rate") {
                rate = ToDouble(opt, value());
                if (!(rate > 0.0 && rate <= 1000.0))
                    throw std::invalid_argument("--rate must be above 0 and at most 1000");
            } else if (opt == "--hz") {
                const unsigned long hz = ToUnsigned(opt, value());
                if (hz < 1 || hz > 1000)
                    throw std::invalid_argument("--hz must be 1 to 1000");
                config.rateHz = static_cast<int>(hz);
            } else if (fssim::IsWeatherOption(opt)) {
                if (const std::string problem =
                        fssim::SetWeatherOption(config.weather, opt, value());
                    !problem.empty())
                    throw std::invalid_argument(problem);
            } else if (opt == "--duration") {
                duration = ToDouble(opt, value());
            } else if (opt == "--track") {
                trackPath = value();
            } else if (opt == "--class") {
                className = value();
                if (className.empty() || className.find('/') != std::string::npos)
                    throw std::invalid_argument("--class: not a usable class name");
            } else if (opt == "--sim-version") {
                config.faults.simVersion =
                    ipc::protocol::kSimVersionTag |
                    (static_cast<std::uint32_t>(ToUnsigned(opt, value())) & 0xFFFFu);
            } else if (opt == "--link-version") {
                config.faults.linkVersion =
                    static_cast<std::uint32_t>(ToUnsigned(opt, value(), 16));
            } else if (opt == "--no-answer") {
                config.faults.noAnswer = true;
            } else if (opt == "--wrong-answer") {
                config.faults.wrongAnswer = true;
            } else if (opt == "--wrong-version") {
                config.faults.linkVersion = ipc::protocol::kMinLinkVersion - 1;
            } else if (opt == "--close-after") {
                config.faults.closeAfter = static_cast<std::uint32_t>(ToUnsigned(opt, value()));
            } else if (opt == "--no-clock") {
                config.faults.noClock = true;
            } else {
                throw std::invalid_argument("unknown option " + opt);
            }
        }
        if (const std::string problem = fssim::WeatherProblem(config.fdm, config.weather);
            !problem.empty())
            throw std::invalid_argument(problem);
        if (const std::string problem = fssim::StartProblem(config.start); !problem.empty())
            throw std::invalid_argument(problem);
    } catch (const std::exception& e) {
        std::cerr << "fssim: " << e.what() << "\n" << kUsage;
        return 2;
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGUSR1, OnPause);
    std::signal(SIGUSR2, OnResume);

    try {
        fssim::Simulator sim(config);
        sim.SetLog([](const std::string& line) { std::cerr << "fssim: " << line << std::endl; });
        ipc::SocketEndpoint endpoint(className);
        std::cout << "fssim: serving " << className << " at " << endpoint.Path() << std::endl;
        // Connections beyond the limit are closed as they come; say so now and then, not for
        // each one (a flood of them must not flood the log too).
        std::uint64_t refusedReported = 0;
        auto lastRefusalReport = std::chrono::steady_clock::time_point{};

        const ipc::Handler handler = [&sim](const ipc::Message& m) { return sim.HandleMessage(m); };
        // The simulated time runs at the rate from the wall time `start`, when it was
        // `startUs`; a pause stops it, and a resumption starts it again from where it stood.
        auto start = std::chrono::steady_clock::now();
        std::uint64_t startUs = 0;
        bool paused = false;
        const int hz = config.fdm == fssim::Fdm::Jsbsim ? 120 : config.rateHz;
        const double stepWallMs = 1000.0 / hz / rate;
        const int serveMs = std::max(0, std::min(10, static_cast<int>(stepWallMs)));
        const std::uint64_t durationUs = static_cast<std::uint64_t>(duration * 1e6);
        bool warnedLag = false;
        while (!g_stop) {
            if (g_paused != paused) {
                paused = !paused;
                if (!paused) {
                    start = std::chrono::steady_clock::now();
                    startUs = sim.NowUs();
                }
                std::cout << "fssim: " << (paused ? "paused" : "resumed") << " at "
                          << numbers::Format("%.3f", sim.NowMs() / 1000.0) << " simulated seconds"
                          << std::endl;
            }
            if (paused) {
                // Time stands still; the link is still served.
                endpoint.Serve(10, handler);
                continue;
            }
            const double wallUs =
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                    .count();
            const auto due = startUs + static_cast<std::uint64_t>(wallUs * rate);
            // At most 50 ms of simulated time between two looks at the link: a model that
            // cannot keep up with the rate lags behind but still answers.
            if (due > sim.NowUs())
                sim.AdvanceUs(std::min<std::uint64_t>(due - sim.NowUs(), 50000));
            if (!warnedLag && due > sim.NowUs() + 2000000) {
                std::cerr << "fssim: the model cannot keep up with --rate " << rate
                          << "; it runs behind the wall clock" << std::endl;
                warnedLag = true;
            }
            if (!sim.Failure().empty())
                break;
            if (durationUs > 0 && sim.NowUs() >= durationUs)
                break;
            endpoint.Serve(serveMs, handler);
            if (endpoint.Refused() != refusedReported &&
                std::chrono::steady_clock::now() - lastRefusalReport > std::chrono::seconds(10)) {
                std::cerr << "fssim: refused " << endpoint.Refused() - refusedReported
                          << " connection(s): " << endpoint.Connections() << " of at most "
                          << endpoint.MaxConnections() << " clients connected" << std::endl;
                refusedReported = endpoint.Refused();
                lastRefusalReport = std::chrono::steady_clock::now();
            }
        }

        if (!trackPath.empty()) {
            std::ofstream out(trackPath);
            fssim::WriteTrackCsv(out, sim.Track());
            if (!out) {
                std::cerr << "fssim: cannot write " << trackPath << "\n";
                return 1;
            }
        }
        if (!sim.Failure().empty()) {
            std::cerr << "fssim: the flight model failed after " << sim.NowMs() / 1000.0
                      << " simulated seconds: " << sim.Failure() << "\n";
            return 1;
        }
        std::cout << "fssim: stopped after " << sim.NowMs() / 1000.0 << " simulated seconds, "
                  << sim.RequestCount() << " requests" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "fssim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
