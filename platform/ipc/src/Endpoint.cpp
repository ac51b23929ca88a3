#include "ipc/Endpoint.h"

#include "Internal.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ipc {

SocketEndpoint::SocketEndpoint(const std::string& className, std::string directory) {
    if (directory.empty())
        throw std::runtime_error("the IPC directory cannot be created");
    m_path = detail::SocketPath(directory, className);
    if (m_path.empty())
        throw std::runtime_error("the IPC socket path is too long: " + directory + "/" + className);
    if (const int fd = detail::ConnectTo(m_path); fd >= 0) {
        ::close(fd);
        throw std::runtime_error("an endpoint of class " + className + " is already running (" +
                                 m_path + ")");
    }
    ::unlink(m_path.c_str()); // a stale socket of a process that died
    m_listen = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listen < 0)
        throw std::runtime_error("cannot create a socket: " + std::string(std::strerror(errno)));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, m_path.c_str(), m_path.size() + 1);
    if (::bind(m_listen, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 16) != 0) {
        const std::string why = std::strerror(errno);
        ::close(m_listen);
        throw std::runtime_error("cannot listen on " + m_path + ": " + why);
    }
}

SocketEndpoint::~SocketEndpoint() {
    CloseConnections();
    if (m_listen >= 0) {
        ::close(m_listen);
        ::unlink(m_path.c_str());
    }
}

void SocketEndpoint::CloseConnections() {
    for (const Client& c : m_clients)
        ::close(c.fd);
    m_clients.clear();
}

int SocketEndpoint::Serve(int timeoutMs, const Handler& handler) {
    std::vector<pollfd> fds;
    fds.push_back({m_listen, POLLIN, 0});
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
    if (fds[0].revents & POLLIN) {
        for (;;) {
            const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                break;
            m_clients.push_back({c, NewSenderId()});
        }
    }
    return handled;
}

std::shared_ptr<SharedView> SharedView::Open(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos)
        return nullptr;
    const int fd = ::shm_open(FileMapping::ShmName(name).c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0) {
        ::close(fd);
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd); // the mapping keeps the memory
    if (p == MAP_FAILED)
        return nullptr;
    return std::shared_ptr<SharedView>(new SharedView(name, static_cast<std::uint8_t*>(p), size));
}

SharedView::~SharedView() {
    ::munmap(m_data, m_size);
}

} // namespace ipc
