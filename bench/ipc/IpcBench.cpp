// Round trips of the simulator link, each beside the floor this machine sets for it.
//
//   floor       a bare Unix-socket ping-pong between two threads: 16-byte request, 8-byte answer
//               over SOCK_SEQPACKET (the transport the link uses), nothing else
//   ReadNow     one 4-byte read through CFSUIPCClient::ReadNow against the simulator served by a
//               socket endpoint on another thread (queue, send, peer opens nothing new, checks
//               the batch, refreshes its offsets, answers; copy back)
//   batch       100 reads of 4 bytes queued with Read and carried out by one Process
//   in-process  ReadNow against the in-process simulator (virtual time), no socket at all
//
// Each figure is the median and 99th percentile of single timed round trips after a warm-up.
// Usage: bench_ipc [iterations]   (default 20000)
#include <fssim/InProcess.h>
#include <fssim/Simulator.h>
#include <ipc/Endpoint.h>
#include <kestro/FSUIPC.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
    double median_us;
    double p99_us;
};

Stats Summarise(std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

template <typename F> [[maybe_unused]] Stats Measure(int iterations, F&& once) {
    for (int i = 0; i < iterations / 10; ++i)
        once(); // warm-up
    std::vector<double> us;
    us.reserve(iterations);
    for (int i = 0; i < iterations; ++i) {
        const auto t0 = Clock::now();
        once();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return Summarise(us);
}

/// Two threads bouncing a 16-byte request and an 8-byte answer over SOCK_SEQPACKET.
class PingPong {
public:
    PingPong() {
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, m_sv) != 0) {
            std::perror("socketpair");
            std::exit(1);
        }
        m_echo = std::thread([fd = m_sv[1]] {
            unsigned char buf[64];
            for (;;) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    return;
                ::send(fd, buf, 8, MSG_NOSIGNAL);
            }
        });
    }
    ~PingPong() {
        ::shutdown(m_sv[0], SHUT_RDWR);
        m_echo.join();
        ::close(m_sv[0]);
        ::close(m_sv[1]);
    }
    void Once() {
        unsigned char req[16] = {1}, ans[16];
        ::send(m_sv[0], req, sizeof req, MSG_NOSIGNAL);
        ::recv(m_sv[0], ans, sizeof ans, 0);
    }

private:
    int m_sv[2];
    std::thread m_echo;
};

/// Times `a` and `b` in alternating blocks, so both see the same load on a busy machine.
template <typename A, typename B>
std::pair<Stats, Stats> MeasurePair(int iterations, A&& a, B&& b) {
    std::vector<double> ua, ub;
    const auto time = [](auto& f, std::vector<double>& out, int n, bool keep) {
        for (int i = 0; i < n; ++i) {
            const auto t0 = Clock::now();
            f();
            if (keep)
                out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
    };
    time(a, ua, iterations / 10, false); // warm-up
    time(b, ub, iterations / 10, false);
    constexpr int kBlock = 500;
    for (int done = 0; done < iterations; done += kBlock) {
        time(a, ua, std::min(kBlock, iterations - done), true);
        time(b, ub, std::min(kBlock, iterations - done), true);
    }
    return {Summarise(ua), Summarise(ub)};
}

/// The simulator on a socket endpoint served by its own thread.
class SocketPeer {
public:
    SocketPeer() : m_endpoint("UIPCMAIN") {
        m_thread = std::thread([this] {
            const ipc::Handler h = [this](const ipc::Message& m) { return m_sim.HandleMessage(m); };
            while (!m_stop)
                m_endpoint.Serve(20, h);
        });
    }
    ~SocketPeer() {
        m_stop = true;
        m_thread.join();
    }

private:
    fssim::Simulator m_sim;
    ipc::SocketEndpoint m_endpoint;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void Print(const char* what, const Stats& s, const Stats& floor) {
    std::printf("%-34s median %8.2f us  p99 %8.2f us  (%.2fx / %.2fx the floor)\n", what,
                s.median_us, s.p99_us, s.median_us / floor.median_us, s.p99_us / floor.p99_us);
}

} // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    char dir[] = "/tmp/avilo-bench-XXXXXX";
    if (!::mkdtemp(dir)) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("AVILO_IPC_DIR", dir, 1);

    std::printf(
        "%d round trips each, %u cores; each line beside a floor timed in alternating blocks\n",
        iterations, std::thread::hardware_concurrency());
    Stats floor{};
    {
        PingPong pingPong;
        SocketPeer peer;
        kestro::CFSUIPCClient client;
        if (!client.Open()) {
            std::fprintf(stderr, "Open: %s\n", client.GetErrorText().c_str());
            return 1;
        }
        std::int32_t ias = 0;
        const auto [f1, readNow] = MeasurePair(
            iterations, [&] { pingPong.Once(); }, [&] { client.ReadNow(0x02BC, 4, &ias); });
        floor = f1;
        std::printf("%-34s median %8.2f us  p99 %8.2f us\n", "floor: Unix-socket ping-pong",
                    f1.median_us, f1.p99_us);
        Print("ReadNow (socket peer)", readNow, f1);

        std::int32_t values[100];
        const auto [f2, batch] = MeasurePair(
            iterations / 4, [&] { pingPong.Once(); },
            [&] {
                for (int i = 0; i < 100; ++i)
                    client.Read(0x0560 + 4 * (i % 16), 4, &values[i]);
                client.Process();
            });
        std::printf("%-34s median %8.2f us  p99 %8.2f us\n", "floor: Unix-socket ping-pong",
                    f2.median_us, f2.p99_us);
        Print("100 reads in one Process", batch, f2);
        std::printf("%-34s %8.3f us per read\n", "", batch.median_us / 100.0);
        client.Close();
    }
    {
        fssim::InProcessSim sim;
        kestro::CFSUIPCClient client(sim.Clock());
        if (!client.Open())
            return 1;
        std::int32_t ias = 0;
        const Stats local = Measure(iterations, [&] { client.ReadNow(0x02BC, 4, &ias); });
        Print("ReadNow (in-process, virtual time)", local, floor);
    }
    ::rmdir(dir);
    return 0;
}
