#pragma once
// A clock for closing the message window at a chosen moment of a flight in virtual time: it
// wraps the simulator's clock and, at the first wait from a chosen simulated time on, signals
// the test and holds the worker inside that wait until a stop is requested, as a real wait is
// interrupted.  So the window is closed while the worker waits, whatever the threads' speeds.

#include <ipc/Clock.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace kestro_test {

class PausingClock final : public ipc::Clock {
public:
    PausingClock(std::shared_ptr<ipc::Clock> inner, std::int64_t pauseAtMs)
        : m_inner(std::move(inner)), m_pauseAtMs(pauseAtMs) {}

    bool Sleep(std::uint32_t ms) override {
        if (StopRequested())
            return false;
        if (m_inner->NowMs() < m_pauseAtMs)
            return m_inner->Sleep(ms);
        std::unique_lock lock(m_mutex);
        m_paused = true;
        m_wake.notify_all();
        m_wake.wait(lock, [this] { return StopRequested(); });
        return false;
    }
    std::int64_t NowMs() const override { return m_inner->NowMs(); }
    void RequestStop() override {
        std::lock_guard lock(m_mutex);
        Clock::RequestStop();
        m_wake.notify_all();
    }

    /// Waits until the worker is held (at most `limit` of real time, against a hang).
    bool WaitUntilPaused(std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::unique_lock lock(m_mutex);
        return m_wake.wait_for(lock, limit, [this] { return m_paused; });
    }
    /// True once the worker is held.
    bool Paused() {
        std::lock_guard lock(m_mutex);
        return m_paused;
    }

private:
    std::shared_ptr<ipc::Clock> m_inner;
    std::int64_t m_pauseAtMs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_paused = false;
};

} // namespace kestro_test
