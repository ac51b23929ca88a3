#pragma once
// The control laws of the flight executor: which one flies, and what each one does with the
// tasks of a flight script.

#include "kestro/Export.h"

#include <xml/Dom.h>

#include <functional>
#include <string>

namespace kestro {

/// Classic: the executor's original loops (the default).  They step the elevator until the
/// pitch settles and then leave it, bank with fine aileron steps and use no rudder, so they fly
/// only an aircraft whose elevator commands a pitch attitude and which is laterally neutral
/// (<kestro/ClassicLaw.h>).  Stabilised: closed loops with damping and trim that fly a real
/// aircraft (<kestro/StabilisedLaw.h>).
enum class ControlLaw { Classic, Stabilised };

/// Receives every log line, as the message window shows it (CR LF pairs included).
using MessageFn = std::function<void(const std::string&)>;

/// A control law flying the tasks of one flight through an IAircraft.  Both tasks unwind with
/// FlightStopped on a stop and may end the flight with LinkLost (<kestro/Aircraft.h>).
class KESTRO_CORE_API IControlLaw {
public:
    virtual ~IControlLaw() = default;
    /// The take-off task: from parked on the runway to level flight.
    virtual void TakeOff() = 0;
    /// One cruise task: a leg to the task's GPSCoordinate, until within 0.02 degrees of arc.
    virtual void Cruise(const xml::Node& task) = 0;
};

} // namespace kestro
