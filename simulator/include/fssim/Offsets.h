#pragma once
// The simulator's offset table: where each variable lives in the 64 KiB offset space the link
// reads and writes, its size, scale and sign.  All values little-endian, signed unless stated.
//
// | offset | size | access | variable                 | encoding                                  |
// |--------|------|--------|--------------------------|-------------------------------------------|
// | 0x0020 | 4    | read   | ground elevation         | metres x 256                              |
// | 0x02B8 | 4    | read   | true airspeed            | knots x 128                               |
// | 0x02BC | 4    | read   | indicated airspeed       | knots x 128                               |
// | 0x02C8 | 4    | read   | vertical speed           | metres per second x 256, climbing         |
// |        |      |        |                          | positive                                  |
// | 0x0366 | 2    | read   | on ground                | 1 on the ground, 0 in the air             |
// | 0x0560 | 8    | read   | latitude                 | degrees x 10001750 x 2^32 / 90, north +   |
// | 0x0568 | 8    | read   | longitude                | degrees x 2^64 / 360, east +              |
// | 0x0570 | 8    | read   | altitude above sea level | metres x 2^32 (upper 32 bits whole        |
// |        |      |        |                          | metres)                                   |
// | 0x0578 | 4    | read   | pitch                    | degrees x 2^32 / 360, nose up positive    |
// | 0x057C | 4    | read   | bank                     | degrees x 2^32 / 360, right wing down +   |
// | 0x0580 | 4    | read   | true heading             | degrees x 2^32 / 360 (0 to 360 as         |
// |        |      |        |                          | unsigned; read as signed, -180 to 180)    |
// | 0x088C | 2    | r/w    | throttle lever           | 0 closed .. 16384 full (percent x 163.84) |
// | 0x0890 | 2    | r/w    | mixture lever            | 0 idle cut-off .. 16384 FULL RICH         |
// | 0x0BB2 | 2    | r/w    | elevator input           | -16383 .. 16383, positive nose up         |
// | 0x0BB6 | 4    | r/w    | aileron input            | -16383 .. 16383, positive rolls right     |
// | 0x0BBA | 2    | r/w    | rudder input             | -16383 .. 16383, positive yaws right      |
// |        |      |        |                          | (right pedal)                             |
// | 0x0BC0 | 2    | r/w    | elevator trim            | -16383 .. 16383, positive nose up         |
// | 0x0BC8 | 2    | r/w    | parking brake            | 0 released .. 32767 set                   |
// | 0x0C00 | 1    | r/w    | left toe brake           | 0 .. 200 (unsigned)                       |
// | 0x0C01 | 1    | r/w    | right toe brake          | 0 .. 200 (unsigned)                       |
// | 0x3304 | 4    | read   | link version word        | BCD version in the high 16 bits, build    |
// |        |      |        |                          | letter number in the low 16 (unsigned)    |
// | 0x3308 | 4    | read   | simulator version word   | 0xFADE0000 + version (6 = FS2002)         |
// | 0x330A | 2    | write  | client library version   | stored, not used                          |
//
// The mixture is rich at the top of the lever (16384, 100 percent): an engine taking off with
// the mixture at 0 percent stops, so the take-off's "mixture rich" must pass 100 percent.  The
// engine gives full power from 60 % of the lever up and nothing below 10 % (idle cut-off).
//
// The builtin model is laterally neutral: its rudder input is kept but moves nothing (unless the
// aircraft is given a rudder skid rate); its trim adds to the elevator input.  On JSBSim's 172 the
// rudder is the rudder and nose-wheel steering, the trim is the elevator trim tab.
//
// Control inputs keep the value written (as the offset memory does); values outside their range
// act as the range's end.  Every other offset reads back what was last written to it (0 at
// first).

#include <cstdint>

namespace fssim::offsets {

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

/// Scales.
inline constexpr double kKnotsScale = 128.0;
inline constexpr double kAngleScale = 4294967296.0 / 360.0; // 11930464.711111112 per degree
inline constexpr double kLatitudeScale = 10001750.0 * 4294967296.0 / 90.0;
inline constexpr double kLongitudeScale = 18446744073709551616.0 / 360.0;
inline constexpr double kMetresScale = 4294967296.0;

/// Encodings of the state variables (the inverse of what a client computes).
std::int64_t EncodeLatitude(double degrees);
std::int64_t EncodeLongitude(double degrees);
std::int64_t EncodeAltitude(double metres);
std::int32_t EncodeAngle(double degrees); ///< wraps to -180..180 first
double DecodeLatitude(std::int64_t raw);
double DecodeLongitude(std::int64_t raw);
double DecodeAngle(std::int32_t raw);

} // namespace fssim::offsets
