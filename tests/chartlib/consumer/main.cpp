// Another project's program on the installed chart library: opens a chart, converts one of
// its reference points both ways and measures a distance.  Every public header is included,
// so that each must compile from the install prefix alone.
#include <tavola/Datum.h>
#include <tavola/Export.h>
#include <tavola/GeoRec.h>
#include <tavola/GreatCircle.h>
#include <tavola/LocalPlane.h>
#include <tavola/Navigation.h>
#include <tavola/NosWriter.h>
#include <tavola/Polynomial.h>
#include <tavola/ProjectedGeoref.h>
#include <tavola/Projection.h>
#include <tavola/ReferenceFile.h>
#include <tavola/Tavola.h>
#include <tavola/Units.h>

#include <cmath>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tavola_consumer CHART.nos\n";
        return 2;
    }
    CTavola chart;
    if (!chart.OpenTavola(argv[1], 0)) {
        std::cerr << argv[1] << ": " << chart.GetLastError() << "\n";
        return 1;
    }
    // Point2 of the sample chart: column 1692, row 525 is 4.792961857 E 53.140998957 N.
    const CGEORec& geo = *chart.GetBaseGeoRec();
    double lon = 0, lat = 0, x = 0, y = 0;
    geo.pwxy(1692, 525, &lon, &lat);
    geo.wpxy(4.792961857, 53.140998957, &x, &y);
    const double miles = m_distance(lat, lon, 52.3086, 4.7639); // to Schiphol
    std::cout << "Point2 " << lon << " " << lat << " pixel " << x << " " << y << " Schiphol "
              << miles << " NM\n";
    const bool ok = std::fabs(lon - 4.792961857) < 1e-5 && std::fabs(lat - 53.140998957) < 1e-5 &&
                    std::fabs(x - 1692) < 0.01 && std::fabs(y - 525) < 0.01 && miles > 49 &&
                    miles < 51;
    chart.CloseTavola();
    return ok ? 0 : 1;
}
