// Ellipsoid and datum tables; Molodensky shifts; geodetic <-> Cartesian conversions.
#include <tavola/Datum.h>
#include <tavola/Units.h>

#include <cmath>

namespace tavola {

const Ellipsoid kEllipsoids[kEllipsoidCount] = {
    {"Airy 1830", 573.604, 0.11960023},
    {"Australian National", -23.0, -0.00081204},
    {"Bessel 1841", 739.845, 0.10037483},
    {"Bessel 1841 (Namibia)", 653.135, 0.10037483},
    {"Clarke 1866", -69.4, -0.37264639},
    {"Clarke 1880", -112.145, -0.54750714},
    {"Everest", 860.655, 0.28361368},
    {"GRS 80", 0.0, -1.6e-07},
    {"Helmert 1906", -63.0, 0.00480795},
    {"Hough", -133.0, -0.14192702},
    {"International 1924", -251.0, -0.14192702},
    {"Krassovsky", -108.0, 0.00480795},
    {"Modified Airy", 796.811, 0.11960023},
    {"Modified Everest", 832.937, 0.28361368},
    {"Modified Fischer 1960", -18.0, 0.00480795},
    {"South American 1969", -23.0, -0.00081204},
    {"WGS 72", 2.0, 0.0003121057},
    {"WGS 84", 0.0, 0.0},
};

const Datum kDatums[kDatumCount] = {
    {"AFG", 11, -43, -163, 45},
    {"Ain_El_Abd_1970", 10, -150, -251, -2},
    {"Alaska_(NAD-27)", 4, -5, 135, 172},
    {"Alaska/Canada_NAD-27", 4, -9, 151, 185},
    {"Anna_1_Astro_1965", 1, -491, -22, 435},
    {"ARC-1950_mean", 5, -143, -90, -294},
    {"ARC-1960_mean", 5, -160, -8, -300},
    {"Ascension_Island_'58", 10, -207, 107, 52},
    {"Astro_B4_Sor.Atoll", 10, 114, -116, -333},
    {"Astro_Beacon_\"E\"", 10, 145, 75, -272},
    {"Astro_Pos_71/4", 10, -320, 550, -494},
    {"Astronomic_Stn._'52", 10, 124, -234, -25},
    {"Australian_Geodetic_1984", 1, -134, -48, 149},
    {"Bahamas_(NAD-27)", 4, -4, 154, 178},
    {"Bellevue_(IGN)", 10, -127, -769, 472},
    {"Bermuda_1957", 4, -73, 213, 296},
    {"Bogota_Observatory", 10, 307, 304, -318},
    {"Bukit_Rimpah", 2, -384, 664, -48},
    {"Camp_Area_Astro", 10, -104, -129, 239},
    {"Campo_Inchauspe", 10, -148, 136, 90},
    {"Canada_Mean_(NAD27)", 4, -10, 158, 187},
    {"Canal_Zone_(NAD27)", 4, 0, 125, 201},
    {"Canton_Island_1966", 10, 298, -304, -375},
    {"Cape", 5, -136, -108, -292},
    {"Cape_Canaveral_mean", 4, -2, 150, 181},
    {"Carribean_(NAD27)", 4, -7, 152, 178},
    {"Carthage", 5, -263, 6, 431},
    {"Central_America_(NAD27)", 4, 0, 125, 194},
    {"Chatham_1971", 10, 175, -38, 113},
    {"Chua_Astro", 10, -134, 229, -29},
    {"Corrego_Alegre", 10, -206, 172, -6},
    {"Corrego_Alegre_(Provisional)", 10, -206, 172, -6},
    {"Cuba_(NAD27)", 4, -9, 152, 178},
    {"Cyprus", 10, -104, -101, -140},
    {"Djakarta(Batavia)", 2, -377, 681, -50},
    {"DOS_1968", 10, 230, -199, -752},
    {"Easter_lsland_1967", 10, 211, 147, 111},
    {"Egypt", 10, -130, -117, -151},
    {"European_1950", 10, -87, -96, -120},
    {"European_1950_mean", 10, -87, -98, -121},
    {"European_1979_mean", 10, -86, -98, -119},
    {"Finnish_Nautical_Chart", 10, -78, -231, -97},
    {"Gandajika_Base", 10, -133, -321, 50},
    {"Geodetic_Datum_'49", 10, 84, -22, 209},
    {"Ghana", 17, 0, 0, 0},
    {"Greenland_(NAD27)", 4, 11, 114, 195},
    {"Guam_1963", 4, -100, -248, 259},
    {"Gunung_Segara", 2, -403, 684, 41},
    {"Gunung_Serindung_1962", 17, 0, 0, 0},
    {"GUX_1_Astro", 10, 252, -209, -751},
    {"Herat_North", 10, -333, -222, 114},
    {"Hjorsey_1955", 10, -73, 46, -86},
    {"Hong_Kong_1963", 10, -156, -271, -189},
    {"Hu-Tzu-Shan", 10, -634, -549, -201},
    {"Indian", 6, 289, 734, 257},
    {"Iran", 10, -117, -132, -164},
    {"Ireland_1965", 12, 506, -122, 611},
    {"ISTS_073_Astro_'69", 10, 208, -435, -229},
    {"Johnston_Island_'61", 10, 191, -77, -204},
    {"Kandawala", 6, -97, 787, 86},
    {"Kerguelen_Island", 10, 145, -187, 103},
    {"Kertau_'48", 13, -11, 851, 5},
    {"L.C._5_Astro", 4, 42, 124, 147},
    {"La_Reunion", 10, -94, -948, -1262},
    {"Liberia_1964", 5, -90, 40, 88},
    {"Luzon", 4, -133, -77, -51},
    {"Mahe_1971", 5, 41, -220, -134},
    {"Marco_Astro", 10, -289, -124, 60},
    {"Masirah_Is._(Nahrwan)", 5, -247, -148, 369},
    {"Massawa", 2, 639, 405, 60},
    {"Merchich", 5, 31, 146, 47},
    {"Mexico_(NAD27)", 4, -12, 130, 190},
    {"Midway_Astro_'61", 10, 912, -58, 1227},
    {"Mindanao", 4, -133, -79, -72},
    {"Minna", 5, -92, -93, 122},
    {"Montjong_Lowe", 17, 0, 0, 0},
    {"Nahrwan", 5, -231, -196, 482},
    {"Naparima_BWI", 10, -2, 374, 172},
    {"North_America_'83", 7, 0, 0, 0},
    {"North_America_1927_mean", 4, -8, 160, 176},
    {"Observatorio_1966", 10, -425, -169, 81},
    {"Old_Egyptian", 8, -130, 110, -13},
    {"Old_Hawaiian_mean", 4, 89, -279, -183},
    {"Old_Hawaiian_Kauai", 4, 45, -290, -172},
    {"Old_Hawaiian_Maui", 4, 65, -290, -190},
    {"Old_Hawaiian_Oahu", 4, 56, -284, -181},
    {"Oman", 5, -346, -1, 224},
    {"Ordnance_Survey_of_Great_Britain_'36", 0, 375, -111, 431},
    {"Pico_De_Las_Nieves", 10, -307, -92, 127},
    {"Pitcairn_Astro_'67", 10, 185, 165, 42},
    {"Provisional_South_American_1956_mean", 10, -288, 175, -376},
    {"Provisional_South_Chilean_1963", 10, 16, 196, 93},
    {"Puerto_Rico", 4, 11, 72, -101},
    {"Qornoq", 10, 164, 138, -189},
    {"Quatar_National", 10, -128, -283, 22},
    {"Rome_1940", 10, -225, -65, 9},
    {"S.E.Asia_(Indian)", 6, 173, 750, 264},
    {"SAD-69/Brazil", 15, -60, -2, -41},
    {"Santa_Braz", 10, -203, 141, 53},
    {"Santo_(DOS)", 10, 170, 42, 84},
    {"Sapper_Hill_'43", 10, -355, 16, 74},
    {"Schwarzeck", 3, 616, 97, -251},
    {"Sicily", 10, -97, -88, -135},
    {"Sierra_Leone_1960", 17, 0, 0, 0},
    {"South_American_1969_mean", 15, -57, 1, -41},
    {"South_Asia", 14, 7, -10, -26},
    {"Southeast_Base", 10, -499, -249, 314},
    {"Southwest_Base", 10, -104, 167, -38},
    {"Tananarive_Observatory_'25", 10, -189, -242, -91},
    {"Thai/Viet_(Indian)", 6, 214, 836, 303},
    {"Timbalai_1948", 6, -689, 691, -45},
    {"Tokyo_mean", 2, -128, 481, 664},
    {"Tristan_Astro_1968", 10, -632, 438, -609},
    {"Unites_Arab_Emirates_(Nahrwan)", 5, -249, -156, 381},
    {"Viti_Levu_1916", 5, 51, 391, -36},
    {"Wake-Eniwetok_'60", 9, 101, 52, -39},
    {"WGS-72", 16, 0, 0, 5},
    {"WGS-84", 17, 0, 0, 0},
    {"Yacare", 10, -155, 171, 37},
    {"Zanderij", 10, -265, 120, -358},
};

double DatumA(int datum) {
    return kWgs84A - kEllipsoids[kDatums[datum].ellipsoid].da;
}
double DatumF(int datum) {
    return kWgs84F - 1e-4 * kEllipsoids[kDatums[datum].ellipsoid].df;
}

namespace {

// Standard Molodensky shift from a source ellipsoid (a, f) by (dx, dy, dz) to a target
// ellipsoid that differs by da = a_target - a_source and df = f_target - f_source.
void Molodensky(double* latitude, double* longitude, double* height, double a, double f, double da,
                double df, double dx, double dy, double dz) {
    const double phi = *latitude * kChartDegToRad;
    const double lam = *longitude * kChartDegToRad;
    const double h = *height;
    const double e2 = 2.0 * f - f * f;
    const double sinPhi = std::sin(phi), cosPhi = std::cos(phi);
    const double sinLam = std::sin(lam), cosLam = std::cos(lam);
    const double w2 = 1.0 - e2 * sinPhi * sinPhi;
    const double rn = a / std::sqrt(w2);
    const double rm = a * (1.0 - e2) / std::pow(w2, 1.5);

    const double dPhi = (-dx * sinPhi * cosLam - dy * sinPhi * sinLam + dz * cosPhi +
                         da * rn * e2 * sinPhi * cosPhi / a +
                         df * (rm / (1.0 - f) + rn * (1.0 - f)) * sinPhi * cosPhi) /
                        (rm + h);
    const double dLam = (-dx * sinLam + dy * cosLam) / ((rn + h) * cosPhi);
    const double dH = dx * cosPhi * cosLam + dy * cosPhi * sinLam + dz * sinPhi - da * a / rn +
                      df * (1.0 - f) * rn * sinPhi * sinPhi;

    *latitude = (phi + dPhi) * kChartRadToDeg;
    *longitude = (lam + dLam) * kChartRadToDeg;
    *height = h + dH;
}

} // namespace
} // namespace tavola

