// fgbridge: serves the simulator link from a running FlightGear (see <fgbridge/Bridge.h>), and
// runs the rare commands of FlightGear's property interface.

#include "fgbridge/Bridge.h"
#include "fgbridge/Commands.h"
#include "fgbridge/Net.h"
#include "fgbridge/PlanRunway.h"
#include "fgbridge/PropertyFile.h"

#include <ipc/Endpoint.h>
#include <ipc/Protocol.h>
#include <numbers/Numbers.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kUsage =
    "usage: fgbridge [serve] [--aircraft NAME] [--data DIR] [--state-port N] [--control-port N]\n"
    "                [--http-port N] [--wait S] [--class NAME]\n"
    "       fgbridge facts|pause|resume|start-engine [--aircraft NAME] [--data DIR] "
    "[--http-port N]\n"
    "       fgbridge reposition LAT LON ALTITUDE_FT HEADING AIRSPEED_KT [--http-port N]\n"
    "       fgbridge runway PLAN.av   (prints the take-off airport and runway: EHAM 09)\n"
    "  FlightGear runs with the property file DIR/Protocol/avilo-NAME.xml (--data DIR, by\n"
    "  default \"flightgear\" from data/), sends its state to 127.0.0.1:5701, reads the controls\n"
    "  at 127.0.0.1:5702 and answers HTTP at 127.0.0.1:5700; --wait waits that long for it.\n";

std::atomic<bool> g_stop{false};
extern "C" void OnSignal(int) {
    g_stop = true;
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Say(const std::string& line) {
    std::cout << "fgbridge: " << line << std::endl;
}
void Complain(const std::string& line) {
    std::cerr << "fgbridge: " << line << std::endl;
}

std::uint16_t Port(const std::string& opt, const std::string& text) {
    const std::optional<double> v = numbers::Parse(text);
    if (!v || *v < 1 || *v > 65535 || *v != static_cast<int>(*v))
        throw std::invalid_argument(opt + " " + text + ": not a port (1 to 65535)");
    return static_cast<std::uint16_t>(*v);
}

double Number(const std::string& what, const std::string& text, double low, double high) {
    const std::optional<double> v = numbers::Parse(text);
    if (!v || *v < low || *v > high)
        throw std::invalid_argument(what + " " + text + ": not a number from " +
                                    numbers::Format("%g", low) + " to " +
                                    numbers::Format("%g", high));
    return *v;
}

/// The aircraft that have a property file in `dataDir`, for the refusal's text.
std::string KnownAircraft(const std::string& dataDir) {
    std::string names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dataDir + "/Protocol", ec)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("avilo-", 0) == 0 && entry.path().extension() == ".xml")
            names += (names.empty() ? "" : ", ") + file.substr(6, file.size() - 10);
    }
    return names.empty() ? "none" : names;
}

struct Options {
    std::string command = "serve";
    std::vector<std::string> arguments;
    std::string aircraft = "c172p";
    std::string dataDir = "flightgear";
    std::uint16_t statePort = 5701;
    std::uint16_t controlPort = 5702;
    std::uint16_t httpPort = 5700;
    double wait_s = 0.0;
    std::string className = ipc::protocol::kClassName;
};

