#pragma once
// The simulator: the flight model behind the offset table, and the peer side of the link.
//
// It carries out the request records a client wrote into its shared memory block against a
// 64 KiB offset space, with the records, offsets and encodings of <ipc/Protocol.h>: reads copy
// from it, writes copy into it.  Before a batch the state variables are written into the space;
// after it the control offsets are handed to the flight model.  A batch is checked whole before
// anything is done: a record that would run past the block or the offset space, an impossible
// size, an unknown record id or a missing end marker rejects the batch (answer 0, nothing read
// or written).
//
// The builtin model is laterally neutral: its rudder input is kept but moves nothing (unless the
// aircraft is given a rudder skid rate); its elevator trim adds to the elevator input.  On
// JSBSim's 172 the rudder is the rudder and nose-wheel steering, the trim is the elevator trim
// tab.  The engine gives full power from 60 % of the mixture lever up and nothing below 10 %
// (idle cut-off).
//
// Flight models (SimConfig::fdm): the simulator's own trainer (fssim::FlightModel), or JSBSim's
// Cessna 172P flown by the JSBSim program as a child process in lock-step
// (fssim::jsbsim::JsbsimModel: started, engine running and parking brake set before the
// simulator's time starts).  Both serve the same offsets with the same scales and signs, and
// both fly in the configured weather (SimConfig::weather): the builtin model with its own wind,
// gusts and turbulence (FlightModel.h), JSBSim's 172 in JSBSim's own atmosphere (its wind, its
// cosine gusts and its MIL-F-8785C turbulence; JsbsimModel.h), the gusts at the same times for a
// seed.  The expert form of turbulence (Weather::turbulence_mps) is the builtin model's only.
//
// Time: the builtin model steps at a fixed rate (rateHz), JSBSim's at 120 frames per simulated
// second.  AdvanceUs/AdvanceMs run as many steps as the time covers; the remainder carries over,
// so any sequence of advances adds up exactly.  The link serves the model's time (the time of
// the state it serves, in whole milliseconds) with its marker at 0x3310 (<ipc/Protocol.h>), so a
// client can keep to the simulator's clock when it runs faster than the wall clock or pauses;
// Faults::noClock leaves both at 0, as an older simulator does.  The simulator is not locked:
// use it from one thread at a time (in virtual time the thread that does the link's exchanges).
//
// A model that fails while running (the JSBSim program dies or stops answering) stops the
// simulation: Failure() says what happened, time still passes, and every later message is
// answered by closing the link, so a client sees a broken link instead of a frozen aircraft.

#include "fssim/AircraftModel.h"
#include "fssim/Export.h"
#include "fssim/FlightModel.h"

#include <ipc/Endpoint.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fssim {

namespace jsbsim {
class JsbsimModel;
}

/// Where the aircraft starts: parked on a runway threshold.
struct StartPosition {
    double latitude_deg = 52.3;  ///< north positive
    double longitude_deg = 4.76; ///< east positive
    double heading_deg = 0.0;    ///< true heading, degrees clockwise from north
    double elevation_ft = 0.0; ///< runway elevation in feet, as plans and the airport base give it
};

/// Misbehaviour on request, for testing clients.
struct Faults {
    bool noAnswer = false;    ///< never answer a message
    bool wrongAnswer = false; ///< answer 2 instead of 1 (after carrying out the batch)
    std::uint32_t linkVersion = 0x30000000; ///< word served at 0x3304 ("3.000")
    std::uint32_t simVersion = 0xFADE0006;  ///< word served at 0x3308 (FS2002)
    std::uint32_t closeAfter = 0; ///< answer this many messages, then close the link (0: never)
    bool noClock = false;         ///< serve no simulated time, as an older simulator
};

/// The flight model behind the offsets: the simulator's own trainer, or JSBSim's Cessna 172P
/// flown by the JSBSim program in lock-step.
enum class Fdm { Builtin, Jsbsim };

struct SimConfig {
    Fdm fdm = Fdm::Builtin;
    StartPosition start;
    Aircraft aircraft;
    Weather weather;
    int rateHz = 100; ///< builtin model steps per simulated second (1 to 1000); JSBSim: 120
    Faults faults;
    std::uint32_t trackPeriodMs = 1000; ///< one track point per this much simulated time
};

/// One row of the flown track.
struct TrackPoint {
    double time_s;
    double latitude_deg;
    double longitude_deg;
    double altitude_m;
    double airspeed_kt; ///< indicated
    double pitch_deg;
    double bank_deg;
    double heading_deg;
};

/// Writes the header "time_s,latitude_deg,longitude_deg,altitude_m,airspeed_kt,pitch_deg,
/// bank_deg,heading_deg" and one line per point.
FSSIM_CORE_API void WriteTrackCsv(std::ostream& out, const std::vector<TrackPoint>& track);

