#include "fssim/FlightModel.h"

#include <ipc/Protocol.h>
#include <numbers/Numbers.h>
#include <tavola/Units.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <string_view>

namespace fssim {

namespace {

using tavola::kDegToRad;
using tavola::kMetresPerDegreeOfLatitude;
using tavola::kMetresPerFoot;
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

/// Standard deviations (m/s) and scale lengths (m) of the turbulence, per axis.
struct TurbulenceScales {
    double sigmaAlong, sigmaAcross, sigmaVertical;
    double lengthAlong, lengthAcross, lengthVertical;
};

/// The turbulence of a level at a height above the ground, after MIL-F-8785C 3.7.2 (Dryden
/// form).  Below 1,000 ft: sigma_w = 0.1 W20 with the wind at 20 ft W20 of the level (15, 30,
/// 45 kt), sigma_u = sigma_v = sigma_w / (0.177 + 0.000823 h)^0.4, L_w = h,
/// L_u = L_v = h / (0.177 + 0.000823 h)^1.2, h in feet and at least 10 ft (3.7.2.3).  From
/// 2,000 ft: sigma_u = sigma_v = sigma_w from the probability of exceedance of the level (1e-2,
/// 1e-3, 1e-5; Figure 7, read to about 0.2 ft/s), L_u = 2 L_v = 2 L_w = 1,750 ft (3.7.2.1).
/// Between the two, linear in height.
TurbulenceScales Scales(Turbulence level, double height_m) {
    // Figure 7, root-mean-square intensity in ft/s at these heights in ft.
    static constexpr double kHeights_ft[] = {500, 1750, 3750, 7500, 15000, 25000};
    static constexpr double kSigma_fps[3][std::size(kHeights_ft)] = {
        {6.6, 6.9, 7.4, 6.7, 4.6, 2.7},      // light, 1e-2
        {8.6, 9.6, 10.6, 10.1, 8.0, 6.6},    // moderate, 1e-3
        {15.6, 17.6, 23.0, 23.6, 22.1, 20.0} // severe, 1e-5
    };
    static constexpr double kWindAt20ft_kt[3] = {15.0, 30.0, 45.0};
    const int row = level == Turbulence::Light ? 0 : level == Turbulence::Moderate ? 1 : 2;
    const double h = std::max(height_m / kMetresPerFoot, 10.0);

    const auto low = [&](double hl) {
        const double sigmaW = 0.1 * kWindAt20ft_kt[row] * kMetresPerSecondPerKnot;
        const double f = 0.177 + 0.000823 * hl;
        const double sigmaU = sigmaW / std::pow(f, 0.4);
        const double lengthU = hl / std::pow(f, 1.2) * kMetresPerFoot;
        return TurbulenceScales{sigmaU, sigmaU, sigmaW, lengthU, lengthU, hl * kMetresPerFoot};
    };
    const auto high = [&](double hh) {
        const double* sigma = kSigma_fps[row];
        std::size_t i = 1;
        while (i + 1 < std::size(kHeights_ft) && hh > kHeights_ft[i])
            ++i;
        const double t =
            std::clamp((hh - kHeights_ft[i - 1]) / (kHeights_ft[i] - kHeights_ft[i - 1]), 0.0, 1.0);
        const double s = (sigma[i - 1] + t * (sigma[i] - sigma[i - 1])) * kMetresPerFoot;
        const double l = 1750.0 * kMetresPerFoot;
        return TurbulenceScales{s, s, s, l, l / 2, l / 2};
    };
    if (h <= 1000.0)
        return low(h);
    if (h >= 2000.0)
        return high(h);
    const TurbulenceScales a = low(1000.0);
    const TurbulenceScales b = high(2000.0);
    const double t = (h - 1000.0) / 1000.0;
    const auto mix = [t](double x, double y) { return x + t * (y - x); };
    return {mix(a.sigmaAlong, b.sigmaAlong),       mix(a.sigmaAcross, b.sigmaAcross),
            mix(a.sigmaVertical, b.sigmaVertical), mix(a.lengthAlong, b.lengthAlong),
            mix(a.lengthAcross, b.lengthAcross),   mix(a.lengthVertical, b.lengthVertical)};
}

/// A step of dt of a first-order Gauss-Markov process (the discrete form of the Dryden
/// spectrum's first-order filter): standard deviation sigma, correlation time tau.
double Markov(double x, double sigma, double tau, double dt, double normal) {
    const double a = std::exp(-dt / std::max(tau, 1e-3));
    return a * x + sigma * std::sqrt(1.0 - a * a) * normal;
}

} // namespace

bool IsWeatherOption(const std::string& option) {
    return option == "--wind" || option == "--gusts" || option == "--turbulence" ||
           option == "--seed";
}

std::string SetWeatherOption(Weather& weather, const std::string& option,
                             const std::string& value) {
    const auto bad = [&](const std::string& what) {
        return option + ": " + what + ", not \"" + value + "\"";
    };
    // A number of the whole text within [low, high].
    const auto number = [](std::string_view text, double low, double high) {
        const std::optional<double> v = numbers::Parse(text);
        return v && *v >= low && *v <= high ? v : std::nullopt;
    };
    if (option == "--wind") {
        const std::size_t slash = value.find('/');
        if (slash == std::string::npos)
            return bad("wants DIR/KT (from DIR degrees true at KT knots), e.g. 240/20");
        const auto from = number(std::string_view(value).substr(0, slash), 0.0, 360.0);
        const auto speed = number(std::string_view(value).substr(slash + 1), 0.0, 150.0);
        if (!from)
            return bad("the direction must be a number of degrees from 0 to 360");
        if (!speed)
            return bad("the speed must be a number of knots from 0 to 150");
        weather.windFrom_deg = *from;
        weather.windSpeed_kt = *speed;
    } else if (option == "--gusts") {
        const auto gusts = number(value, 0.0, 100.0);
        if (!gusts)
            return bad("wants a number of knots from 0 to 100");
        weather.gusts_kt = *gusts;
    } else if (option == "--turbulence") {
        if (value == "none" || value == "light" || value == "moderate" || value == "severe") {
            weather.turbulence = value == "none"       ? Turbulence::None
                                 : value == "light"    ? Turbulence::Light
                                 : value == "moderate" ? Turbulence::Moderate
                                                       : Turbulence::Severe;
            weather.turbulence_mps = 0.0;
        } else if (const auto mps = number(value, 0.0, 10.0)) {
            weather.turbulence = Turbulence::None;
            weather.turbulence_mps = *mps;
        } else {
            return bad("wants light, moderate or severe");
        }
    } else if (option == "--seed") {
        const auto seed = number(value, 0.0, 2147483647.0);
        if (!seed || *seed != std::floor(*seed))
            return bad("wants a whole number from 0 to 2147483647");
        weather.seed = static_cast<std::uint32_t>(*seed);
    } else {
        return option + ": not a weather option";
    }
    return {};
}

double AirDensity(double altitude_m) {
    const double t = 1.0 - 0.0065 * std::clamp(altitude_m, -500.0, 11000.0) / 288.15;
    return kSeaLevelDensity * std::pow(t, 4.2559);
}

FlightModel::FlightModel(const Aircraft& aircraft, const Weather& weather)
    : m_aircraft(aircraft), m_weather(weather), m_rng(weather.seed),
      m_gusts(weather.gusts_kt, weather.seed) {}

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
    m_normal.reset();
    m_gust = m_gustAlong = m_gustAcross = 0.0;
    m_gusts = GustSchedule(m_weather.gusts_kt, m_weather.seed);
    m_time_s = 0.0;
    // The steady wind: no gust blows yet, and no change of the wind is due at the first step.
    const double to = (m_weather.windFrom_deg + 180.0) * kDegToRad;
    const double w = m_weather.windSpeed_kt * kMetresPerSecondPerKnot;
    m_windNorth_mps = w * std::cos(to);
    m_windEast_mps = w * std::sin(to);
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

