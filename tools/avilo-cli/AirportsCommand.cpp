// avilo-cli airports LON LAT: the airports of the neighbourhood of a position, the nearest one and
// its runway entries, each resolved as the airport dialog resolves it.  Reads "airports.xml" from
// the working directory.  Exit 0; 1 when no airport is in the neighbourhood; 2 when the database
// cannot be read or is not one (what is wrong with it on standard error), on a COM-style error
// (its description, else its message, on standard error) or bad arguments.  An airport of the
// neighbourhood without a required attribute, and a runway direction that cannot be resolved,
// are left out with a warning on standard error; the rest lists as usual.  A runway number that
// is not a number is read as atof reads it, with a warning.

#include "Commands.h"

#include <avilo/AirportDb.h>
#include <avilo/PlanDocuments.h>
#include <numbers/Numbers.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

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
        db->load(avilo::kAirportDatabaseFile); // examined below when no airport is found
        std::vector<std::string> warnings;
        const xml::NodeList near = ap::UsableAirports(ap::AirportsNear(db, *lon, *lat), warnings);
        for (const std::string& warning : warnings)
            std::fprintf(stderr, "Warning: %s\n", warning.c_str());
        if (near.length() == 0) {
            // A missing or broken file is not an empty neighbourhood: say what is wrong with it.
            if (const std::string problem = ap::DatabaseProblem(db, avilo::kAirportDatabaseFile);
                !problem.empty()) {
                std::fprintf(stderr, "%s\n", problem.c_str());
                return 2;
            }
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
        // One pass over the runways: entries 2k and 2k + 1 are the two directions of runway k.  A
        // direction that cannot be resolved is left out with a warning; the others still list.
        long k = 0;
        for (const xml::Node& runway : ap::Runways(nearest)) {
            for (const std::string& problem : ap::RunwayNumberProblems(runway, k))
                std::fprintf(stderr, "Warning: %s\n", problem.c_str());
            std::string lastProblem;
            for (const bool opposite : {false, true}) {
                const std::size_t i = static_cast<std::size_t>(2 * k + (opposite ? 1 : 0));
                try {
                    const ap::RunwayDirection d = ap::ResolveRunway(runway, k, opposite);
                    std::printf("%zu\t%s\t%s\t%s\t%s\t%s\t%s\n", i, entries[i].c_str(),
                                d.heading.c_str(), d.magnvar.c_str(), d.elevation.c_str(),
                                d.longitudeText.c_str(), d.latitudeText.c_str());
                } catch (const xml::ComError& e) {
                    if (e.Description() != lastProblem)
                        std::fprintf(stderr, "Warning: %s\n", e.Description().c_str());
                    std::fprintf(stderr, "Warning: runway entry %zu (\"%s\") is not listed.\n", i,
                                 entries[i].c_str());
                    lastProblem = e.Description();
                }
            }
            ++k;
        }
        return 0;
    } catch (const xml::ComError& e) {
        std::fprintf(stderr, "%s\n",
                     (e.Description().empty() ? e.ErrorMessage() : e.Description()).c_str());
        return 2;
    }
}
