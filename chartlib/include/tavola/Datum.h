// Reference ellipsoids, geodetic datums and the conversions between them.
//
// Tables: 18 reference ellipsoids given as differences from WGS-84 and 120 datums, each with
// its ellipsoid and its three-parameter shift (dX, dY, dZ, metres) to WGS-84.
//
// Formulas:
//  - datum_to_WGS / WGS_to_datum: the standard Molodensky transformation (DMA TR 8350.2,
//    section 7.3).  Accuracy is that of a three-parameter shift, typically 1 to 25 m against
//    a full seven-parameter transformation; the formulas themselves add well under 1 m.
//  - llhxyz: geodetic to earth-centred, earth-fixed Cartesian coordinates (exact).
//  - xyzllh: Bowring's closed form (Bowring 1976); better than 1 mm for heights within
//    10 km of the ellipsoid.
//
// Units: latitude and longitude in decimal degrees (north and east positive), heights and
// Cartesian coordinates in metres.  Datum arguments are indices 0..119 into the datum table;
// other values are not valid input.  Latitudes must lie strictly between -90 and 90 degrees
// (the longitude shift and xyzllh's height divide by cos(latitude)).
#pragma once

#include <tavola/Export.h>

namespace tavola {

// WGS-84 semi-major axis (m) and flattening.
inline constexpr double kWgs84A = 6378137.0;
inline constexpr double kWgs84F = 0.0033528106647474805;

inline constexpr int kEllipsoidCount = 18;
inline constexpr int kDatumCount = 120;
inline constexpr int kDatumWgs84 = 117;
inline constexpr int kDatumWgs72 = 116;

// One reference ellipsoid as WGS-84 minus the ellipsoid: a = 6378137 - da,
// f = 0.0033528106647474805 - 1e-4 * df.
struct Ellipsoid {
    const char* name;
    double da; // metres
    double df; // flattening difference x 10^4
};

// One geodetic datum: name, ellipsoid index, shift from the datum to WGS-84 in metres.
struct Datum {
    const char* name;
    int ellipsoid;
    int dx, dy, dz;
};

extern TAVOLA_API const Ellipsoid kEllipsoids[kEllipsoidCount];
extern TAVOLA_API const Datum kDatums[kDatumCount];

// Semi-major axis (m) and flattening of the ellipsoid of datum `datum`.
TAVOLA_API double DatumA(int datum);
TAVOLA_API double DatumF(int datum);

} // namespace tavola

// Shifts a position given on `datum` to WGS-84, in place (standard Molodensky).
// latitude, longitude: degrees; height: metres above the datum's ellipsoid.
TAVOLA_API void datum_to_WGS(double* latitude, double* longitude, double* height, int datum);

// Shifts a WGS-84 position to `datum`, in place (standard Molodensky, reverse direction).
TAVOLA_API void WGS_to_datum(double* latitude, double* longitude, double* height, int datum);

// Geodetic (degrees, metres) to earth-centred Cartesian (metres) on the datum's ellipsoid.
TAVOLA_API void llhxyz(double latitude, double longitude, double height, int datum, double* x,
                       double* y, double* z);

// Earth-centred Cartesian (metres) to geodetic (degrees, metres) on the datum's ellipsoid,
// by Bowring's closed form.
TAVOLA_API void xyzllh(double x, double y, double z, int datum, double* latitude, double* longitude,
                       double* height);

// Shifts Cartesian coordinates (metres) from `fromDatum` to `toDatum`, in place, by the
// difference of the two datums' shifts to WGS-84.
TAVOLA_API void shxyz(int fromDatum, int toDatum, double* x, double* y, double* z);
