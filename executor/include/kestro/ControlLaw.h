#pragma once
// Which control law the flight executor flies with.

namespace kestro {

/// Classic: the executor's original loops (the default).  They step the elevator until the
/// pitch settles and then leave it, bank with fine aileron steps and use no rudder, so they fly
/// only an aircraft whose elevator commands a pitch attitude and which is laterally neutral.
/// Stabilised: closed loops with damping and trim that fly a real aircraft (see
/// <kestro/StabilisedLaw.h>).
enum class ControlLaw { Classic, Stabilised };

} // namespace kestro
