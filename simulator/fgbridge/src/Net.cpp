#include "fgbridge/Net.h"

#include <numbers/Numbers.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace fgbridge {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

/// Closes a descriptor at the end of a scope.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

} // namespace

UdpChannel::UdpChannel(std::uint16_t listenPort, std::uint16_t sendPort) : m_sendPort(sendPort) {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        throw std::runtime_error(std::string("cannot make a UDP socket: ") + std::strerror(errno));
    const sockaddr_in a = Loopback(listenPort);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        const int e = errno;
        ::close(m_fd);
        throw std::runtime_error(
            "cannot listen for FlightGear's state on 127.0.0.1:" + std::to_string(listenPort) +
            " (UDP): " + std::strerror(e) + (e == EADDRINUSE ? " (another bridge runs?)" : ""));
    }
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&bound), &len);
    m_port = ntohs(bound.sin_port);
}

UdpChannel::~UdpChannel() {
    ::close(m_fd);
}

std::optional<std::string> UdpChannel::Receive(int timeoutMs) {
    std::optional<std::string> newest;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n >= 0) {
            newest.emplace(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (errno == EINTR)
            continue;
        // Nothing (more) waiting: wait once when nothing came yet.
        if (newest || timeoutMs <= 0 || !WaitFor(m_fd, POLLIN, timeoutMs))
            return newest;
        timeoutMs = 0;
    }
}

bool UdpChannel::Send(std::string_view datagram) {
    const sockaddr_in to = Loopback(m_sendPort);
    const ssize_t n = ::sendto(m_fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    // A refused earlier datagram (no one listened) shows as ECONNREFUSED here: no failure.
    return n == static_cast<ssize_t>(datagram.size()) || (n < 0 && errno == ECONNREFUSED);
}

std::optional<std::pair<int, std::string>> PropertyClient::Exchange(const std::string& method,
                                                                    const std::string& target,
                                                                    const std::string& body,
                                                                    std::string& error) const {
    const std::string where =
        "FlightGear's property interface at 127.0.0.1:" + std::to_string(m_port);
    Fd s{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (s.fd < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return std::nullopt;
    }
    const sockaddr_in a = Loopback(m_port);
    if (::connect(s.fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        if (errno != EINPROGRESS || !WaitFor(s.fd, POLLOUT, m_timeoutMs)) {
            error = "nothing answers at 127.0.0.1:" + std::to_string(m_port) + " (" +
                    std::strerror(errno == EINPROGRESS ? ETIMEDOUT : errno) +
                    "): FlightGear is not running, or runs without the property interface";
            return std::nullopt;
        }
        int e = 0;
        socklen_t len = sizeof e;
        ::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &e, &len);
        if (e != 0) {
            error = "nothing answers at 127.0.0.1:" + std::to_string(m_port) + " (" +
                    std::strerror(e) +
                    "): FlightGear is not running, or runs without the property interface";
            return std::nullopt;
        }
    }
    std::string request = method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (!body.empty())
        request +=
            "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n";
    request += "Connection: close\r\n\r\n" + body;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs);
    auto left = [&deadline] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
        return static_cast<int>(ms > 0 ? ms : 0);
    };
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(s.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!WaitFor(s.fd, POLLOUT, left())) {
                error = where + " took the request too slowly";
                return std::nullopt;
            }
        } else {
            error = where + " closed the connection: " + std::strerror(errno);
            return std::nullopt;
        }
    }
    std::string answer;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(s.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            answer.append(buffer, static_cast<std::size_t>(n));
            if (answer.size() > (1u << 20)) {
                error = where + " answered more than 1 MiB";
                return std::nullopt;
            }
        } else if (n == 0) {
            break;
        } else if (errno == EAGAIN || errno == EINTR) {
            if (!WaitFor(s.fd, POLLIN, left())) {
                error = where + " did not answer within " + std::to_string(m_timeoutMs) + " ms";
                return std::nullopt;
            }
        } else {
            error = where + ": " + std::strerror(errno);
            return std::nullopt;
        }
    }
    // "HTTP/1.x NNN reason\r\n" headers "\r\n\r\n" body
    const std::size_t space = answer.find(' ');
    const std::size_t headersEnd = answer.find("\r\n\r\n");
    const std::optional<double> status =
        space == std::string::npos ? std::nullopt
                                   : numbers::Parse(std::string_view(answer).substr(space + 1, 3));
    if (answer.rfind("HTTP/", 0) != 0 || !status || headersEnd == std::string::npos) {
        error = where + " answered no HTTP: \"" + answer.substr(0, 40) + "\"";
        return std::nullopt;
    }
    return std::make_pair(static_cast<int>(*status), answer.substr(headersEnd + 4));
}

