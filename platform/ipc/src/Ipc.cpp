#include "ipc/Ipc.h"

#include "Internal.h"
#include "ipc/FailureHooks.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ipc {

std::uint64_t NewSenderId() {
    static std::atomic<std::uint64_t> next{0};
    return ++next;
}

FailureHooks& Hooks() {
    static FailureHooks hooks;
    return hooks;
}

// ---------------------------------------------------------------------------------------------
// IPC directory and socket paths

std::string IpcDirectory(std::string* problem) {
    std::string dir;
    if (const char* env = std::getenv(kIpcDirEnv); env && *env)
        dir = env;
    else if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        dir = std::string(run) + "/avilo-ipc";
    else
        dir = "/tmp/avilo-ipc-" + std::to_string(getuid());
    if (problem)
        problem->clear();
    const auto refuse = [&](const std::string& why) {
        if (problem)
            *problem = "the IPC folder " + dir + " " + why;
        return std::string();
    };

    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return refuse("cannot be examined: " + std::string(std::strerror(errno)));
        std::error_code ec;
        const std::filesystem::path parent = std::filesystem::path(dir).parent_path();
        if (!parent.empty())
            std::filesystem::create_directories(parent, ec);
        if (::mkdir(dir.c_str(), 0700) == 0) {
            // Made here: the umask may have taken bits the owner needs.
            ::chmod(dir.c_str(), 0700);
        } else if (errno != EEXIST) {
            return refuse("cannot be created: " + std::string(std::strerror(errno)));
        }
        if (::lstat(dir.c_str(), &st) != 0)
            return refuse("cannot be examined: " + std::string(std::strerror(errno)));
    }
    // Checked on the entry itself, not on what a symbolic link would lead to: the folder must be
    // this user's own and closed to everyone else, or another user could serve the link.
    if (S_ISLNK(st.st_mode))
        return refuse("is a symbolic link; refusing to use it");
    if (!S_ISDIR(st.st_mode))
        return refuse("is not a folder; refusing to use it");
    if (st.st_uid != ::geteuid())
        return refuse("belongs to another user (uid " + std::to_string(st.st_uid) +
                      "); refusing to use it");
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return refuse(std::string("is open to other users (mode ") + mode +
                      "); refusing to use it until it is closed to group and others (chmod 700)");
    }
    return dir;
}

namespace detail {

std::string SocketPath(const std::string& directory, std::string_view className) {
    std::string path = directory + "/" + std::string(className);
    if (path.size() >= sizeof(sockaddr_un::sun_path))
        return {};
    return path;
}

int ConnectTo(const std::string& path, int timeoutMs) {
    if (path.empty()) {
        errno = ENAMETOOLONG;
        return -1;
    }
    // Non-blocking: a blocking connect waits for as long as the endpoint's queue of connections
    // not yet accepted stays full, which is forever for an endpoint that is stuck or has run out
    // of file descriptors.  Such a connect fails with EAGAIN instead and is tried again, until
    // the time-out.
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
            return fd;
        int error = errno;
        if (error == EINTR)
            continue;
        if (error == EINPROGRESS) { // not for Unix-domain sockets on Linux, but allowed by POSIX
            pollfd p{fd, POLLOUT, 0};
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
            if (::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0))) == 1) {
                socklen_t len = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0)
                    return fd;
            } else {
                error = ETIMEDOUT;
            }
        }
        if (error == EAGAIN && clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        ::close(fd);
        errno = error == EAGAIN ? ETIMEDOUT : error;
        return -1;
    }
}

} // namespace detail

// ---------------------------------------------------------------------------------------------
// Local endpoints: the process's own list of registered endpoints.

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::vector<std::weak_ptr<LocalEndpoint::State>>, std::less<>> byClass;
};

Registry& LocalRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

LocalEndpoint::LocalEndpoint(std::string className, Handler handler)
    : m_state(std::make_shared<State>()) {
    m_state->className = std::move(className);
    m_state->handler = std::move(handler);
    auto& reg = LocalRegistry();
    std::lock_guard lock(reg.mutex);
    reg.byClass[m_state->className].push_back(m_state);
}

LocalEndpoint::~LocalEndpoint() {
    Close();
}

void LocalEndpoint::Close() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->closed = true;
    }
    auto& reg = LocalRegistry();
    std::lock_guard lock(reg.mutex);
    auto it = reg.byClass.find(m_state->className);
    if (it == reg.byClass.end())
        return;
    std::erase_if(it->second, [this](const auto& w) {
        auto s = w.lock();
        return !s || s == m_state;
    });
    if (it->second.empty())
        reg.byClass.erase(it);
}

// ---------------------------------------------------------------------------------------------
// Windows (found endpoints)

class Window {
public:
    explicit Window(std::shared_ptr<LocalEndpoint::State> local) : m_local(std::move(local)) {}
    explicit Window(int fd) : m_fd(fd) {}
    ~Window() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    SendResult Send(std::uint32_t msg, std::uint32_t wParam, std::uint32_t lParam,
                    std::uint32_t timeoutMs, const std::function<bool()>& stop);

private:
    SendResult SendLocal(const Message& m);
    SendResult SendSocket(const Message& m, std::uint32_t timeoutMs,
                          const std::function<bool()>& stop);

