#include "kestro/FlightExecutor.h"

#include "kestro/ClassicLaw.h"
#include "kestro/FSUIPCAircraft.h"
#include "kestro/FlightSamples.h"
#include "kestro/StabilisedLaw.h"

#include <numbers/Numbers.h>
#include <planformat/FlyableValues.h>
#include <tavola/Units.h>

#include <exception>
#include <memory>
#include <span>

namespace kestro {

namespace {

const char* const kTakeoffProcedure =
    "/flightscript/phase[@name=\"takeoff\"]/task[@name=\"takeoff\"]/procedure[@name=\"takeoff\"]";

/// Elements of the take-off procedure a flight needs.  The take-off flies on the heading the
/// aircraft stands on and does not steer to them.
const char* const kTakeoffElements[] = {"GPSRunway/longitude", "GPSRunway/latitude",
                                        "runwayHeading", "runwayMagnVar", "runwayElevation"};

/// The take-off runway's values, as the simulator's start reads them too.
const planformat::ValueRange kTakeoffRanges[] = {
    planformat::kRunwayLongitude, planformat::kRunwayLatitude, planformat::kRunwayHeading,
    planformat::kRunwayMagneticVariation, planformat::kRunwayElevation};
/// A cruise leg's target, and the airspeed (knots) and altitude (feet) planned for it, where
/// given.
const planformat::ValueRange kCruiseRanges[] = {{"GPSCoordinate/latitude", -90, 90},
                                                {"GPSCoordinate/longitude", -180, 180},
                                                {"procedure/airspeed", 0, 1e6},
                                                {"procedure/altitude", -1500, 1e6}};

/// What is wrong with the values of `ranges` below `node`, "" when they can be flown.  Missing
/// elements are left to the caller.
std::string BadValue(const xml::Node& node, std::span<const planformat::ValueRange> ranges) {
    for (const planformat::ValueRange& range : ranges) {
        const xml::Node element = node.selectSingleNode(range.path);
        if (element.empty())
            continue;
        if (std::string problem = planformat::ValueProblem(range, element.text()); !problem.empty())
            return problem;
    }
    return {};
}

/// "steer point N (<what>)" for a task stamped with its steer point, else "<what>".
std::string Naming(const xml::Node& task, const std::string& what) {
    if (task.empty() || task.getAttributeNode("steerpoint").empty())
        return what;
    return "steer point " + task.getAttribute("steerpoint") + " (" + what + ")";
}

} // namespace

CFlightExecutor::CFlightExecutor(CFSUIPCClient& client, MessageFn addMessage,
                                 MessageBoxFn messageBox, std::int64_t timeLimitMs)
    : m_client(client), m_addMessage(std::move(addMessage)), m_messageBox(std::move(messageBox)),
      m_timeLimitMs(timeLimitMs) {}

bool CFlightExecutor::EngagesInFlight(const xml::DocumentPtr& script) const {
    if (!script || m_law != ControlLaw::Stabilised ||
        !script->selectSingleNode(kTakeoffProcedure).empty())
        return false;
    const xml::Node first = script->selectSingleNode("/flightscript/phase/task");
    return !first.empty() && first.getAttribute("name") == "cruise";
}

std::string CFlightExecutor::EngageProblem(IAircraft& aircraft) const {
    const StateItem items[] = {StateItem::OnGround, StateItem::Airspeed, StateItem::Altitude,
                               StateItem::GroundElevation};
    AircraftState s;
    if (!aircraft.Exchange({}, items, s))
        return "the aircraft's state cannot be read to take it over in the air";
    const char* const no = "it has no take-off procedure and ";
    const std::string needs =
        numbers::Format(" (a flight without one is taken over in the air: above %.0f kt and "
                        "%.0f ft above the ground; take off by hand first)",
                        kEngageSpeed_kt, kEngageHeight_m / tavola::kMetresPerFoot);
    if (s.onGround)
        return no + std::string("the aircraft is on the ground") + needs;
    if (s.airspeed_kt < kEngageSpeed_kt)
        return no + numbers::Format("the aircraft flies at %.0f kt", s.airspeed_kt) + needs;
    if (s.altitude_m - s.groundElevation_m < kEngageHeight_m)
        return no +
               numbers::Format("the aircraft is %.0f ft above the ground",
                               (s.altitude_m - s.groundElevation_m) / tavola::kMetresPerFoot) +
               needs;
    return {};
}

std::string CFlightExecutor::CheckScript(const xml::DocumentPtr& script) const {
    if (!script)
        return "there is no flight script";
    const xml::Node procedure = script->selectSingleNode(kTakeoffProcedure);
    if (procedure.empty()) {
        // A script that starts with a cruise leg is flown from where the aircraft is, once it
        // is seen airborne (the stabilised law holds any attitude it finds).
        if (!EngagesInFlight(script))
            return "it has no take-off procedure (phase \"takeoff\", task \"takeoff\", "
                   "procedure \"takeoff\")";
    } else {
        for (const char* element : kTakeoffElements)
            if (procedure.selectSingleNode(element).empty())
                return std::string("the take-off procedure has no ") + element;
        if (const std::string bad = BadValue(procedure, kTakeoffRanges); !bad.empty())
            return Naming(procedure.parentNode(), "take-off procedure") + ": " + bad;
    }

    const xml::Node root = script->selectSingleNode("flightscript");
    int phaseNumber = 0;
    for (xml::Node phase = root.firstChild(); !phase.empty(); phase = phase.nextSibling()) {
        ++phaseNumber;
        if (phase.nodeType() != xml::NodeType::Element)
            continue;
        int taskNumber = 0;
        for (const xml::Node& task : phase.selectNodes("task")) {
            ++taskNumber;
            const std::string where =
                "task " + std::to_string(taskNumber) + " of phase " + std::to_string(phaseNumber);
            if (task.getAttributeNode("name").empty())
                return where + " has no name";
            if (task.getAttribute("name") != "cruise")
                continue;
            for (const char* element : {"GPSCoordinate/latitude", "GPSCoordinate/longitude"})
                if (task.selectSingleNode(element).empty())
                    return "the cruise " + where + " has no " + element;
            if (const std::string bad = BadValue(task, kCruiseRanges); !bad.empty())
                return Naming(task, "cruise " + where) + ": " + bad;
        }
    }
    return {};
}

int CFlightExecutor::Run(const xml::DocumentPtr& script) {
    m_timeLimitReached = false;
    m_stopped = false;
    m_refused = false;
    CFSUIPCAircraft aircraft(m_client, m_timeLimitMs);
    Log("Starting flight script execution.\r\n\r\n");
    int exitCode = 1;
    try {
        aircraft.CheckStop();
        // Everything the flight needs is checked before the link opens: a script that cannot
        // be flown to its end is not started, and the simulator is not touched.
        const std::string fault = CheckScript(script);
        m_refused = !fault.empty();
        if (m_refused) {
            Log("Cannot fly the flight script: " + fault + ".\r\n\r\n");
        } else {
            if (!m_client.Open(0)) {
                aircraft.CheckStop(); // a stop during the handshake is no link failure
                m_messageBox(m_client.GetErrorText());
                return 1;
            }
            Log("Connected to Microsoft Flight Simulator 2002.\r\n\r\n");
            if (EngagesInFlight(script)) {
                if (const std::string problem = EngageProblem(aircraft); !problem.empty()) {
                    m_refused = true;
                    Log("Cannot fly the flight script: " + problem + ".\r\n\r\n");
                    m_client.Close();
                    return 1;
                }
                Log("Taking over in the air.\r\n\r\n");
            }
            if (m_samples) {
                CSampledAircraft sampled(aircraft, m_samples, m_samplePeriodMs);
                try {
                    FlyPhases(script, sampled);
                } catch (...) {
                    sampled.Flush(); // where a stopped flight ended
                    throw;
                }
                sampled.Flush();
            } else {
                FlyPhases(script, aircraft);
            }
            if (m_client.GetLastResult() != FSUIPC_ERR_OK) {
                m_messageBox(m_client.GetErrorText());
            } else {
                Log("Finished executing the flight script.\r\n\r\n");
                exitCode = 0;
            }
        }
    } catch (const FlightStopped& stop) {
        m_stopped = !stop.timeLimit;
        m_timeLimitReached = stop.timeLimit;
    } catch (const LinkLost&) {
        m_messageBox(m_client.GetErrorText());
    } catch (const xml::ComError& e) {
        Log("COM Error: " + std::to_string(e.Error()) + "\r\nSource: " + e.Source() +
            "\r\nError message: " + e.ErrorMessage() + "\r\n\r\n");
    } catch (const std::exception& e) {
        Log(std::string("Execution failed: ") + e.what() + "\r\n\r\n");
    }
    // Released so that a later execution in this process can link again.
    m_client.Close();
    return exitCode;
}

void CFlightExecutor::FlyPhases(const xml::DocumentPtr& script, IAircraft& aircraft) {
    std::unique_ptr<IControlLaw> law;
    if (m_law == ControlLaw::Stabilised)
        law = std::make_unique<CStabilisedPilot>(aircraft, m_addMessage);
    else
        law = std::make_unique<CClassicPilot>(aircraft, m_addMessage);

    const xml::Node root = script->selectSingleNode("flightscript");
    for (xml::Node phase = root.firstChild(); !phase.empty(); phase = phase.nextSibling()) {
        if (phase.nodeType() == xml::NodeType::Element) {
            for (const xml::Node& task : phase.selectNodes("task")) {
                const std::string name = task.getAttribute("name");
                if (name == "takeoff")
                    law->TakeOff();
                else if (name == "cruise")
                    law->Cruise(task);
            }
        }
        Log("Next phase.\r\n\r\n");
    }
}

} // namespace kestro
