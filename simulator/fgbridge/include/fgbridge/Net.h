#pragma once
// The bridge's channels to FlightGear, all on the loopback address 127.0.0.1 (nothing of the
// bridge listens on another interface, so no one on the network can move the controls):
//
//  - UdpChannel: receives FlightGear's generic-protocol state datagrams on a port of its own and
//    sends the control datagrams to FlightGear's input port.
//  - PropertyClient: FlightGear's HTTP/JSON property interface (GET /json/PATH to read a
//    property, POST /json/PATH {"value":...} to set one, GET /run.cgi?value=COMMAND to run a
//    command), one short HTTP/1.0 exchange per call, for the rare commands.
//
// Plain POSIX sockets; every call has a time-out and none blocks longer.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fgbridge {

/// A UDP socket bound to 127.0.0.1:`listenPort` (0: any free port) that sends to
/// 127.0.0.1:`sendPort`.  The constructor throws std::runtime_error naming the port when the
/// socket cannot be made or bound (the port is taken: another bridge runs).
class UdpChannel {
public:
    UdpChannel(std::uint16_t listenPort, std::uint16_t sendPort);
    ~UdpChannel();
    UdpChannel(const UdpChannel&) = delete;
    UdpChannel& operator=(const UdpChannel&) = delete;

    /// Waits at most `timeoutMs` (0: just look) for datagrams and returns the newest of those
    /// waiting (older ones are stale state), nothing when none came.
    std::optional<std::string> Receive(int timeoutMs);
    /// Sends one datagram; false when the system refuses it (no one listens is no failure: UDP).
    bool Send(std::string_view datagram);
    /// The port it listens on.
    std::uint16_t Port() const { return m_port; }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::uint16_t m_sendPort;
};

/// FlightGear's HTTP/JSON property interface at 127.0.0.1:`port`.
class PropertyClient {
public:
    explicit PropertyClient(std::uint16_t port, int timeoutMs = 2000)
        : m_port(port), m_timeoutMs(timeoutMs) {}

    /// The value of the property `path` as text (a JSON string unquoted and unescaped, a number
    /// or true/false as written); nothing with `error` set when FlightGear does not answer, the
    /// answer is no 200 or has no "value".
    std::optional<std::string> Get(const std::string& path, std::string& error) const;
    /// Sets the property `path` to `value` (a number or true/false is sent as such, anything
    /// else as a JSON string); false with `error` set on failure.
    bool Set(const std::string& path, const std::string& value, std::string& error) const;
    /// Runs the FlightGear command `name` (e.g. "pause"); false with `error` set on failure.
    bool Command(const std::string& name, std::string& error) const;

    std::uint16_t Port() const { return m_port; }

    /// True when something takes a connection on the port within `timeoutMs`: FlightGear runs,
    /// though it may be too busy to answer (a connection is taken before it is served).
    bool Listening(int timeoutMs) const;

    /// One HTTP/1.0 exchange: the status code and body, nothing with `error` set when no
    /// answer came within the time-out.  Public for tests.
    std::optional<std::pair<int, std::string>> Exchange(const std::string& method,
                                                        const std::string& target,
                                                        const std::string& body,
                                                        std::string& error) const;

private:
    std::uint16_t m_port;
    int m_timeoutMs;
};

/// The "value" of a JSON object as FlightGear's property interface answers it: a string's
/// text unescaped, a number or literal as written; nothing when there is none.
std::optional<std::string> JsonValue(std::string_view json);

} // namespace fgbridge