int Serve(const Options& o, const fgbridge::PropertyFile& file) {
    const fgbridge::PropertyClient fg(o.httpPort);
    std::string error;
    // FlightGear answers on its property interface some seconds after it starts.
    const std::int64_t giveUp = NowMs() + static_cast<std::int64_t>(o.wait_s * 1000);
    std::optional<std::string> aircraft;
    while (!g_stop && !(aircraft = fg.Get("/sim/aircraft", error)) && NowMs() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!aircraft) {
        Complain("FlightGear is not running: " + error);
        return 1;
    }
    if (*aircraft != file.aircraft) {
        Complain("FlightGear flies the " + *aircraft + "; this bridge serves the " + file.aircraft +
                 " (" + file.path + "): start FlightGear with --aircraft=" + file.aircraft +
                 ", or the bridge with the aircraft's own property file");
        return 1;
    }

    fgbridge::UdpChannel udp(o.statePort, o.controlPort);
    const fgbridge::Codec codec(file);
    fgbridge::FgState first;
    bool decoded = false;
    const std::int64_t firstBy = std::max(giveUp, NowMs() + 5000);
    while (!g_stop && !decoded && NowMs() < firstBy) {
        if (const auto datagram = udp.Receive(200)) {
            if (!codec.Decode(*datagram, first, error)) {
                Complain(error);
                return 1;
            }
            decoded = true;
        }
    }
    if (!decoded) {
        if (!g_stop)
            Complain("FlightGear sends no state to 127.0.0.1:" + std::to_string(udp.Port()) +
                     ": start it with --generic=socket,out,30,127.0.0.1," +
                     std::to_string(udp.Port()) + ",udp," + file.tag + " and --data=" + o.dataDir);
        return 1;
    }

    fgbridge::Bridge bridge(codec, first, NowMs());
    bridge.Sim().SetLog([](const std::string& line) { Complain(line); });
    ipc::SocketEndpoint endpoint(o.className);
    Say("serving " + o.className + " at " + endpoint.Path() + " from FlightGear's " +
        file.aircraft + " (state on 127.0.0.1:" + std::to_string(udp.Port()) +
        ", controls to 127.0.0.1:" + std::to_string(o.controlPort) + ")");
    const ipc::Handler handler = [&bridge](const ipc::Message& m) {
        return bridge.Sim().HandleMessage(m);
    };
    bool paused = first.paused;
    if (paused)
        Say("FlightGear is paused");
    std::int64_t lastDecodeComplaint = 0;
    bool quiet = false; ///< FlightGear sends nothing but answers: said once
    std::int64_t lastDatagramMs = NowMs();
    constexpr std::int64_t kLongFrameMs = 500;
    while (!g_stop) {
        const std::int64_t now = NowMs();
        if (const auto datagram = udp.Receive(5)) {
            // A FlightGear that renders a frame in seconds leaves the aircraft unflown meanwhile:
            // say how long.
            if (now - lastDatagramMs > kLongFrameMs)
                Say("FlightGear sent no state for " +
                    numbers::Format("%.1f", (now - lastDatagramMs) / 1000.0) + " s, from " +
                    numbers::Format("%.3f", bridge.Model().Latest().time_s) + " s of its time");
            lastDatagramMs = now;
            quiet = false;
            if (!bridge.OnDatagram(*datagram, now, error) && now - lastDecodeComplaint > 5000) {
                Complain(error);
                lastDecodeComplaint = now;
            }
            const fgbridge::FgState& s = bridge.Model().Latest();
            if (s.paused != paused) {
                paused = s.paused;
                Say(std::string(paused ? "FlightGear paused" : "FlightGear resumed") + " at " +
                    numbers::Format("%.3f", s.time_s) + " s of its time");
            }
        }
        if (const auto controls = bridge.ControlsDue(NowMs()))
            udp.Send(*controls);
        endpoint.Serve(5, handler);
        if (bridge.Lost(NowMs())) {
            // The served time stands still meanwhile, so the executor waits.
            std::string why;
            if (fgbridge::KeepSilentLink(fg, bridge.Sim().RequestCount() > 0,
                                         NowMs() - lastDatagramMs, why)) {
                if (!quiet)
                    Say("FlightGear sends no state but still runs (paused, or busy loading): the "
                        "link stays");
                quiet = true;
                bridge.Heard(NowMs());
                continue;
            }
            Complain("no state from FlightGear for " +
                     numbers::Format("%.0f", (NowMs() - lastDatagramMs) / 1000.0) + " s: " + why +
                     " to 127.0.0.1:" + std::to_string(udp.Port()) + "; the link is closed");
            return 1;
        }
    }
    Say("stopped after " + numbers::Format("%.3f", bridge.Sim().NowMs() / 1000.0) +
        " s of FlightGear's time, " + std::to_string(bridge.Sim().RequestCount()) + " requests");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        std::size_t i = 0;
        if (i < args.size() && args[i].rfind("--", 0) != 0)
            o.command = args[i++];
        for (; i < args.size(); ++i) {
            const std::string& opt = args[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= args.size())
                    throw std::invalid_argument(opt + " needs a value");
                return args[++i];
            };
            if (opt == "--aircraft")
                o.aircraft = value();
            else if (opt == "--data")
                o.dataDir = value();
            else if (opt == "--state-port")
                o.statePort = Port(opt, value());
            else if (opt == "--control-port")
                o.controlPort = Port(opt, value());
            else if (opt == "--http-port")
                o.httpPort = Port(opt, value());
            else if (opt == "--wait")
                o.wait_s = Number(opt, value(), 0, 3600);
            else if (opt == "--class")
                o.className = value();
            else if (opt == "--help" || opt == "-h") {
                std::cout << kUsage;
                return 0;
            } else if (opt.rfind("--", 0) != 0 &&
                       (o.command == "reposition" || o.command == "runway"))
                o.arguments.push_back(opt);
            else
                throw std::invalid_argument("unknown option " + opt);
        }
        const std::string known[] = {"serve",        "facts",      "pause", "resume",
                                     "start-engine", "reposition", "runway"};
        if (std::find(std::begin(known), std::end(known), o.command) == std::end(known))
            throw std::invalid_argument("unknown command " + o.command);
        if (o.command == "reposition" && o.arguments.size() != 5)
            throw std::invalid_argument("reposition needs LAT LON ALTITUDE_FT HEADING AIRSPEED_KT");
        if (o.command == "runway" && o.arguments.size() != 1)
            throw std::invalid_argument("runway needs PLAN.av");
        if (o.aircraft.empty() || o.aircraft.find('/') != std::string::npos)
            throw std::invalid_argument("--aircraft " + o.aircraft + ": not an aircraft name");
    } catch (const std::exception& e) {
        std::cerr << "fgbridge: " << e.what() << "\n" << kUsage;
        return 2;
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    try {
        const fgbridge::PropertyClient fg(o.httpPort);
        std::string error;
        if (o.command == "pause" || o.command == "resume") {
            if (!fgbridge::SetPaused(fg, o.command == "pause", error))
                throw std::runtime_error(error);
            return 0;
        }
        if (o.command == "runway") {
            const std::optional<fgbridge::PlanRunway> r =
                fgbridge::RunwayOfPlan(o.arguments[0], error);
            if (!r)
                throw std::runtime_error(error);
            std::cout << r->airport << " " << r->runway << "\n";
            return 0;
        }
        if (o.command == "reposition") {
            fgbridge::Placement to;
            to.latitude_deg = Number("latitude", o.arguments[0], -90, 90);
            to.longitude_deg = Number("longitude", o.arguments[1], -180, 180);
            to.altitude_ft = Number("altitude", o.arguments[2], -1500, 60000);
            to.heading_deg = Number("heading", o.arguments[3], -360, 360);
            to.airspeed_kt = Number("airspeed", o.arguments[4], 0, 1000);
            if (!fgbridge::Reposition(fg, to, error))
                throw std::runtime_error(error);
            return 0;
        }
        const std::string path = fgbridge::PropertyFilePath(o.dataDir, o.aircraft);
        if (!std::filesystem::exists(path))
            throw std::runtime_error(
                "no property file for the aircraft " + o.aircraft + ": " + path +
                " does not exist (aircraft with one: " + KnownAircraft(o.dataDir) + ")");
        const fgbridge::PropertyFile file = fgbridge::LoadPropertyFile(path);
        if (file.aircraft != o.aircraft)
            throw std::runtime_error(path + " is the property file of the " + file.aircraft);
        if (o.command == "facts") {
            const std::optional<std::string> facts = fgbridge::Facts(fg, file, error);
            if (!facts)
                throw std::runtime_error(error);
            std::cout << *facts;
            return 0;
        }
        if (o.command == "start-engine") {
            if (!fgbridge::StartEngine(fg, file, error))
                throw std::runtime_error(error);
            return 0;
        }
        return Serve(o, file);
    } catch (const std::exception& e) {
        Complain(e.what());
        return 1;
    }
}
