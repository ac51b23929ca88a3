#pragma once
// Client side of the simulator link's platform calls, standing in for the window lookup,
// registered messages, global atoms, named file mappings and blocking sends with a time-out.
//
//  - An endpoint ("window") is registered under a class name, either inside this process
//    (ipc::LocalEndpoint, served synchronously on the sender's thread) or by another process as a
//    Unix-domain socket named after the class in the IPC directory (ipc::SocketEndpoint).
//  - Registered message ids are computed from the name: the same in every process.
//  - Atoms live in a per-process table; a message whose first parameter is an atom carries the
//    atom's name along, so a peer in another process can open the shared memory by that name.
//  - A file mapping is POSIX shared memory, created exclusively and unlinked when closed.
//
// Every call can be made to fail by the test hooks of <ipc/FailureHooks.h>.

#include "ipc/Export.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ipc {

/// Environment variable naming the IPC directory (where socket endpoints live).  When unset:
/// "$XDG_RUNTIME_DIR/avilo-ipc" if XDG_RUNTIME_DIR is set, else "/tmp/avilo-ipc-<uid>".
inline constexpr const char* kIpcDirEnv = "AVILO_IPC_DIR";

/// The IPC directory, created with mode 0700 if missing (its parents as needed).  It is used only
/// when it is this user's own: a real directory (not a symbolic link) owned by the effective user
/// and closed to group and others (mode bits 077 clear).  Whoever can put a socket there receives
/// the link's requests, so a folder made by another user, or one open to others, is refused, not
/// repaired; only a folder made here gets its mode set.  Empty when the folder cannot be made or
/// is refused; `problem`, when given, then says why, naming the folder (else it is cleared).
AVILO_IPC_API std::string IpcDirectory(std::string* problem = nullptr);

/// How long connecting to a socket endpoint waits while the endpoint's queue of connections not
/// yet accepted is full (an endpoint that is stuck or out of file descriptors), milliseconds.
inline constexpr int kConnectTimeoutMs = 3000;

class Window;
/// A found endpoint.  Holding it keeps the connection to a socket endpoint open; an empty handle
/// is "no window".
using WindowHandle = std::shared_ptr<Window>;

/// Finds a live endpoint registered under `className`: one in this process first (the most
/// recently registered), else a socket endpoint in the IPC directory that takes a connection
/// within kConnectTimeoutMs.  Empty if none, or when the IPC directory is refused.
AVILO_IPC_API WindowHandle FindWindow(std::string_view className);

/// The message id of `name`: a number in 0xC000..0xFFFF computed from the name (FNV-1a), the same
/// in every process.  0 on failure (only through the failure hook).
AVILO_IPC_API std::uint32_t RegisterWindowMessage(std::string_view name);

using Atom = std::uint16_t;
/// Adds `name` (1 to 255 bytes) to this process's atom table, or adds a reference to it.  Atoms
/// are in 0xC000..0xFFFF; 0 on failure.
AVILO_IPC_API Atom GlobalAddAtom(std::string_view name);
/// Drops one reference; the atom is freed with its last reference.  Returns 0 on success, as
/// the platform call does, and `atom` itself when it was not in the table.
AVILO_IPC_API Atom GlobalDeleteAtom(Atom atom);
/// The atom's name, empty when the atom is not in the table.
AVILO_IPC_API std::string GlobalGetAtomName(Atom atom);

/// Named shared memory ("file mapping backed by the paging file").
class AVILO_IPC_API FileMapping {
public:
    enum class Status { Ok, AlreadyExists, Failed };

    /// Creates the mapping `name` of `size` bytes, zero-filled.  A mapping of that name that
    /// already exists is not touched: status AlreadyExists and an empty pointer.
    static std::unique_ptr<FileMapping> Create(const std::string& name, std::size_t size,
                                               Status& status, int& error);
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    /// Maps a writable view of the whole mapping; the same view on later calls.  Null on failure.
    std::uint8_t* MapView();
    /// Unmaps the view, if any.
    void UnmapView();

    const std::string& Name() const { return m_name; }
    std::size_t Size() const { return m_size; }

    /// The POSIX shared-memory object name for a mapping name ("/" + name).
    static std::string ShmName(const std::string& name);

    /// Removes the mappings that processes now gone left behind (a process killed before it
    /// could close its mapping leaves the object): those of this user named `prefix`, then a
    /// process id in hexadecimal, then ":", whose process no longer exists.  Views other
    /// processes still hold stay valid; only the names go.  Returns how many were removed.
    static int RemoveStale(std::string_view prefix);

private:
    FileMapping(std::string name, std::size_t size, int fd);
    std::string m_name;
    std::size_t m_size;
    int m_fd;
    std::uint8_t* m_view = nullptr;
};

/// How a send ended.
struct SendResult {
    enum class Status { Ok, TimedOut, Failed };
    Status status = Status::Failed;
    std::uint32_t answer = 0; ///< the peer's 32-bit answer when Ok
    int error = 0;            ///< errno-style code when Failed
};

/// Sends message `msg` with parameters (wParam, lParam) to `window` and waits at most `timeoutMs`
/// for its answer.  When wParam is an atom of this process its name travels along.  `stop`, when
/// given, is polled during the wait (every 50 ms at most); a stop ends the wait as a time-out.
/// A peer that takes no more requests (its socket buffer full) also times out; a peer that has
/// gone (closed its end, or died) fails at once with ECONNRESET or EPIPE.
AVILO_IPC_API SendResult SendMessageTimeout(const WindowHandle& window, std::uint32_t msg,
                                            std::uint32_t wParam, std::uint32_t lParam,
                                            std::uint32_t timeoutMs,
                                            const std::function<bool()>& stop = {});

} // namespace ipc