    std::shared_ptr<LocalEndpoint::State> m_local;
    int m_fd = -1;
    std::mutex m_mutex;
    std::uint32_t m_sequence = 0;
    std::uint64_t m_sender = NewSenderId();
};

WindowHandle FindWindow(std::string_view className) {
    {
        auto& reg = LocalRegistry();
        std::lock_guard lock(reg.mutex);
        if (auto it = reg.byClass.find(className); it != reg.byClass.end()) {
            for (auto w = it->second.rbegin(); w != it->second.rend(); ++w)
                if (auto s = w->lock())
                    return std::make_shared<Window>(std::move(s));
        }
    }
    const std::string dir = IpcDirectory();
    if (dir.empty())
        return {};
    const int fd = detail::ConnectTo(detail::SocketPath(dir, className));
    if (fd < 0)
        return {};
    return std::make_shared<Window>(fd);
}

SendResult Window::Send(std::uint32_t msg, std::uint32_t wParam, std::uint32_t lParam,
                        std::uint32_t timeoutMs, const std::function<bool()>& stop) {
    Message m{msg, wParam, lParam, GlobalGetAtomName(static_cast<Atom>(wParam)), m_sender};
    if (wParam > 0xFFFF)
        m.atomName.clear();
    std::lock_guard lock(m_mutex);
    return m_local ? SendLocal(m) : SendSocket(m, timeoutMs, stop);
}

SendResult Window::SendLocal(const Message& m) {
    std::lock_guard lock(m_local->mutex);
    if (m_local->closed)
        return {SendResult::Status::Failed, 0, ECONNRESET};
    const Reply r = m_local->handler(m);
    switch (r.kind) {
    case Reply::Kind::Answer:
        return {SendResult::Status::Ok, r.value, 0};
    case Reply::Kind::NoAnswer:
        return {SendResult::Status::TimedOut, 0, 0};
    case Reply::Kind::Fail:
        return {SendResult::Status::Failed, 0, r.error != 0 ? r.error : EIO};
    case Reply::Kind::Close:
        m_local->closed = true;
        return {SendResult::Status::Failed, 0, ECONNRESET};
    }
    return {SendResult::Status::Failed, 0, EIO};
}

SendResult Window::SendSocket(const Message& m, std::uint32_t timeoutMs,
                              const std::function<bool()>& stop) {
    if (m_fd < 0)
        return {SendResult::Status::Failed, 0, ENOTCONN};
    std::uint8_t packet[detail::kRequestHeader + detail::kMaxAtomName];
    const std::uint32_t seq = ++m_sequence;
    detail::Put32(packet, seq);
    detail::Put32(packet + 4, m.msg);
    detail::Put32(packet + 8, m.wParam);
    detail::Put32(packet + 12, m.lParam);
    const std::size_t nameLen = std::min(m.atomName.size(), detail::kMaxAtomName);
    std::memcpy(packet + detail::kRequestHeader, m.atomName.data(), nameLen);

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    // The socket does not block: a peer that stopped reading fills its buffer, and the request
    // then waits for room within the same time-out as the answer.
    bool sent = false;
    for (;;) {
        if (stop && stop())
            return {SendResult::Status::TimedOut, 0, 0};
        if (!sent) {
            if (::send(m_fd, packet, detail::kRequestHeader + nameLen,
                       MSG_NOSIGNAL | MSG_DONTWAIT) >= 0)
                sent = true;
            else if (errno != EAGAIN && errno != EINTR)
                return {SendResult::Status::Failed, 0, errno};
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            return {SendResult::Status::TimedOut, 0, 0};
        pollfd p{m_fd, static_cast<short>(sent ? POLLIN : POLLOUT), 0};
        const int wait =
            stop ? static_cast<int>(std::min<long long>(left, 50)) : static_cast<int>(left);
        const int n = ::poll(&p, 1, wait);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {SendResult::Status::Failed, 0, errno};
        }
        if (n == 0 || !sent)
            continue;
        std::uint8_t answer[16];
        const ssize_t got = ::recv(m_fd, answer, sizeof answer, MSG_DONTWAIT);
        if (got == 0)
            return {SendResult::Status::Failed, 0, ECONNRESET};
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return {SendResult::Status::Failed, 0, errno};
        }
        // An answer to an earlier request that timed out is dropped.
        if (static_cast<std::size_t>(got) >= detail::kAnswerSize && detail::Get32(answer) == seq)
            return {SendResult::Status::Ok, detail::Get32(answer + 4), 0};
    }
}

SendResult SendMessageTimeout(const WindowHandle& window, std::uint32_t msg, std::uint32_t wParam,
                              std::uint32_t lParam, std::uint32_t timeoutMs,
                              const std::function<bool()>& stop) {
    if (const int e = Hooks().sendError.load(); e != 0)
        return {SendResult::Status::Failed, 0, e};
    if (Hooks().sendTimeout.load())
        return {SendResult::Status::TimedOut, 0, 0};
    if (!window)
        return {SendResult::Status::Failed, 0, EBADF};
    return window->Send(msg, wParam, lParam, timeoutMs, stop);
}

