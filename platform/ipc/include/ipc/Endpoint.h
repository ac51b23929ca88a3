#pragma once
// Peer side of the simulator link's platform calls: an endpoint registered under a class name
// that answers messages, and the peer's view of a client's named shared memory.
//
// LocalEndpoint serves senders of this process synchronously, on the sender's thread (used by
// the in-process simulator in virtual time: no threads, deterministic).  SocketEndpoint serves
// other processes through a Unix-domain socket (SOCK_SEQPACKET) named after the class in the IPC
// directory; its owner drives it with Serve from its own loop.
//
// Wire format (all fields 32-bit little-endian): a request is {sequence, msg, wParam, lParam}
// followed by the atom name's bytes (0 to 255); an answer is {sequence, value}.  The sequence lets
// a sender drop an answer that arrives after it gave up waiting.
//
// A socket endpoint serves at most a limited number of connections (MaxConnections); one more is
// accepted and closed at once, so its sender sees a broken link instead of waiting.  When the
// process runs out of descriptors the same happens (one descriptor is kept in reserve for it),
// so a pending connection never makes Serve spin.  The endpoint removes its socket file when it
// ends only while the file is still the socket it made.

#include "ipc/Export.h"
#include "ipc/Ipc.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace ipc {

/// A message as the peer receives it.
struct Message {
    std::uint32_t msg = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
    std::string atomName; ///< name of the atom in wParam, empty if wParam is no atom
    /// The sending connection: unique for the life of the process, never reused, so a peer may
    /// cache what it opened for one sender.
    std::uint64_t sender = 0;
};

/// A new sender id (process-wide counter).
AVILO_IPC_API std::uint64_t NewSenderId();

/// What the peer does with a message.
struct Reply {
    enum class Kind {
        Answer,   ///< answer `value`
        NoAnswer, ///< never answer: the sender times out
        Fail,     ///< the send fails with `error` (local endpoints only; sockets close instead)
        Close     ///< close the link to this sender without answering: the send fails
    };
    Kind kind = Kind::Answer;
    std::uint32_t value = 0;
    int error = 0;

    static Reply Answer(std::uint32_t v) { return {Kind::Answer, v, 0}; }
    static Reply NoAnswer() { return {Kind::NoAnswer, 0, 0}; }
    static Reply Fail(int error) { return {Kind::Fail, 0, error}; }
    static Reply Close() { return {Kind::Close, 0, 0}; }
};

using Handler = std::function<Reply(const Message&)>;

/// An endpoint inside this process.  Registered from construction to Close or destruction;
/// FindWindow prefers the most recently registered live one.  Handler calls are serialised.
class AVILO_IPC_API LocalEndpoint {
public:
    LocalEndpoint(std::string className, Handler handler);
    ~LocalEndpoint();
    LocalEndpoint(const LocalEndpoint&) = delete;
    LocalEndpoint& operator=(const LocalEndpoint&) = delete;

    /// Unregisters; sends through handles found earlier then fail (ECONNRESET).
    void Close();

    struct State;

private:
    std::shared_ptr<State> m_state;
};

/// An endpoint served to other processes.  The constructor throws std::runtime_error when the
/// IPC directory cannot be used, the socket path is too long, a live endpoint already serves
/// that class there, or something other than a socket sits at the path (a stale socket file left
/// by a dead process is replaced).
class AVILO_IPC_API SocketEndpoint {
public:
    /// Connections served at once unless SetMaxConnections says otherwise.
    static constexpr std::size_t kDefaultMaxConnections = 64;

    explicit SocketEndpoint(const std::string& className, std::string directory = IpcDirectory());
    ~SocketEndpoint();
    SocketEndpoint(const SocketEndpoint&) = delete;
    SocketEndpoint& operator=(const SocketEndpoint&) = delete;

    /// Waits at most `timeoutMs` (0: just look) for connections and messages, accepts the
    /// connections and hands every message to `handler`, answering as it says.  Returns the
    /// number of messages handled.
    int Serve(int timeoutMs, const Handler& handler);

    /// Closes every connection (senders see a broken link) but keeps accepting new ones.
    void CloseConnections();
    const std::string& Path() const { return m_path; }

    /// The most connections served at once (at least 1); further ones are closed as accepted.
    /// The limit in force is also kept below the process's descriptor limit (RLIMIT_NOFILE,
    /// less a margin for the descriptors the process needs besides).
    void SetMaxConnections(std::size_t n);
    std::size_t MaxConnections() const { return m_maxConnections; }
    std::size_t Connections() const { return m_clients.size(); }
    /// Connections closed as accepted so far (at the limit, or out of descriptors).
    std::uint64_t Refused() const { return m_refused; }

private:
    void Accept();
    bool RefuseWithReserve();

    std::string m_path;
    int m_listen = -1;
    int m_reserve = -1; ///< a spare descriptor, given up to accept and close one connection
    dev_t m_device = 0; ///< the socket file made, to remove only that one
    ino_t m_inode = 0;
    std::size_t m_maxConnections = kDefaultMaxConnections;
    std::uint64_t m_refused = 0;
    /// Out of descriptors with no reserve: the listening socket is left alone until then.
    std::chrono::steady_clock::time_point m_acceptPausedUntil{};
    struct Client {
        int fd;
        std::uint64_t sender;
    };
    std::vector<Client> m_clients;
};

/// The peer's view of a client's named shared memory.
///
/// The client may resize or rewrite its object at any time.  A peer serving another process
/// uses CopyOut and CopyIn, which go through the object's descriptor: they see the object as it
/// is at that moment and cannot fault.  Data() maps the object as it was when opened; touching
/// the mapping beyond the object's current end raises SIGBUS, so it is only for a peer whose
/// client is trusted (one in the same process).
class AVILO_IPC_API SharedView {
public:
    /// Opens and maps the existing mapping `name` (a regular shared-memory object of at least one
    /// byte) read-write; null when it does not exist or cannot be opened or mapped.
    static std::shared_ptr<SharedView> Open(const std::string& name);
    ~SharedView();
    SharedView(const SharedView&) = delete;
    SharedView& operator=(const SharedView&) = delete;

    std::uint8_t* Data() const { return m_data; }
    /// Size in bytes when opened (the size of Data()).
    std::size_t Size() const { return m_size; }
    const std::string& Name() const { return m_name; }

    /// The object's size now, in bytes; nothing when it cannot be told.
    std::optional<std::size_t> CurrentSize() const;
    /// Copies the object's first bytes, as many as `out` holds, as they are now.  Returns the
    /// number of bytes copied (fewer when the object is shorter now), nothing on failure.
    std::optional<std::size_t> CopyOut(std::span<std::uint8_t> out) const;
    /// Writes `data` over the object's first bytes; false when the write fails.  (An object
    /// shrunk meanwhile is grown back to hold them: that touches nothing but the object.)
    bool CopyIn(std::span<const std::uint8_t> data) const;

private:
    SharedView(std::string name, int fd, std::uint8_t* data, std::size_t size)
        : m_name(std::move(name)), m_fd(fd), m_data(data), m_size(size) {}
    std::string m_name;
    int m_fd;
    std::uint8_t* m_data;
    std::size_t m_size;
};

} // namespace ipc
