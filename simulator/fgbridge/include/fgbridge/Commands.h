#pragma once
// The rare commands, over FlightGear's HTTP/JSON property interface: pause and resume, put the
// aircraft somewhere in the air, start the engine, read the facts a pilot checks.  Each returns
// false (or nothing) with `error` saying what failed.

#include "fgbridge/Net.h"
#include "fgbridge/PropertyFile.h"

#include <cstdint>
#include <optional>
#include <string>

namespace fgbridge {

/// Whether FlightGear's clock stands still (/sim/freeze/clock).
bool Paused(const PropertyClient& fg, bool& paused, std::string& error);

/// Pauses (true) or resumes (false) FlightGear: its "pause" command, which toggles, is run only
/// when the state differs, and the state is read back.  (Freezing /sim/freeze/master alone does
/// not stop the aircraft.)
bool SetPaused(const PropertyClient& fg, bool pause, std::string& error);

/// Where Reposition puts the aircraft: in the air, at this position, height and speed.
struct Placement {
    double latitude_deg = 0.0;  ///< north +, -90 .. 90
    double longitude_deg = 0.0; ///< east +, -180 .. 180
    double altitude_ft = 0.0;   ///< above mean sea level
    double heading_deg = 0.0;   ///< true
    double airspeed_kt = 0.0;   ///< calibrated
};

/// Sets FlightGear's start presets to `to` (in the air) and runs its "reposition" command.
bool Reposition(const PropertyClient& fg, const Placement& to, std::string& error);

/// Starts the engine as the property file says, unless it runs: sets its values, holds the
/// starter for its time, and checks that the engine runs.  Blocks for the starter's time.
bool StartEngine(const PropertyClient& fg, const PropertyFile& file, std::string& error);

/// How long a FlightGear that takes connections but answers nothing may stay silent in a flight
/// (a frame of seconds: its scenery reloaded after a reposition), milliseconds.
inline constexpr std::int64_t kStallMs = 30000;

/// Whether a link whose FlightGear has sent no state for `silentMs` stays.  Before any flight
/// (`flying` false) it stays while something takes connections on the property interface
/// (FlightGear loading).  In a flight it stays while FlightGear says within a second that it is
/// paused, or for up to kStallMs while it takes connections but answers nothing.  Otherwise
/// (FlightGear quit: its port refuses; or it stays stalled) `why` says what became of it.
bool KeepSilentLink(const PropertyClient& fg, bool flying, std::int64_t silentMs, std::string& why);

/// The facts a pilot checks before handing over, one "label: value" line each: the aircraft,
/// FlightGear's version, its time, whether it is paused and the scenery loaded, position,
/// altitude, airspeed, frame rate, and whether the engine runs.
std::optional<std::string> Facts(const PropertyClient& fg, const PropertyFile& file,
                                 std::string& error);

} // namespace fgbridge
