#pragma once
// CFSUIPCClient: the simulator link.  It finds the simulator's endpoint, shares a named memory
// block with it, writes a batch of read and write requests into that block, hands the batch over
// with one registered message and copies the answers of the reads back to the callers' buffers.
// Read and Write queue requests; Process carries them out together; ReadNow and WriteNow do one
// request at a time.  The records, the block and the handshake are those of <ipc/Protocol.h>.
//
// A batch uses at most kMaxUsed (0x7F00) bytes of the block: a read is refused when used + n +
// 20 > 0x7F00, a write when used + n + 16 > 0x7F00.
//
// Every operation reports through its boolean result and the result code (GetLastResult,
// GetErrorText); nothing throws.  Not locked: one thread at a time.

#include "kestro/Export.h"

#include <ipc/Clock.h>
#include <ipc/Ipc.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestro {

/// Result codes of the link (GetLastResult); GetErrorText gives their texts.
enum FSUIPCResult : std::uint32_t {
    FSUIPC_ERR_OK = 0,
    FSUIPC_ERR_OPEN = 1,     ///< Open when already open
    FSUIPC_ERR_NOFS = 2,     ///< no endpoint "UIPCMAIN" nor "FS98MAIN"
    FSUIPC_ERR_REGMSG = 3,   ///< the message could not be registered
    FSUIPC_ERR_ATOM = 4,     ///< the atom of the mapping name could not be added
    FSUIPC_ERR_MAP = 5,      ///< the mapping could not be created, or it already existed
    FSUIPC_ERR_VIEW = 6,     ///< the view could not be mapped
    FSUIPC_ERR_VERSION = 7,  ///< version word too old, or not the protocol's peer
    FSUIPC_ERR_WRONGFS = 8,  ///< the simulator is not the version requested
    FSUIPC_ERR_NOTOPEN = 9,  ///< link not open
    FSUIPC_ERR_NODATA = 10,  ///< Process with no request queued
    FSUIPC_ERR_TIMEOUT = 11, ///< every send timed out
    FSUIPC_ERR_SENDMSG = 12, ///< the last send failed with an error code
    FSUIPC_ERR_DATA = 13,    ///< the peer did not answer 1
    FSUIPC_ERR_RUNNING = 14, ///< found as "FS98MAIN" with a bad version word
    FSUIPC_ERR_SIZE = 15,    ///< the request does not fit in the batch
};

class KESTRO_CORE_API CFSUIPCClient {
public:
    /// Send time-out, pause between sends, and the number of sends before giving up.
    static constexpr std::uint32_t kSendTimeoutMs = 2000;
    static constexpr std::uint32_t kRetryPauseMs = 100;
    static constexpr int kSendTries = 9;

    /// All members at their initial values; waits use a real-time clock.
    CFSUIPCClient();
    /// Waits (the 100 ms pauses of Open and Process) and stop requests go through `clock`.
    explicit CFSUIPCClient(std::shared_ptr<ipc::Clock> clock);
    ~CFSUIPCClient();
    CFSUIPCClient(const CFSUIPCClient&) = delete;
    CFSUIPCClient& operator=(const CFSUIPCClient&) = delete;

    /// Replaces the clock (between flights; not while Process runs).  A null clock restores a
    /// real-time clock.
    void SetClock(std::shared_ptr<ipc::Clock> clock);
    const std::shared_ptr<ipc::Clock>& GetClock() const { return m_clock; }

    /// Opens the link.  `requestedVersion` is the simulator version wanted (1 "FS98", 2 "FS2000",
    /// 3 "CFS2", 4 "CFS1", 5 "Fly!", 6 "FS2002"), 0 for any.  False with the result code set on
    /// failure, after releasing what it had acquired.
    bool Open(std::uint32_t requestedVersion = 0);
    /// Releases the endpoint, the message id, the atom, the view and the mapping, in that order.
    /// Safe when nothing is open.
    void Close();

    /// Queues a read of `size` bytes at `offset` into `destination` (copied there by Process; the
    /// buffer must stay valid until then).  A null destination or a size of 0 reads nothing.
    bool Read(std::uint32_t offset, std::uint32_t size, void* destination);
    /// Queues a write of `size` bytes from `source` to `offset`, copying the data at once.
    bool Write(std::uint32_t offset, std::uint32_t size, const void* source);
    /// Sends the queued batch and copies the read answers back.  The queue is empty afterwards,
    /// also on failure; on failure no answer is copied.
    bool Process();
    /// Queue one request and, when queued, Process.
    bool ReadNow(std::uint32_t offset, std::uint32_t size, void* destination);
    bool WriteNow(std::uint32_t offset, std::uint32_t size, const void* source);

    std::uint32_t GetLastResult() const { return m_result; }
    /// Text of the last result code ("Unknown error" for a code outside 0 to 15).
    std::string GetErrorText() const;
    /// Text of any result code.
    static std::string GetErrorText(std::uint32_t result);
    /// Simulator version (low 16 bits of the word at 0x3308 once open).
    std::uint32_t GetFSVersion() const { return m_fsVersion; }
    std::uint32_t GetFSUIPCVersion() const { return m_fsuipcVersion; }
    /// True while the link is open.
    bool IsOpen() const { return m_pView != nullptr; }

private:
    bool Fail(std::uint32_t result);
    std::uint32_t UsedBytes() const { return static_cast<std::uint32_t>(m_pNext - m_pView); }

    std::uint32_t m_result = 0;
    ipc::WindowHandle m_hWnd;
    std::uint32_t m_msg = 0;
    ipc::Atom m_atom = 0;
    std::unique_ptr<ipc::FileMapping> m_hMap;
    std::uint8_t* m_pView = nullptr;
    std::uint8_t* m_pNext = nullptr;
    std::uint32_t m_fsuipcVersion = 0;
    std::uint32_t m_fsVersion = 0;
    std::uint16_t m_libVersion = 1004;

    /// One queued read: where its answer lies in the view, its size and the caller's buffer.
    /// The record carries only the index into this list (a pointer does not fit in 32 bits),
    /// and the answers are copied from the positions recorded here, not from headers the peer
    /// could have changed.
    struct PendingRead {
        std::uint32_t answerAt;
        std::uint32_t size;
        void* destination;
    };
    std::vector<PendingRead> m_reads;
    std::shared_ptr<ipc::Clock> m_clock;
};

} // namespace kestro
