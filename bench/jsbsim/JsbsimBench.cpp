// Lock-step speed of the JSBSim mode: simulated seconds per wall-clock second, against the same
// program flying the same aircraft as a batch run without a client (the peer: what the model
// itself costs).
//
//   bench_jsbsim [simulated seconds, default 120]
//
// Options of Google Benchmark (--benchmark_...), which the other benchmarks take, are accepted and
// ignored, so that all benchmarks run with the same command line.
//
// Rows:
//   batch        the program alone (a run script with the same start, engine and full throttle),
//                timed for the run less the time of a zero-length run (loading the aircraft)
//   frames       JsbsimModel::Step(0.1): one message per frame, the state read once per step
//   executor     the simulator as the executor drives it: a batch of 10 reads and a write, 1 ms
//                per exchange, then a 5 ms wait, over and over
#include <fssim/Simulator.h>
#include <fssim/jsbsim/JsbsimModel.h>
#include <ipc/Protocol.h>
#include <numbers/Numbers.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using WallClock = std::chrono::steady_clock;

namespace {

constexpr double kLat = 52.30173122, kLon = 4.73740403, kHeading = 3.205903, kElevFt = -11.0;

double Seconds(WallClock::time_point t0) {
    return std::chrono::duration<double>(WallClock::now() - t0).count();
}

/// Runs the program as a batch run of `seconds` in a folder of its own; returns the wall time.
double BatchRun(double seconds) {
    std::string pattern = (fs::temp_directory_path() / "avilo-jsbsim-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a folder");
    const fs::path root = pattern;
    const fs::path dir = root / "aircraft" / "c172p";
    fs::create_directories(dir);
    fs::create_directories(root / "scripts");
    for (const auto& e :
         fs::directory_iterator(fs::path(fssim::jsbsim::DefaultAircraftRoot()) / "aircraft/c172p"))
        fs::create_symlink(fs::absolute(e.path()), dir / e.path().filename());
    std::ofstream(dir / "bench-start.xml")
        << "<?xml version=\"1.0\"?>\n<initialize name=\"bench-start\">\n"
        << "<latitude unit=\"DEG\" type=\"geod\">" << kLat << "</latitude>\n"
        << "<longitude unit=\"DEG\">" << kLon << "</longitude>\n"
        << "<elevation unit=\"FT\">" << kElevFt << "</elevation>\n"
        << "<altitudeAGL unit=\"FT\">4.19</altitudeAGL>\n"
        << "<psi unit=\"DEG\">" << kHeading << "</psi>\n<vc unit=\"KTS\">0</vc>\n</initialize>\n";
    std::ofstream(root / "scripts/bench.xml")
        << "<?xml version=\"1.0\"?>\n<runscript name=\"bench\">\n"
        << "<use aircraft=\"c172p\" initialize=\"bench-start\"/>\n"
        << "<run start=\"0\" end=\"" << seconds << "\" dt=\"0.008333333333333333\">\n"
        << "<event name=\"start\"><condition>simulation/sim-time-sec ge 0</condition>\n"
        << "<set name=\"propulsion/tank[0]/contents-lbs\" value=\"100\"/>\n"
        << "<set name=\"propulsion/tank[1]/contents-lbs\" value=\"100\"/>\n"
        << "<set name=\"fcs/mixture-cmd-norm\" value=\"1\"/>\n"
        << "<set name=\"propulsion/magneto_cmd\" value=\"3\"/>\n"
        << "<set name=\"propulsion/starter_cmd\" value=\"1\"/>\n"
        << "<set name=\"fcs/throttle-cmd-norm\" value=\"1\"/>\n"
        << "</event>\n</run>\n</runscript>\n";
    const auto t0 = WallClock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(root.c_str()) != 0)
            ::_exit(126);
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        const std::string program = fssim::jsbsim::DefaultProgram();
        ::execl(program.c_str(), "JSBSim", "--root=.", "--script=scripts/bench.xml",
                "--nohighlight", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double wall = Seconds(t0);
    fs::remove_all(root);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the batch run failed");
    return wall;
}

void Row(const char* name, double simulated, double wall, double peerRate) {
    const double rate = simulated / wall;
    std::printf("%-10s %8.1f s simulated %8.3f s wall %9.1f sim-s/wall-s %7.1f us/frame", name,
                simulated, wall, rate, wall / (simulated * 120.0) * 1e6);
    if (peerRate > 0)
        std::printf("  %5.1f x the batch run's time", peerRate / rate);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 120.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--benchmark_", 0) == 0)
            continue;
        seconds = numbers::Parse(arg).value_or(0.0);
    }
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: bench_jsbsim [simulated seconds]\n");
        return 2;
    }
    std::string why;
    if (!fssim::jsbsim::Available(&why)) {
        std::printf("bench_jsbsim: skipped: %s\n", why.c_str());
        return 0;
    }
    try {
        const double load = BatchRun(0.0);
        const double batch = BatchRun(seconds) - load;
        Row("batch", seconds, batch, 0.0);
        const double peerRate = seconds / batch;

        {
            fssim::jsbsim::JsbsimModel model;
            model.Park(kLat, kLon, kHeading, kElevFt * 0.3048);
            model.GetControls().parkingBrake = 0;
            model.GetControls().throttle = 16384;
            const auto t0 = WallClock::now();
            for (int i = 0; i < static_cast<int>(seconds * 10); ++i)
                model.Step(0.1);
            Row("frames", seconds, Seconds(t0), peerRate);
        }
        {
            fssim::SimConfig config;
            config.fdm = fssim::Fdm::Jsbsim;
            config.start = {kLat, kLon, kHeading, kElevFt};
            fssim::Simulator sim(config);
            // A batch as the executor sends it: ten reads and a write of the elevator.
            std::vector<std::uint8_t> block(1024, 0);
            std::size_t pos = 0;
            auto put = [&](std::uint32_t v) {
                std::memcpy(block.data() + pos, &v, 4);
                pos += 4;
            };
            const std::uint32_t reads[][2] = {{0x02BC, 4}, {0x0560, 8}, {0x0568, 8}, {0x0570, 8},
                                              {0x0578, 4}, {0x057C, 4}, {0x0580, 4}, {0x02C8, 4},
                                              {0x0366, 2}, {0x088C, 2}};
            for (const auto& r : reads) {
                put(1), put(r[0]), put(r[1]), put(0);
                pos += r[1];
            }
            put(2), put(ipc::protocol::offsets::kThrottle), put(2);
            const std::int16_t full = 16384;
            std::memcpy(block.data() + pos, &full, 2);
            pos += 2;
            put(0);
            std::int16_t released = 0;
            std::vector<std::uint8_t> release(64, 0);
            const std::uint32_t head[3] = {2, ipc::protocol::offsets::kParkingBrake, 2};
            std::memcpy(release.data(), head, sizeof head);
            std::memcpy(release.data() + 12, &released, 2);
            sim.ProcessBatch(release.data(), release.size());
            const auto t0 = WallClock::now();
            const std::uint64_t endUs = static_cast<std::uint64_t>(seconds * 1e6);
            while (sim.NowUs() < endUs) {
                sim.ProcessBatch(block.data(), block.size());
                sim.AdvanceMs(1);
                sim.AdvanceMs(5);
            }
            Row("executor", seconds, Seconds(t0), peerRate);
            if (!sim.Failure().empty())
                std::printf("failure: %s\n", sim.Failure().c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_jsbsim: %s\n", e.what());
        return 1;
    }
    return 0;
}
