#include "fgbridge/Bridge.h"

#include <algorithm>
#include <cmath>

namespace fgbridge {

namespace {

/// The control inputs, one by one.
constexpr int fssim::Controls::*kControlFields[kControlCount] = {
    &fssim::Controls::throttle,     &fssim::Controls::mixture,
    &fssim::Controls::elevator,     &fssim::Controls::aileron,
    &fssim::Controls::rudder,       &fssim::Controls::elevatorTrim,
    &fssim::Controls::parkingBrake, &fssim::Controls::leftToeBrake,
    &fssim::Controls::rightToeBrake};

bool Same(const fssim::Controls& a, const fssim::Controls& b) {
    return a.throttle == b.throttle && a.mixture == b.mixture && a.elevator == b.elevator &&
           a.aileron == b.aileron && a.rudder == b.rudder && a.elevatorTrim == b.elevatorTrim &&
           a.parkingBrake == b.parkingBrake && a.leftToeBrake == b.leftToeBrake &&
           a.rightToeBrake == b.rightToeBrake;
}

fssim::SimConfig BridgeConfig(const FgState& first) {
    fssim::SimConfig config;
    config.start.latitude_deg = first.state.latitude_deg;
    config.start.longitude_deg = first.state.longitude_deg;
    config.start.heading_deg = first.state.heading_deg;
    // The served time in whole milliseconds: the model's "steps" are free.
    config.rateHz = 1000;
    return config;
}

} // namespace

FlightGearModel::FlightGearModel(const FgState& first)
    : m_state(first), m_controls(first.controls) {}

Bridge::Bridge(const Codec& codec, const FgState& first, std::int64_t nowMs)
    : m_codec(codec), m_firstTime_s(first.time_s), m_lastDatagramMs(nowMs),
      m_reported(first.controls) {
    auto model = std::make_unique<FlightGearModel>(first);
    m_model = model.get();
    m_sim = std::make_unique<fssim::Simulator>(BridgeConfig(first), std::move(model));
}

bool Bridge::OnDatagram(std::string_view datagram, std::int64_t nowMs, std::string& error) {
    FgState state;
    if (!m_codec.Decode(datagram, state, error))
        return false;
    m_lastDatagramMs = nowMs;
    // Time FlightGear reports while it says it is paused does not count: the served time
    // stands still in a pause whatever FlightGear's clock does.
    if (m_model->Latest().paused && state.paused)
        m_pausedTotal_s += std::max(0.0, state.time_s - m_model->Latest().time_s);
    m_model->Update(state);
    // FlightGear's time since the bridge started, less its pauses; never backwards (a reset of
    // FlightGear's clock holds the served time until it has caught up).
    const double sinceStart_s = std::max(0.0, state.time_s - m_firstTime_s - m_pausedTotal_s);
    const auto dueUs = static_cast<std::uint64_t>(std::llround(sinceStart_s * 1e6));
    if (dueUs > m_sim->NowUs())
        m_sim->AdvanceUs(dueUs - m_sim->NowUs());
    m_sim->RefreshOffsets();
    return true;
}

std::optional<std::string> Bridge::ControlsDue(std::int64_t nowMs) {
    // A control the client has set is the client's from then on; the others stay FlightGear's
    // (the pilot's, or FlightGear's own: the mixture a client never touched must not be sent
    // back as it was when the bridge started).
    const fssim::Controls& client = m_model->GetControls();
    fssim::Controls now = m_model->Latest().controls;
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const auto field = kControlFields[i];
        m_owned[i] = m_owned[i] || client.*field != m_reported.*field;
        if (m_owned[i])
            now.*field = client.*field;
    }
    if (!m_sent) {
        // Nothing sent yet: only once a client has moved something.
        if (Same(now, m_reported))
            return std::nullopt;
    } else {
        const bool changed = !Same(now, *m_sent);
        const std::int64_t since = nowMs - m_lastSendMs;
        if (!(changed && since >= kSendPeriodMs) && since < kRefreshMs)
            return std::nullopt;
    }
    m_sent = now;
    m_lastSendMs = nowMs;
    return m_codec.Encode(now);
}

} // namespace fgbridge
