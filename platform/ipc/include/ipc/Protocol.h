#pragma once
// The simulator link's protocol, for both of its peers: the client that flies the aircraft
// (kestro::CFSUIPCClient) and the simulators that serve it (fssim::Simulator, later bridges).
//
// Exchange: the client finds the endpoint (class "UIPCMAIN", or the older "FS98MAIN"), shares a
// block of kMapSize bytes named "FsasmLib:IPC:%X:%X" (process id and a per-process counter,
// upper-case hexadecimal) with it, writes a batch of records into the block and sends the
// registered message "FsasmLib:IPC" with the atom of the block's name.  The peer carries the
// records out against its offset space and answers 1.
//
// Records, packed from the start of the block, all fields 32-bit little-endian:
//   read   {kReadId, offset, size n, token} + n bytes the peer fills in      (kReadHeader + n)
//   write  {kWriteId, offset, size n} + n data bytes                         (kWriteHeader + n)
//   end    {kEndId}
// A client uses at most kMaxUsed bytes of the block for one batch.  A peer must reject a batch
// with a record that runs past the block or the offset space, or without an end marker.
//
// Handshake: the client reads the link version word at kLinkVersion (at least kMinLinkVersion)
// and the simulator version word at kSimVersion (high 16 bits kSimVersionTag, low 16 bits the
// simulator version: 1 FS98, 2 FS2000, 3 CFS2, 4 CFS1, 5 Fly!, 6 FS2002), and writes its own
// version (16 bits) to kClientVersion.
//
// Offset table (the offset space is kSpace bytes; values little-endian, signed unless stated):
//
// | offset | size | access | variable                 | encoding                                  |
// |--------|------|--------|--------------------------|-------------------------------------------|
// | 0x0020 | 4    | read   | ground elevation         | metres x 256                              |
// | 0x02B8 | 4    | read   | true airspeed            | knots x 128                               |
// | 0x02BC | 4    | read   | indicated airspeed       | knots x 128                               |
// | 0x02C8 | 4    | read   | vertical speed           | metres per second x 256, climbing +       |
// | 0x0366 | 2    | read   | on ground                | 1 on the ground, 0 in the air             |
// | 0x0560 | 8    | read   | latitude                 | degrees x 10001750 x 2^32 / 90, north +   |
// | 0x0568 | 8    | read   | longitude                | degrees x 2^64 / 360, east +              |
// | 0x0570 | 8    | read   | altitude above sea level | metres x 2^32 (upper 32 bits whole metres)|
// | 0x0578 | 4    | read   | pitch                    | degrees x 2^32 / 360, nose up +           |
// | 0x057C | 4    | read   | bank                     | degrees x 2^32 / 360, right wing down +   |
// | 0x0580 | 4    | read   | true heading             | degrees x 2^32 / 360, clockwise from      |
// |        |      |        |                          | north (-180 .. 180 read as signed)        |
// | 0x088C | 2    | r/w    | throttle lever           | 0 closed .. 16384 full (percent x 163.84) |
// | 0x0890 | 2    | r/w    | mixture lever            | 0 idle cut-off .. 16384 full rich         |
// | 0x0BB2 | 2    | r/w    | elevator input           | -16383 .. 16383, positive nose up         |
// | 0x0BB6 | 4    | r/w    | aileron input            | -16383 .. 16383, positive rolls right     |
// | 0x0BBA | 2    | r/w    | rudder input             | -16383 .. 16383, positive yaws right      |
// | 0x0BC0 | 2    | r/w    | elevator trim            | -16383 .. 16383, positive nose up         |
// | 0x0BC8 | 2    | r/w    | parking brake            | 0 released .. 32767 set                   |
// | 0x0C00 | 1    | r/w    | left toe brake           | 0 .. 200 (unsigned)                       |
// | 0x0C01 | 1    | r/w    | right toe brake          | 0 .. 200 (unsigned)                       |
// | 0x3304 | 4    | read   | link version word        | BCD version in the high 16 bits, build    |
// |        |      |        |                          | letter number in the low 16 (unsigned)    |
// | 0x3308 | 4    | read   | simulator version word   | 0xFADE0000 + version (6 = FS2002)         |
// | 0x330A | 2    | write  | client library version   | stored, not used                          |
// | 0x3310 | 4    | read   | simulated time marker    | 0x454D4954 ("TIME") when 0x3314 is served,|
// |        |      |        |                          | 0 from a simulator that does not serve it |
// | 0x3314 | 8    | read   | simulated time           | milliseconds since the simulation started |
// |        |      |        |                          | (unsigned): the time of the state served  |
//
// The mixture is rich at the top of the lever: an engine taking off with the mixture at 0
// percent stops, so "mixture rich" is 100 percent.  Control inputs keep the value written;
// values outside their range act as the range's end.  Every other offset reads back what was
// last written to it (0 at first).
//
// The simulated time stands still while the simulator is paused and runs at its rate (faster or
// slower than the wall clock) otherwise; it is read with the marker in one 12-byte read at
// kSimTimeMarker.  An older simulator leaves both at 0, so a client tells a served time from none
// by the marker alone, and then keeps to its own clock.
//
// Resolution (one raw unit): latitude 2.1e-15 degrees (0.23 nm), longitude 2.0e-17 degrees,
// altitude 2.3e-10 m, angles 8.4e-8 degrees, airspeeds 1/128 knot, vertical speed 1/256 m/s.
// The decoders are exactly the client's conversions: latitude = value x 90 / (10001750 x 2^32),
// longitude = value x 360 / 2^64, angles = value / (2^32 / 360), airspeed = value / 128,
// altitude = value / 2^32 (whose floor is the upper 32 bits).

