#pragma once
// Shared between the client calls and the endpoints: the wire format and the local registry.

#include "ipc/Endpoint.h"
#include "ipc/Protocol.h"

#include <cstdint>
#include <cstring>
#include <mutex>

namespace ipc::detail {

inline constexpr std::size_t kRequestHeader = 16; // sequence, msg, wParam, lParam
inline constexpr std::size_t kAnswerSize = 8;     // sequence, value
inline constexpr std::size_t kMaxAtomName = 255;

using protocol::Get32;
using protocol::Put32;

/// Connects to a socket endpoint's path (the socket is non-blocking); -1 with errno set when
/// nothing live listens there (ENOENT, ECONNREFUSED, ...) or, ETIMEDOUT, when the endpoint's
/// queue of connections not yet accepted stayed full for `timeoutMs`.
int ConnectTo(const std::string& path, int timeoutMs = kConnectTimeoutMs);

/// Full path of the socket endpoint for a class in a directory; empty when too long.
std::string SocketPath(const std::string& directory, std::string_view className);

} // namespace ipc::detail

namespace ipc {
struct LocalEndpoint::State {
    std::string className;
    Handler handler;
    std::mutex mutex;
    bool closed = false;
};
} // namespace ipc
