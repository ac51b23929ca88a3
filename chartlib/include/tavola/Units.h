// Units and angles: the one home of the factors between degrees and radians, feet and metres,
// knots and metres per second, and of the wrapping of angles, for the chart library and every
// program built on it.
//
// Two families of constants:
//  - exact ones (kPi to double precision, and the definitions of the foot, the nautical mile and
//    the knot), for new code;
//  - the published constants of the chart library's formulas and of the cruise-leg formulas,
//    kept to the precision those formulas state, so that their results are the formulas' own:
//    kChartDegToRad, kChartRadToDeg, kChartHalfPi, kChartQuarterPi (projections, datums,
//    rhumb lines; pi rounded to 12 significant digits, results within 1e-12 relative of the
//    exact factors) and kCruisePi (great-circle formulas; ten decimals, within 3e-11 relative).
#pragma once

#include <cmath>

namespace tavola {

/// Pi to double precision.
inline constexpr double kPi = 3.14159265358979323846;
/// Degrees to radians and back, exact to double precision.
inline constexpr double kDegToRad = kPi / 180.0;
inline constexpr double kRadToDeg = 180.0 / kPi;

/// Published factors of the projection, datum and rhumb-line formulas.
inline constexpr double kChartDegToRad = 0.017453292519944444;
inline constexpr double kChartRadToDeg = 57.29577951307855;
inline constexpr double kChartHalfPi = 1.570796326795;
inline constexpr double kChartQuarterPi = 0.7853981633975;
/// Pi of the great-circle formulas (<tavola/GreatCircle.h>): ten decimals, by definition.
inline constexpr double kCruisePi = 3.1415926535;

/// The international foot, metres (exact).
inline constexpr double kMetresPerFoot = 0.3048;
/// The nautical mile, metres (exact).
inline constexpr double kMetresPerNauticalMile = 1852.0;
/// The knot, metres per second (exact: one nautical mile per hour).
inline constexpr double kMetresPerSecondPerKnot = kMetresPerNauticalMile / 3600.0;
/// The statute mile, metres (exact).
inline constexpr double kMetresPerStatuteMile = 1609.344;
/// Standard gravity, metres per second squared (exact, by definition).
inline constexpr double kStandardGravity = 9.80665;
/// Mean earth radius R1 of the IUGG, metres (Moritz, Geodetic Reference System 1980).
inline constexpr double kMeanEarthRadius = 6371008.8;
/// Length of a quarter meridian, metres: the sphere of the simulator link, on which one degree
/// of latitude is 10,001,750 / 90 = 111,130.6 m (the WGS-84 ellipsoid's quarter meridian is
/// 10,001,965.7 m; against it the sphere errs by 0.002 %).
inline constexpr double kQuarterMeridian = 10001750.0;
inline constexpr double kMetresPerDegreeOfLatitude = kQuarterMeridian / 90.0;

/// An angle reduced to (-180, 180].
/// @param degrees any finite angle, degrees.
/// @return degrees in (-180, 180].
inline double Wrap180(double degrees) {
    degrees = std::fmod(degrees, 360.0);
    if (degrees > 180.0)
        degrees -= 360.0;
    if (degrees <= -180.0)
        degrees += 360.0;
    return degrees;
}

/// An angle reduced to [0, 360).
/// @param degrees any finite angle, degrees.
/// @return degrees in [0, 360).
inline double Wrap360(double degrees) {
    degrees = std::fmod(degrees, 360.0);
    return degrees < 0.0 ? degrees + 360.0 : degrees;
}

} // namespace tavola
