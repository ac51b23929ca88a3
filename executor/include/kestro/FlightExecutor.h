#pragma once
// The flight executor's worker: walks a flight script and flies its tasks with closed loops that
// read the aircraft's state through the simulator link and move its controls in small steps.
//
// Offsets and scales (all little-endian, signed unless stated):
//   0x02BC  4  indicated airspeed      raw / 128 (truncating) = knots
//   0x0560  8  latitude                raw x 90 / (10001750 x 2^32) = degrees, north positive
//   0x0568  8  longitude               raw x 360 / 2^64 = degrees, east positive
//   0x0570  8  altitude                upper 32 bits = whole metres above sea level
//   0x0578  4  pitch                   raw / (2^32 / 360) = degrees; only its magnitude is used
//   0x057C  4  bank                    same scale; positive right wing down
//   0x0580  4  true heading            same scale; clockwise from north
//   0x088C  2  throttle lever          percent x 163.84 (0 .. 16384)
//   0x0890  2  mixture lever           percent x 163.84; 16384 is full rich, 0 idle cut-off
//   0x0BB2  2  elevator input          moved in steps of 10 to 100; positive pitches nose up
//   0x0BB6  4  aileron input           moved in steps of 500; positive rolls right
//   0x0BC8  2  parking brake           0 released .. 32767 set
//   0x0C00  1  left toe brake          0 .. 200
//   0x0C01  1  right toe brake         0 .. 200
//
// Every wait goes through the link's clock, and every wait and exchange first checks the clock's
// stop request (and the optional time limit): a stop ends the flight within one wait by
// unwinding to Run, which reports it.  Failed reads leave the previous values in place.

#include "kestro/ControlLaw.h"
#include "kestro/FSUIPC.h"

#include <xml/Dom.h>

#include <cstdint>
#include <functional>
#include <string>

namespace kestro {

/// Why a flight ended early (thrown inside the worker only; Run catches it).
struct FlightStopped {
    bool timeLimit = false; ///< the time limit ran out, rather than a stop request
};

/// The link failed for good while a control law needed it (thrown inside the worker only; Run
/// shows the link's error text).
struct LinkLost {};

class CFlightExecutor {
public:
    /// Receives every log line, as the message window shows it.
    using MessageFn = std::function<void(const std::string&)>;
    /// Shows a message box (stop icon) with a text.
    using MessageBoxFn = std::function<void(const std::string&)>;

    /// `client` must be the link's only user while the executor runs; its clock paces every
    /// wait.  `timeLimitMs` (0: none) ends a flight that has not finished after that many
    /// milliseconds of the clock's time, counted from construction.
    CFlightExecutor(CFSUIPCClient& client, MessageFn addMessage, MessageBoxFn messageBox,
                    std::int64_t timeLimitMs = 0);

    /// The whole worker: opens the link (any simulator version), checks that the script can be
    /// flown, flies its phases and tasks, and closes the link.  Returns the worker's exit code:
    /// 0 after "Finished executing the flight script.", 1 otherwise.
    int Run(const xml::DocumentPtr& script);
    /// The control law of the flight's tasks (the classic one unless set).
    void SetControlLaw(ControlLaw law) { m_law = law; }
    ControlLaw GetControlLaw() const { return m_law; }
    /// True when the last Run ended because the time limit ran out.
    bool TimeLimitReached() const { return m_timeLimitReached; }
    /// True when the last Run ended on a stop request.
    bool Stopped() const { return m_stopped; }

    /// Which brake SetBrakes sets.
    enum Brake { kToeBrakes = 0, kParkingBrake = 1 };
    /// Parking brake: min(value, 32767) to 0x0BC8.  Toe brakes: min(value, 200) to both toe
    /// brakes in one batch.  Any other `which` writes nothing.  Waits 20 ms either way.
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
    /// more than 0.3 degrees off; then a 200 ms settling wait and a check.
    /// @param target pitch magnitude, degrees in [0, 90).
    void SetPitch(double target);
    /// Banks the aircraft about 10 degrees towards `target` until the heading is within 10
    /// degrees of it, then rolls the wings level within 0.5 degrees (holding the nose up with
    /// SetPitch(|bank / 4| + 1) through the turn, and SetPitch(1) after a roll-out).
    /// @param target true heading, degrees (any value; taken modulo 360).
    void TurnToHeading(double target);
    /// The take-off: brakes off, mixture rich, full throttle, rotate at 45 knots to 7 degrees,
    /// climb to 200 m, trim the speed towards 92 knots while above 110, climb to 500 m, level
    /// off at 1 degree nose up and 80 % throttle.
    void TakeOff();
    /// One cruise leg towards the task's GPSCoordinate, until within 0.02 degrees of arc.
    void Cruise(const xml::Node& task);

