#pragma once
// Flight model of a light single-engine trainer (160 hp, 1,111 kg, 16.2 m2 wing), fixed time
// step, deterministic.
//
// A point-mass model along the flight path (airspeed V, flight-path angle gamma, true heading
// psi) with an attitude layer on top, shaped the way the flight executor needs the aircraft to
// respond:
//  - Elevator input commands a pitch attitude (first-order lag, pitchLag_s); lift follows from
//    the angle of attack = pitch - flight-path angle.  No phugoid: the executor's pitch loop
//    steps the elevator until the pitch settles and then leaves it.
//  - Aileron input commands a roll rate (full input = rollRateFull_degps, a few percent of the
//    real aileron's authority); with the ailerons centred the bank is kept.
//  - Laterally neutral: no torque, P-factor or asymmetric weight; on the ground the wheels keep
//    the wings level and the heading fixed (no steering).  The rudder does nothing unless
//    rudderYawFull_degps is set: then it skids the heading round in the air (never on the ground).
//  - Elevator trim adds to the elevator input (their sum is limited to the input's range).
//  - Turns are coordinated: the heading rate is L sin(bank) / (m V cos(gamma)), that is
//    g tan(bank) / V in a level turn.
// Equations: dV/dt = (T cos a - D)/m - g sin(gamma);  d(gamma)/dt = (L cos(bank) + T sin a -
// m g cos(gamma)) / (m V).  Lift L = q S CL(a) with CL linear up to CLmax and falling beyond the
// stall; drag D = q S (CD0 + k CL^2), k = 1/(pi AR e).  Thrust of a fixed-pitch propeller
// T = power fraction x (T0 - kT V^2), power fraction from throttle, mixture and density (ISA
// troposphere, Gagg-Ferrar 1.132 sigma - 0.132).  Ground roll: rolling and brake friction on the
// weight not carried by the wing.
//
// Weather (Weather): the wind carries the aircraft in the air (on the runway the wheels hold it).
// Turbulence is three first-order Gauss-Markov processes, along and across the heading and
// vertical, with the standard deviations and scale lengths of MIL-F-8785C's Dryden model at the
// height above the ground (correlation time = scale length / airspeed): a vertical gust w
// raises the angle of attack by atan(w / V); a change of the horizontal wind (turbulence or
// gust) changes the airspeed by its component along the heading, the aircraft's velocity over
// the ground staying for the moment.  Not modelled: the gusts' rolling and yawing moments.
// In still air the model is exactly that without weather.
//
// Sign conventions: pitch positive nose up, bank positive right wing down, positive aileron
// rolls right, positive elevator pitches the nose up, heading true, clockwise from north.
// Units: SI inside; positions in degrees on a sphere of 10,001,750 m per 90 degrees of
// latitude (the simulator's own scale).

#include "fssim/AircraftModel.h"
#include "fssim/Export.h"
#include "fssim/Gusts.h"

#include <cstdint>
#include <random>
#include <string>

