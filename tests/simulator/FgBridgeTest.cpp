// The FlightGear bridge: the shipped property file, the codec of its UDP lines (units and signs
// against the link's), the link served from FlightGear's state, the UDP channel against a peer
// on loopback and the property client against a tiny HTTP peer.
#include <fgbridge/Bridge.h>
#include <fgbridge/Commands.h>
#include <fgbridge/Net.h>
#include <fgbridge/PropertyFile.h>
#include <ipc/Protocol.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

using namespace fgbridge;
namespace offsets = ipc::protocol::offsets;

namespace {

const std::string kShipped = std::string(AVILO_DATA_DIR) + "/flightgear/Protocol/avilo-c172p.xml";

/// A state line of the shipped file: the fields in the order of its <output> chunks.
std::string StateLine(double time_s, double elevator = 0.1, int paused = 0) {
    // tag, time, paused, lat, lon, alt ft, ground ft, pitch, bank, heading, ias, tas, vs fps,
    // on ground, throttle, mixture, elevator, aileron, rudder, trim, brakes l/r/parking
    char line[512];
    std::snprintf(line, sizeof line,
                  "avilo-c172p,%.3f,%d,52.300000000,4.500000000,3000.000,-10.000,2.5000,-5.0000,"
                  "270.0000,100.000,104.500,-5.000,0,0.7500,1.0000,%.5f,-0.25000,0.00000,"
                  "-0.05000,0.000,0.000,0.000\n",
                  time_s, paused, elevator);
    return line;
}

template <typename T> T At(const std::uint8_t* space, std::uint32_t offset) {
    T v;
    std::memcpy(&v, space + offset, sizeof v);
    return v;
}

/// A socket of `type` bound to a free port on 127.0.0.1; `port` receives the port.
int BoundToLoopback(int type, std::uint16_t& port) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

/// A loopback UDP socket standing for FlightGear.
struct Peer {
    std::uint16_t port = 0;
    int fd = BoundToLoopback(SOCK_DGRAM, port);
    Peer() {
        timeval tv{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~Peer() { ::close(fd); }
    void SendTo(std::uint16_t to, const std::string& text) const {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(to);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    std::string Receive() const {
        char buffer[1024];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
};

/// A one-thread HTTP peer on 127.0.0.1 that answers each request with `answer(request line,
/// body)` and records the request lines.
class HttpPeer {
public:
    using Answer = std::function<std::string(const std::string&, const std::string&)>;
    explicit HttpPeer(Answer answer) : m_answer(std::move(answer)) {
        m_fd = BoundToLoopback(SOCK_STREAM, m_port);
        ::listen(m_fd, 8);
        m_thread = std::thread([this] { Run(); });
    }
    ~HttpPeer() {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }
    std::uint16_t Port() const { return m_port; }
    std::vector<std::string> Requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    void Run() {
        for (;;) {
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                return;
            std::string request;
            char buffer[2048];
            // Headers, then as much body as Content-Length says.
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            const std::size_t end = request.find("\r\n\r\n");
            std::size_t length = 0;
            if (const std::size_t at = request.find("Content-Length: "); at != std::string::npos)
                length = std::stoul(request.substr(at + 16));
            while (end != std::string::npos && request.size() < end + 4 + length) {
                const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            const std::string line = request.substr(0, request.find("\r\n"));
            const std::string body = end == std::string::npos ? "" : request.substr(end + 4);
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(line + (body.empty() ? "" : " " + body));
            }
            const std::string answer = m_answer(line, body);
            ::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
            ::close(c);
        }
    }

    Answer m_answer;
    int m_fd;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
};

std::string Ok(const std::string& json) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(json.size()) + "\r\n\r\n" + json;
}

} // namespace

TEST(FgBridgeFile, ShippedFileIsComplete) {
    const PropertyFile f = LoadPropertyFile(kShipped);
    EXPECT_EQ(f.aircraft, "c172p");
    EXPECT_EQ(f.tag, "avilo-c172p");
    EXPECT_EQ(f.output.size(), 23u);
    EXPECT_EQ(f.input.size(), 9u);
    // The c172p overwrites engine[0]'s throttle: the current engine's is the one to write.
    EXPECT_EQ(f.input.front().node, "/controls/engines/current-engine/throttle");
    EXPECT_FALSE(f.engineRunning.empty());
    EXPECT_GT(f.starter_s, 0.0);
}

TEST(FgBridgeFile, RefusesWhatItCannotServe) {
    const std::string shipped = [] {
        std::ifstream in(kShipped);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    const std::string dir = ::testing::TempDir() + "fgbridge-file";
    std::filesystem::create_directories(dir);
    struct Case {
        std::string from, to, expected; // an edit of the shipped file and the refusal's words
    };
    const Case cases[] = {
        {"<format>avilo-c172p</format>", "<format>avilo-c182</format>", "must be \"tag\""},
        {"<name>tas-kt</name>", "<name>true-kt</name>", "unknown name \"true-kt\""},
        {"<name>on-ground</name>", "<name>ias-kt</name>", "names \"ias-kt\" twice"},
        {"<var_separator>,</var_separator>", "<var_separator>;;</var_separator>", "one character"},
        {"<aircraft>c172p</aircraft>", "", "no <avilo><aircraft>"},
        {"<generic>", "<generic><x/>", ""}, // harmless: still loads
        {"</PropertyList>", "", "not XML"},
    };
    for (const Case& c : cases) {
        std::string text = shipped;
        const std::size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
        const std::string path = dir + "/avilo-test.xml";
        std::ofstream(path) << text;
        if (c.expected.empty()) {
            EXPECT_NO_THROW(LoadPropertyFile(path)) << c.to;
            continue;
        }
        try {
            LoadPropertyFile(path);
            ADD_FAILURE() << "accepted: " << c.to;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(LoadPropertyFile(dir + "/avilo-none.xml"), std::runtime_error);
}

TEST(FgBridgeCodec, UnitsAndSignsMatchTheLink) {
    const Codec codec(LoadPropertyFile(kShipped));
    FgState s;
    std::string error;
    ASSERT_TRUE(codec.Decode(StateLine(12.5, 0.1), s, error)) << error;
    EXPECT_DOUBLE_EQ(s.time_s, 12.5);
    EXPECT_FALSE(s.paused);
    EXPECT_NEAR(s.state.altitude_m, 914.4, 1e-9);
    EXPECT_NEAR(s.state.groundElevation_m, -3.048, 1e-9);
    EXPECT_DOUBLE_EQ(s.state.bank_deg, -5.0);
    EXPECT_DOUBLE_EQ(s.state.heading_deg, 270.0);
    EXPECT_NEAR(s.derived.verticalSpeed_mps, -1.524, 1e-9);
    EXPECT_DOUBLE_EQ(s.derived.tas_kt, 104.5);
    // FlightGear's elevator and trim are positive nose down, the link's positive nose up.
    EXPECT_EQ(s.controls.elevator, -1638);
    EXPECT_EQ(s.controls.elevatorTrim, 819);
    EXPECT_EQ(s.controls.aileron, -4096);
    EXPECT_EQ(s.controls.throttle, 12288);
    EXPECT_EQ(s.controls.mixture, 16384);

    // Link raw values to FlightGear's: full nose-up elevator is -1, full right rudder +1, the
    // levers and brakes 0 to 1; values beyond their range act as the range's end.
    fssim::Controls c;
    c.throttle = 8192;
    c.mixture = 20000;
    c.elevator = 16383;
    c.aileron = -8192;
    c.rudder = 16383;
    c.elevatorTrim = -16383;
    c.leftToeBrake = 100;
    c.rightToeBrake = 200;
    c.parkingBrake = 32767;
    EXPECT_EQ(codec.Encode(c), "0.500000,1.000000,-1.000000,-0.500031,1.000000,1.000000,"
                               "0.500000,1.000000,1.000000\n");
}

TEST(FgBridgeCodec, RefusesAnotherStream) {
    const Codec codec(LoadPropertyFile(kShipped));
    FgState s;
    struct Case {
        std::string line, expected;
    };
    const Case cases[] = {
        {"52.3,4.5,3000\n", "another protocol file"},
        {"avilo-c172p,1.0,0\n", "has 3 fields where"},
        {std::regex_replace(StateLine(1.0), std::regex("100\\.000"), "fast"),
         "(ias-kt) is no number"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(codec.Decode(c.line, s, error)) << c.line;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST(FgBridge, ServesFlightGearsStateAndSendsTheClientsControls) {
    const Codec codec(LoadPropertyFile(kShipped));
    FgState first;
    std::string error;
    ASSERT_TRUE(codec.Decode(StateLine(100.0), first, error));
    Bridge bridge(codec, first, 0);
    // Nothing sent until a client moves a control: a pilot flying by hand keeps them.
    EXPECT_FALSE(bridge.ControlsDue(10));

    ASSERT_TRUE(bridge.OnDatagram(StateLine(101.25), 40, error)) << error;
    const std::uint8_t* space = bridge.Sim().OffsetSpace();
    EXPECT_EQ(At<std::uint32_t>(space, offsets::kSimTimeMarker), ipc::protocol::kSimTimeTag);
    EXPECT_EQ(At<std::uint64_t>(space, offsets::kSimTime), 1250u);
    EXPECT_NEAR(ipc::protocol::DecodeAltitude(At<std::int64_t>(space, offsets::kAltitude)), 914.4,
                1e-6);
    EXPECT_NEAR(ipc::protocol::DecodeAngle(At<std::int32_t>(space, offsets::kBank)), -5.0, 1e-6);
    EXPECT_EQ(At<std::int32_t>(space, offsets::kIndicatedAirspeed), 100 * 128);
    // The offsets start with FlightGear's own control positions.
    EXPECT_EQ(At<std::int16_t>(space, offsets::kElevator), -1638);

    // The served time stands still while FlightGear says it is paused, even when its clock
    // runs on, and goes on from there when it resumes.
    ASSERT_TRUE(bridge.OnDatagram(StateLine(101.25, 0.1, 1), 500, error));
    ASSERT_TRUE(bridge.OnDatagram(StateLine(103.0, 0.1, 1), 900, error));
    EXPECT_EQ(At<std::uint64_t>(bridge.Sim().OffsetSpace(), offsets::kSimTime), 1250u);
    ASSERT_TRUE(bridge.OnDatagram(StateLine(103.05, 0.1, 0), 1000, error));
    EXPECT_EQ(At<std::uint64_t>(bridge.Sim().OffsetSpace(), offsets::kSimTime), 1300u);

    // A client writes the elevator (nose up 0.5): FlightGear gets -0.5, at once, then again
    // only after a change or the refresh period.
    std::uint8_t block[64] = {};
    ipc::protocol::Put32(block, ipc::protocol::kWriteId);
    ipc::protocol::Put32(block + 4, offsets::kElevator);
    ipc::protocol::Put32(block + 8, 2);
    const std::int16_t up = 8192;
    std::memcpy(block + 12, &up, 2);
    ASSERT_TRUE(bridge.Sim().ProcessBatch(block, sizeof block));
    // Meanwhile FlightGear set the mixture to half: a control the client never set stays
    // FlightGear's.
    ASSERT_TRUE(bridge.OnDatagram(
        std::regex_replace(StateLine(103.1), std::regex(",0\\.7500,1\\.0000,"), ",0.7500,0.5000,"),
        1001, error))
        << error;
    const std::optional<std::string> sent = bridge.ControlsDue(1001);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->substr(0, 30), "0.750000,0.500000,-0.500031,-0");
    EXPECT_FALSE(bridge.ControlsDue(1001 + kRefreshMs - 1));
    EXPECT_TRUE(bridge.ControlsDue(1001 + kRefreshMs));

    // Two seconds without state: FlightGear is lost.
    EXPECT_FALSE(bridge.Lost(1001 + kLostMs - 1));
    EXPECT_TRUE(bridge.Lost(1001 + kLostMs));
    // A datagram that does not decode is no sign of life.
    EXPECT_FALSE(bridge.OnDatagram("hello\n", 2500, error));
    EXPECT_TRUE(bridge.Lost(1001 + kLostMs));
}

TEST(FgBridgeNet, UdpOnLoopbackKeepsTheNewestState) {
    Peer flightgear;
    UdpChannel channel(0, flightgear.port);
    EXPECT_FALSE(channel.Receive(0));
    for (int i = 1; i <= 3; ++i)
        flightgear.SendTo(channel.Port(), "state " + std::to_string(i));
    // All three are on the loopback queue once the last one is: the newest wins.
    const std::optional<std::string> got = channel.Receive(2000);
    ASSERT_TRUE(got);
    std::string newest = *got;
    while (newest != "state 3") {
        const auto more = channel.Receive(2000);
        ASSERT_TRUE(more);
        newest = *more;
    }
    EXPECT_TRUE(channel.Send("0.1,0.2\n"));
    EXPECT_EQ(flightgear.Receive(), "0.1,0.2\n");
    // A second bridge on the same port is refused with the port named.
    try {
        UdpChannel second(channel.Port(), flightgear.port);
        ADD_FAILURE() << "a second bridge bound the same port";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(channel.Port())), std::string::npos);
    }
}

TEST(FgBridgeNet, PropertyClientAgainstAnHttpPeer) {
    std::mutex m;
    bool frozen = false;
    HttpPeer peer([&](const std::string& line, const std::string&) {
        std::lock_guard lock(m);
        if (line.rfind("GET /json/sim/freeze/clock ", 0) == 0)
            return Ok(std::string("{\"path\":\"/sim/freeze/clock\",\"value\":") +
                      (frozen ? "true" : "false") + ",\"type\":\"bool\"}");
        if (line.rfind("GET /run.cgi?value=pause ", 0) == 0) {
            frozen = !frozen;
            return Ok("");
        }
        if (line.rfind("GET /json/sim/aircraft ", 0) == 0)
            return Ok("{\"path\":\"/sim/aircraft\",\"name\":\"aircraft\",\"value\":\"c\\\"172p\"}");
        if (line.rfind("POST /json/", 0) == 0)
            return Ok("{}");
        return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    });
    const PropertyClient fg(peer.Port());
    std::string error;
    EXPECT_TRUE(fg.Listening(1000));
    EXPECT_EQ(fg.Get("/sim/aircraft", error), "c\"172p");
    EXPECT_FALSE(fg.Get("/no/such", error));
    EXPECT_NE(error.find("404"), std::string::npos) << error;

    // Pause, pause again (no toggle back), resume.
    EXPECT_TRUE(SetPaused(fg, true, error)) << error;
    EXPECT_TRUE(SetPaused(fg, true, error)) << error;
    EXPECT_TRUE(SetPaused(fg, false, error)) << error;
    std::size_t toggles = 0;
    for (const std::string& r : peer.Requests())
        toggles += r.rfind("GET /run.cgi?value=pause ", 0) == 0;
    EXPECT_EQ(toggles, 2u);

    EXPECT_TRUE(fg.Set("/sim/presets/airport-id", "EH\"AM", error)) << error;
    EXPECT_TRUE(fg.Set("/sim/presets/altitude-ft", "3000", error)) << error;
    const std::vector<std::string> requests = peer.Requests();
    EXPECT_EQ(requests[requests.size() - 2],
              "POST /json/sim/presets/airport-id HTTP/1.0 {\"value\":\"EH\\\"AM\"}");
    EXPECT_EQ(requests.back(), "POST /json/sim/presets/altitude-ft HTTP/1.0 {\"value\":3000}");
}

TEST(FgBridgeNet, NoFlightGearIsSaidSo) {
    // A port nothing listens on: bind one, then close it.
    std::uint16_t port = 0;
    ::close(BoundToLoopback(SOCK_STREAM, port));
    const PropertyClient fg(port, 500);
    std::string error;
    EXPECT_FALSE(fg.Get("/sim/aircraft", error));
    EXPECT_NE(error.find("FlightGear is not running"), std::string::npos) << error;
    EXPECT_FALSE(fg.Listening(200)); // a FlightGear that quit is lost
}

TEST(FgBridgeNet, ASilentFlightGearIsWaitedForWhileItRunsAndDroppedOnceItQuit) {
    // Stalled: it takes connections (the kernel's backlog) but answers nothing.
    std::uint16_t port = 0;
    const int fd = BoundToLoopback(SOCK_STREAM, port);
    ::listen(fd, 8);
    const PropertyClient stalled(port, 500);
    std::string why;
    EXPECT_TRUE(KeepSilentLink(stalled, false, 10 * kStallMs, why)); // loading, before a flight
    EXPECT_TRUE(KeepSilentLink(stalled, true, 5000, why));           // a frame of seconds
    EXPECT_FALSE(KeepSilentLink(stalled, true, kStallMs, why));
    EXPECT_EQ(why, "it runs but sends nothing");

    // Quit: its port refuses.
    ::close(fd);
    EXPECT_FALSE(KeepSilentLink(stalled, true, 2000, why));
    EXPECT_EQ(why, "it quit, or stopped sending");
    EXPECT_FALSE(KeepSilentLink(stalled, false, 2000, why));

    // Paused, as long as it likes.
    HttpPeer paused([](const std::string&, const std::string&) {
        return Ok("{\"path\":\"/sim/freeze/clock\",\"value\":true,\"type\":\"bool\"}");
    });
    EXPECT_TRUE(KeepSilentLink(PropertyClient(paused.Port()), true, 10 * kStallMs, why));
}