    /// Latest values read (for tests).
    int LastAirspeedKnots() const { return m_airspeedRaw / 128; }
    int LastAltitudeMetres() const { return static_cast<int>(m_altitudeRaw >> 32); }

private:
    friend class CStabilisedPilot; // flies through the same link, waits and stop checks

    void Log(const std::string& text) { m_addMessage(text); }
    /// What is missing for the script to be flown; empty when it can be flown.
    std::string CheckScript(const xml::DocumentPtr& script) const;
    void FlyPhases(const xml::DocumentPtr& script);
    void RampLever(std::uint32_t offset, double percent);
    void ReadPosition(double& latitude, double& longitude);
    double ReadPitchMagnitude();
    double Bank() const;
    double Heading() const;

    /// Waits `ms` of the clock's time; unwinds with FlightStopped on a stop request.
    void Wait(std::uint32_t ms);
    /// Unwinds with FlightStopped on a stop request or when the time limit ran out.
    void CheckStop();
    bool ReadNow(std::uint32_t offset, std::uint32_t size, void* destination);
    bool WriteNow(std::uint32_t offset, std::uint32_t size, const void* source);
    bool Read(std::uint32_t offset, std::uint32_t size, void* destination);
    bool Write(std::uint32_t offset, std::uint32_t size, const void* source);
    bool Process();

    CFSUIPCClient& m_client;
    MessageFn m_addMessage;
    MessageBoxFn m_messageBox;
    std::int64_t m_timeLimitMs;
    ControlLaw m_law = ControlLaw::Classic;
    std::int64_t m_startMs;
    bool m_timeLimitReached = false;
    bool m_stopped = false;

    // Raw values of the last reads, kept so that a failed read leaves the previous value.
    std::int32_t m_airspeedRaw = 0;
    std::int64_t m_altitudeRaw = 0;
    std::int32_t m_pitchRaw = 0;
    std::int32_t m_bankRaw = 0;
    std::int32_t m_headingRaw = 0;
    std::int64_t m_latitudeRaw = 0;
    std::int64_t m_longitudeRaw = 0;
};

/// Offsets of the simulator variables the executor uses.
namespace offsets {
inline constexpr std::uint32_t kAirspeed = 0x02BC;
inline constexpr std::uint32_t kLatitude = 0x0560;
inline constexpr std::uint32_t kLongitude = 0x0568;
inline constexpr std::uint32_t kAltitude = 0x0570;
inline constexpr std::uint32_t kPitch = 0x0578;
inline constexpr std::uint32_t kBank = 0x057C;
inline constexpr std::uint32_t kHeading = 0x0580;
inline constexpr std::uint32_t kThrottle = 0x088C;
inline constexpr std::uint32_t kMixture = 0x0890;
inline constexpr std::uint32_t kElevator = 0x0BB2;
inline constexpr std::uint32_t kAileron = 0x0BB6;
inline constexpr std::uint32_t kParkingBrake = 0x0BC8;
inline constexpr std::uint32_t kLeftToeBrake = 0x0C00;
inline constexpr std::uint32_t kRightToeBrake = 0x0C01;
} // namespace offsets

/// Scales of the angle and position offsets.
inline constexpr double kAngleUnitsPerDegree = 11930464.711111112; // 2^32 / 360
inline constexpr double kLeverUnitsPerPercent = 163.84;

/// Parses a decimal number as the executor reads script values: leading white space and an
/// optional sign, then the longest number; text that does not start with a number gives 0.
/// Independent of the locale.
double ParseDecimal(const std::string& text);

/// printf-style fixed formatting independent of the locale: `precision` decimals, right-aligned
/// in `width` characters ("%5.2f" is FormatFixed(v, 2, 5)).
std::string FormatFixed(double value, int precision, int width = 0);

} // namespace kestro
