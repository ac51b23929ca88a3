#pragma once
// IAircraft: the one interface through which the control laws fly an aircraft.  It reads the
// aircraft's state in physical units, sets its control inputs, waits and checks for a stop; it
// knows nothing of offsets or encodings.  CFSUIPCAircraft implements it over the simulator link
// (<kestro/FSUIPCAircraft.h>); a bridge to another simulator implements the same calls.
//
// Exchanges: one call of Exchange or ReadControl is one round trip to the simulator (and, in
// virtual time, costs the simulator's exchange time).  Every exchange and every wait first checks
// for a stop: a stop request of the clock, or the flight's time limit, unwinds with
// FlightStopped.  An exchange that fails because the link to the simulator is gone unwinds with
// LinkLost, whichever law flies.  Any other failed exchange reports false and leaves the values
// it was to read as they were, so the laws fly on with the last values read.
//
// Sign conventions: pitch positive nose up, bank positive right wing down, heading true and
// clockwise from north; a positive aileron input rolls right, a positive elevator input pitches
// the nose up, a positive rudder input yaws right.

#include "kestro/Export.h"

#include <cstdint>
#include <span>

namespace kestro {

/// Why a flight ended early (thrown by the aircraft's stop checks; the worker catches it).
struct KESTRO_CORE_API FlightStopped {
    bool timeLimit = false; ///< the time limit ran out, rather than a stop request
};

/// The link failed for good while a control law needed it (thrown by the aircraft or a law; the
/// worker shows the link's error text).
struct KESTRO_CORE_API LinkLost {};

/// What can be read of the aircraft's state (GroundElevation stays the last: it sizes the
/// answer slots of CFSUIPCAircraft).
enum class StateItem {
    Airspeed,        ///< indicated airspeed, knots (in steps of 1/128 knot)
    VerticalSpeed,   ///< metres per second, climbing positive (in steps of 1/256 m/s)
    Altitude,        ///< metres above mean sea level
    Pitch,           ///< degrees, nose up positive
    Bank,            ///< degrees, right wing down positive
    Heading,         ///< true heading, degrees clockwise from north, in [-180, 180)
    Latitude,        ///< degrees, north positive
    Longitude,       ///< degrees, east positive
    OnGround,        ///< true on the ground
    GroundElevation, ///< of the terrain below, metres above mean sea level (steps of 1/256 m)
};

/// The state as last read; each item keeps its value until it is read again.
struct AircraftState {
    double airspeed_kt = 0;
    double verticalSpeed_mps = 0;
    double altitude_m = 0;
    double pitch_deg = 0;
    double bank_deg = 0;
    double heading_deg = 0;
    double latitude_deg = 0;
    double longitude_deg = 0;
    bool onGround = false;
    double groundElevation_m = 0;
};

/// The control inputs, each in the raw units of its range.
enum class Control {
    Throttle,      ///< lever, 0 closed .. 16384 full (percent x 163.84)
    Mixture,       ///< lever, 0 idle cut-off .. 16384 full rich
    Elevator,      ///< -16383 .. 16383, positive nose up
    Aileron,       ///< -16383 .. 16383, positive rolls right (32 bits: any int is carried)
    Rudder,        ///< -16383 .. 16383, positive yaws right
    ParkingBrake,  ///< 0 released .. 32767 set
    LeftToeBrake,  ///< 0 .. 200
    RightToeBrake, ///< 0 .. 200
};

/// A value to set a control input to.
struct ControlInput {
    Control control;
    int value;
};

class KESTRO_CORE_API IAircraft {
public:
    virtual ~IAircraft() = default;

    /// One exchange: sets `inputs` in order, then reads `items` in order into `state` (in
    /// physical units).  On failure `state` is left as it was.  Unwinds with FlightStopped on a
    /// stop before the exchange, with LinkLost when the link is gone.
    /// @return true when the exchange succeeded.
    virtual bool Exchange(std::span<const ControlInput> inputs, std::span<const StateItem> items,
                          AircraftState& state) = 0;
    /// One exchange reading the current value of a control input into `value` (raw units); on
    /// failure `value` is left as it was.  Unwinds with FlightStopped on a stop, with LinkLost
    /// when the link is gone.
    virtual bool ReadControl(Control control, int& value) = 0;
    /// Waits `ms` milliseconds of the flight's clock.  Unwinds with FlightStopped on a stop
    /// before or during the wait.
    virtual void Wait(std::uint32_t ms) = 0;
    /// Unwinds with FlightStopped on a stop request or when the time limit ran out.
    virtual void CheckStop() = 0;
    /// The flight's clock, milliseconds: the simulator's own time where the aircraft can follow
    /// it (so a simulator running faster than real time, or paused, flies as at real time), else
    /// the wall clock, or the simulated time of virtual time.  Only its differences count: the
    /// laws' waits, rates and time limit.
    virtual std::int64_t NowMs() const = 0;
    /// False once the link to the simulator is closed for good.
    virtual bool LinkOpen() const = 0;

    /// One exchange setting one input.
    bool Set(Control control, int value) {
        const ControlInput input{control, value};
        AircraftState unused;
        return Exchange({&input, 1}, {}, unused);
    }
    /// One exchange reading one item.
    bool Read(StateItem item, AircraftState& state) { return Exchange({}, {&item, 1}, state); }
};

} // namespace kestro
