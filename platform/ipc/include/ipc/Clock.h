#pragma once
// The one clock every wait of the simulator link and the flight executor goes through.
//
// RealClock waits in wall-clock time.  VirtualClock waits in simulated time: its Sleep advances
// an in-process simulator by exactly the time asked for and returns at once, so a whole flight
// runs deterministically in a fraction of its simulated length.  Both carry a cooperative stop
// request: a Sleep that is asked to stop (before or while it waits) returns false at once, which
// lets a worker end within one wait when its window is closed.

#include "ipc/Export.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace ipc {

class AVILO_IPC_API Clock {
public:
    virtual ~Clock() = default;

    /// Waits `ms` milliseconds (0 to 2^32-1) of this clock's time.  Returns true when the whole
    /// wait was done, false when a stop was requested before or during it (the wait then ends
    /// early).
    virtual bool Sleep(std::uint32_t ms) = 0;

    /// Milliseconds since this clock started (real clock) or since the simulation started
    /// (virtual clock).
    virtual std::int64_t NowMs() const = 0;

    /// Asks every present and later Sleep to return false at once.  Callable from any thread.
    virtual void RequestStop();
    /// True once a stop was requested (a virtual clock also stops when its time limit is reached).
    virtual bool StopRequested() const;

    /// True for a clock of wall-clock time, beside which a simulator keeps time of its own (it
    /// may run faster or pause); false for a clock that is the simulation's own time.
    virtual bool IsWallClock() const { return false; }

protected:
    std::atomic<bool> m_stop{false};
};

/// Wall-clock waits; RequestStop wakes a sleeping thread at once.
class AVILO_IPC_API RealClock final : public Clock {
public:
    RealClock();
    bool Sleep(std::uint32_t ms) override;
    std::int64_t NowMs() const override;
    void RequestStop() override;
    bool IsWallClock() const override { return true; }

private:
    std::chrono::steady_clock::time_point m_start;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
};

/// Simulated-time waits.  `advance(ms)` must step the simulation by exactly ms milliseconds;
/// `now()` returns the simulation's time in milliseconds.  Sleep calls advance on the calling
/// thread; nothing else runs the simulation, so the pair (worker, simulator) is deterministic.
class AVILO_IPC_API VirtualClock final : public Clock {
public:
    VirtualClock(std::function<void(std::uint32_t ms)> advance, std::function<std::int64_t()> now);

    bool Sleep(std::uint32_t ms) override;
    std::int64_t NowMs() const override;
    /// Stop requested, or the time limit reached.
    bool StopRequested() const override;

    /// Simulated time (ms) at which StopRequested becomes true by itself; 0 (the default) for
    /// none.  Guards against a flight that never ends.
    void SetTimeLimitMs(std::int64_t limitMs) { m_limitMs = limitMs; }
    /// True when the time limit (if any) has been reached.
    bool TimeLimitReached() const;

private:
    std::function<void(std::uint32_t)> m_advance;
    std::function<std::int64_t()> m_now;
    std::atomic<std::int64_t> m_limitMs{0};
};

} // namespace ipc
