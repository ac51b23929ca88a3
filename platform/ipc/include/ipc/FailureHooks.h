#pragma once
// Test hooks that make the platform calls fail as the real calls can: registering a message,
// adding an atom, creating a mapping, mapping its view, and sending (with an error code or by
// timing out).  Process-wide; tests set them through ScopedFailure so they are always cleared.

#include "ipc/Export.h"

#include <atomic>

namespace ipc {

struct FailureHooks {
    std::atomic<bool> registerMessage{false};
    std::atomic<bool> addAtom{false};
    std::atomic<bool> createMapping{false};
    std::atomic<bool> mapView{false};
    /// Non-zero: every send fails with this error code.
    std::atomic<int> sendError{0};
    /// Every send times out (without reaching the peer).
    std::atomic<bool> sendTimeout{false};
};

/// The process's hooks (all off by default).
AVILO_IPC_API FailureHooks& Hooks();

/// Sets one hook for the lifetime of the object and clears all hooks at its end.
class ScopedFailure {
public:
    explicit ScopedFailure(std::atomic<bool> FailureHooks::*flag) { (Hooks().*flag).store(true); }
    explicit ScopedFailure(int sendError) { Hooks().sendError.store(sendError); }
    ~ScopedFailure() { Clear(); }
    ScopedFailure(const ScopedFailure&) = delete;
    ScopedFailure& operator=(const ScopedFailure&) = delete;
    static void Clear() {
        auto& h = Hooks();
        h.registerMessage = false;
        h.addAtom = false;
        h.createMapping = false;
        h.mapView = false;
        h.sendError = 0;
        h.sendTimeout = false;
    }
};

} // namespace ipc
