#include "fssim/InProcess.h"

namespace fssim {

InProcessSim::InProcessSim(const SimConfig& config, const std::string& className)
    : InProcessSim(std::make_shared<Simulator>(config), className) {}

InProcessSim::InProcessSim(const SimConfig& config, std::unique_ptr<AircraftModel> model,
                           const std::string& className)
    : InProcessSim(std::make_shared<Simulator>(config, std::move(model)), className) {}

InProcessSim::InProcessSim(std::shared_ptr<Simulator> sim, const std::string& className)
    : m_sim(std::move(sim)), m_clock(std::make_shared<ipc::VirtualClock>(
                                 [sim = m_sim](std::uint32_t ms) { sim->AdvanceMs(ms); },
                                 [sim = m_sim] { return sim->NowMs(); })),
      m_endpoint(className, [sim = m_sim](const ipc::Message& m) {
          const ipc::Reply reply = sim->HandleMessage(m, Simulator::Client::SameThread);
          // An exchange costs simulated time; a message left unanswered costs the sender's
          // whole time-out.
          sim->AdvanceMs(reply.kind == ipc::Reply::Kind::NoAnswer ? kNoAnswerMs : kExchangeMs);
          return reply;
      }) {}

InProcessSim::~InProcessSim() = default;

} // namespace fssim
