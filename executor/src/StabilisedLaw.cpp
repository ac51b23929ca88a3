#include "kestro/StabilisedLaw.h"

#include "kestro/Navigation.h"

#include <algorithm>
#include <cmath>

namespace kestro {

namespace {

const char* const kSeparator =
    "---------------------------------------------------------------------\r\n";

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
constexpr double kMetresPerDegree = 10001750.0 / 90.0; // the simulator's sphere
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
constexpr double kG = 9.80665;
constexpr double kStandardRate_radps = 3.0 * kDegToRad;
constexpr double kInputLimit = 16383.0; // elevator, aileron and rudder inputs
constexpr double kFeet = 0.3048;
/// Within this arc of the target a leg is done, as in the classic law.
constexpr double kTargetArc_deg = 0.02;
/// Height above the runway from which the aircraft counts as airborne and climbing.
constexpr double kAirborne_m = 10.0;
/// Lowest level-off above the runway (for runways above the level-off altitude).
constexpr double kMinLevelOffHeight_m = 300.0;
/// Consecutive failed exchanges after which the link counts as lost.
constexpr int kMaxFailedExchanges = 3;
/// The wind's drift: smoothing time constant (s), the least movement per cycle to measure it
/// from (m), and its limit (degrees; a wind of half the airspeed).
constexpr double kDriftSmoothing_s = 3.0;
constexpr double kMinDriftStep_m = 0.5;
constexpr double kMaxDrift_deg = 30.0;
/// Seconds between "Distance to target" lines.
constexpr double kDistanceLogPeriod_s = 10.0;

double Wrap180(double degrees) {
    degrees = std::fmod(degrees, 360.0);
    if (degrees > 180.0)
        degrees -= 360.0;
    if (degrees <= -180.0)
        degrees += 360.0;
    return degrees;
}

double Wrap360(double degrees) {
    degrees = std::fmod(degrees, 360.0);
    return degrees < 0 ? degrees + 360.0 : degrees;
}

/// A number from the task, or nothing when it is missing or not a positive number.
std::optional<double> PositiveValue(const xml::Node& task, const char* path) {
    const xml::Node node = task.selectSingleNode(path);
    if (node.empty())
        return std::nullopt;
    const double value = ParseDecimal(node.text());
    if (!(value > 0) || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

double LegTrack(double start_lat, double start_lon, double target_lat, double target_lon,
                double lat, double lon, double lookahead_m, double* crossTrack_m) {
    // A local plane about the aircraft, where the cross-track error matters.
    const double cosLat = std::cos(lat * kDegToRad);
    const auto east = [&](double lo) { return Wrap180(lo - lon) * cosLat * kMetresPerDegree; };
    const auto north = [&](double la) { return (la - lat) * kMetresPerDegree; };
    const double sx = east(start_lon), sy = north(start_lat);
    const double tx = east(target_lon), ty = north(target_lat);
    const double dx = tx - sx, dy = ty - sy;
    const double length = std::hypot(dx, dy);
    double aimX = tx, aimY = ty;
    if (crossTrack_m)
        *crossTrack_m = 0;
    if (length > 1.0) {
        const double ux = dx / length, uy = dy / length;
        const double along = -sx * ux - sy * uy; // the aircraft is the origin
        if (crossTrack_m)
            *crossTrack_m = -sx * uy + sy * ux;
        const double carrot = std::max(along, 0.0) + lookahead_m;
        if (carrot < length && std::hypot(tx, ty) > lookahead_m) {
            aimX = sx + ux * carrot;
            aimY = sy + uy * carrot;
        }
    }
    return Wrap360(std::atan2(aimX, aimY) / kDegToRad);
}

CStabilisedPilot::CStabilisedPilot(CFlightExecutor& executor, const StabilisedGains& gains)
    : m_executor(executor), m_g(gains) {
    m_g.period_ms = std::clamp<std::uint32_t>(m_g.period_ms, 10, 200);
}

// ---------------------------------------------------------------------------------------------
// The exchange of one cycle

void CStabilisedPilot::Cycle() {
    CFlightExecutor& x = m_executor;
    const std::shared_ptr<ipc::Clock> clock = x.m_client.GetClock();

    // The rest of the period since the last exchange; then the controls computed from its state
    // go out and the new state comes back in one exchange, so they act without a period's delay.
    if (m_haveSample) {
        const std::int64_t rest =
            static_cast<std::int64_t>(m_g.period_ms) - (clock->NowMs() - m_lastExchangeMs);
        if (rest > 0)
            x.Wait(static_cast<std::uint32_t>(rest));
    }
    m_lastExchangeMs = clock->NowMs();
    if (m_writeControls) {
        const auto elevator = static_cast<std::int16_t>(std::lround(m_elevator));
        const auto aileron = static_cast<std::int32_t>(std::lround(m_aileron));
        const auto rudder = static_cast<std::int16_t>(std::lround(m_rudder));
        const auto throttle =
            static_cast<std::int16_t>(std::lround(std::clamp(m_throttle, 0.0, 1.0) * 16384));
        x.Write(offsets::kElevator, 2, &elevator);
        x.Write(offsets::kAileron, 4, &aileron);
        x.Write(offsets::kRudder, 2, &rudder);
        x.Write(offsets::kThrottle, 2, &throttle);
    }
    x.Read(offsets::kAirspeed, 4, &x.m_airspeedRaw);
    x.Read(offsets::kVerticalSpeed, 4, &m_verticalSpeedRaw);
    x.Read(offsets::kAltitude, 8, &x.m_altitudeRaw);
    x.Read(offsets::kPitch, 4, &x.m_pitchRaw);
    x.Read(offsets::kBank, 4, &x.m_bankRaw);
    x.Read(offsets::kHeading, 4, &x.m_headingRaw);
    x.Read(offsets::kLatitude, 8, &x.m_latitudeRaw);
    x.Read(offsets::kLongitude, 8, &x.m_longitudeRaw);
    // A failed exchange leaves the previous values; a link that keeps failing ends the flight
    // rather than flying blind on stale values.
    if (x.Process())
        m_failedExchanges = 0;
    else if (++m_failedExchanges >= kMaxFailedExchanges || !x.m_client.IsOpen())
        throw LinkLost{};

    m_previous = m_now;
    m_now.time_s = static_cast<double>(clock->NowMs()) / 1000.0;
    m_now.ias_kt = x.m_airspeedRaw / 128.0;
    m_now.vs_mps = m_verticalSpeedRaw / 256.0;
    m_now.altitude_m = static_cast<double>(x.m_altitudeRaw) / 4294967296.0;
    m_now.pitch_deg = x.m_pitchRaw / kAngleUnitsPerDegree;
    m_now.bank_deg = x.m_bankRaw / kAngleUnitsPerDegree;
    m_now.heading_deg = Wrap360(x.m_headingRaw / kAngleUnitsPerDegree);
    m_now.latitude_deg = static_cast<double>(x.m_latitudeRaw) * 90.0 / (10001750.0 * 4294967296.0);
    m_now.longitude_deg = static_cast<double>(x.m_longitudeRaw) * 360.0 / 18446744073709551616.0;

    if (m_haveSample && m_now.time_s > m_previous.time_s) {
        m_dt = m_now.time_s - m_previous.time_s;
        m_pitchRate = (m_now.pitch_deg - m_previous.pitch_deg) / m_dt;
        m_rollRate = Wrap180(m_now.bank_deg - m_previous.bank_deg) / m_dt;
        m_yawRate = Wrap180(m_now.heading_deg - m_previous.heading_deg) / m_dt;
        // The wind's drift: the ground track from the positions less the heading, smoothed (a
        // position step of a cycle is a few metres, so one sample is rough).
        const double north = (m_now.latitude_deg - m_previous.latitude_deg) * kMetresPerDegree;
        const double east = Wrap180(m_now.longitude_deg - m_previous.longitude_deg) *
                            std::cos(m_now.latitude_deg * kDegToRad) * kMetresPerDegree;
        if (std::hypot(north, east) > kMinDriftStep_m) {
            const double drift = Wrap180(std::atan2(east, north) / kDegToRad - m_now.heading_deg);
            m_drift += std::clamp(Wrap180(drift - m_drift), -kMaxDrift_deg, kMaxDrift_deg) *
                       std::min(1.0, m_dt / kDriftSmoothing_s);
            m_drift = std::clamp(m_drift, -kMaxDrift_deg, kMaxDrift_deg);
        }
    } else {
        m_dt = m_g.period_ms / 1000.0;
        m_pitchRate = m_rollRate = m_yawRate = 0;
    }
    m_haveSample = true;
    m_writeControls = true;
}

// ---------------------------------------------------------------------------------------------
// Loops

double CStabilisedPilot::BankLimit() const {
    // True airspeed from the indicated one (about 2 % more per 1,000 ft).
    const double tas_mps =
        m_now.ias_kt * kMetresPerSecondPerKnot * (1.0 + 0.02 * m_now.altitude_m / (1000 * kFeet));
    const double standardRate = std::atan(tas_mps * kStandardRate_radps / kG) / kDegToRad;
    return std::clamp(standardRate, m_g.minBankLimit_deg, m_g.maxBankLimit_deg);
}

double CStabilisedPilot::PitchToElevator(double pitchCommand_deg, double dt) {
    const double error = pitchCommand_deg - m_now.pitch_deg;
    m_pitchTrim = std::clamp(m_pitchTrim + m_g.pitchI * error * dt, -kInputLimit, kInputLimit);
    return std::clamp(m_pitchTrim + m_g.pitchP * error - m_g.pitchD * m_pitchRate, -kInputLimit,
                      kInputLimit);
}

double CStabilisedPilot::BankToAileron(double bankCommand_deg, double dt) {
    const double error = bankCommand_deg - m_now.bank_deg;
    m_bankTrim = std::clamp(m_bankTrim + m_g.bankI * error * dt, -kInputLimit, kInputLimit);
    return std::clamp(m_bankTrim + m_g.bankP * error - m_g.bankD * m_rollRate, -kInputLimit,
                      kInputLimit);
}

void CStabilisedPilot::Fly(double track_deg, double altitude_m, std::optional<double> airspeed_kt,
                           bool onRunway) {
    const double dt = m_dt;

    // Lateral: on the runway the rudder holds the heading and the wings stay level; in the air
    // the bank turns the aircraft onto the track.
    // On the runway the heading is the track; in the air the ground track is the heading plus
    // the wind's drift.
    const double trackError = Wrap180(track_deg - m_now.heading_deg - (onRunway ? 0.0 : m_drift));
    double bankCommand = 0;
    if (onRunway) {
        m_rudderTrim =
            std::clamp(m_rudderTrim + m_g.rudderI * trackError * dt, -kInputLimit, kInputLimit);
        m_rudder = std::clamp(m_rudderTrim + m_g.rudderP * trackError - m_g.rudderD * m_yawRate,
                              -kInputLimit, kInputLimit);
    } else {
        const double limit = BankLimit();
        // The heading trim takes out a steady error (a slip from engine torque at climb power);
        // it integrates only near the track, so a turn does not wind it up.
        if (std::fabs(trackError) < m_g.headingTrimBand_deg)
            m_headingTrim = std::clamp(m_headingTrim + m_g.headingToBankI * trackError * dt,
                                       -m_g.maxHeadingTrim_deg, m_g.maxHeadingTrim_deg);
        bankCommand = std::clamp(m_g.headingToBank * trackError + m_headingTrim, -limit, limit);
        // The rudder of the roll is centred over a few seconds after the level-off.
        if (m_mode == Vertical::Hold)
            m_rudder -= std::clamp(m_rudder, -kInputLimit * dt / 3, kInputLimit * dt / 3);
    }
    m_aileron = BankToAileron(bankCommand, dt);

    // Vertical.
    switch (m_mode) {
    case Vertical::Ground:
        m_pitchCommand = 0;
        m_elevator = 0;
        m_pitchTrim = 0;
        return;
    case Vertical::Rotate:
        m_pitchCommand = std::min(m_g.rotatePitch_deg, std::max(m_pitchCommand, m_now.pitch_deg) +
                                                           m_g.rotateRate_degps * dt);
        break;
    case Vertical::Climb: {
        const double speedError = m_now.ias_kt - m_g.climbSpeed_kt;
        m_pitchBase = std::clamp(m_pitchBase + m_g.speedPitchI * speedError * dt, m_g.minPitch_deg,
                                 m_g.maxPitch_deg);
        m_pitchCommand = m_pitchBase + m_g.speedPitchP * speedError;
        m_throttle = std::min(1.0, m_throttle + dt / 2);
        // Capture: the altitude hold would now ask for less than the present climb.
        if (m_g.altitudeP * (altitude_m - m_now.altitude_m) <= std::max(m_now.vs_mps, 0.5)) {
            m_mode = Vertical::Hold;
            m_pitchBase = m_now.pitch_deg;
            m_throttleBase = m_throttle;
        }
        break;
    }
    case Vertical::Hold: {
        const double altitudeError = altitude_m - m_now.altitude_m;
        if (altitudeError > m_g.captureBand_m) {
            m_mode = Vertical::Climb;
            m_pitchBase = m_now.pitch_deg;
            break;
        }
        const double vsCommand =
            std::clamp(m_g.altitudeP * altitudeError, -m_g.maxDescent_mps, m_g.maxClimb_mps);
        const double vsError = vsCommand - m_now.vs_mps;
        m_pitchBase =
            std::clamp(m_pitchBase + m_g.vsI * vsError * dt, m_g.minPitch_deg, m_g.maxPitch_deg);
        m_pitchCommand = m_pitchBase + m_g.vsP * vsError;
        if (airspeed_kt) {
            const double speedError = *airspeed_kt - m_now.ias_kt;
            m_throttleBase = std::clamp(m_throttleBase + m_g.throttleI * speedError * dt,
                                        m_g.minThrottle, m_g.maxThrottle);
            m_throttle = std::clamp(m_throttleBase + m_g.throttleP * speedError, m_g.minThrottle,
                                    m_g.maxThrottle);
        } else {
            m_throttle = m_throttleBase;
        }
        break;
    }
    }
    m_pitchCommand = std::clamp(m_pitchCommand, m_g.minPitch_deg, m_g.maxPitch_deg);
    m_elevator = PitchToElevator(m_pitchCommand, dt);
}

// ---------------------------------------------------------------------------------------------
// Tasks

void CStabilisedPilot::TakeOff() {
    CFlightExecutor& x = m_executor;
    x.Log(kSeparator);
    x.Log("Task: takeoff\r\n");

    x.Log("\tReleasing parking brakes.\r\n");
    x.SetBrakes(CFlightExecutor::kParkingBrake, 0);
    x.SetBrakes(CFlightExecutor::kToeBrakes, 0);
    x.Wait(100);

    // The throttle opens inside the roll's loop, with the rudder already working.
    x.Log("\tSetting mixture to rich and full throttle.\r\n");
    x.SetMixture(100);
    x.Wait(100);

    m_mode = Vertical::Ground;
    m_throttle = 0;
    m_elevator = m_aileron = m_rudder = 0;
    m_pitchTrim = m_bankTrim = m_headingTrim = m_rudderTrim = 0;
    Cycle();
    const double runwayHeading = m_now.heading_deg;
    const double runwayAltitude = m_now.altitude_m;

    x.Log("\tWaiting for speed to exceed " + std::to_string(std::lround(m_g.rotateSpeed_kt)) +
          " knots.\r\n");
    while (m_now.ias_kt < m_g.rotateSpeed_kt) {
        m_throttle = std::min(1.0, m_throttle + m_dt / 2);
        Fly(runwayHeading, 0, std::nullopt, true);
        Cycle();
    }

    x.Log("\tChange pitch for actual takeoff to " +
          std::to_string(std::lround(m_g.rotatePitch_deg)) + " degrees up.\r\n");
    m_mode = Vertical::Rotate;
    m_pitchCommand = m_now.pitch_deg;
    const double levelOff = std::max(m_g.levelOffAltitude_m, runwayAltitude + kMinLevelOffHeight_m);
    const auto climbOut = [&] {
        const bool airborne = m_now.altitude_m > runwayAltitude + kAirborne_m;
        if (m_mode == Vertical::Rotate && airborne && m_now.vs_mps > 0) {
            m_mode = Vertical::Climb;
            m_pitchBase = m_pitchCommand;
        }
        Fly(runwayHeading, levelOff, std::nullopt, !airborne);
        Cycle();
    };
    while (m_now.altitude_m < 200)
        climbOut();
    x.Log("\tAltitude is greater than 200 meters.\r\n");

    x.Log("\tWait for plane to reach " + std::to_string(std::lround(m_g.levelOffAltitude_m)) +
          " meters.\r\n");
    while (m_mode != Vertical::Hold)
        climbOut();

    x.Log("\tAltitude reached. Level plane.\r\n");
    x.Log("\tAdjust throttle to " + std::to_string(std::lround(m_g.levelOffThrottle * 100)) +
          " percent. Keep plane level.\r\n");
    const double settleUntil = m_now.time_s + m_g.settle_s;
    while (m_now.time_s < settleUntil) {
        // Towards the level-off setting at the rate of the classic law's lever ramp.
        const double step = 150.0 / 16384.0 * m_dt / 0.02;
        m_throttleBase += std::clamp(m_g.levelOffThrottle - m_throttleBase, -step, step);
        Fly(runwayHeading, levelOff, std::nullopt, false);
        Cycle();
    }
    m_levelOffAltitude = levelOff;

    x.Log("Takeoff task done.\r\n\r\n");
}

void CStabilisedPilot::Cruise(const xml::Node& task) {
    CFlightExecutor& x = m_executor;
    x.Log(kSeparator);
    x.Log("Task: cruise\r\n");

    const double targetLongitude =
        ParseDecimal(task.selectSingleNode("GPSCoordinate/longitude").text());
    const double targetLatitude =
        ParseDecimal(task.selectSingleNode("GPSCoordinate/latitude").text());
    Cycle();
    const auto start =
        m_previousTarget.value_or(std::make_pair(m_now.latitude_deg, m_now.longitude_deg));
    m_previousTarget = std::make_pair(targetLatitude, targetLongitude);

    // The steer point's altitude (feet) and airspeed (knots); without them the leg keeps what
    // the aircraft flies now.
    const std::optional<double> altitude_ft = PositiveValue(task, "procedure/altitude");
    const double altitude_m = altitude_ft          ? *altitude_ft * kFeet
                              : m_levelOffAltitude ? *m_levelOffAltitude
                                                   : m_now.altitude_m;
    m_levelOffAltitude = altitude_m;
    const std::optional<double> airspeed_kt = PositiveValue(task, "procedure/airspeed");
    if (m_mode == Vertical::Ground || m_mode == Vertical::Rotate) {
        // A cruise without a take-off before it: the aircraft is already flying (or not at all).
        m_mode = Vertical::Hold;
        m_pitchBase = m_now.pitch_deg;
    }

    const auto track = [&] {
        return LegTrack(start.first, start.second, targetLatitude, targetLongitude,
                        m_now.latitude_deg, m_now.longitude_deg, m_g.lookahead_m);
    };
    bool first = true;
    double nextDistanceLog = m_now.time_s;
    for (;;) {
        const double distance = GreatCircleDistance(m_now.latitude_deg, m_now.longitude_deg,
                                                    targetLatitude, targetLongitude);
        if (distance <= kTargetArc_deg) {
            x.Log("\tTarget reached. Cruise task done.\r\n\r\n");
            return;
        }
        const double course = track();
        if (first) {
            x.Log("\tTarget heading: " + FormatFixed(course, 2, 5) + ". Turning plane.\r\n");
            first = false;
        }
        if (m_now.time_s >= nextDistanceLog) {
            x.Log("\tDistance to target: " + FormatFixed(distance, 6) + "5.2.\r\n");
            nextDistanceLog = m_now.time_s + kDistanceLogPeriod_s;
        }
        Fly(course, altitude_m, airspeed_kt, false);
        Cycle();
    }
}

} // namespace kestro
