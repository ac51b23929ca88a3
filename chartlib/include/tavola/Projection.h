// Ellipsoidal map projections: Mercator, polyconic, transverse Mercator and Lambert
// conformal conic, forward and inverse, and a dispatcher over projection kinds.
//
// Formulas: USGS Professional Paper 1395 (Snyder, "Map Projections - A Working Manual", 1987):
//  - Mercator: equations 7-7 (forward) and 7-9 (inverse, iterated).  The scale factor of
//    the latitude of true scale (entry 8) is stored but not applied.
//  - Polyconic: 18-1 to 18-3 (forward) and 18-17 to 18-19 (Newton iteration, inverse).
//  - Transverse Mercator: 8-9, 8-10, 8-12 to 8-18, k0 = 0.9996, no false easting or northing.
//    The series is accurate to about 1 mm within 3 degrees of the central meridian and
//    degrades to metres some 10 degrees away.
//  - Lambert conformal conic: 15-1 to 15-11 and 14-15 (at most 20 iterations inverse).
// Accuracy: the forward formulas are closed forms (Mercator, Lambert, polyconic exact to
// rounding); inverses converge to 1e-7 degree (Mercator) or 1e-7 radian (polyconic, Lambert),
// that is about 1 cm and 0.6 m on the ground.
//
// Units: every function takes and returns angles in degrees and lengths in metres; inside
// tagPPARMS angles are stored in radians.  Kinds: 0 none, 1 Mercator, 2 polyconic,
// 3 transverse Mercator, 4 Lambert conformal conic.  Datum indices are 0..119 (see
// <tavola/Datum.h>); only the datum's ellipsoid is used.
#pragma once

#include <tavola/Export.h>

// Projection parameters, 20 doubles (angles in radians).
struct tagPPARMS {
    double a;       // 0: semi-major axis, metres
    double f;       // 1: flattening
    double e;       // 2: eccentricity
    double e2;      // 3: e^2
    double e4;      // 4: e^4
    double e6;      // 5: e^6
    double phi0;    // 6: latitude of origin (Mercator: latitude of true scale)
    double lambda0; // 7: central meridian
    double mercK;   // 8: Mercator: cos(phi0) / sqrt(1 - e^2 sin^2 phi0)
    double polyM0;  // 9: polyconic: meridian distance of phi0
    double tmM0;    // 10: transverse Mercator: meridian distance of phi0
    double tmEp2;   // 11: transverse Mercator: e'^2 = e^2 / (1 - e^2)
    double tmE1;    // 12: transverse Mercator: e1
    double tmA0;    // 13: transverse Mercator: A0
    double tmA2;    // 14: transverse Mercator: A2
    double tmA4;    // 15: transverse Mercator: A4
    double tmA6;    // 16: transverse Mercator: A6
    double lccF;    // 17: Lambert: F
    double lccN;    // 18: Lambert: n
    double lccRho0; // 19: Lambert: rho0
};

namespace tavola {
// Projection kinds.
enum ProjectionKind {
    kProjNone = 0,
    kProjMercator = 1,
    kProjPolyconic = 2,
    kProjTM = 3,
    kProjLambert = 4
};
// The record that stands for a null parameter pointer: WGS-84, phi0 = lambda0 = 0.
extern TAVOLA_API const tagPPARMS kDefaultPParms;
// Most iterations any inverse performs; converging inputs need fewer than 20.
inline constexpr int kMaxInverseIterations = 1000;
} // namespace tavola

// Fill the ellipsoid part of parms from the datum table entry `datum`, then call the kind's
// initialiser with (p1, p2) (Lambert: both standard parallels at p1).  Null parms: nothing.
TAVOLA_API void project_init(int kind, double p1, double p2, int datum, tagPPARMS* parms);
// As project_init; Lambert gets standard parallels p3 and p4.
TAVOLA_API void project_init2(int kind, double p1, double p2, double p3, double p4, int datum,
                              tagPPARMS* parms);
// Forward projection of (latitude, longitude) in degrees to (easting, northing) in metres.
// A null parms uses the default WGS-84 record; a kind outside 1..4 leaves the outputs alone.
TAVOLA_API void project_f(int kind, const tagPPARMS* parms, double latitude, double longitude,
                          double* easting, double* northing);
// Inverse projection of (easting, northing) in metres to (latitude, longitude) in degrees.
TAVOLA_API void project_i(int kind, const tagPPARMS* parms, double easting, double northing,
                          double* latitude, double* longitude);

// Meridian distance (metres) of latitude phi (radians) on the ellipsoid of parms.
TAVOLA_API double meridian_distance(const tagPPARMS* parms, double phi);

TAVOLA_API void mercator_init(double phi0, double lambda0, tagPPARMS* parms);
TAVOLA_API void mercator_f(const tagPPARMS* parms, double latitude, double longitude,
                           double* easting, double* northing);
TAVOLA_API void mercator_i(const tagPPARMS* parms, double easting, double northing,
                           double* latitude, double* longitude);

TAVOLA_API void polyconic_init(double phi0, double lambda0, tagPPARMS* parms);
TAVOLA_API void polyconic_f(const tagPPARMS* parms, double latitude, double longitude,
                            double* easting, double* northing);
TAVOLA_API void polyconic_i(const tagPPARMS* parms, double easting, double northing,
                            double* latitude, double* longitude);

TAVOLA_API void utm_init(double phi0, double lambda0, tagPPARMS* parms);
TAVOLA_API void utm_f(const tagPPARMS* parms, double latitude, double longitude, double* easting,
                      double* northing);
TAVOLA_API void utm_i(const tagPPARMS* parms, double easting, double northing, double* latitude,
                      double* longitude);

// phi0: latitude of origin, lambda0: central meridian, phi1, phi2: standard parallels.
TAVOLA_API void lambert_init(double phi0, double lambda0, double phi1, double phi2,
                             tagPPARMS* parms);
TAVOLA_API void lambert_f(const tagPPARMS* parms, double latitude, double longitude,
                          double* easting, double* northing);
TAVOLA_API void lambert_i(const tagPPARMS* parms, double easting, double northing, double* latitude,
                          double* longitude);
