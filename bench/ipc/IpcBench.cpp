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

Stats Summarise(std::vector<double>& us)
{
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

template <typename F> Stats Measure(int iterations, F&& once)
{
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

Stats Floor(int iterations)
{
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv) != 0) {
        std::perror("socketpair");
        std::exit(1);
    }
    std::thread echo([fd = sv[1]] {
        unsigned char buf[64];
        for (;;) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return;
            ::send(fd, buf, 8, MSG_NOSIGNAL);
        }
    });
    unsigned char req[16] = {1}, ans[16];
    const Stats s = Measure(iterations, [&] {
        ::send(sv[0], req, sizeof req, MSG_NOSIGNAL);
        ::recv(sv[0], ans, sizeof ans, 0);
    });
    ::shutdown(sv[0], SHUT_RDWR);
    echo.join();
    ::close(sv[0]);
    ::close(sv[1]);
    return s;
}

/// The simulator on a socket endpoint served by its own thread.
class SocketPeer {
public:
    SocketPeer() : m_endpoint("UIPCMAIN")
    {
        m_thread = std::thread([this] {
            const ipc::Handler h = [this](const ipc::Message& m) { return m_sim.HandleMessage(m); };
            while (!m_stop)
                m_endpoint.Serve(20, h);
        });
    }
    ~SocketPeer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    fssim::Simulator m_sim;
    ipc::SocketEndpoint m_endpoint;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void Print(const char* what, const Stats& s, const Stats& floor)
{
    std::printf("%-34s median %8.2f us  p99 %8.2f us  (%.2fx / %.2fx the floor)\n", what,
                s.median_us, s.p99_us, s.median_us / floor.median_us, s.p99_us / floor.p99_us);
}

} // namespace

int main(int argc, char** argv)
{
    const int iterations = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    char dir[] = "/tmp/avilo-bench-XXXXXX";
    if (!::mkdtemp(dir)) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("AVILO_IPC_DIR", dir, 1);

    const Stats floor = Floor(iterations);
    std::printf("%d round trips each, %u cores\n", iterations, std::thread::hardware_concurrency());
    std::printf("%-34s median %8.2f us  p99 %8.2f us\n", "floor: Unix-socket ping-pong", floor.median_us,
                floor.p99_us);

    {
        SocketPeer peer;
        kestro::CFSUIPCClient client;
        if (!client.Open()) {
            std::fprintf(stderr, "Open: %s\n", client.GetErrorText().c_str());
            return 1;
        }
        std::int32_t ias = 0;
        const Stats readNow = Measure(iterations, [&] { client.ReadNow(0x02BC, 4, &ias); });
        Print("ReadNow (socket peer)", readNow, floor);

        std::int32_t values[100];
        const Stats batch = Measure(iterations / 4, [&] {
            for (int i = 0; i < 100; ++i)
                client.Read(0x0560 + 4 * (i % 16), 4, &values[i]);
            client.Process();
        });
        Print("100 reads in one Process", batch, floor);
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
