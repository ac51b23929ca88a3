#pragma once
// CFlightExecutor: the flight executor's worker.  It checks that the flight script can be flown,
// opens the simulator link, walks its phases and tasks with the chosen control law (the
// classic one, <kestro/ClassicLaw.h>, unless told otherwise) and closes the link.
//
// The laws fly through a CFSUIPCAircraft over the link: every wait goes through the link's
// clock, and every wait and exchange first checks the clock's stop request and the time limit.
// A stop ends the flight within one wait by unwinding to Run, which reports it.

#include "kestro/ControlLaw.h"
#include "kestro/Export.h"
#include "kestro/FSUIPC.h"

#include <xml/Dom.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestro {

class IAircraft;
class FlightSampleBuffer;

class KESTRO_CORE_API CFlightExecutor {
public:
    /// Taking over in the air needs at least this indicated airspeed (knots: above the clean
    /// stall speed of the light aircraft flown, about 50 kt for the trainer and the c172p) and
    /// this height above the ground (metres: 100 ft).
    static constexpr double kEngageSpeed_kt = 55.0;
    static constexpr double kEngageHeight_m = 30.48;

    /// Shows a message box (stop icon) with a text.
    using MessageBoxFn = std::function<void(const std::string&)>;

    /// `client` must be the link's only user while the executor runs; its clock paces every
    /// wait.  `timeLimitMs` (0: none) ends a flight that has not finished after that many
    /// milliseconds of the clock's time, counted from the start of Run.
    CFlightExecutor(CFSUIPCClient& client, MessageFn addMessage, MessageBoxFn messageBox,
                    std::int64_t timeLimitMs = 0);

    /// The whole worker: checks that the script can be flown, opens the link (any simulator
    /// version), flies its phases and tasks, and closes the link.  Returns the worker's exit code:
    /// 0 after "Finished executing the flight script.", 1 otherwise.
    int Run(const xml::DocumentPtr& script);
    /// The control law of the flight's tasks (the classic one unless set).
    void SetControlLaw(ControlLaw law) { m_law = law; }
    /// Hands the aircraft's state to `buffer` every `periodMs` of the flight's clock while it
    /// flies, and once at its end (see CSampledAircraft); none when null (the default).
    void SetSampleBuffer(std::shared_ptr<FlightSampleBuffer> buffer, std::int64_t periodMs) {
        m_samples = std::move(buffer);
        m_samplePeriodMs = periodMs;
    }
    /// True when the last Run ended because the time limit ran out.
    bool TimeLimitReached() const { return m_timeLimitReached; }
    /// True when the last Run ended on a stop request.
    bool Stopped() const { return m_stopped; }
    /// True when the last Run refused its script before opening the link: an element the flight
    /// needs is missing, or a value is no finite number or out of its range (a latitude beyond
    /// 90 degrees, a longitude beyond 180, a negative airspeed).  The log names the task's
    /// steer point and the element.  Also true when a flight to be taken over in the air found
    /// the aircraft unfit for it (EngageProblem): the link opened, but nothing was flown.
    bool Refused() const { return m_refused; }

private:
    void Log(const std::string& text) { m_addMessage(text); }
    /// What is missing or wrong for the script to be flown; empty when it can be flown.
    std::string CheckScript(const xml::DocumentPtr& script) const;
    /// True for a script without a take-off whose first task is a cruise leg, flown with the
    /// stabilised law: it is taken over in the air, from where the aircraft is.
    bool EngagesInFlight(const xml::DocumentPtr& script) const;
    /// Why the aircraft cannot be taken over in the air now (on the ground, slower than
    /// kEngageSpeed_kt, lower than kEngageHeight_m above the ground); empty when it can.
    std::string EngageProblem(IAircraft& aircraft) const;
    void FlyPhases(const xml::DocumentPtr& script, IAircraft& aircraft);

    CFSUIPCClient& m_client;
    MessageFn m_addMessage;
    MessageBoxFn m_messageBox;
    std::int64_t m_timeLimitMs;
    ControlLaw m_law = ControlLaw::Classic;
    std::shared_ptr<FlightSampleBuffer> m_samples;
    std::int64_t m_samplePeriodMs = 250;
    bool m_timeLimitReached = false;
    bool m_stopped = false;
    bool m_refused = false;
};

} // namespace kestro
