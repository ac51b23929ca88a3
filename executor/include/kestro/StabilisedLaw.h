#pragma once
// The stabilised control law: closed loops with damping and trim that fly a real aircraft
// (engine torque, a phugoid, ailerons that command a roll rate), chosen with
// ControlLaw::Stabilised.  It walks the same phases and tasks as the classic law and writes the
// same log lines where they still say what happens.
//
// It flies through an IAircraft (<kestro/Aircraft.h>).  Every loop runs at one period
// (StabilisedGains::period_ms).  One exchange per cycle writes the controls computed from the
// last state read and reads the new state; rates (pitch rate, roll rate, yaw rate) are
// differences of successive samples over the clock's elapsed time, so the law works in virtual
// time and in real time alike.
//
// Loops (outer to inner); classical cascaded PID design, e.g. Stevens & Lewis, "Aircraft
// Control and Simulation", 3rd ed., ch. 4 (pitch attitude hold, altitude hold, heading hold
// through bank, roll attitude hold), and the lookahead (carrot) guidance of Park, Deyst & How,
// "A New Nonlinear Guidance Logic for Trajectory Tracking", AIAA GNC 2004:
//  - guidance: the desired track is the bearing to a point `lookahead_m` ahead along the leg's
//    line (from the previous steer point, or the leg's start, to the target), which corrects the
//    cross-track error with an intercept angle atan(xte / lookahead) and never overshoots the
//    line;  near the target it is the bearing to the target itself;
//  - track error   = desired track - (heading + drift), the drift (the wind's correction angle)
//    measured from successive positions and smoothed over 3 s;
//  - bank command  = clamp(headingToBank x track error + heading trim, +-bank limit), the heading
//    trim integrating headingToBankI x track error near the track and fading (headingTrimFade_s)
//    away from it, the bank limit that of a standard-rate turn (3 deg/s: tan(bank) = V omega / g)
//    at the true airspeed, within [minBankLimit_deg, maxBankLimit_deg], raised towards
//    steepBankLimit_deg as the track error grows from 30 to 60 degrees (a reversal in a wind
//    would otherwise drift far past the new line);
//  - aileron       = trim + bankP x bank error - bankD x roll rate (trim integrates bankI x error);
//  - climb (more than captureBand_m below the target): full throttle, pitch from the airspeed
//    error against the best-rate climb speed (speed on pitch);
//  - altitude hold (otherwise): vertical speed command = clamp(altitudeP x altitude error,
//    +-maxClimb_mps / maxDescent_mps), pitch command = integral + vsP x vertical speed error,
//    limited to maxPitch_deg less 1 degree per knot below climbSpeed_kt - 6 kt (a gust that
//    ends in a climb at full power must not leave the aircraft behind the power curve);
//    throttle = integral + throttleP x airspeed error (airspeed on throttle); once the planned
//    airspeed has been reached, an airspeed (smoothed over 2 s) more than 2 kt off it adds
//    1.2 m/s of descent per knot too slow beyond that (of climb per knot too fast) to the
//    vertical speed command, so that a long gust is met with height as well as power (energy
//    sharing, as in total energy control: Lambregts, "Vertical Flight Path and Speed Control
//    Autopilot Design Using Total Energy Principles", AIAA 83-2239);
//  - elevator      = trim + pitchP x pitch error - pitchD x pitch rate (trim integrates pitchI x
//    error), so the trim holds the pitch without a standing error at any speed;
//  - take-off roll: rudder = rudderP x heading error + rudderI x its integral - rudderD x yaw
//    rate (nose-wheel steering and rudder), wings held level; beyond 2 m off the centre line
//    (the line from where it stood along its heading), measured where it will be 3 s ahead at
//    its sideways speed, the heading and the bank command turn towards the line by 3 degrees
//    per metre (at most 8 and 10 degrees): in a crosswind the wing goes down into the wind and
//    the aircraft leaves the ground slipping against the drift, then crabs once 10 m up (the
//    track error above includes the drift).  Rotation at rotateSpeed_kt to
//    rotatePitch_deg.  The rudder of the roll stays through the climb (it holds the engine's
//    torque at full power) and is centred over a few seconds after the level-off.
// Each integral is limited to its output's range (no wind-up) and is carried over between tasks,
// so a leg starts with the trim of the one before.
// The rates and time steps run from the states that changed.  The gains of the attitude loops
// (elevator, aileron, rudder) are for a state every cycle; a simulator that serves a state every
// T seconds, T longer than the cycle, serves it later as well, and they are multiplied by
// (cycle / T)^2, at least 0.25 (FlightGear at 12 frames a second: 0.36).
//
// Accuracy (no wind, measured with the flight report; docs/flight-laws.md has the tables): on
// the simulator's own aircraft and on JSBSim's c172p, each planned altitude held within 20 ft and
// airspeed within 1 kt once settled, the cross-track error after a turn within 300 m on legs of
// 10 to 20 km, banks within 26 degrees, every target within 0.02 degrees of arc.  In 20 kt of
// wind with light turbulence on the c172p (docs/flight-in-wind.md): altitudes within 80 ft,
// airspeeds (5 s means) within 7 to 11 kt, cross-track errors after a turn under 300 m, banks
// under 28 degrees, the roll within 5 m of the centre line up to a 12 kt crosswind component.
//
// Beyond the classic law it reads the vertical speed and sets the rudder (a simulator that does
// not know the rudder simply keeps the value).

