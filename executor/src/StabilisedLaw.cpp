#include "kestro/StabilisedLaw.h"

#include "kestro/Guidance.h"
#include "kestro/TaskValues.h"

#include <ipc/Protocol.h>
#include <numbers/Numbers.h>
#include <tavola/GreatCircle.h>
#include <tavola/LocalPlane.h>
#include <tavola/Units.h>

#include <algorithm>
#include <cmath>

namespace kestro {

namespace {

using tavola::kDegToRad;
using tavola::Wrap180;
using tavola::Wrap360;

const char* const kSeparator =
    "---------------------------------------------------------------------\r\n";

constexpr double kStandardRate_radps = 3.0 * kDegToRad;
constexpr double kInputLimit = ipc::protocol::kInputLimit; // elevator, aileron and rudder inputs
constexpr double kLeverFull = ipc::protocol::kLeverFull;
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
/// A simulator's state that has not changed for longer than this (seconds) stands still: a
/// frame of a simulator that serves at least 4 states a second is shorter.
constexpr double kMaxFrameGap_s = 0.25;
/// The attitude loops' gains are those for a state every cycle.  A simulator that serves fewer
/// states a second (FlightGear rendering without a graphics card: 7 to 20 frames) serves each
/// about a frame late too, and takes the controls in at its next frame, so the loops' delay grows
/// with the interval between states; at 12 states a second the full gains hold the wings in a
/// limit cycle of +-13 degrees at 1 Hz.  The gains fall with the square of the ratio of the cycle
/// to that interval (smoothed by this fraction of each new interval), to no less than kMinPace:
/// with JSBSim's c172p served at 7 to 60 Hz, about one frame late, a linear fall still rocks the
/// wings at 12 Hz.
constexpr double kFrameIntervalSmoothing = 0.1;
constexpr double kMinPace = 0.25;
/// Faster than this (knots) on the ground the aircraft rolls: its state changes every frame.
constexpr double kRollingSpeed_kt = 10.0;
/// The take-off roll steers back to the centre line from this far off it (metres, where it will
/// be kCentreLineLead_s from now at its present sideways speed, smoothed over as long), at
/// kCentreLineGain_degpm degrees of heading per metre beyond it, at most kMaxCentreLine_deg.
constexpr double kCentreLineBand_m = 2.0;
constexpr double kCentreLineLead_s = 3.0;
constexpr double kCentreLineGain_degpm = 3.0;
constexpr double kMaxCentreLine_deg = 8.0;
/// ... and banks into the side it steers to at kRollBank_degpm degrees per metre beyond the
/// band, at most kMaxRollBank_deg.
constexpr double kRollBank_degpm = 3.0;
constexpr double kMaxRollBank_deg = 10.0;
/// Holding altitude, the pitch command is limited from this far below the climb speed (knots),
/// by kSpeedFloorPitch_degpkt degrees per knot below it.
constexpr double kSpeedFloorMargin_kt = 6.0;
constexpr double kSpeedFloorPitch_degpkt = 1.0;
/// Energy sharing while holding altitude: once the planned airspeed has been reached, an airspeed
/// (smoothed over kShareSmoothing_s) more than kShareBand_kt off it asks for kShareVs_mpspkt
/// metres per second of descent per knot too slow beyond the band (of climb per knot too fast):
/// a long gust is met with height as well as power, as the throttle alone is slow to bring the
/// speed back.  The altitude loop settles kShareVs_mpspkt / altitudeP metres off per knot beyond
/// the band (7 ft at the defaults).
constexpr double kShareBand_kt = 2.0;
constexpr double kShareSmoothing_s = 2.0;
constexpr double kShareVs_mpspkt = 1.2;
/// Within this of the planned airspeed (knots) the airspeed counts as reached.
constexpr double kSpeedReached_kt = 3.0;
/// Seconds between "Distance to target" lines.
constexpr double kDistanceLogPeriod_s = 10.0;

/// What every cycle reads, in the order of the exchange.
constexpr StateItem kCycleItems[] = {
    StateItem::Airspeed, StateItem::VerticalSpeed, StateItem::Altitude, StateItem::Pitch,
    StateItem::Bank,     StateItem::Heading,       StateItem::Latitude, StateItem::Longitude};

} // namespace

CStabilisedPilot::CStabilisedPilot(IAircraft& aircraft, MessageFn log, const StabilisedGains& gains)
    : m_aircraft(aircraft), m_log(std::move(log)), m_g(gains), m_classic(aircraft, m_log) {
    m_g.period_ms = std::clamp<std::uint32_t>(m_g.period_ms, 10, 200);
    m_frameInterval_s = m_g.period_ms / 1000.0;
}

// ---------------------------------------------------------------------------------------------
// The exchange of one cycle

void CStabilisedPilot::Cycle() {
    // The rest of the period since the last exchange; then the controls computed from its state
    // go out and the new state comes back in one exchange, so they act without a period's delay.
    if (m_haveSample) {
        const std::int64_t rest =
            static_cast<std::int64_t>(m_g.period_ms) - (m_aircraft.NowMs() - m_lastExchangeMs);
        if (rest > 0)
            m_aircraft.Wait(static_cast<std::uint32_t>(rest));
    }
    m_lastExchangeMs = m_aircraft.NowMs();
    const ControlInput controls[] = {
        {Control::Elevator, static_cast<int>(std::lround(m_elevator))},
        {Control::Aileron, static_cast<int>(std::lround(m_aileron))},
        {Control::Rudder, static_cast<int>(std::lround(m_rudder))},
        {Control::Throttle,
         static_cast<int>(std::lround(std::clamp(m_throttle, 0.0, 1.0) * kLeverFull))},
    };
    const std::span<const ControlInput> inputs =
        m_writeControls ? std::span<const ControlInput>(controls) : std::span<const ControlInput>();
    // A failed exchange leaves the previous values; a link that keeps failing ends the flight
    // rather than flying blind on stale values.
    if (m_aircraft.Exchange(inputs, kCycleItems, m_state))
        m_failedExchanges = 0;
    else if (++m_failedExchanges >= kMaxFailedExchanges || !m_aircraft.LinkOpen())
        throw LinkLost{};

    // The rates and the time step run from the last state that changed: a simulator that serves
    // fewer states a second than the law cycles (FlightGear at 7 to 20 frames a second) repeats
    // each state for a cycle or two, and a step of one cycle over the change of three would
    // triple the rates and leave the cycles between without damping.
    if (!m_stateRepeated)
        m_previous = m_now;
    m_now.time_s = static_cast<double>(m_aircraft.NowMs()) / 1000.0;
    m_now.ias_kt = m_state.airspeed_kt;
    m_now.vs_mps = m_state.verticalSpeed_mps;
    m_now.altitude_m = m_state.altitude_m;
    m_now.pitch_deg = m_state.pitch_deg;
    m_now.bank_deg = m_state.bank_deg;
    m_now.heading_deg = Wrap360(m_state.heading_deg);
    m_now.latitude_deg = m_state.latitude_deg;
    m_now.longitude_deg = m_state.longitude_deg;

    // In the air a state that has not changed at all since the last one that did is a simulator
    // between two of its frames, or one that stands still (paused) while its clock runs: no time
    // passes for the loops, so nothing winds up; the rates are kept between frames and dropped
    // once it has stood still for longer than a frame could take.
    const bool frozen =
        m_haveSample &&
        ((m_mode != Vertical::Ground && m_mode != Vertical::Rotate) ||
         m_now.ias_kt > kRollingSpeed_kt) &&
        m_now.latitude_deg == m_previous.latitude_deg &&
        m_now.longitude_deg == m_previous.longitude_deg &&
        m_now.altitude_m == m_previous.altitude_m && m_now.pitch_deg == m_previous.pitch_deg &&
        m_now.bank_deg == m_previous.bank_deg && m_now.heading_deg == m_previous.heading_deg;
    m_stateRepeated = frozen;
    if (frozen) {
        m_dt = 0;
        if (m_now.time_s - m_previous.time_s > kMaxFrameGap_s)
            m_pitchRate = m_rollRate = m_yawRate = 0;
    } else if (m_haveSample && m_now.time_s - m_previous.time_s > kMaxFrameGap_s) {
        // The first state after standing still: the loops start from it afresh.
        m_dt = m_g.period_ms / 1000.0;
        m_pitchRate = m_rollRate = m_yawRate = 0;
    } else if (m_haveSample && m_now.time_s > m_previous.time_s) {
        m_dt = m_now.time_s - m_previous.time_s;
        m_frameInterval_s += (m_dt - m_frameInterval_s) * kFrameIntervalSmoothing;
        const double ratio = m_g.period_ms / 1000.0 / m_frameInterval_s;
        m_pace = std::clamp(ratio * ratio, kMinPace, 1.0);
        m_pitchRate = (m_now.pitch_deg - m_previous.pitch_deg) / m_dt;
        m_rollRate = Wrap180(m_now.bank_deg - m_previous.bank_deg) / m_dt;
        m_yawRate = Wrap180(m_now.heading_deg - m_previous.heading_deg) / m_dt;
        // The wind's drift: the ground track from the positions less the heading, smoothed (a
        // position step of a cycle is a few metres, so one sample is rough).
        if (const std::optional<double> track =
                GroundTrack(m_previous.latitude_deg, m_previous.longitude_deg, m_now.latitude_deg,
                            m_now.longitude_deg, kMinDriftStep_m)) {
            const double drift = Wrap180(*track - m_now.heading_deg);
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
    const double tas_mps = m_now.ias_kt * tavola::kMetresPerSecondPerKnot *
                           (1.0 + 0.02 * m_now.altitude_m / (1000 * tavola::kMetresPerFoot));
    const double standardRate =
        std::atan(tas_mps * kStandardRate_radps / tavola::kStandardGravity) / kDegToRad;
    return std::clamp(standardRate, m_g.minBankLimit_deg, m_g.maxBankLimit_deg);
}

double CStabilisedPilot::PitchToElevator(double pitchCommand_deg, double dt) {
    const double error = pitchCommand_deg - m_now.pitch_deg;
    m_pitchTrim =
        std::clamp(m_pitchTrim + m_pace * m_g.pitchI * error * dt, -kInputLimit, kInputLimit);
    return std::clamp(m_pitchTrim + m_pace * (m_g.pitchP * error - m_g.pitchD * m_pitchRate),
                      -kInputLimit, kInputLimit);
}

double CStabilisedPilot::BankToAileron(double bankCommand_deg, double dt) {
    const double error = bankCommand_deg - m_now.bank_deg;
    m_bankTrim =
        std::clamp(m_bankTrim + m_pace * m_g.bankI * error * dt, -kInputLimit, kInputLimit);
    return std::clamp(m_bankTrim + m_pace * (m_g.bankP * error - m_g.bankD * m_rollRate),
                      -kInputLimit, kInputLimit);
}

void CStabilisedPilot::Fly(double track_deg, double altitude_m, std::optional<double> airspeed_kt,
                           bool onRunway, double rollBank_deg) {
    const double dt = m_dt;

    // Lateral: on the runway the rudder holds the heading and the wings stay level; in the air
    // the bank turns the aircraft onto the track.
    // On the runway the heading is the track; in the air the ground track is the heading plus
    // the wind's drift.
    const double trackError = Wrap180(track_deg - m_now.heading_deg - (onRunway ? 0.0 : m_drift));
    double bankCommand = 0;
    if (onRunway) {
        bankCommand = rollBank_deg;
        m_rudderTrim = std::clamp(m_rudderTrim + m_pace * m_g.rudderI * trackError * dt,
                                  -kInputLimit, kInputLimit);
        m_rudder =
            std::clamp(m_rudderTrim + m_pace * (m_g.rudderP * trackError - m_g.rudderD * m_yawRate),
                       -kInputLimit, kInputLimit);
    } else {
        // A large turn (a reversal onto the next leg) banks up to the steep limit, so that in a
        // wind it does not drift far past the new line before it comes round.
        const double steep = std::clamp((std::fabs(trackError) - 30.0) / 30.0, 0.0, 1.0);
        const double limit =
            BankLimit() + steep * std::max(0.0, m_g.steepBankLimit_deg - BankLimit());
        // The heading trim takes out a steady error (a slip from engine torque at climb power);
        // it integrates only near the track, so a turn does not wind it up.
        // Away from the track it fades: a trim wound up against the slip of the climb (the roll's
        // rudder is still held) would otherwise fight the capture of the next leg.
        if (std::fabs(trackError) < m_g.headingTrimBand_deg)
            m_headingTrim = std::clamp(m_headingTrim + m_g.headingToBankI * trackError * dt,
                                       -m_g.maxHeadingTrim_deg, m_g.maxHeadingTrim_deg);
        else
            m_headingTrim -= m_headingTrim * std::min(1.0, dt / m_g.headingTrimFade_s);
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
            m_iasSmooth = m_now.ias_kt;
            m_pitchBase = m_now.pitch_deg;
            m_throttleBase = m_throttle;
        }
        break;
    }
    case Vertical::Hold: {
        const double altitudeError = altitude_m - m_now.altitude_m;
        if (altitudeError > m_g.captureBand_m) {
            m_mode = Vertical::Climb;
            m_speedReached = false;
            m_pitchBase = m_now.pitch_deg;
            break;
        }
        double share_mps = 0;
        m_iasSmooth += (m_now.ias_kt - m_iasSmooth) * std::min(1.0, dt / kShareSmoothing_s);
        if (!airspeed_kt || *airspeed_kt != m_speedTarget_kt) {
            m_speedReached = false;
            m_speedTarget_kt = airspeed_kt.value_or(0.0);
        }
        if (airspeed_kt) {
            const double slow_kt = *airspeed_kt - m_iasSmooth;
            m_speedReached = m_speedReached || std::fabs(slow_kt) < kSpeedReached_kt;
            if (m_speedReached && std::fabs(slow_kt) > kShareBand_kt)
                share_mps = -kShareVs_mpspkt * (slow_kt - std::copysign(kShareBand_kt, slow_kt));
        }
        const double vsCommand = std::clamp(m_g.altitudeP * altitudeError + share_mps,
                                            -m_g.maxDescent_mps, m_g.maxClimb_mps);
        const double vsError = vsCommand - m_now.vs_mps;
        m_pitchBase =
            std::clamp(m_pitchBase + m_g.vsI * vsError * dt, m_g.minPitch_deg, m_g.maxPitch_deg);
        m_pitchCommand = m_pitchBase + m_g.vsP * vsError;
        // Below the floor the nose comes down, the speed before the altitude: a gust that ended
        // in a climb at full power must not leave the aircraft behind the power curve.
        const double floor = m_g.climbSpeed_kt - kSpeedFloorMargin_kt;
        if (m_now.ias_kt < floor) {
            const double limit =
                m_g.maxPitch_deg - kSpeedFloorPitch_degpkt * (floor - m_now.ias_kt);
            m_pitchCommand = std::min(m_pitchCommand, limit);
            m_pitchBase = std::min(m_pitchBase, limit);
        }
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
    Log(kSeparator);
    Log("Task: takeoff\r\n");

    Log("\tReleasing parking brakes.\r\n");
    m_classic.SetBrakes(CClassicPilot::kParkingBrake, 0);
    m_classic.SetBrakes(CClassicPilot::kToeBrakes, 0);
    m_aircraft.Wait(100);

    // The throttle opens inside the roll's loop, with the rudder already working.
    Log("\tSetting mixture to rich and full throttle.\r\n");
    m_classic.SetMixture(100);
    m_aircraft.Wait(100);

    m_mode = Vertical::Ground;
    m_throttle = 0;
    m_elevator = m_aileron = m_rudder = 0;
    m_pitchTrim = m_bankTrim = m_headingTrim = m_rudderTrim = 0;
    Cycle();
    const double runwayHeading = m_now.heading_deg;
    const double runwayAltitude = m_now.altitude_m;
    const double runwayLatitude = m_now.latitude_deg, runwayLongitude = m_now.longitude_deg;
    // On the roll the heading steers back towards the centre line (the line from where it stood
    // along the runway heading) once it is more than a few metres off, as a crosswind or the
    // engine's torque may push it.
    // The ailerons then lower the wing on the side it steers to (into the wind, whose rolling
    // moment lifts the upwind wing), so that it leaves the ground in a slip against the drift.
    double rollBank = 0, lastRight = 0, sideways_mps = 0;
    const auto rollHeading = [&] {
        const tavola::PlaneOffset here = tavola::LocalOffset(
            runwayLatitude, runwayLongitude, m_now.latitude_deg, m_now.longitude_deg);
        const double runway = runwayHeading * kDegToRad;
        const double now = here.east_m * std::cos(runway) - here.north_m * std::sin(runway);
        sideways_mps +=
            ((now - lastRight) / m_dt - sideways_mps) * std::min(1.0, m_dt / kCentreLineLead_s);
        lastRight = now;
        const double right = now + kCentreLineLead_s * sideways_mps;
        const double beyond = std::max(0.0, std::fabs(right) - kCentreLineBand_m);
        rollBank = -std::copysign(std::min(kMaxRollBank_deg, kRollBank_degpm * beyond), right);
        return runwayHeading -
               std::copysign(std::min(kMaxCentreLine_deg, kCentreLineGain_degpm * beyond), right);
    };

    Log("\tWaiting for speed to exceed " + std::to_string(std::lround(m_g.rotateSpeed_kt)) +
        " knots.\r\n");
    while (m_now.ias_kt < m_g.rotateSpeed_kt) {
        m_throttle = std::min(1.0, m_throttle + m_dt / 2);
        Fly(rollHeading(), 0, std::nullopt, true, rollBank);
        Cycle();
    }

    Log("\tChange pitch for actual takeoff to " + std::to_string(std::lround(m_g.rotatePitch_deg)) +
        " degrees up.\r\n");
    m_mode = Vertical::Rotate;
    m_pitchCommand = m_now.pitch_deg;
    const double levelOff = std::max(m_g.levelOffAltitude_m, runwayAltitude + kMinLevelOffHeight_m);
    const auto climbOut = [&] {
        const bool airborne = m_now.altitude_m > runwayAltitude + kAirborne_m;
        if (m_mode == Vertical::Rotate && airborne && m_now.vs_mps > 0) {
            m_mode = Vertical::Climb;
            m_pitchBase = m_pitchCommand;
        }
        Fly(airborne ? runwayHeading : rollHeading(), levelOff, std::nullopt, !airborne,
            airborne ? 0.0 : rollBank);
        Cycle();
    };
    while (m_now.altitude_m < 200)
        climbOut();
    Log("\tAltitude is greater than 200 meters.\r\n");

    Log("\tWait for plane to reach " + std::to_string(std::lround(m_g.levelOffAltitude_m)) +
        " meters.\r\n");
    while (m_mode != Vertical::Hold)
        climbOut();

    Log("\tAltitude reached. Level plane.\r\n");
    Log("\tAdjust throttle to " + std::to_string(std::lround(m_g.levelOffThrottle * 100)) +
        " percent. Keep plane level.\r\n");
    const double settleUntil = m_now.time_s + m_g.settle_s;
    while (m_now.time_s < settleUntil) {
        // Towards the level-off setting at the rate of the classic law's lever ramp.
        const double step = 150.0 / kLeverFull * m_dt / 0.02;
        m_throttleBase += std::clamp(m_g.levelOffThrottle - m_throttleBase, -step, step);
        Fly(runwayHeading, levelOff, std::nullopt, false);
        Cycle();
    }
    m_levelOffAltitude = levelOff;

    Log("Takeoff task done.\r\n\r\n");
}

void CStabilisedPilot::TakeOverControls() {
    // The trims start where the pilot left the elevator and the throttle, so that the first
    // cycles hold the attitude and power found instead of jumping to neutral ones.
    int elevator = 0;
    int throttle = 0;
    if (m_aircraft.ReadControl(Control::Elevator, elevator)) {
        m_pitchTrim = std::clamp(static_cast<double>(elevator), -kInputLimit, kInputLimit);
        m_elevator = m_pitchTrim;
    }
    if (m_aircraft.ReadControl(Control::Throttle, throttle)) {
        m_throttleBase = std::clamp(static_cast<double>(throttle) / kLeverFull, m_g.minThrottle,
                                    m_g.maxThrottle);
        m_throttle = m_throttleBase;
    }
}

void CStabilisedPilot::Cruise(const xml::Node& task) {
    Log(kSeparator);
    Log("Task: cruise\r\n");

    const double targetLongitude = TaskNumber(task, "GPSCoordinate/longitude");
    const double targetLatitude = TaskNumber(task, "GPSCoordinate/latitude");
    Cycle();
    const auto start =
        m_previousTarget.value_or(std::make_pair(m_now.latitude_deg, m_now.longitude_deg));
    m_previousTarget = std::make_pair(targetLatitude, targetLongitude);

    // The steer point's altitude (feet) and airspeed (knots); without them the leg keeps what
    // the aircraft flies now.
    const std::optional<double> altitude_ft = PlannedValue(task, "procedure/altitude");
    const double altitude_m = altitude_ft          ? *altitude_ft * tavola::kMetresPerFoot
                              : m_levelOffAltitude ? *m_levelOffAltitude
                                                   : m_now.altitude_m;
    m_levelOffAltitude = altitude_m;
    const std::optional<double> airspeed_kt = PlannedValue(task, "procedure/airspeed");
    if (m_mode == Vertical::Ground || m_mode == Vertical::Rotate) {
        // A cruise without a take-off before it: the aircraft is already flying (or not at all).
        m_mode = Vertical::Hold;
        m_iasSmooth = m_now.ias_kt;
        m_pitchBase = m_now.pitch_deg;
        TakeOverControls();
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
            Log("\tTarget reached. Cruise task done.\r\n\r\n");
            return;
        }
        const double course = track();
        if (first) {
            Log(numbers::Format("\tTarget heading: %5.2f. Turning plane.\r\n", course));
            first = false;
        }
        if (m_now.time_s >= nextDistanceLog) {
            Log(numbers::Format("\tDistance to target: %f5.2.\r\n", distance));
            nextDistanceLog = m_now.time_s + kDistanceLogPeriod_s;
        }
        Fly(course, altitude_m, airspeed_kt, false);
        Cycle();
    }
}

} // namespace kestro
