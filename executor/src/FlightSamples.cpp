#include "kestro/FlightSamples.h"

#include <tavola/Units.h>

namespace kestro {

void FlightSampleBuffer::Append(const FlightSample& sample) {
    std::lock_guard lock(m_mutex);
    m_samples.push_back(sample);
}

std::vector<FlightSample> FlightSampleBuffer::Take() {
    std::vector<FlightSample> taken;
    std::lock_guard lock(m_mutex);
    taken.swap(m_samples);
    return taken;
}

CSampledAircraft::CSampledAircraft(IAircraft& aircraft, std::shared_ptr<FlightSampleBuffer> buffer,
                                   std::int64_t periodMs)
    : m_aircraft(aircraft), m_buffer(std::move(buffer)), m_periodMs(periodMs),
      m_startMs(aircraft.NowMs()), m_nextMs(m_startMs) {}

bool CSampledAircraft::Exchange(std::span<const ControlInput> inputs,
                                std::span<const StateItem> items, AircraftState& state) {
    if (!m_aircraft.Exchange(inputs, items, state))
        return false;
    for (const StateItem item : items) {
        switch (item) {
        case StateItem::Airspeed:
            m_state.airspeed_kt = state.airspeed_kt;
            break;
        case StateItem::VerticalSpeed:
            m_state.verticalSpeed_mps = state.verticalSpeed_mps;
            break;
        case StateItem::Altitude:
            m_state.altitude_m = state.altitude_m;
            break;
        case StateItem::Pitch:
            m_state.pitch_deg = state.pitch_deg;
            break;
        case StateItem::Bank:
            m_state.bank_deg = state.bank_deg;
            break;
        case StateItem::Heading:
            m_state.heading_deg = state.heading_deg;
            break;
        case StateItem::Latitude:
            m_state.latitude_deg = state.latitude_deg;
            m_positionKnown = true;
            break;
        case StateItem::Longitude:
            m_state.longitude_deg = state.longitude_deg;
            break;
        case StateItem::OnGround:
        case StateItem::GroundElevation:
            break; // not part of the drawn flight
        }
    }
    if (m_positionKnown && m_aircraft.NowMs() >= m_nextMs) {
        m_nextMs = m_aircraft.NowMs() + m_periodMs;
        Flush();
    }
    return true;
}

void CSampledAircraft::Flush() {
    if (!m_positionKnown || !m_buffer)
        return;
    const double time_s = static_cast<double>(m_aircraft.NowMs() - m_startMs) / 1000.0;
    m_buffer->Append({time_s, m_state.latitude_deg, m_state.longitude_deg, m_state.altitude_m,
                      m_state.airspeed_kt, m_state.pitch_deg, m_state.bank_deg,
                      tavola::Wrap360(m_state.heading_deg)});
}

} // namespace kestro