#include "ipc/Export.h"

#include <cstdint>

namespace ipc::protocol {

/// The registered message and the endpoint class names (the current one first).
inline constexpr const char* kMessageName = "FsasmLib:IPC";
inline constexpr const char* kClassName = "UIPCMAIN";
inline constexpr const char* kOldClassName = "FS98MAIN";
/// printf format of the block's name: process id, then the per-process counter.
inline constexpr const char* kMappingNameFormat = "FsasmLib:IPC:%X:%X";

/// Size of the shared block, and the most a client uses of it for one batch.
inline constexpr std::uint32_t kMapSize = 0x8000;
inline constexpr std::uint32_t kMaxUsed = 0x7F00;

/// Record ids and header sizes.
inline constexpr std::uint32_t kEndId = 0;
inline constexpr std::uint32_t kReadId = 1;
inline constexpr std::uint32_t kWriteId = 2;
inline constexpr std::uint32_t kReadHeader = 16;
inline constexpr std::uint32_t kWriteHeader = 12;

/// The oldest link version word a client accepts, and the tag of the simulator version word.
inline constexpr std::uint32_t kMinLinkVersion = 0x19980005;
inline constexpr std::uint32_t kSimVersionTag = 0xFADE0000;
inline constexpr std::uint32_t kSimVersionTagMask = 0xFFFF0000;
/// The marker at kSimTimeMarker of a simulator that serves its simulated time at kSimTime, and
/// the size of the one read that takes both.
inline constexpr std::uint32_t kSimTimeTag = 0x454D4954; ///< "TIME" in memory order
inline constexpr std::uint32_t kSimTimeRecordSize = 12;

namespace offsets {

inline constexpr std::uint32_t kSpace = 0x10000; ///< size of the offset space

inline constexpr std::uint32_t kGroundElevation = 0x0020;
inline constexpr std::uint32_t kTrueAirspeed = 0x02B8;
inline constexpr std::uint32_t kIndicatedAirspeed = 0x02BC;
inline constexpr std::uint32_t kVerticalSpeed = 0x02C8;
inline constexpr std::uint32_t kOnGround = 0x0366;
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
inline constexpr std::uint32_t kRudder = 0x0BBA;
inline constexpr std::uint32_t kElevatorTrim = 0x0BC0;
inline constexpr std::uint32_t kParkingBrake = 0x0BC8;
inline constexpr std::uint32_t kLeftToeBrake = 0x0C00;
inline constexpr std::uint32_t kRightToeBrake = 0x0C01;
inline constexpr std::uint32_t kLinkVersion = 0x3304;
inline constexpr std::uint32_t kSimVersion = 0x3308;
inline constexpr std::uint32_t kClientVersion = 0x330A;
inline constexpr std::uint32_t kSimTimeMarker = 0x3310;
inline constexpr std::uint32_t kSimTime = 0x3314;

} // namespace offsets

/// Scales: raw units per physical unit.
inline constexpr double kKnotsScale = 128.0;                       ///< airspeeds, per knot
inline constexpr double kVerticalSpeedScale = 256.0;               ///< per metre per second
inline constexpr double kElevationScale = 256.0;                   ///< ground elevation, per metre
inline constexpr double kAngleUnitsPerDegree = 11930464.711111112; ///< 2^32 / 360
inline constexpr double kLatitudeScale = 10001750.0 * 4294967296.0 / 90.0;
inline constexpr double kLongitudeScale = 18446744073709551616.0 / 360.0;
inline constexpr double kAltitudeScale = 4294967296.0; ///< per metre
/// Levers: percent x 163.84, 0 .. kLeverFull.
inline constexpr double kLeverUnitsPerPercent = 163.84;
inline constexpr int kLeverFull = 16384;
/// Elevator, aileron, rudder and trim inputs run -kInputLimit .. kInputLimit.
inline constexpr int kInputLimit = 16383;
/// Parking brake set, toe brakes full.
inline constexpr int kParkingBrakeSet = 32767;
inline constexpr int kToeBrakeFull = 200;

/// Degrees north from the raw latitude.
inline double DecodeLatitude(std::int64_t raw) {
    return static_cast<double>(raw) * 90.0 / (10001750.0 * 4294967296.0);
}
/// Degrees east from the raw longitude.
inline double DecodeLongitude(std::int64_t raw) {
    return static_cast<double>(raw) * 360.0 / 18446744073709551616.0;
}
/// Metres above sea level from the raw altitude (exact for |altitude| < 2^21 m).
inline double DecodeAltitude(std::int64_t raw) {
    return static_cast<double>(raw) / kAltitudeScale;
}
/// Degrees from a raw pitch, bank or heading.
inline double DecodeAngle(std::int32_t raw) {
    return raw / kAngleUnitsPerDegree;
}
/// Knots from a raw airspeed (exact).
inline double DecodeKnots(std::int32_t raw) {
    return raw / kKnotsScale;
}
/// Metres per second from the raw vertical speed (exact).
inline double DecodeVerticalSpeed(std::int32_t raw) {
    return raw / kVerticalSpeedScale;
}

/// Raw latitude of `degrees` (in [-90, 90]), rounded to nearest.
AVILO_IPC_API std::int64_t EncodeLatitude(double degrees);
/// Raw longitude of `degrees` (any value; reduced to [-180, 180), +180 encodes as -180),
/// truncated towards zero.
AVILO_IPC_API std::int64_t EncodeLongitude(double degrees);
/// Raw altitude of `metres` (|metres| < 2^31), rounded to nearest.
AVILO_IPC_API std::int64_t EncodeAltitude(double metres);
/// Raw angle of `degrees` (any value; reduced to [-180, 180), +180 encodes as -180).
AVILO_IPC_API std::int32_t EncodeAngle(double degrees);
/// `value` x `scale` rounded to nearest, limited to the 32-bit range (airspeeds, vertical
/// speed, ground elevation).
AVILO_IPC_API std::int32_t EncodeScaled(double value, double scale);

/// 32-bit little-endian fields of the records.
inline void Put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace ipc::protocol
