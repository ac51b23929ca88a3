// avilo-cli airports LON LAT: the airports of the neighbourhood of a position, the nearest one and
// its runway entries, each resolved as the airport dialog resolves it.  Reads "airports.xml" from
// the working directory.  Exit 0; 1 when no airport is in the neighbourhood; 2 on a COM-style
// error (its message on standard error) or bad arguments.

#include "Commands.h"

#include <avilo/AirportDb.h>
#include <avilo/PlanDocuments.h>
#include <numbers/Numbers.h>

#include <cstdio>
#include <optional>

int RunAirports(const Args& args) {
    namespace ap = avilo::airports;
    const auto lon = args.size() == 2 ? numbers::Parse(args[0]) : std::nullopt;
    const auto lat = args.size() == 2 ? numbers::Parse(args[1]) : std::nullopt;
    if (!lon || !lat) {
        std::fputs("usage: avilo-cli airports LON LAT   (decimal degrees, east and north "
                   "positive)\n",
                   stderr);
        return 2;
    }
    try {
        auto db = xml::Document::Create();
        db->load(avilo::kAirportDatabaseFile); // a missing database has no airports
        const xml::NodeList near = ap::AirportsNear(db, *lon, *lat);
        if (near.length() == 0) {
            std::fputs("There is no airport in the neighborhood!\n", stderr);
            return 1;
        }
        std::printf("neighbourhood\t%ld\n", near.length());
        for (const xml::Node& airport : near)
            std::printf("%s\t%s\t%s\t%s\n", airport.getAttribute("name").c_str(),
                        airport.getAttribute("ICAO").c_str(),
                        airport.getAttribute("GPSLon").c_str(),
                        airport.getAttribute("GPSLat").c_str());
        const xml::Node nearest = ap::NearestAirport(near, *lon, *lat);
        if (nearest.empty()) { // every airport of the box lies 400 degrees away or more
            std::fputs("There is no airport in the neighborhood!\n", stderr);
            return 1;
        }
        std::printf("nearest\t%s\t%s\n", nearest.getAttribute("name").c_str(),
                    nearest.getAttribute("ICAO").c_str());
        const std::vector<std::string> entries = ap::RunwayEntries(nearest);
        std::printf("runways\t%zu\n", entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto d = ap::ResolveRunwayEntry(nearest, static_cast<long>(i));
            std::printf("%zu\t%s\t%s\t%s\t%s\t%s\t%s\n", i, entries[i].c_str(), d->heading.c_str(),
                        d->magnvar.c_str(), d->elevation.c_str(), d->longitudeText.c_str(),
                        d->latitudeText.c_str());
        }
        return 0;
    } catch (const xml::ComError& e) {
        std::fprintf(stderr, "%s\n", e.ErrorMessage().c_str());
        return 2;
    }
}