#include "kestro/Aircraft.h"
#include "kestro/ClassicLaw.h"
#include "kestro/ControlLaw.h"
#include "kestro/Export.h"

#include <xml/Dom.h>

#include <cstdint>
#include <optional>
#include <utility>

namespace kestro {

/// Gains and limits of the stabilised law.  Control units: elevator, aileron and rudder inputs
/// run -16383 .. 16383 ("units" below); the throttle is a fraction 0 .. 1 of the lever.
struct StabilisedGains {
    std::uint32_t period_ms = 50; ///< one control cycle, milliseconds of the clock (10 .. 200)

    // Pitch attitude loop.
    double pitchP = 300.0;      ///< elevator units per degree of pitch error
    double pitchI = 150.0;      ///< elevator units per degree-second of pitch error (the trim)
    double pitchD = 120.0;      ///< elevator units per degree/second of pitch rate (damping)
    double minPitch_deg = -8.0; ///< pitch command limits, degrees (nose up positive)
    double maxPitch_deg = 12.0;

    // Vertical path.
    double altitudeP = 0.15;   ///< metres/second of vertical speed per metre of altitude error
    double maxClimb_mps = 3.0; ///< vertical speed command limits in altitude hold, m/s
    double maxDescent_mps = 3.0;
    double vsP = 1.5;            ///< degrees of pitch per m/s of vertical speed error
    double vsI = 0.4;            ///< degrees of pitch per (m/s)-second of vertical speed error
    double captureBand_m = 60.0; ///< farther below the target than this: climb at full power
    double climbSpeed_kt = 74.0; ///< best-rate climb speed, knots indicated
    double speedPitchP = 0.4;    ///< degrees of pitch per knot above the climb speed
    double speedPitchI = 0.05;   ///< degrees of pitch per knot-second above the climb speed

    // Airspeed on throttle.
    double throttleP = 0.10;   ///< lever fraction per knot of airspeed error
    double throttleI = 0.02;   ///< lever fraction per knot-second of airspeed error
    double minThrottle = 0.15; ///< lever fraction limits while holding airspeed
    double maxThrottle = 1.0;

    // Lateral.
    double headingToBank = 0.5;        ///< degrees of bank per degree of track error
    double headingToBankI = 0.01;      ///< degrees of bank per degree-second of track error ...
    double headingTrimBand_deg = 10.0; ///< ... integrated while the error is within this
    double maxHeadingTrim_deg = 6.0;   ///< limit of that integral, degrees of bank
    double headingTrimFade_s = 20.0;   ///< time constant of its fading outside the band, s
    double minBankLimit_deg = 15.0;    ///< the standard-rate bank is held within these, degrees
    double maxBankLimit_deg = 25.0;
    double steepBankLimit_deg =
        22.0;                    ///< limit in a turn of more than 60 degrees (from 30), degrees
    double bankP = 1400.0;       ///< aileron units per degree of bank error
    double bankI = 60.0;         ///< aileron units per degree-second of bank error (the trim)
    double bankD = 150.0;        ///< aileron units per degree/second of roll rate
    double lookahead_m = 1500.0; ///< guidance lookahead along the leg, metres

