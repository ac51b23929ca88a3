#include "ipc/Endpoint.h"

#include "Internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ipc {

namespace {

/// Descriptors kept free besides the connections: standard streams, the listening socket and
/// its reserve, the peer's open shared-memory objects, files and child processes it uses.
constexpr std::size_t kDescriptorMargin = 32;
/// Connections accepted in one Serve at most, so that a flood of them cannot hold it.
constexpr int kAcceptsPerServe = 64;
/// How long the listening socket is left alone when descriptors run out and no reserve is left.
constexpr std::chrono::milliseconds kAcceptPause{100};

int OpenReserve() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

/// Whether an endpoint listens at `path`: a connection attempt that does not block, where only a
/// refusal (nothing listening) or a missing file counts as no endpoint; a full queue of pending
/// connections (EAGAIN) means a live but busy one.
bool SomeoneListens(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const bool refused =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 &&
        (errno == ECONNREFUSED || errno == ENOENT);
    ::close(fd);
    return !refused;
}

} // namespace

SocketEndpoint::SocketEndpoint(const std::string& className, std::string directory) {
    if (directory.empty()) {
        // Only the default folder comes empty: ask it again for the reason.
        std::string problem;
        IpcDirectory(&problem);
        throw std::runtime_error(problem.empty() ? "the IPC directory cannot be created" : problem);
    }
    m_path = detail::SocketPath(directory, className);
    if (m_path.empty())
        throw std::runtime_error("the IPC socket path is too long: " + directory + "/" + className);
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode))
            throw std::runtime_error(m_path + " exists and is not a socket; not replacing it");
        if (SomeoneListens(m_path))
            throw std::runtime_error("an endpoint of class " + className + " is already running (" +
                                     m_path + ")");
        ::unlink(m_path.c_str()); // a stale socket of a process that died
    }
    m_listen = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listen < 0)
        throw std::runtime_error("cannot create a socket: " + std::string(std::strerror(errno)));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, m_path.c_str(), m_path.size() + 1);
    if (::bind(m_listen, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const std::string why = std::strerror(errno);
        ::close(m_listen);
        throw std::runtime_error("cannot listen on " + m_path + ": " + why);
    }
    // What was made at the path, so that only this socket is removed at the end, whatever
    // replaced it meanwhile.
    if (::lstat(m_path.c_str(), &st) == 0) {
        m_device = st.st_dev;
        m_inode = st.st_ino;
    }
    if (::listen(m_listen, 16) != 0) {
        const std::string why = std::strerror(errno);
        ::close(m_listen);
        ::unlink(m_path.c_str());
        throw std::runtime_error("cannot listen on " + m_path + ": " + why);
    }
    m_reserve = OpenReserve();
    SetMaxConnections(kDefaultMaxConnections);
}

SocketEndpoint::~SocketEndpoint() {
    CloseConnections();
    if (m_reserve >= 0)
        ::close(m_reserve);
    if (m_listen >= 0) {
        ::close(m_listen);
        struct stat st {};
        if (::lstat(m_path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_dev == m_device &&
            st.st_ino == m_inode)
            ::unlink(m_path.c_str());
    }
}

void SocketEndpoint::SetMaxConnections(std::size_t n) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        n = std::min<std::size_t>(
            n, limit.rlim_cur > kDescriptorMargin ? limit.rlim_cur - kDescriptorMargin : 1);
    m_maxConnections = std::max<std::size_t>(n, 1);
}

void SocketEndpoint::CloseConnections() {
    for (const Client& c : m_clients)
        ::close(c.fd);
    m_clients.clear();
}

