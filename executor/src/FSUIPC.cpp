#include "kestro/FSUIPC.h"

#include <ipc/Protocol.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <unistd.h>

namespace kestro {

namespace {

namespace protocol = ipc::protocol;
using protocol::Put32;

/// Counter of the mapping names: incremented before each opening in this process, so the first
/// name ends with 1.
std::atomic<std::uint32_t> g_openCounter{0};

/// The mapping names up to the process id, and how many names an opening tries when a name is
/// taken already.
constexpr std::string_view kMappingNamePrefix = "FsasmLib:IPC:";
static_assert(std::string_view(ipc::protocol::kMappingNameFormat).starts_with(kMappingNamePrefix));
constexpr int kMappingNameTries = 16;

constexpr std::array<const char*, 16> kErrorTexts = {
    "Okay",
    "Attempt to Open when already Open",
    "Cannot link to FSUIPC or WideClient",
    "Failed to Register common message with Windows",
    "Failed to create Atom for mapping filename",
    "Failed to create a file mapping object",
    "Failed to open a view to the file map",
    "Incorrect version of FSUIPC, or not FSUIPC",
    "Flight Simulator is not version requested",
    "Call cannot execute: Link not Open",
    "Call cannot execute: No requests accumulated",
    "IPC timed out all retries",
    "IPC sendmessage failed all retries",
    "IPC request contains bad data",
    "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
    "Read or Write request cannot be added, memory for Process is full",
};

} // namespace

CFSUIPCClient::CFSUIPCClient() : CFSUIPCClient(nullptr) {}

CFSUIPCClient::CFSUIPCClient(std::shared_ptr<ipc::Clock> clock) {
    SetClock(std::move(clock));
}

CFSUIPCClient::~CFSUIPCClient() {
    Close();
}

void CFSUIPCClient::SetClock(std::shared_ptr<ipc::Clock> clock) {
    m_clock = clock ? std::move(clock) : std::make_shared<ipc::RealClock>();
}

bool CFSUIPCClient::Fail(std::uint32_t result) {
    m_result = result;
    return false;
}

std::string CFSUIPCClient::GetErrorText(std::uint32_t result) {
    return result < kErrorTexts.size() ? kErrorTexts[result] : "Unknown error";
}

std::string CFSUIPCClient::GetErrorText() const {
    return GetErrorText(m_result);
}

bool CFSUIPCClient::Open(std::uint32_t requestedVersion) {
    if (m_pView)
        return Fail(FSUIPC_ERR_OPEN);
    m_fsuipcVersion = 0;
    m_fsVersion = 0;

    bool foundAsFS98 = false;
    m_hWnd = ipc::FindWindow(protocol::kClassName);
    if (!m_hWnd) {
        m_hWnd = ipc::FindWindow(protocol::kOldClassName);
        foundAsFS98 = static_cast<bool>(m_hWnd);
    }
    if (!m_hWnd)
        return Fail(FSUIPC_ERR_NOFS);

    m_msg = ipc::RegisterWindowMessage(protocol::kMessageName);
    if (m_msg == 0) {
        Close();
        return Fail(FSUIPC_ERR_REGMSG);
    }

    // Blocks left behind by clients that were killed go first.  One of them may even carry this
    // process's id, left by an earlier process that had the same id: the counter then moves on
    // to a name that is free, rather than failing.
    ipc::FileMapping::RemoveStale(kMappingNamePrefix);
    for (int attempt = 1;; ++attempt) {
        const std::uint32_t counter = ++g_openCounter;
        char name[64];
        std::snprintf(name, sizeof name, protocol::kMappingNameFormat,
                      static_cast<unsigned>(::getpid()), static_cast<unsigned>(counter));
        m_atom = ipc::GlobalAddAtom(name);
        if (m_atom == 0) {
            Close();
            return Fail(FSUIPC_ERR_ATOM);
        }

        ipc::FileMapping::Status status = ipc::FileMapping::Status::Failed;
        int error = 0;
        m_hMap = ipc::FileMapping::Create(name, protocol::kMapSize, status, error);
        if (m_hMap && status == ipc::FileMapping::Status::Ok)
            break;
        if (status != ipc::FileMapping::Status::AlreadyExists || attempt == kMappingNameTries) {
            Close();
            return Fail(FSUIPC_ERR_MAP);
        }
        ipc::GlobalDeleteAtom(m_atom);
        m_atom = 0;
    }

    m_pView = m_hMap->MapView();
    if (!m_pView) {
        Close();
        return Fail(FSUIPC_ERR_VIEW);
    }
    m_pNext = m_pView;
    m_reads.clear();

    // Version handshake: up to 5 passes while either version is still unknown.
    for (int pass = 0; pass < 5 && (m_fsuipcVersion == 0 || m_fsVersion == 0); ++pass) {
        bool ok = Read(protocol::offsets::kLinkVersion, 4, &m_fsuipcVersion) &&
                  Read(protocol::offsets::kSimVersion, 4, &m_fsVersion);
        if (ok && pass == 0)
            ok = Write(protocol::offsets::kClientVersion, 2, &m_libVersion);
        if (!ok || !Process()) {
            Close();
            return false; // the result of the failed step stays
        }
        m_clock->Sleep(kRetryPauseMs);
    }

    if (m_fsuipcVersion < protocol::kMinLinkVersion ||
        (m_fsVersion & protocol::kSimVersionTagMask) != protocol::kSimVersionTag) {
        Close();
        return Fail(foundAsFS98 ? FSUIPC_ERR_RUNNING : FSUIPC_ERR_VERSION);
    }
    m_fsVersion &= ~protocol::kSimVersionTagMask;
    if (requestedVersion != 0 && requestedVersion != m_fsVersion) {
        Close();
        return Fail(FSUIPC_ERR_WRONGFS);
    }
    m_result = FSUIPC_ERR_OK;
    return true;
}

void CFSUIPCClient::Close() {
    m_hWnd.reset();
    m_msg = 0;
    if (m_atom != 0) {
        ipc::GlobalDeleteAtom(m_atom);
        m_atom = 0;
    }
    if (m_pView) {
        m_hMap->UnmapView();
        m_pView = nullptr;
        m_pNext = nullptr;
    }
    m_hMap.reset(); // closes and removes the mapping
    m_reads.clear();
}

bool CFSUIPCClient::Read(std::uint32_t offset, std::uint32_t size, void* destination) {
    if (!m_pView)
        return Fail(FSUIPC_ERR_NOTOPEN);
    if (std::uint64_t{UsedBytes()} + size + 20 > protocol::kMaxUsed)
        return Fail(FSUIPC_ERR_SIZE);
    Put32(m_pNext, protocol::kReadId);
    Put32(m_pNext + 4, offset);
    Put32(m_pNext + 8, size);
    Put32(m_pNext + 12, static_cast<std::uint32_t>(m_reads.size()));
    std::memset(m_pNext + protocol::kReadHeader, 0, size);
    m_reads.push_back({UsedBytes() + protocol::kReadHeader, size, destination});
    m_pNext += protocol::kReadHeader + size;
    m_result = FSUIPC_ERR_OK;
    return true;
}

bool CFSUIPCClient::Write(std::uint32_t offset, std::uint32_t size, const void* source) {
    if (!m_pView)
        return Fail(FSUIPC_ERR_NOTOPEN);
    if (std::uint64_t{UsedBytes()} + size + 16 > protocol::kMaxUsed)
        return Fail(FSUIPC_ERR_SIZE);
    Put32(m_pNext, protocol::kWriteId);
    Put32(m_pNext + 4, offset);
    Put32(m_pNext + 8, size);
    if (size > 0) {
        if (source)
            std::memcpy(m_pNext + protocol::kWriteHeader, source, size);
        else
            std::memset(m_pNext + protocol::kWriteHeader, 0,
                        size); // no source: write zeros, never crash
    }
    m_pNext += protocol::kWriteHeader + size;
    m_result = FSUIPC_ERR_OK;
    return true;
}

bool CFSUIPCClient::Process() {
    if (!m_pView)
        return Fail(FSUIPC_ERR_NOTOPEN);
    if (m_pNext == m_pView)
        return Fail(FSUIPC_ERR_NODATA);

    Put32(m_pNext, protocol::kEndId); // end marker
    m_pNext = m_pView;                // the queue is emptied whatever follows
    std::vector<PendingRead> reads;
    reads.swap(m_reads);

    const auto stop = [this] { return m_clock->StopRequested(); };
    ipc::SendResult sent;
    for (int attempt = 1; attempt <= kSendTries; ++attempt) {
        sent = ipc::SendMessageTimeout(m_hWnd, m_msg, m_atom, 0, kSendTimeoutMs, stop);
        if (sent.status == ipc::SendResult::Status::Ok)
            break;
        // A stop request ends the retries at once instead of up to 9 x 2.1 s later.
        if (attempt == kSendTries || !m_clock->Sleep(kRetryPauseMs))
            break;
    }
    if (sent.status != ipc::SendResult::Status::Ok)
        return Fail(sent.status == ipc::SendResult::Status::Failed && sent.error != 0
                        ? FSUIPC_ERR_SENDMSG
                        : FSUIPC_ERR_TIMEOUT);
    if (sent.answer != 1)
        return Fail(FSUIPC_ERR_DATA);

    for (const PendingRead& r : reads)
        if (r.destination && r.size != 0)
            std::memcpy(r.destination, m_pView + r.answerAt, r.size);
    m_pNext = m_pView;
    m_result = FSUIPC_ERR_OK;
    return true;
}

bool CFSUIPCClient::ReadNow(std::uint32_t offset, std::uint32_t size, void* destination) {
    return Read(offset, size, destination) && Process();
}

bool CFSUIPCClient::WriteNow(std::uint32_t offset, std::uint32_t size, const void* source) {
    return Write(offset, size, source) && Process();
}

} // namespace kestro
