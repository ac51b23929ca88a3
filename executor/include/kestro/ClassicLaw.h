#pragma once
// CClassicPilot: the executor's classic control law, its loops as they were first written.  It
// flies through an IAircraft, one exchange per read or write unless said otherwise, and keeps
// the last value of every state item it read: a failed read leaves the previous value.
//
// The loops step the elevator until the pitch settles and then leave it, bank with fine aileron
// steps and use no rudder: they fly only an aircraft whose elevator commands a pitch attitude
// and which is laterally neutral.  They poll at fixed periods: airspeed every 50 ms, altitude
// every 20 ms, the speed trim every 10 ms, the climb every 500 ms, the elevator every 5 ms with
// a 200 ms settling wait, lever ramps every 20 ms; the turn loops do not wait between passes.

#include "kestro/Aircraft.h"
#include "kestro/ControlLaw.h"
#include "kestro/Export.h"

#include <xml/Dom.h>

namespace kestro {

class KESTRO_CORE_API CClassicPilot final : public IControlLaw {
public:
    /// Flies `aircraft`, reporting every step to `log`.
    CClassicPilot(IAircraft& aircraft, MessageFn log);

    /// Which brake SetBrakes sets.
    enum Brake { kToeBrakes = 0, kParkingBrake = 1 };
    /// Parking brake: min(value, 32767).  Toe brakes: min(value, 200) to both toe brakes in one
    /// exchange.  Any other `which` sets nothing.  Waits 20 ms either way.
    /// @param value 0 (released) upwards.
    void SetBrakes(int which, int value);
    /// Ramps the throttle lever in steps of 150 (one step per 20 ms) until it is within 150 of
    /// percent x 163.84.  The lever is read once, at the start.
    /// @param percent 0 .. 100.
    void SetThrottle(double percent);
    /// The same ramp on the mixture lever (100 is full rich).
    void SetMixture(double percent);
    /// Steps the elevator until the pitch magnitude settles within 0.5 degrees of `target`:
    /// steps of 100 (more than 8 degrees off), 80 (6), 40 (4), 20 (2) or 10, one per 5 ms, while
    /// more than 0.3 degrees off; then a 200 ms settling wait and a check.  The elevator input
    /// is read once, at the start, and kept within its range.
    /// @param target pitch magnitude, degrees in [0, 90).
    void SetPitch(double target);
    /// Banks the aircraft about 10 degrees towards `target` until the heading is within 10
    /// degrees of it, then rolls the wings level within 0.5 degrees (holding the nose up with
    /// SetPitch(|bank / 4| + 1) through the turn, and SetPitch(1) after a roll-out).
    /// @param target true heading, degrees (any value; taken modulo 360).
    void TurnToHeading(double target);

    /// Brakes off, mixture rich, full throttle, rotate at 45 knots to 7 degrees, climb to 200 m,
    /// trim the speed towards 92 knots while above 110, climb to 500 m, level off at 1 degree
    /// nose up and 80 % throttle.
    void TakeOff() override;
    /// One cruise leg towards the task's GPSCoordinate, until within 0.02 degrees of arc; after
    /// each turn it waits distance x 100 ms while the target is less than 15 degrees of arc
    /// away, else 1000 ms.
    void Cruise(const xml::Node& task) override;

private:
    void Log(const std::string& text) { m_log(text); }
    void RampLever(Control lever, double percent);
    void ReadPosition();
    double ReadPitchMagnitude();
    /// The last airspeed read in whole knots (truncated), the last altitude in whole metres
    /// (rounded down).
    int AirspeedKnots() const;
    int AltitudeMetres() const;

    IAircraft& m_aircraft;
    MessageFn m_log;
    AircraftState m_state;
};

} // namespace kestro