using namespace tavola;

void datum_to_WGS(double* latitude, double* longitude, double* height, int datum) {
    const double a = DatumA(datum), f = DatumF(datum);
    const Datum& d = kDatums[datum];
    Molodensky(latitude, longitude, height, a, f, kWgs84A - a, kWgs84F - f, d.dx, d.dy, d.dz);
}

void WGS_to_datum(double* latitude, double* longitude, double* height, int datum) {
    const double a = DatumA(datum), f = DatumF(datum);
    const Datum& d = kDatums[datum];
    Molodensky(latitude, longitude, height, kWgs84A, kWgs84F, a - kWgs84A, f - kWgs84F, -d.dx,
               -d.dy, -d.dz);
}

void llhxyz(double latitude, double longitude, double height, int datum, double* x, double* y,
            double* z) {
    const double a = DatumA(datum), f = DatumF(datum);
    const double e2 = 2.0 * f - f * f;
    const double phi = latitude * kChartDegToRad, lam = longitude * kChartDegToRad;
    const double sinPhi = std::sin(phi);
    const double n = a / std::sqrt(1.0 - e2 * sinPhi * sinPhi);
    *x = (n + height) * std::cos(phi) * std::cos(lam);
    *y = (n + height) * std::cos(phi) * std::sin(lam);
    *z = (n * (1.0 - e2) + height) * sinPhi;
}

void xyzllh(double x, double y, double z, int datum, double* latitude, double* longitude,
            double* height) {
    const double a = DatumA(datum), f = DatumF(datum);
    const double b = a - f * a;
    const double e2 = 2.0 * f - f * f;
    const double p = std::sqrt(x * x + y * y);
    const double theta = std::atan(z * a / (p * b));
    const double st = std::sin(theta), ct = std::cos(theta);
    const double phi = std::atan((z + ((a * a - b * b) / (b * b)) * b * st * st * st) /
                                 (p - e2 * a * ct * ct * ct));
    const double lam = std::atan2(y, x);
    const double sinPhi = std::sin(phi);
    *height = p / std::cos(phi) - a / std::sqrt(1.0 - e2 * sinPhi * sinPhi);
    *latitude = phi * kChartRadToDeg;
    *longitude = lam * kChartRadToDeg;
}

void shxyz(int fromDatum, int toDatum, double* x, double* y, double* z) {
    const Datum& from = kDatums[fromDatum];
    const Datum& to = kDatums[toDatum];
    *x += from.dx - to.dx;
    *y += from.dy - to.dy;
    *z += from.dz - to.dz;
}
