#include "kestro/FSUIPCAircraft.h"

#include <ipc/Protocol.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestro {

namespace {

namespace protocol = ipc::protocol;
namespace offsets = ipc::protocol::offsets;

struct Field {
    std::uint32_t offset;
    std::uint32_t size;
};

Field ItemField(StateItem item) {
    switch (item) {
    case StateItem::Airspeed:
        return {offsets::kIndicatedAirspeed, 4};
    case StateItem::VerticalSpeed:
        return {offsets::kVerticalSpeed, 4};
    case StateItem::Altitude:
        return {offsets::kAltitude, 8};
    case StateItem::Pitch:
        return {offsets::kPitch, 4};
    case StateItem::Bank:
        return {offsets::kBank, 4};
    case StateItem::Heading:
        return {offsets::kHeading, 4};
    case StateItem::Latitude:
        return {offsets::kLatitude, 8};
    case StateItem::Longitude:
        return {offsets::kLongitude, 8};
    case StateItem::OnGround:
        return {offsets::kOnGround, 2};
    case StateItem::GroundElevation:
        return {offsets::kGroundElevation, 4};
    }
    return {0, 0};
}

Field ControlField(Control control) {
    switch (control) {
    case Control::Throttle:
        return {offsets::kThrottle, 2};
    case Control::Mixture:
        return {offsets::kMixture, 2};
    case Control::Elevator:
        return {offsets::kElevator, 2};
    case Control::Aileron:
        return {offsets::kAileron, 4};
    case Control::Rudder:
        return {offsets::kRudder, 2};
    case Control::ParkingBrake:
        return {offsets::kParkingBrake, 2};
    case Control::LeftToeBrake:
        return {offsets::kLeftToeBrake, 1};
    case Control::RightToeBrake:
        return {offsets::kRightToeBrake, 1};
    }
    return {0, 0};
}

template <typename T> T Load(const std::uint8_t* bytes) {
    T value; // little-endian host: the bytes are the value
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

/// A control value in its field's width: signed 16 or 32 bits, or an unsigned byte.
struct Encoded {
    std::uint8_t bytes[4];
};

Encoded Encode(int value, std::uint32_t size) {
    Encoded e{};
    if (size == 1) {
        const auto v = static_cast<std::uint8_t>(value);
        std::memcpy(e.bytes, &v, 1);
    } else if (size == 2) {
        const auto v = static_cast<std::int16_t>(value);
        std::memcpy(e.bytes, &v, 2);
    } else {
        const auto v = static_cast<std::int32_t>(value);
        std::memcpy(e.bytes, &v, 4);
    }
    return e;
}

int Decode(const std::uint8_t* bytes, std::uint32_t size) {
    if (size == 1)
        return Load<std::uint8_t>(bytes);
    if (size == 2)
        return Load<std::int16_t>(bytes);
    return Load<std::int32_t>(bytes);
}

void Store(StateItem item, const std::uint8_t* raw, AircraftState& state) {
    switch (item) {
    case StateItem::Airspeed:
        state.airspeed_kt = protocol::DecodeKnots(Load<std::int32_t>(raw));
        break;
    case StateItem::VerticalSpeed:
        state.verticalSpeed_mps = protocol::DecodeVerticalSpeed(Load<std::int32_t>(raw));
        break;
    case StateItem::Altitude:
        state.altitude_m = protocol::DecodeAltitude(Load<std::int64_t>(raw));
        break;
    case StateItem::Pitch:
        state.pitch_deg = protocol::DecodeAngle(Load<std::int32_t>(raw));
        break;
    case StateItem::Bank:
        state.bank_deg = protocol::DecodeAngle(Load<std::int32_t>(raw));
        break;
    case StateItem::Heading:
        state.heading_deg = protocol::DecodeAngle(Load<std::int32_t>(raw));
        break;
    case StateItem::Latitude:
        state.latitude_deg = protocol::DecodeLatitude(Load<std::int64_t>(raw));
        break;
    case StateItem::Longitude:
        state.longitude_deg = protocol::DecodeLongitude(Load<std::int64_t>(raw));
        break;
    case StateItem::OnGround:
        state.onGround = Load<std::int16_t>(raw) != 0;
        break;
    case StateItem::GroundElevation:
        state.groundElevation_m = Load<std::int32_t>(raw) / protocol::kElevationScale;
        break;
    }
}

/// Real time over which the simulator's rate is measured, milliseconds: long enough for the
/// wall clock's millisecond steps and the model's steps to matter little.
constexpr std::int64_t kRateWindowMs = 200;

} // namespace

CFSUIPCAircraft::CFSUIPCAircraft(CFSUIPCClient& client, std::int64_t timeLimitMs)
    : m_client(client), m_timeLimitMs(timeLimitMs), m_startMs(client.GetClock()->NowMs()),
      m_simClock(client.GetClock()->IsWallClock() ? SimClock::Unknown : SimClock::NotServed) {}

void CFSUIPCAircraft::CheckStop() {
    if (m_client.GetClock()->StopRequested())
        throw FlightStopped{false};
    if (m_timeLimitMs > 0 && NowMs() - m_startMs >= m_timeLimitMs)
        throw FlightStopped{true};
}

void CFSUIPCAircraft::Wait(std::uint32_t ms) {
    CheckStop();
    ipc::Clock& clock = *m_client.GetClock();
    if (m_simClock != SimClock::Served) {
        if (!clock.Sleep(ms))
            throw FlightStopped{false};
        return;
    }
    const std::int64_t until = m_simMs + ms;
    while (m_simMs < until) {
        const std::uint32_t pollMs = PollMs(until - m_simMs);
        if (!clock.Sleep(pollMs))
            throw FlightStopped{false};
        if (QueueTimeRead() && m_client.Process()) {
            NoteTime();
        } else {
            Failed(); // a lost link unwinds
            // A refused look counts as time run at the rate last measured (at least real time),
            // so that a simulator refusing every batch cannot hold the flight forever.
            m_simMs += static_cast<std::int64_t>(std::ceil(pollMs * std::max(m_rate, 1.0)));
        }
        CheckStop(); // the time limit runs on the simulated time
    }
}

std::int64_t CFSUIPCAircraft::NowMs() const {
    if (m_simClock == SimClock::Served)
        return m_simMs + m_simToFlightMs;
    return m_client.GetClock()->NowMs();
}

std::optional<std::int64_t> CFSUIPCAircraft::SimulatorTimeMs() const {
    if (m_simClock == SimClock::Served)
        return m_simMs;
    return std::nullopt;
}

bool CFSUIPCAircraft::QueueTimeRead() {
    if (m_simClock == SimClock::NotServed)
        return true;
    return m_client.Read(offsets::kSimTimeMarker, protocol::kSimTimeRecordSize,
                         m_timeAnswer.data());
}

void CFSUIPCAircraft::NoteTime() {
    if (m_simClock == SimClock::NotServed)
        return;
    const std::int64_t wallMs = m_client.GetClock()->NowMs();
    if (Load<std::uint32_t>(m_timeAnswer.data()) != protocol::kSimTimeTag) {
        // An older simulator: the flight stays on the wall clock.  (One that stopped serving
        // its time mid-flight counts as standing still.)
        if (m_simClock == SimClock::Unknown)
            m_simClock = SimClock::NotServed;
        return;
    }
    // Far beyond any flight; keeps the sums below in range whatever is served.
    constexpr std::uint64_t kLimitMs = std::uint64_t{1} << 52;
    const auto simMs =
        static_cast<std::int64_t>(std::min(Load<std::uint64_t>(m_timeAnswer.data() + 4), kLimitMs));
    if (m_simClock == SimClock::Unknown) {
        // The flight's clock goes on from where the wall clock has brought it.
        m_simClock = SimClock::Served;
        m_simToFlightMs = wallMs - simMs;
        m_simMs = simMs;
        m_rateFromWallMs = wallMs;
        m_rateFromSimMs = simMs;
        return;
    }
    if (simMs > m_simMs && m_rate == 0) {
        // Running again after standing still (paused): measured afresh from here.
        m_rate = -1;
        m_rateFromWallMs = wallMs;
        m_rateFromSimMs = simMs;
    }
    m_simMs = std::max(m_simMs, simMs); // never back: an answer no newer than the last
    if (wallMs - m_rateFromWallMs >= kRateWindowMs) {
        m_rate = static_cast<double>(m_simMs - m_rateFromSimMs) /
                 static_cast<double>(wallMs - m_rateFromWallMs);
        m_rateFromWallMs = wallMs;
        m_rateFromSimMs = m_simMs;
    }
}

std::uint32_t CFSUIPCAircraft::PollMs(std::int64_t remainingMs) const {
    if (m_rate < 0)
        return 1; // rate not known yet: look often
    if (m_rate == 0)
        return kMaxPollMs; // standing still
    const double wallMs = static_cast<double>(remainingMs) / m_rate;
    return static_cast<std::uint32_t>(std::clamp(wallMs, 1.0, double{kMaxPollMs}));
}

bool CFSUIPCAircraft::LinkOpen() const {
    return m_client.IsOpen();
}

bool CFSUIPCAircraft::Failed() {
    switch (m_client.GetLastResult()) {
    case FSUIPC_ERR_NOTOPEN:
    case FSUIPC_ERR_TIMEOUT:
    case FSUIPC_ERR_SENDMSG:
        // Every send of the batch failed or went unanswered: the simulator has gone (a dead
        // peer fails each send at once, so this comes within the client's retries).  The values
        // would never change again; flying on would only end at the time limit.  A stop during
        // the retries is no link failure.
        CheckStop();
        throw LinkLost{};
    default:
        return false; // this batch was refused; the next one may pass
    }
}

bool CFSUIPCAircraft::Exchange(std::span<const ControlInput> inputs,
                               std::span<const StateItem> items, AircraftState& state) {
    CheckStop();
    // The client copies a write's data at once; the answers of the reads go to the slots.
    for (const ControlInput& input : inputs) {
        const Field f = ControlField(input.control);
        const Encoded e = Encode(input.value, f.size);
        if (!m_client.Write(f.offset, f.size, e.bytes))
            return false;
    }
    for (const StateItem item : items) {
        const Field f = ItemField(item);
        if (!m_client.Read(f.offset, f.size, m_answers[static_cast<std::size_t>(item)].data()))
            return false;
    }
    if (!QueueTimeRead())
        return false;
    if (!m_client.Process())
        return Failed();
    NoteTime();
    for (const StateItem item : items)
        Store(item, m_answers[static_cast<std::size_t>(item)].data(), state);
    return true;
}

bool CFSUIPCAircraft::ReadControl(Control control, int& value) {
    CheckStop();
    const Field f = ControlField(control);
    if (!m_client.Read(f.offset, f.size, m_controlAnswer.data()) || !QueueTimeRead() ||
        !m_client.Process())
        return Failed();
    NoteTime();
    value = Decode(m_controlAnswer.data(), f.size);
    return true;
}

} // namespace kestro
