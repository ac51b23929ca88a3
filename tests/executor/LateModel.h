#pragma once
// An aircraft model served as a simulator on the wall clock serves it (FlightGear: a state per
// rendered frame, sent after the frame, and controls taken in at the next frame): its state
// sampled every `period_s` (0: every step) and `delay_s` late, the controls written to it acting
// `controlDelay_s` late, and the aircraft standing still (its clock running on) between
// `freezeFrom_s` and `freezeTo_s`.

#include <fssim/AircraftModel.h>

#include <deque>
#include <functional>
#include <memory>
#include <utility>

namespace kestro_test {

class LateModel final : public fssim::AircraftModel {
public:
    struct Timing {
        double period_s = 0, delay_s = 0, controlDelay_s = 0;
        double freezeFrom_s = 0, freezeTo_s = 0;
    };
    /// `place`, when given, moves the parked inner model (to a point in the air, say).
    LateModel(std::unique_ptr<fssim::AircraftModel> inner, Timing timing,
              std::function<void(fssim::AircraftModel&)> place = {})
        : m_inner(std::move(inner)), m_timing(timing), m_place(std::move(place)) {}

    void Park(double lat, double lon, double heading, double elevation_m) override {
        m_inner->Park(lat, lon, heading, elevation_m);
        if (m_place)
            m_place(*m_inner);
        m_controls = m_inner->GetControls();
        m_history.clear();
        m_written.clear();
        m_served = {m_inner->GetState(), m_inner->GetDerived()};
    }
    void Step(double dt) override {
        if (m_t < m_timing.freezeFrom_s && m_t + dt >= m_timing.freezeFrom_s)
            atFreeze = m_controls;
        if (m_t < m_timing.freezeTo_s && m_t + dt >= m_timing.freezeTo_s)
            atThaw = m_controls;
        m_t += dt;
        m_written.emplace_back(m_t, m_controls);
        while (m_written.size() > 1 && m_written[1].first <= m_t - m_timing.controlDelay_s)
            m_written.pop_front();
        m_inner->GetControls() = m_written.front().second;
        if (m_t < m_timing.freezeFrom_s || m_t >= m_timing.freezeTo_s)
            m_inner->Step(dt);
        m_history.emplace_back(m_t, Snapshot{m_inner->GetState(), m_inner->GetDerived()});
        while (m_history.size() > 1 && m_history[1].first <= m_t - m_timing.delay_s)
            m_history.pop_front();
        if (m_t >= m_nextSample) {
            m_served = m_history.front().second;
            m_nextSample += m_timing.period_s;
        }
    }
    fssim::Controls& GetControls() override { return m_controls; }
    const fssim::Controls& GetControls() const override { return m_controls; }
    const fssim::State& GetState() const override { return m_served.state; }
    fssim::Derived GetDerived() const override { return m_served.derived; }

    /// The control inputs as the standing still began and as it ended.
    fssim::Controls atFreeze, atThaw;

private:
    struct Snapshot {
        fssim::State state;
        fssim::Derived derived;
    };
    std::unique_ptr<fssim::AircraftModel> m_inner;
    Timing m_timing;
    std::function<void(fssim::AircraftModel&)> m_place;
    fssim::Controls m_controls; ///< as written; the inner model gets them controlDelay_s late
    double m_t = 0, m_nextSample = 0;
    std::deque<std::pair<double, fssim::Controls>> m_written;
    std::deque<std::pair<double, Snapshot>> m_history;
    Snapshot m_served;
};

} // namespace kestro_test