namespace fssim {

/// The aircraft's figures.  Defaults: a 172-class trainer at maximum weight.
struct Aircraft {
    double mass_kg = 1111.0;
    double wingArea_m2 = 16.2;
    double aspectRatio = 7.32;
    double oswald = 0.75;
    double cd0 = 0.031;
    double cl0 = 0.44; ///< lift coefficient at zero angle of attack of the fuselage datum
    double clAlpha_perDeg = 0.095;
    double clMax = 1.62;        ///< clean stall: about 50 KCAS at maximum weight
    double groundEffect = 0.10; ///< extra lift fraction on the runway ...
    double wingSpan_m = 11.0;   ///< ... fading out at this height
    double power_W = 119300.0;  ///< 160 hp
    double staticThrust_N = 2350.0;
    double thrustDrop_Ns2pm2 = 0.20; ///< kT: thrust lost with the square of the airspeed
    double idlePower = 0.04;         ///< power fraction at closed throttle
    double rollingFriction = 0.02;
    double brakeFriction = 0.45;  ///< added friction coefficient at full brake
    double pitchRange_deg = 30.0; ///< pitch commanded by full elevator input
    double pitchLag_s = 0.15;
    double maxPitchRate_degps = 12.0;
    double rollRateFull_degps = 3.0; ///< roll rate at full aileron input (5 % of real authority)
    double rollLag_s = 0.2;
    /// Heading rate of a skid at full rudder in the air, degrees per second.  0 by default: the
    /// trainer is laterally neutral and its rudder input changes nothing, so control laws that
    /// use the rudder for a real aircraft fly this one as before.
    double rudderYawFull_degps = 0.0;
    double rotateFrom_kt = 35.0; ///< on the ground the nose can rise from this airspeed ...
    double rotateFull_kt = 45.0; ///< ... fully (up to maxGroundPitch) from this one
    double maxGroundPitch_deg = 12.0;
};

/// Turbulence in words, as pilots report it.  The intensities follow the turbulence model of
/// MIL-F-8785C section 3.7.2 (also MIL-HDBK-1797 appendix A, 4.9.2): below 1,000 ft above the
/// ground from the wind at 20 ft, 15 kt for light, 30 kt for moderate and 45 kt for severe
/// (sigma_w = 0.1 W20); from 2,000 ft up from the probabilities of exceedance 1e-2, 1e-3 and
/// 1e-5 of its Figure 7; in between interpolated.
enum class Turbulence { None, Light, Moderate, Severe };

/// Optional weather: a wind blowing FROM `windFrom_deg`, gusts on top of it, and turbulence; all
/// of it seeded, so that a seed always gives the same weather.
struct Weather {
    double windFrom_deg = 0.0; ///< degrees true, 0 to 360
    double windSpeed_kt = 0.0; ///< steady wind, knots, 0 or more
    /// Gusts: now and then (every 5 to 20 s) the wind's speed rises by up to this much (knots)
    /// and falls back, each gust a 1-cosine rise, a plateau and a 1-cosine fall (Gusts.h).
    double gusts_kt = 0.0;
    Turbulence turbulence = Turbulence::None;
    /// Expert form, builtin model only, used when `turbulence` is None: vertical gusts alone, of
    /// this standard deviation (m/s) and a time constant of 2 s; 0 for none.
    double turbulence_mps = 0.0;
    std::uint32_t seed = 1; ///< of the turbulence and of the gusts' times and strengths
};

/// Reads one weather option of the command line into `weather`: "--wind" DIR/KT (from DIR
/// degrees true, 0 to 360, at KT knots, 0 to 150), "--gusts" KT (0 to 100), "--turbulence"
/// light|moderate|severe (or a number: the expert form in m/s, 0 to 10), "--seed" N (a whole
/// number, 0 to 2147483647).  Numbers in the C locale, the whole text.  Returns what is wrong
/// with the value, naming the option, or an empty string when it was taken.
FSSIM_CORE_API std::string SetWeatherOption(Weather& weather, const std::string& option,
                                            const std::string& value);
/// True for the options SetWeatherOption reads.
FSSIM_CORE_API bool IsWeatherOption(const std::string& option);

class FSSIM_CORE_API FlightModel final : public AircraftModel {
public:
    FlightModel(const Aircraft& aircraft = {}, const Weather& weather = {});

    /// Parks the aircraft at a position, true heading (degrees) and ground elevation (metres),
    /// engine idling, mixture rich, parking brake set, controls centred.
    void Park(double latitude_deg, double longitude_deg, double heading_deg,
              double elevation_m) override;

    /// Advances the model by dt seconds (a fixed step of 0.001 to 0.05 s is sensible).
    void Step(double dt) override;

    Controls& GetControls() override { return m_controls; }
    const Controls& GetControls() const override { return m_controls; }
    const State& GetState() const override { return m_state; }
    State& MutableState() { return m_state; }
    Derived GetDerived() const override;

    /// Power fraction the engine delivers now (0 .. 1), from throttle, mixture and density.
    double PowerFraction() const;

private:
    struct Forces {
        double thrust, lift, drag, alpha_deg, density;
        bool stalled;
    };
    Forces ComputeForces(double gustVertical_mps) const;

    Aircraft m_aircraft;
    Weather m_weather;
    Controls m_controls;
    State m_state;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_normal;
    double m_gust = 0.0;       ///< vertical gust, m/s, positive up
    double m_gustAlong = 0.0;  ///< turbulence along the heading, m/s, positive towards the nose
    double m_gustAcross = 0.0; ///< turbulence across it, m/s, positive towards the right wing
    GustSchedule m_gusts;
    double m_time_s = 0.0;        ///< since parking, for the gusts
    double m_windNorth_mps = 0.0; ///< the changing wind's vector at the last step, m/s
    double m_windEast_mps = 0.0;
};

/// ISA troposphere density (kg/m3) at an altitude (m).
FSSIM_CORE_API double AirDensity(double altitude_m);

} // namespace fssim