    if (m_weather.turbulence != Turbulence::None && !s.onGround) {
        // Each axis a first-order process of the Dryden scales at this height and airspeed.
        const TurbulenceScales t = Scales(m_weather.turbulence, s.altitude_m - s.groundElevation_m);
        const double v = std::max(s.tas_mps, 5.0);
        m_gustAlong = Markov(m_gustAlong, t.sigmaAlong, t.lengthAlong / v, dt, m_normal(m_rng));
        m_gustAcross = Markov(m_gustAcross, t.sigmaAcross, t.lengthAcross / v, dt, m_normal(m_rng));
        m_gust = Markov(m_gust, t.sigmaVertical, t.lengthVertical / v, dt, m_normal(m_rng));
    } else if (m_weather.turbulence_mps > 0.0 && !s.onGround) {
        // Vertical gusts alone, an Ornstein-Uhlenbeck process (time constant 2 s).
        std::normal_distribution<double> normal(0.0, 1.0);
        const double tau = 2.0;
        m_gust += -m_gust / tau * dt +
                  m_weather.turbulence_mps * std::sqrt(2.0 * dt / tau) * normal(m_rng);
    } else {
        m_gust = m_gustAlong = m_gustAcross = 0.0;
    }
    m_time_s += dt;

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
    const double psi = s.heading_deg * kDegToRad;
    double windNorth = 0.0;
    double windEast = 0.0;
    if (m_weather.gusts_kt > 0.0 || m_weather.turbulence != Turbulence::None) {
        // A wind that changes: the aircraft's inertia keeps its velocity over the ground for the
        // moment, so its airspeed changes by the change of the wind along its heading (a rising
        // headwind adds airspeed); across the heading the aircraft drifts with the air at once.
        const double to = (m_weather.windFrom_deg + 180.0) * kDegToRad;
        const double w =
            (m_weather.windSpeed_kt + m_gusts.Speed_kt(m_time_s)) * kMetresPerSecondPerKnot;
        windNorth = w * std::cos(to) + m_gustAlong * std::cos(psi) - m_gustAcross * std::sin(psi);
        windEast = w * std::sin(to) + m_gustAlong * std::sin(psi) + m_gustAcross * std::cos(psi);
        if (!s.onGround)
            s.tas_mps = std::max(0.0, s.tas_mps - ((windNorth - m_windNorth_mps) * std::cos(psi) +
                                                   (windEast - m_windEast_mps) * std::sin(psi)));
        m_windNorth_mps = windNorth;
        m_windEast_mps = windEast;
    } else if (m_weather.windSpeed_kt > 0.0) {
        const double w = m_weather.windSpeed_kt * kMetresPerSecondPerKnot;
        const double to = (m_weather.windFrom_deg + 180.0) * kDegToRad;
        windNorth = w * std::cos(to);
        windEast = w * std::sin(to);
    }
    const double horizontal = s.tas_mps * std::cos(s.gamma_rad);
    double vn = horizontal * std::cos(psi);
    double ve = horizontal * std::sin(psi);
    if (!s.onGround) {
        vn += windNorth;
        ve += windEast;
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
