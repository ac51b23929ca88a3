#pragma once
// An aircraft's property file: the FlightGear generic-protocol file the bridge and FlightGear
// share (data/flightgear/Protocol/avilo-AIRCRAFT.xml), and the codec of its UDP lines.
//
// FlightGear sends the state as one ASCII line per datagram: the fields of the <output> chunks
// in order, joined by the file's <var_separator>; the first field is the file's tag
// ("avilo-AIRCRAFT", a constant chunk), so a stream from another protocol file is told at once.
// The bridge sends the controls the same way, the fields of the <input> chunks.  A chunk's
// <name> says what its field is, in the units the name gives:
//
// | name               | unit, range                 | link offset (<ipc/Protocol.h>)        |
// |--------------------|-----------------------------|---------------------------------------|
// | time-s             | s of simulated time         | simulated time (stands still paused)  |
// | paused             | 0 or 1                      | (the bridge's log)                    |
// | latitude-deg       | degrees, north +            | latitude                              |
// | longitude-deg      | degrees, east +             | longitude                             |
// | altitude-ft        | ft above mean sea level     | altitude                              |
// | ground-elev-ft     | ft above mean sea level     | ground elevation                      |
// | pitch-deg          | degrees, nose up +          | pitch                                 |
// | bank-deg           | degrees, right wing down +  | bank                                  |
// | heading-deg        | degrees true                | heading                               |
// | ias-kt, tas-kt     | knots                       | indicated, true airspeed              |
// | vertical-speed-fps | ft/s, climbing +            | vertical speed                        |
// | on-ground          | 0 or 1                      | on ground                             |
// | throttle, mixture  | 0 .. 1                      | levers, 0 .. 16384                    |
// | elevator           | -1 .. 1, nose down +        | elevator input, -16383 .. 16383 up +  |
// | aileron            | -1 .. 1, rolls right +      | aileron input, rolls right +          |
// | rudder             | -1 .. 1, yaws right +       | rudder input, yaws right +            |
// | elevator-trim      | -1 .. 1, nose down +        | elevator trim, nose up +              |
// | brake-left/-right  | 0 .. 1                      | toe brakes, 0 .. 200                  |
// | brake-parking      | 0 .. 1                      | parking brake, 0 .. 32767             |
//
// Every name but "tag" is needed in the output and every control name in the input; an unknown
// name is refused (it would be a field the bridge cannot serve).  Conversions are exact to the
// link's resolution: 1 ft = 0.3048 m, the levers and inputs rounded to the nearest raw unit.

#include <fssim/AircraftModel.h>

#include <string>
#include <string_view>
#include <vector>

namespace fgbridge {

/// One <chunk> of the file.
struct Chunk {
    std::string name;
    std::string node; ///< the property; empty for a constant chunk
};

/// A property to set to a value (engine start).
struct PropertyValue {
    std::string node;
    std::string value;
};

struct PropertyFile {
    std::string path;     ///< where it was read
    std::string aircraft; ///< <avilo><aircraft>
    std::string tag;      ///< the stream's first field, "avilo-" + aircraft
    std::string separator;
    std::vector<Chunk> output; ///< the state FlightGear sends, in order (the tag first)
    std::vector<Chunk> input;  ///< the controls FlightGear reads, in order
    /// Engine facts and start, all optional: the property that is true while the engine runs,
    /// the values set before starting, the starter's property and how long it is held (s).
    std::string engineRunning;
    std::vector<PropertyValue> engineStart;
    std::string starter;
    double starter_s = 0.0;
};

/// "DIR/Protocol/avilo-AIRCRAFT.xml".
std::string PropertyFilePath(const std::string& dataDir, const std::string& aircraft);

/// Reads and checks the property file at `path`.  Throws std::runtime_error naming the file
/// and what is wrong: unreadable or no XML, no <generic> output or input, a separator other
/// than one character, a first output chunk that is not the constant tag "avilo-" + the
/// <avilo><aircraft> name, an unknown or repeated chunk name, or a needed name missing.
PropertyFile LoadPropertyFile(const std::string& path);

/// What FlightGear sends: the state, the control positions as it has them, its time.
struct FgState {
    double time_s = 0.0;
    bool paused = false;
    fssim::State state;
    fssim::Derived derived;   ///< the airspeeds and the vertical speed
    fssim::Controls controls; ///< in the link's raw units
};

/// Encodes and decodes the UDP lines of one property file.
class Codec {
public:
    explicit Codec(PropertyFile file);

    /// Decodes one datagram (a trailing line end allowed).  False with `error` set when the
    /// first field is not the tag (another protocol file), the field count differs from the
    /// file's, or a field is no finite number.
    bool Decode(std::string_view datagram, FgState& out, std::string& error) const;

    /// The input line (ending with a newline) that sets `controls` (raw link units).
    std::string Encode(const fssim::Controls& controls) const;

    const PropertyFile& File() const { return m_file; }

private:
    PropertyFile m_file;
};

} // namespace fgbridge