/// What a flight model cannot fly of a weather, naming the option; empty when it can.  JSBSim
/// takes the turbulence levels, not the builtin model's expert form in m/s.
FSSIM_CORE_API std::string WeatherProblem(Fdm fdm, const Weather& weather);

class FSSIM_CORE_API Simulator {
public:
    /// Parks the aircraft at config.start.  With Fdm::Jsbsim this starts the JSBSim program
    /// and its engine, and throws std::runtime_error (jsbsim::JsbsimError) when that fails, or
    /// std::invalid_argument when the expert form of turbulence is asked for.
    explicit Simulator(const SimConfig& config = {});
    /// Serves `model`, a flight model that runs elsewhere (another simulator, through a bridge):
    /// config.fdm is ignored, the model is parked at config.start (a model flown elsewhere may
    /// leave its aircraft where it is) and stepped as config.rateHz says.
    Simulator(const SimConfig& config, std::unique_ptr<AircraftModel> model);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    /// Advances simulated time; the model steps as often as the time covers.
    void AdvanceUs(std::uint64_t us);
    void AdvanceMs(std::uint32_t ms) { AdvanceUs(std::uint64_t{ms} * 1000); }
    std::uint64_t NowUs() const { return m_nowUs; }
    std::int64_t NowMs() const { return static_cast<std::int64_t>(m_nowUs / 1000); }

    AircraftModel& Model() { return *m_model; }
    const AircraftModel& Model() const { return *m_model; }
    /// The JSBSim model when flying it, else null.
    jsbsim::JsbsimModel* Jsbsim() { return m_jsbsim; }

    /// Empty while the model runs; what went wrong once it has failed.
    const std::string& Failure() const { return m_failure; }
    const SimConfig& Config() const { return m_config; }
    Faults& MutableFaults() { return m_config.faults; }

    /// Where the sender of a message runs.
    enum class Client {
        /// Another process (or thread), which may resize or rewrite its shared memory at any
        /// moment: the batch is checked and carried out in a private copy, read and written
        /// back through the object's descriptor.
        OtherProcess,
        /// This thread, blocked in its send until the call returns (the in-process simulator):
        /// the batch is carried out in the mapping itself, without system calls.
        SameThread
    };

    /// Answers one message of the link: the registered message with the name of the client's
    /// shared memory; carries out the batch there.  A client whose shared memory shrank since
    /// it was first opened is dropped: its link is closed, and the log (SetLog) says why.
    ipc::Reply HandleMessage(const ipc::Message& message, Client client = Client::OtherProcess);

    /// Carries out the batch in `block` (size bytes), which must not change meanwhile (memory
    /// of the caller's own).  False when the batch is rejected (CheckBatch).
    bool ProcessBatch(std::uint8_t* block, std::size_t size);

    /// Where the simulator reports what it does about misbehaving clients, one line at a time
    /// (no line end); nothing is reported without one.
    void SetLog(std::function<void(const std::string&)> log) { m_log = std::move(log); }

    /// Messages received so far.
    std::uint64_t RequestCount() const { return m_requests; }

    /// The offset space, for tests and tools (the state is written into it by a batch or by
    /// RefreshOffsets).
    const std::uint8_t* OffsetSpace() const { return m_space.data(); }
    void RefreshOffsets();

    /// Track points recorded so far (one at time 0, then one per trackPeriodMs).
    const std::vector<TrackPoint>& Track() const { return m_track; }
    TrackPoint CurrentPoint() const;

private:
    void ApplyControls();
    void AdvanceJsbsim();
    std::shared_ptr<ipc::SharedView> ViewFor(std::uint64_t sender, const std::string& name);
    /// Checks and carries out a batch; the bytes it takes, nothing when rejected.
    std::optional<std::size_t> RunBatch(std::span<std::uint8_t> block);
    ipc::Reply DropClient(std::uint64_t sender, const std::string& why);

    SimConfig m_config;
    std::unique_ptr<AircraftModel> m_model;
    jsbsim::JsbsimModel* m_jsbsim = nullptr; ///< m_model when flying JSBSim
    std::string m_failure;
    std::vector<std::uint8_t> m_space;
    std::uint64_t m_nowUs = 0;
    std::uint64_t m_modelUs = 0;
    std::uint64_t m_stepUs;
    std::uint64_t m_nextTrackUs = 0;
    std::uint64_t m_requests = 0;
    std::uint32_t m_msgId;
    struct CachedView {
        std::uint64_t sender;
        std::shared_ptr<ipc::SharedView> view;
    };
    std::deque<CachedView> m_views;      ///< most recent first, a few at most
    std::vector<std::uint8_t> m_request; ///< the private copy of the block being served
    std::function<void(const std::string&)> m_log;
    std::vector<TrackPoint> m_track;
};

} // namespace fssim
