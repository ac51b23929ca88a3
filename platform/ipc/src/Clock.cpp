#include "ipc/Clock.h"

#include <utility>

namespace ipc {

void Clock::RequestStop() {
    m_stop.store(true);
}

bool Clock::StopRequested() const {
    return m_stop.load();
}

RealClock::RealClock() : m_start(std::chrono::steady_clock::now()) {}

bool RealClock::Sleep(std::uint32_t ms) {
    std::unique_lock lock(m_mutex);
    // wait_for returns true when the predicate (stop) became true before the time-out.
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

std::int64_t RealClock::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 m_start)
        .count();
}

void RealClock::RequestStop() {
    {
        // Taking the lock orders the store before a sleeper's predicate check, so no wake-up
        // is lost between its check and its wait.
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
    }
    m_wake.notify_all();
}

VirtualClock::VirtualClock(std::function<void(std::uint32_t)> advance,
                           std::function<std::int64_t()> now)
    : m_advance(std::move(advance)), m_now(std::move(now)) {}

bool VirtualClock::Sleep(std::uint32_t ms) {
    if (StopRequested())
        return false;
    m_advance(ms);
    return !StopRequested();
}

std::int64_t VirtualClock::NowMs() const {
    return m_now();
}

bool VirtualClock::TimeLimitReached() const {
    const std::int64_t limit = m_limitMs.load();
    return limit > 0 && m_now() >= limit;
}

bool VirtualClock::StopRequested() const {
    return Clock::StopRequested() || TimeLimitReached();
}

} // namespace ipc