// ---------------------------------------------------------------------------------------------
// Registered messages and atoms

std::uint32_t RegisterWindowMessage(std::string_view name) {
    if (Hooks().registerMessage.load() || name.empty())
        return 0;
    std::uint32_t h = 2166136261u; // FNV-1a
    for (const char c : name) {
        h ^= static_cast<std::uint8_t>(c);
        h *= 16777619u;
    }
    return 0xC000u + h % 0x4000u;
}

namespace {

struct AtomTable {
    std::mutex mutex;
    struct Entry {
        std::string name;
        unsigned refs = 0;
    };
    std::map<Atom, Entry> byAtom;
    std::map<std::string, Atom, std::less<>> byName;
};

AtomTable& Atoms() {
    static AtomTable table;
    return table;
}

} // namespace

Atom GlobalAddAtom(std::string_view name) {
    if (Hooks().addAtom.load() || name.empty() || name.size() > detail::kMaxAtomName)
        return 0;
    auto& t = Atoms();
    std::lock_guard lock(t.mutex);
    if (auto it = t.byName.find(name); it != t.byName.end()) {
        ++t.byAtom[it->second].refs;
        return it->second;
    }
    for (std::uint32_t a = 0xC000; a <= 0xFFFF; ++a) {
        if (!t.byAtom.contains(static_cast<Atom>(a))) {
            t.byAtom[static_cast<Atom>(a)] = {std::string(name), 1};
            t.byName.emplace(std::string(name), static_cast<Atom>(a));
            return static_cast<Atom>(a);
        }
    }
    return 0; // table full
}

Atom GlobalDeleteAtom(Atom atom) {
    auto& t = Atoms();
    std::lock_guard lock(t.mutex);
    auto it = t.byAtom.find(atom);
    if (it == t.byAtom.end())
        return atom;
    if (--it->second.refs == 0) {
        t.byName.erase(it->second.name);
        t.byAtom.erase(it);
    }
    return 0;
}

std::string GlobalGetAtomName(Atom atom) {
    auto& t = Atoms();
    std::lock_guard lock(t.mutex);
    auto it = t.byAtom.find(atom);
    return it == t.byAtom.end() ? std::string() : it->second.name;
}

// ---------------------------------------------------------------------------------------------
// File mappings

std::string FileMapping::ShmName(const std::string& name) {
    return "/" + name;
}

int FileMapping::RemoveStale(std::string_view prefix) {
    if (prefix.empty())
        return 0;
    // Linux keeps POSIX shared memory in /dev/shm, one file per object, named without the "/".
    const std::filesystem::path folder = "/dev/shm";
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix))
            continue;
        const char* first = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        unsigned long pid = 0;
        const auto [stop, parsed] = std::from_chars(first, last, pid, 16);
        if (parsed != std::errc() || stop == first || stop == last || *stop != ':' || pid == 0 ||
            pid > static_cast<unsigned long>(std::numeric_limits<pid_t>::max()))
            continue;
        // Alive, or another user's process (EPERM): not ours to take.  (Process ids are those of
        // this process's namespace, which shares /dev/shm with the peers it links to.)
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        if (::shm_unlink(ShmName(name).c_str()) == 0)
            ++removed;
    }
    return removed;
}

FileMapping::FileMapping(std::string name, std::size_t size, int fd)
    : m_name(std::move(name)), m_size(size), m_fd(fd) {}

std::unique_ptr<FileMapping> FileMapping::Create(const std::string& name, std::size_t size,
                                                 Status& status, int& error) {
    status = Status::Failed;
    error = 0;
    if (Hooks().createMapping.load()) {
        error = EACCES;
        return nullptr;
    }
    if (name.empty() || name.find('/') != std::string::npos || size == 0) {
        error = EINVAL;
        return nullptr;
    }
    const std::string shm = ShmName(name);
    const int fd = ::shm_open(shm.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        status = error == EEXIST ? Status::AlreadyExists : Status::Failed;
        return nullptr;
    }
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error = errno;
        ::close(fd);
        ::shm_unlink(shm.c_str());
        return nullptr;
    }
    status = Status::Ok;
    return std::unique_ptr<FileMapping>(new FileMapping(name, size, fd));
}

FileMapping::~FileMapping() {
    UnmapView();
    ::close(m_fd);
    ::shm_unlink(ShmName(m_name).c_str());
}

std::uint8_t* FileMapping::MapView() {
    if (m_view)
        return m_view;
    if (Hooks().mapView.load())
        return nullptr;
    void* p = ::mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (p == MAP_FAILED)
        return nullptr;
    m_view = static_cast<std::uint8_t*>(p);
    return m_view;
}

void FileMapping::UnmapView() {
    if (m_view) {
        ::munmap(m_view, m_size);
        m_view = nullptr;
    }
}

} // namespace ipc