int SocketEndpoint::Serve(int timeoutMs, const Handler& handler) {
    std::vector<pollfd> fds;
    const auto now = std::chrono::steady_clock::now();
    const bool accepting = now >= m_acceptPausedUntil;
    if (!accepting) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_acceptPausedUntil - now);
        timeoutMs = timeoutMs < 0 ? static_cast<int>(left.count())
                                  : std::min(timeoutMs, static_cast<int>(left.count()));
    }
    fds.push_back({accepting ? m_listen : -1, POLLIN, 0}); // poll skips a negative descriptor
    for (const Client& c : m_clients)
        fds.push_back({c.fd, POLLIN, 0});
    const int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n <= 0)
        return 0;

    int handled = 0;
    std::vector<int> dropped;
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0)
            continue;
        const int fd = fds[i].fd;
        std::uint8_t packet[detail::kRequestHeader + detail::kMaxAtomName + 1];
        const ssize_t got = ::recv(fd, packet, sizeof packet, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (got <= 0) { // closed by the sender, or broken
            dropped.push_back(fd);
            continue;
        }
        if (static_cast<std::size_t>(got) < detail::kRequestHeader ||
            static_cast<std::size_t>(got) > detail::kRequestHeader + detail::kMaxAtomName) {
            dropped.push_back(fd); // not our protocol
            continue;
        }
        Message m;
        const std::uint32_t seq = detail::Get32(packet);
        m.msg = detail::Get32(packet + 4);
        m.wParam = detail::Get32(packet + 8);
        m.lParam = detail::Get32(packet + 12);
        m.sender = m_clients[i - 1].sender;
        m.atomName.assign(reinterpret_cast<const char*>(packet + detail::kRequestHeader),
                          static_cast<std::size_t>(got) - detail::kRequestHeader);
        ++handled;
        const Reply r = handler(m);
        if (r.kind == Reply::Kind::Answer) {
            std::uint8_t answer[detail::kAnswerSize];
            detail::Put32(answer, seq);
            detail::Put32(answer + 4, r.value);
            if (::send(fd, answer, sizeof answer, MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
                dropped.push_back(fd);
        } else if (r.kind == Reply::Kind::Close || r.kind == Reply::Kind::Fail) {
            dropped.push_back(fd);
        }
    }
    for (const int fd : dropped) {
        ::close(fd);
        std::erase_if(m_clients, [fd](const Client& c) { return c.fd == fd; });
    }
    if (fds[0].revents & POLLIN)
        Accept();
    return handled;
}

void SocketEndpoint::Accept() {
    for (int i = 0; i < kAcceptsPerServe; ++i) {
        const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) {
            if (m_clients.size() < m_maxConnections) {
                m_clients.push_back({c, NewSenderId()});
            } else {
                ::close(c); // the sender sees the link closed at once
                ++m_refused;
            }
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // The connection stays pending, and poll would report it again at once: refuse it
            // with the reserve descriptor, or leave the listening socket alone for a while.
            if (RefuseWithReserve())
                continue;
            m_acceptPausedUntil = std::chrono::steady_clock::now() + kAcceptPause;
        }
        return; // EAGAIN: nothing more pending
    }
}

bool SocketEndpoint::RefuseWithReserve() {
    if (m_reserve < 0)
        return false;
    ::close(m_reserve);
    const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) {
        ::close(c);
        ++m_refused;
    }
    m_reserve = OpenReserve();
    return c >= 0 && m_reserve >= 0;
}

std::shared_ptr<SharedView> SharedView::Open(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos)
        return nullptr;
    // Not blocking: the name may be a FIFO someone left in the shared-memory folder.
    const int fd =
        ::shm_open(FileMapping::ShmName(name).c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        ::close(fd);
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    return std::shared_ptr<SharedView>(
        new SharedView(name, fd, static_cast<std::uint8_t*>(p), size));
}

SharedView::~SharedView() {
    ::munmap(m_data, m_size);
    ::close(m_fd);
}

std::optional<std::size_t> SharedView::CurrentSize() const {
    // The end offset is the size, as fstat gives it, at a fraction of fstat's cost; the
    // descriptor's offset it moves is used by nothing (copies go by position).
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    if (end < 0)
        return std::nullopt;
    return static_cast<std::size_t>(end);
}

std::optional<std::size_t> SharedView::CopyOut(std::span<std::uint8_t> out) const {
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n =
            ::pread(m_fd, out.data() + got, out.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break; // the object ends here
        got += static_cast<std::size_t>(n);
    }
    return got;
}

bool SharedView::CopyIn(std::span<const std::uint8_t> data) const {
    std::size_t put = 0;
    while (put < data.size()) {
        const ssize_t n =
            ::pwrite(m_fd, data.data() + put, data.size() - put, static_cast<off_t>(put));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        put += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace ipc
