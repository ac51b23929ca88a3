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

#include "ipc/Export.h"
#include "ipc/Ipc.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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
/// IPC directory cannot be used, the socket path is too long, or a live endpoint already serves
/// that class there (a stale socket file left by a dead process is replaced).
class AVILO_IPC_API SocketEndpoint {
public:
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

private:
    std::string m_path;
    int m_listen = -1;
    struct Client {
        int fd;
        std::uint64_t sender;
    };
    std::vector<Client> m_clients;
};

/// The peer's view of a client's named shared memory.
class AVILO_IPC_API SharedView {
public:
    /// Opens and maps the existing mapping `name` read-write; null when it does not exist or
    /// cannot be mapped.
    static std::shared_ptr<SharedView> Open(const std::string& name);
    ~SharedView();
    SharedView(const SharedView&) = delete;
    SharedView& operator=(const SharedView&) = delete;

    std::uint8_t* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }
    const std::string& Name() const { return m_name; }

private:
    SharedView(std::string name, std::uint8_t* data, std::size_t size)
        : m_name(std::move(name)), m_data(data), m_size(size) {}
    std::string m_name;
    std::uint8_t* m_data;
    std::size_t m_size;
};

} // namespace ipc