bool PropertyClient::Listening(int timeoutMs) const {
    Fd s{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (s.fd < 0)
        return false;
    const sockaddr_in a = Loopback(m_port);
    if (::connect(s.fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
        return true;
    if (errno != EINPROGRESS || !WaitFor(s.fd, POLLOUT, timeoutMs))
        return false;
    int e = 0;
    socklen_t len = sizeof e;
    ::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &e, &len);
    return e == 0;
}

std::optional<std::string> PropertyClient::Get(const std::string& path, std::string& error) const {
    const auto answer = Exchange("GET", "/json" + path, "", error);
    if (!answer)
        return std::nullopt;
    if (answer->first != 200) {
        error = "FlightGear answered " + std::to_string(answer->first) + " for " + path;
        return std::nullopt;
    }
    std::optional<std::string> value = JsonValue(answer->second);
    if (!value)
        error = "FlightGear has no value for " + path;
    return value;
}

bool PropertyClient::Set(const std::string& path, const std::string& value,
                         std::string& error) const {
    std::string json;
    if (numbers::Parse(value) || value == "true" || value == "false") {
        json = value;
    } else {
        json = "\"";
        for (char c : value) {
            if (c == '"' || c == '\\')
                json += '\\';
            json += c;
        }
        json += "\"";
    }
    const auto answer = Exchange("POST", "/json" + path, "{\"value\":" + json + "}", error);
    if (!answer)
        return false;
    if (answer->first != 200) {
        error =
            "FlightGear answered " + std::to_string(answer->first) + " when " + path + " was set";
        return false;
    }
    return true;
}

bool PropertyClient::Command(const std::string& name, std::string& error) const {
    const auto answer = Exchange("GET", "/run.cgi?value=" + name, "", error);
    if (!answer)
        return false;
    if (answer->first != 200) {
        error = "FlightGear answered " + std::to_string(answer->first) + " to the command " + name;
        return false;
    }
    return true;
}

std::optional<std::string> JsonValue(std::string_view json) {
    std::size_t at = json.find("\"value\"");
    if (at == std::string_view::npos)
        return std::nullopt;
    at = json.find(':', at + 7);
    if (at == std::string_view::npos)
        return std::nullopt;
    ++at;
    while (at < json.size() &&
           (json[at] == ' ' || json[at] == '\t' || json[at] == '\n' || json[at] == '\r'))
        ++at;
    if (at >= json.size())
        return std::nullopt;
    std::string value;
    if (json[at] == '"') {
        for (++at; at < json.size() && json[at] != '"'; ++at) {
            if (json[at] == '\\' && at + 1 < json.size()) {
                ++at;
                const char c = json[at];
                value += c == 'n' ? '\n' : c == 't' ? '\t' : c;
            } else {
                value += json[at];
            }
        }
        if (at >= json.size())
            return std::nullopt; // unterminated
        return value;
    }
    const std::size_t end = json.find_first_of(",}] \t\r\n", at);
    value = std::string(json.substr(at, end == std::string_view::npos ? end : end - at));
    if (value.empty())
        return std::nullopt;
    return value;
}

} // namespace fgbridge
