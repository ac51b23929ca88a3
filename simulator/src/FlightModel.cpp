#include "fssim/FlightModel.h"

#include <ipc/Protocol.h>
#include <tavola/Units.h>

#include <algorithm>
#include <cmath>

namespace fssim {

namespace {

using tavola::kDegToRad;
using tavola::kMetresPerDegreeOfLatitude;
using tavola::kMetresPerSecondPerKnot;
using tavola::kPi;
using tavola::kStandardGravity;

constexpr double kSeaLevelDensity = 1.225;
/// Full travel of the link's control inputs (raw units).
constexpr double kLeverFull = ipc::protocol::kLeverFull;
constexpr double kInputFull = ipc::protocol::kInputLimit;
constexpr double kParkingBrakeSet = ipc::protocol::kParkingBrakeSet;
constexpr double kToeBrakeFull = ipc::protocol::kToeBrakeFull;

double Clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

double Norm(int raw, double full) {
    return std::clamp(raw / full, -1.0, 1.0);
}

/// First-order lag of `value` towards `target` with time constant tau, rate-limited.
double Lag(double value, double target, double tau, double maxRate, double dt) {
    double rate = (target - value) / std::max(tau, 1e-6);
    rate = std::clamp(rate, -maxRate, maxRate);
    const double next = value + rate * dt;
    // never step past the target
    return (target - value) * (target - next) < 0.0 ? target : next;
}

} // namespace

double AirDensity(double altitude_m) {
    const double t = 1.0 - 0.0065 * std::clamp(altitude_m, -500.0, 11000.0) / 288.15;
    return kSeaLevelDensity * std::pow(t, 4.2559);
}

FlightModel::FlightModel(const Aircraft& aircraft, const Weather& weather)
    : m_aircraft(aircraft), m_weather(weather), m_rng(weather.seed) {}

void FlightModel::Park(double latitude_deg, double longitude_deg, double heading_deg,
                       double elevation_m) {
    m_state = State{};
    m_state.latitude_deg = latitude_deg;
    m_state.longitude_deg = longitude_deg;
    m_state.heading_deg = tavola::Wrap360(heading_deg);
    m_state.altitude_m = elevation_m;
    m_state.groundElevation_m = elevation_m;
    m_controls = Controls{};
    m_controls.parkingBrake = ipc::protocol::kParkingBrakeSet;
    m_rng.seed(m_weather.seed);
    m_gust = 0.0;
}

double FlightModel::PowerFraction() const {
    const double throttle = Clamp01(m_controls.throttle / kLeverFull);
    const double mixture = Clamp01(m_controls.mixture / kLeverFull);
    // Below 10 % the mixture is at idle cut-off and the engine gives nothing; from 60 % on it
    // is rich enough for full power.
    const double mixtureFactor = Clamp01((mixture - 0.1) / 0.5);
    const double sigma = AirDensity(m_state.altitude_m) / kSeaLevelDensity;
    const double densityFactor = std::max(0.0, 1.132 * sigma - 0.132);
    const double lever = m_aircraft.idlePower + (1.0 - m_aircraft.idlePower) * throttle;
    return lever * mixtureFactor * densityFactor;
}

FlightModel::Forces FlightModel::ComputeForces(double gustVertical_mps) const {
    const Aircraft& a = m_aircraft;
    const double rho = AirDensity(m_state.altitude_m);
    const double v = m_state.tas_mps;
    const double q = 0.5 * rho * v * v;
    double alpha = m_state.pitch_deg - m_state.gamma_rad / kDegToRad;
    if (v > 1.0)
        alpha += std::atan(gustVertical_mps / v) / kDegToRad;

    const double alphaStall = (a.clMax - a.cl0) / a.clAlpha_perDeg;
    bool stalled = false;
    double cl;
    if (alpha <= alphaStall) {
        cl = std::max(a.cl0 + a.clAlpha_perDeg * alpha, -1.2);
    } else {
        stalled = true;
        cl = std::max(a.clMax - 0.06 * (alpha - alphaStall), 0.7);
    }
    // Ground effect: up to 10 % more lift with the wheels on the runway, fading out at one
    // wing span above it.
    const double agl = std::max(0.0, m_state.altitude_m - m_state.groundElevation_m);
    cl *= 1.0 + a.groundEffect * std::max(0.0, 1.0 - agl / a.wingSpan_m);
    const double k = 1.0 / (kPi * a.aspectRatio * a.oswald);
    double cd = a.cd0 + k * cl * cl;
    if (stalled)
        cd += 0.01 * (alpha - alphaStall);

    const double thrust =
        PowerFraction() * std::max(0.0, a.staticThrust_N - a.thrustDrop_Ns2pm2 * v * v);
    return {thrust, q * a.wingArea_m2 * cl, q * a.wingArea_m2 * cd, alpha, rho, stalled};
}

Derived FlightModel::GetDerived() const {
    const Forces f = ComputeForces(m_gust);
    Derived d;
    d.tas_kt = m_state.tas_mps / kMetresPerSecondPerKnot;
    d.ias_kt = d.tas_kt * std::sqrt(f.density / kSeaLevelDensity);
    d.verticalSpeed_mps = m_state.onGround ? 0.0 : m_state.tas_mps * std::sin(m_state.gamma_rad);
    d.alpha_deg = f.alpha_deg;
    d.density_kgpm3 = f.density;
    d.thrust_N = f.thrust;
    d.lift_N = f.lift;
    d.drag_N = f.drag;
    d.stalled = f.stalled;
    return d;
}

void FlightModel::Step(double dt) {
    const Aircraft& a = m_aircraft;
    State& s = m_state;
    const double m = a.mass_kg;
    const double weight = m * kStandardGravity;

    // Turbulence: vertical gust as an Ornstein-Uhlenbeck process (time constant 2 s).
    if (m_weather.turbulence_mps > 0.0 && !s.onGround) {
        std::normal_distribution<double> normal(0.0, 1.0);
        const double tau = 2.0;
        m_gust += -m_gust / tau * dt +
                  m_weather.turbulence_mps * std::sqrt(2.0 * dt / tau) * normal(m_rng);
    } else {
        m_gust = 0.0;
    }

    const Forces f = ComputeForces(m_gust);
    const double ias_kt =
        s.tas_mps / kMetresPerSecondPerKnot * std::sqrt(f.density / kSeaLevelDensity);

    // Pitch attitude commanded by the elevator input.
    double pitchCmd =
        Norm(m_controls.elevator + m_controls.elevatorTrim, kInputFull) * a.pitchRange_deg;
    if (s.onGround) {
        const double authority =
            Clamp01((ias_kt - a.rotateFrom_kt) / (a.rotateFull_kt - a.rotateFrom_kt));
        pitchCmd = std::clamp(pitchCmd, 0.0, a.maxGroundPitch_deg * authority);
    }
    s.pitch_deg = Lag(s.pitch_deg, pitchCmd, a.pitchLag_s, a.maxPitchRate_degps, dt);

    const double alphaRad = f.alpha_deg * kDegToRad;
    if (s.onGround) {
        s.bank_deg = 0.0;
        s.rollRate_degps = 0.0;
        s.gamma_rad = 0.0;
        const double brake = Clamp01(
            std::max(m_controls.parkingBrake / kParkingBrakeSet,
                     (m_controls.leftToeBrake + m_controls.rightToeBrake) / (2 * kToeBrakeFull)));
        const double normal = std::max(0.0, weight - f.lift);
        const double mu = a.rollingFriction + a.brakeFriction * brake;
        const double drive = f.thrust * std::cos(alphaRad) - f.drag;
        double accel;
        if (s.tas_mps <= 1e-6 && drive <= mu * normal) {
            accel = 0.0; // held by friction (static)
        } else {
            accel = (drive - mu * normal) / m;
        }
        s.tas_mps = std::max(0.0, s.tas_mps + accel * dt);
        s.altitude_m = s.groundElevation_m;
        if (f.lift + f.thrust * std::sin(alphaRad) > weight)
            s.onGround = false; // lift-off
    } else {
        // Roll rate commanded by the ailerons; the bank stays when they are centred.
        const double rollCmd = Norm(m_controls.aileron, kInputFull) * a.rollRateFull_degps;
        s.rollRate_degps = Lag(s.rollRate_degps, rollCmd, a.rollLag_s, 1e9, dt);
        s.bank_deg = std::clamp(s.bank_deg + s.rollRate_degps * dt, -90.0, 90.0);

        const double v = std::max(s.tas_mps, 5.0);
        const double phi = s.bank_deg * kDegToRad;
        const double vdot =
            (f.thrust * std::cos(alphaRad) - f.drag) / m - kStandardGravity * std::sin(s.gamma_rad);
        const double gdot = (f.lift * std::cos(phi) + f.thrust * std::sin(alphaRad) -
                             weight * std::cos(s.gamma_rad)) /
                            (m * v);
        double psidot = f.lift * std::sin(phi) / (m * v * std::cos(s.gamma_rad));
        if (m_controls.rudder != 0) // a skid: the nose goes round, the flight path with it
            psidot += Norm(m_controls.rudder, kInputFull) * a.rudderYawFull_degps * kDegToRad;
        s.tas_mps = std::max(0.0, s.tas_mps + vdot * dt);
        s.gamma_rad = std::clamp(s.gamma_rad + gdot * dt, -kPi / 2 + 0.01, kPi / 2 - 0.01);
        s.heading_deg = tavola::Wrap360(s.heading_deg + psidot / kDegToRad * dt);
        s.altitude_m += s.tas_mps * std::sin(s.gamma_rad) * dt;
        if (s.altitude_m <= s.groundElevation_m) { // touch-down
            s.altitude_m = s.groundElevation_m;
            s.onGround = true;
            s.gamma_rad = 0.0;
            s.bank_deg = 0.0;
            s.rollRate_degps = 0.0;
        }
    }

    // Position: along the heading, plus the wind in the air.
    const double horizontal = s.tas_mps * std::cos(s.gamma_rad);
    const double psi = s.heading_deg * kDegToRad;
    double vn = horizontal * std::cos(psi);
    double ve = horizontal * std::sin(psi);
    if (!s.onGround && m_weather.windSpeed_kt > 0.0) {
        const double w = m_weather.windSpeed_kt * kMetresPerSecondPerKnot;
        const double to = (m_weather.windFrom_deg + 180.0) * kDegToRad;
        vn += w * std::cos(to);
        ve += w * std::sin(to);
    }
    if (s.onGround)
        s.distanceRolled_m += horizontal * dt;
    s.latitude_deg += vn * dt / kMetresPerDegreeOfLatitude;
    const double coslat = std::max(std::cos(s.latitude_deg * kDegToRad), 1e-6);
    s.longitude_deg += ve * dt / (kMetresPerDegreeOfLatitude * coslat);
    if (s.longitude_deg > 180.0)
        s.longitude_deg -= 360.0;
    else if (s.longitude_deg < -180.0)
        s.longitude_deg += 360.0;
    s.latitude_deg = std::clamp(s.latitude_deg, -90.0, 90.0);
}

} // namespace fssim
