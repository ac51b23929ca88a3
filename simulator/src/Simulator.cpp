#include "fssim/Simulator.h"

#include "fssim/Batch.h"
#include "fssim/jsbsim/JsbsimModel.h"

#include <ipc/Protocol.h>
#include <numbers/Numbers.h>
#include <tavola/Units.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <stdexcept>

namespace fssim {

namespace {

namespace protocol = ipc::protocol;
namespace offsets = ipc::protocol::offsets;

constexpr std::size_t kViewCache = 8;
/// Bytes of a client's block copied first: a flight's batches take a few hundred.
constexpr std::size_t kFirstCopy = 1024;

template <typename T> void Put(std::vector<std::uint8_t>& space, std::uint32_t offset, T value) {
    // Little-endian host: the value's bytes are its encoding.
    std::memcpy(space.data() + offset, &value, sizeof value);
}

template <typename T> T Get(const std::vector<std::uint8_t>& space, std::uint32_t offset) {
    T value;
    std::memcpy(&value, space.data() + offset, sizeof value);
    return value;
}

} // namespace

void WriteTrackCsv(std::ostream& out, const std::vector<TrackPoint>& track) {
    out << "time_s,latitude_deg,longitude_deg,altitude_m,airspeed_kt,pitch_deg,bank_deg,heading_"
           "deg\n";
    for (const TrackPoint& p : track)
        out << numbers::Format("%.3f,%.7f,%.7f,%.2f,%.2f,%.2f,%.2f,%.2f\n", p.time_s,
                               p.latitude_deg, p.longitude_deg, p.altitude_m, p.airspeed_kt,
                               p.pitch_deg, p.bank_deg, p.heading_deg);
}

std::string WeatherProblem(Fdm fdm, const Weather& weather) {
    if (fdm == Fdm::Jsbsim && weather.turbulence == Turbulence::None &&
        weather.turbulence_mps > 0.0)
        return "--turbulence in m/s is the builtin model's expert form; with --fdm jsbsim give "
               "light, moderate or severe";
    return {};
}

std::unique_ptr<AircraftModel> MakeModel(const SimConfig& config) {
    if (const std::string problem = WeatherProblem(config.fdm, config.weather); !problem.empty())
        throw std::invalid_argument(problem);
    if (config.fdm == Fdm::Jsbsim) {
        const Weather& w = config.weather;
        jsbsim::ModelConfig model;
        model.windFrom_deg = w.windFrom_deg;
        model.windSpeed_kt = w.windSpeed_kt;
        model.gusts_kt = w.gusts_kt;
        model.seed = w.seed;
        // The levels as JSBSim's MIL-F-8785C model takes them: the wind at 20 ft of the low
        // altitudes, the probability-of-exceedance row above.
        switch (w.turbulence) {
        case Turbulence::None:
            break;
        case Turbulence::Light:
            model.turbulenceWindAt20ft_kt = 15.0;
            model.turbulenceSeverity = 3;
            break;
        case Turbulence::Moderate:
            model.turbulenceWindAt20ft_kt = 30.0;
            model.turbulenceSeverity = 4;
            break;
        case Turbulence::Severe:
            model.turbulenceWindAt20ft_kt = 45.0;
            model.turbulenceSeverity = 6;
            break;
        }
        return std::make_unique<jsbsim::JsbsimModel>(model);
    }
    return std::make_unique<FlightModel>(config.aircraft, config.weather);
}

Simulator::Simulator(const SimConfig& config) : Simulator(config, MakeModel(config)) {}

Simulator::Simulator(const SimConfig& config, std::unique_ptr<AircraftModel> model)
    : m_config(config), m_model(std::move(model)),
      m_jsbsim(dynamic_cast<jsbsim::JsbsimModel*>(m_model.get())), m_space(offsets::kSpace, 0),
      m_stepUs(1000000u / static_cast<std::uint64_t>(std::clamp(config.rateHz, 1, 1000))),
      m_msgId(ipc::RegisterWindowMessage(protocol::kMessageName)) {
    const StartPosition& s = config.start;
    m_model->Park(s.latitude_deg, s.longitude_deg, s.heading_deg,
                  s.elevation_ft * tavola::kMetresPerFoot);
    const Controls& c = m_model->GetControls();
    Put<std::int16_t>(m_space, offsets::kThrottle, static_cast<std::int16_t>(c.throttle));
    Put<std::int16_t>(m_space, offsets::kMixture, static_cast<std::int16_t>(c.mixture));
    Put<std::int16_t>(m_space, offsets::kElevator, static_cast<std::int16_t>(c.elevator));
    Put<std::int32_t>(m_space, offsets::kAileron, c.aileron);
    Put<std::int16_t>(m_space, offsets::kRudder, static_cast<std::int16_t>(c.rudder));
    Put<std::int16_t>(m_space, offsets::kElevatorTrim, static_cast<std::int16_t>(c.elevatorTrim));
    Put<std::int16_t>(m_space, offsets::kParkingBrake, static_cast<std::int16_t>(c.parkingBrake));
    RefreshOffsets();
    m_track.push_back(CurrentPoint());
    m_nextTrackUs = std::uint64_t{m_config.trackPeriodMs} * 1000;
}

Simulator::~Simulator() = default;

TrackPoint Simulator::CurrentPoint() const {
    const State& s = m_model->GetState();
    return {static_cast<double>(m_modelUs) / 1e6, s.latitude_deg, s.longitude_deg, s.altitude_m,
            m_model->GetDerived().ias_kt,         s.pitch_deg,    s.bank_deg,      s.heading_deg};
}

void Simulator::AdvanceUs(std::uint64_t us) {
    m_nowUs += us;
    if (m_jsbsim) {
        AdvanceJsbsim();
        return;
    }
    const double dt = static_cast<double>(m_stepUs) / 1e6;
    while (m_modelUs + m_stepUs <= m_nowUs) {
        m_model->Step(dt);
        m_modelUs += m_stepUs;
        if (m_config.trackPeriodMs > 0 && m_modelUs >= m_nextTrackUs) {
            m_track.push_back(CurrentPoint());
            m_nextTrackUs += std::uint64_t{m_config.trackPeriodMs} * 1000;
        }
    }
}

void Simulator::AdvanceJsbsim() {
    if (!m_failure.empty())
        return; // time passes, the model stays where it failed
    try {
        // In pieces that end on the track's sample times, so that a long advance still records
        // every point.
        while (m_modelUs < m_nowUs) {
            std::uint64_t until = m_nowUs;
            if (m_config.trackPeriodMs > 0)
                until = std::min(until, m_nextTrackUs);
            m_jsbsim->AdvanceUs(until - m_modelUs);
            m_modelUs = until;
            if (m_config.trackPeriodMs > 0 && m_modelUs >= m_nextTrackUs) {
                m_track.push_back(CurrentPoint());
                m_nextTrackUs += std::uint64_t{m_config.trackPeriodMs} * 1000;
            }
        }
    } catch (const std::exception& e) {
        m_failure = e.what();
    }
}

void Simulator::RefreshOffsets() {
    const State& s = m_model->GetState();
    const Derived d = m_model->GetDerived();
    Put<std::int32_t>(m_space, offsets::kGroundElevation,
                      protocol::EncodeScaled(s.groundElevation_m, protocol::kElevationScale));
    Put<std::int32_t>(m_space, offsets::kTrueAirspeed,
                      protocol::EncodeScaled(d.tas_kt, protocol::kKnotsScale));
    Put<std::int32_t>(m_space, offsets::kIndicatedAirspeed,
                      protocol::EncodeScaled(d.ias_kt, protocol::kKnotsScale));
    Put<std::int32_t>(m_space, offsets::kVerticalSpeed,
                      protocol::EncodeScaled(d.verticalSpeed_mps, protocol::kVerticalSpeedScale));
    Put<std::int16_t>(m_space, offsets::kOnGround, s.onGround ? 1 : 0);
    Put<std::int64_t>(m_space, offsets::kLatitude, protocol::EncodeLatitude(s.latitude_deg));
    Put<std::int64_t>(m_space, offsets::kLongitude, protocol::EncodeLongitude(s.longitude_deg));
    Put<std::int64_t>(m_space, offsets::kAltitude, protocol::EncodeAltitude(s.altitude_m));
    Put<std::int32_t>(m_space, offsets::kPitch, protocol::EncodeAngle(s.pitch_deg));
    Put<std::int32_t>(m_space, offsets::kBank, protocol::EncodeAngle(s.bank_deg));
    Put<std::int32_t>(m_space, offsets::kHeading, protocol::EncodeAngle(s.heading_deg));
    Put<std::uint32_t>(m_space, offsets::kLinkVersion, m_config.faults.linkVersion);
    Put<std::uint32_t>(m_space, offsets::kSimVersion, m_config.faults.simVersion);
    const bool clock = !m_config.faults.noClock;
    Put<std::uint32_t>(m_space, offsets::kSimTimeMarker, clock ? protocol::kSimTimeTag : 0);
    Put<std::uint64_t>(m_space, offsets::kSimTime, clock ? m_modelUs / 1000 : 0);
}

void Simulator::ApplyControls() {
    Controls& c = m_model->GetControls();
    c.throttle = Get<std::int16_t>(m_space, offsets::kThrottle);
    c.mixture = Get<std::int16_t>(m_space, offsets::kMixture);
    c.elevator = Get<std::int16_t>(m_space, offsets::kElevator);
    c.aileron = Get<std::int32_t>(m_space, offsets::kAileron);
    c.rudder = Get<std::int16_t>(m_space, offsets::kRudder);
    c.elevatorTrim = Get<std::int16_t>(m_space, offsets::kElevatorTrim);
    c.parkingBrake = Get<std::int16_t>(m_space, offsets::kParkingBrake);
    c.leftToeBrake =
        std::min<int>(Get<std::uint8_t>(m_space, offsets::kLeftToeBrake), protocol::kToeBrakeFull);
    c.rightToeBrake =
        std::min<int>(Get<std::uint8_t>(m_space, offsets::kRightToeBrake), protocol::kToeBrakeFull);
}

bool Simulator::ProcessBatch(std::uint8_t* block, std::size_t size) {
    return RunBatch({block, size}).has_value();
}

std::optional<std::size_t> Simulator::RunBatch(std::span<std::uint8_t> block) {
    const std::optional<std::size_t> used = CheckBatch(block);
    if (!used)
        return std::nullopt;
    RefreshOffsets();
    if (CarryOutBatch(block, m_space))
        ApplyControls();
    return used;
}

std::shared_ptr<ipc::SharedView> Simulator::ViewFor(std::uint64_t sender, const std::string& name) {
    for (auto it = m_views.begin(); it != m_views.end(); ++it) {
        if (it->sender == sender && it->view->Name() == name) {
            auto view = it->view;
            if (it != m_views.begin()) {
                m_views.erase(it);
                m_views.push_front({sender, view});
            }
            return view;
        }
    }
    auto view = ipc::SharedView::Open(name);
    if (!view)
        return nullptr;
    m_views.push_front({sender, view});
    if (m_views.size() > kViewCache)
        m_views.pop_back();
    return view;
}

ipc::Reply Simulator::DropClient(std::uint64_t sender, const std::string& why) {
    std::erase_if(m_views, [sender](const CachedView& v) { return v.sender == sender; });
    if (m_log)
        m_log("client " + std::to_string(sender) + ": " + why + "; its link is closed");
    return ipc::Reply::Close();
}

ipc::Reply Simulator::HandleMessage(const ipc::Message& message, Client client) {
    ++m_requests;
    const Faults& f = m_config.faults;
    if ((f.closeAfter != 0 && m_requests > f.closeAfter) || !m_failure.empty())
        return ipc::Reply::Close();
    if (f.noAnswer)
        return ipc::Reply::NoAnswer();
    if (message.msg != m_msgId || message.atomName.empty())
        return ipc::Reply::Answer(0);
    const auto view = ViewFor(message.sender, message.atomName);
    if (!view)
        return ipc::Reply::Answer(0);

    if (client == Client::SameThread) {
        // The sender waits on this call: nothing changes the block meanwhile.
        if (!RunBatch({view->Data(), view->Size()}))
            return ipc::Reply::Answer(0);
        return ipc::Reply::Answer(f.wrongAnswer ? 2 : 1);
    }

    // The client can change its shared memory at any moment: the batch is checked and carried
    // out in a private copy, read through the descriptor at the object's present size, and the
    // answer written back the same way.  The block is the protocol's size: a batch past it is
    // rejected as one past the block.  Batches are short: the copy starts with the block's
    // first kFirstCopy bytes and grows (a new copy of the whole) only for a batch that
    // runs past it.
    const std::optional<std::size_t> now = view->CurrentSize();
    if (!now || *now < view->Size())
        return DropClient(message.sender,
                          "its shared memory " + view->Name() + " shrank from " +
                              std::to_string(view->Size()) + " to " +
                              (now ? std::to_string(*now) : "an unknown number of") + " bytes");
    const std::size_t whole = std::min<std::size_t>(*now, protocol::kMapSize);
    std::optional<std::size_t> used;
    for (std::size_t n = std::min(whole, kFirstCopy);; n = std::min(whole, 2 * n)) {
        m_request.resize(n);
        const std::optional<std::size_t> got = view->CopyOut(m_request);
        if (!got || *got < n)
            return DropClient(message.sender,
                              "its shared memory " + view->Name() + " shrank while being read");
        used = RunBatch(m_request);
        if (used || n == whole)
            break;
    }
    if (!used)
        return ipc::Reply::Answer(0);
    if (!view->CopyIn(std::span(m_request).first(*used)))
        return DropClient(message.sender,
                          "the answer cannot be written to its shared memory " + view->Name());
    return ipc::Reply::Answer(f.wrongAnswer ? 2 : 1);
}

} // namespace fssim
