#pragma once
// The simulator inside the calling process, in virtual time: for tests and for flying a script
// without a separate simulator.
//
// An InProcessSim registers a local endpoint (class "UIPCMAIN" unless told otherwise), so a
// kestro::CFSUIPCClient of this process finds it with Open; every message it answers costs 1 ms
// of simulated time, as a real exchange does.  Its clock is a VirtualClock: Sleep(ms) advances
// the simulation by exactly ms.  Nothing runs on its own: the thread that uses the client and the
// clock drives the simulation, deterministically.
//
// With config.fdm = Fdm::Jsbsim the aircraft is JSBSim's c172p, the JSBSim program running as a
// child process in lock-step: construction starts it (and throws std::runtime_error when it
// cannot), and if it dies later Sim().Failure() says why and the link breaks.
//
//   fssim::SimConfig config;
//   config.start = {52.3086, 4.7637, 240.0, -11.0}; // lat, lon, true heading, elevation (ft)
//   fssim::InProcessSim sim(config);
//   kestro::CFSUIPCClient client(sim.Clock());
//   client.Open();  ...  sim.Sim().Track();

#include "fssim/Export.h"
#include "fssim/Simulator.h"

#include <ipc/Clock.h>
#include <ipc/Endpoint.h>

#include <memory>
#include <string>

namespace fssim {

class FSSIM_CORE_API InProcessSim {
public:
    /// Cost of one exchange in simulated time, and of a message the simulator does not answer
    /// (the sender's time-out).
    static constexpr std::uint32_t kExchangeMs = 1;
    static constexpr std::uint32_t kNoAnswerMs = 2000;

    explicit InProcessSim(const SimConfig& config = {}, const std::string& className = "UIPCMAIN");
    /// Serves `model` (Simulator's constructor of the same arguments): a model of the caller's,
    /// such as one that serves another model's state late, as a simulator over a network does.
    InProcessSim(const SimConfig& config, std::unique_ptr<AircraftModel> model,
                 const std::string& className = "UIPCMAIN");
    ~InProcessSim();
    InProcessSim(const InProcessSim&) = delete;
    InProcessSim& operator=(const InProcessSim&) = delete;

    Simulator& Sim() { return *m_sim; }
    const Simulator& Sim() const { return *m_sim; }
    /// The virtual clock that drives this simulation (shared with whoever waits on it).
    const std::shared_ptr<ipc::VirtualClock>& Clock() const { return m_clock; }

private:
    InProcessSim(std::shared_ptr<Simulator> sim, const std::string& className);

    std::shared_ptr<Simulator> m_sim; // shared with the clock, which may outlive this object
    std::shared_ptr<ipc::VirtualClock> m_clock;
    ipc::LocalEndpoint m_endpoint;
};

} // namespace fssim