    // Take-off.
    double rotateSpeed_kt = 55.0;  ///< rotation speed, knots indicated
    double rotatePitch_deg = 7.0;  ///< pitch held from rotation until climbing, degrees
    double rotateRate_degps = 2.0; ///< how fast the pitch command rises at rotation, deg/s
    double rudderP = 2500.0;       ///< rudder units per degree of heading error on the roll
    double rudderI = 500.0;        ///< rudder units per degree-second of heading error on the roll
    double rudderD = 600.0;        ///< rudder units per degree/second of yaw rate on the roll
    /// The take-off levels off here, metres above sea level (or 300 m above a runway higher than
    /// that, where the level-off would be under the runway).
    double levelOffAltitude_m = 500.0;
    double levelOffThrottle = 0.8; ///< lever fraction after the level-off
    double settle_s = 10.0;        ///< altitude hold before the take-off task ends, seconds
};

/// Flies the take-off and cruise tasks of one flight with the stabilised law.  One instance per
/// flight: it keeps the trims and the previous steer point between tasks.  Three failed
/// exchanges in a row (or a link that closed) end the flight with LinkLost: the executor shows
/// the link's error text.
class KESTRO_CORE_API CStabilisedPilot final : public IControlLaw {
public:
    /// Flies `aircraft`, reporting every step to `log`.
    CStabilisedPilot(IAircraft& aircraft, MessageFn log, const StabilisedGains& gains = {});

    /// Brakes off, mixture rich (as the classic law sets them), full throttle; roll on the
    /// runway heading with the rudder; rotate at rotateSpeed_kt; climb at the best-rate speed;
    /// level off at levelOffAltitude_m.
    void TakeOff() override;
    /// One leg to the task's GPSCoordinate, along the line from the previous steer point, at the
    /// task's procedure altitude (feet) and airspeed (knots) where it gives them, until within
    /// 0.02 degrees of arc of the target.
    void Cruise(const xml::Node& task) override;

private:
    enum class Vertical { Ground, Rotate, Climb, Hold };
    /// The state of a cycle, with the heading in [0, 360).
    struct Sample {
        double time_s = 0;
        double latitude_deg = 0, longitude_deg = 0;
        double altitude_m = 0;
        double ias_kt = 0;
        double vs_mps = 0;
        double pitch_deg = 0, bank_deg = 0, heading_deg = 0;
    };

    /// Waits for the rest of the period, then writes the controls and reads the state in one
    /// exchange.  Updates the rates.
    void Cycle();
    /// One cycle of the loops: lateral (rudder on the runway with the wings at `rollBank_deg`,
    /// else bank to the track) and
    /// vertical (the current mode, towards `altitude_m`; airspeed on the throttle when given,
    /// else the throttle stays where it is).
    void Fly(double track_deg, double altitude_m, std::optional<double> airspeed_kt, bool onRunway,
             double rollBank_deg = 0);
    /// Taking over in the air: the elevator trim and the throttle start from the inputs found.
    void TakeOverControls();
    double PitchToElevator(double pitchCommand_deg, double dt);
    double BankToAileron(double bankCommand_deg, double dt);
    double BankLimit() const;

    void Log(const std::string& text) { m_log(text); }

    IAircraft& m_aircraft;
    MessageFn m_log;
    StabilisedGains m_g;
    /// Releases the brakes and sets the mixture as the classic law does.
    CClassicPilot m_classic;

    AircraftState m_state; ///< as last read
    Sample m_now, m_previous;
    bool m_haveSample = false;
    bool m_stateRepeated = false; ///< the last cycle's state was the one before it again
    double m_dt = 0;
    double m_frameInterval_s = 0; ///< between states that changed, seconds (smoothed)
    double m_pace = 1.0;          ///< the attitude loops' share of their gains at that interval
    double m_pitchRate = 0, m_rollRate = 0, m_yawRate = 0;
    double m_drift = 0; ///< ground track less heading, degrees (smoothed)

    // Control outputs, written in the next exchange.
    double m_elevator = 0, m_aileron = 0, m_rudder = 0, m_throttle = 0;
    bool m_writeControls = false;
    int m_failedExchanges = 0;
    std::int64_t m_lastExchangeMs = 0;

    // Integrals (trims).
    double m_pitchTrim = 0;   ///< elevator units
    double m_bankTrim = 0;    ///< aileron units
    double m_headingTrim = 0; ///< degrees of bank
    double m_rudderTrim = 0;  ///< rudder units
    double m_pitchBase = 0;   ///< degrees: integral of the vertical speed or climb speed loop
    double m_throttleBase = 0.8;
    // Energy sharing: the smoothed airspeed (knots), the planned airspeed it serves and whether
    // it has been reached since the altitude hold began.
    double m_iasSmooth = 0;
    double m_speedTarget_kt = 0;
    bool m_speedReached = false;
    Vertical m_mode = Vertical::Ground;
    double m_pitchCommand = 0;

    std::optional<std::pair<double, double>> m_previousTarget; ///< latitude, longitude
    std::optional<double> m_levelOffAltitude;                  ///< the altitude held last, metres
};

} // namespace kestro
