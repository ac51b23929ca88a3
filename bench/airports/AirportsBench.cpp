// The neighbourhood query plus the nearest-airport choice on the world airport database, as the
// airport dialog makes it (XPath over the DOM), side by side with a plain scan over the same
// coordinates held in memory: the floor for this selection.
//
//   build/bin/bench_airports
//
// Positions: Amsterdam (about 1,600 airports in the box) and 90W 38N (about 7,700).
//
// Also: listing all runway entries of an airport with up to 10,000 runways, in one pass against
// entry by entry.

#include <avilo/AirportDb.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Airport {
    double lon;
    double lat;
};

const xml::DocumentPtr& Database() {
    static const xml::DocumentPtr db = [] {
        auto doc = xml::Document::Create();
        if (!doc->load(std::string(AVILO_DATA_DIR) + "/airports.xml"))
            std::abort();
        return doc;
    }();
    return db;
}

const std::vector<Airport>& Coordinates() {
    static const std::vector<Airport> all = [] {
        std::vector<Airport> v;
        for (const xml::Node& a : Database()->selectNodes("/airportdb/airport"))
            v.push_back({std::atof(a.getAttribute("GPSLon").c_str()),
                         std::atof(a.getAttribute("GPSLat").c_str())});
        return v;
    }();
    return all;
}

// The query evaluated by XPath over the DOM, as written.
void XPathQuery(benchmark::State& state, double lon, double lat) {
    const auto& db = Database();
    long found = 0;
    for (auto _ : state) {
        const xml::NodeList near = avilo::airports::AirportsNearByXPath(db, lon, lat);
        const xml::Node nearest = avilo::airports::NearestAirport(near, lon, lat);
        benchmark::DoNotOptimize(nearest);
        found = near.length();
    }
    state.counters["airports"] = static_cast<double>(found);
}

// The product's way: the same selection over the index kept with the document.
void IndexedQuery(benchmark::State& state, double lon, double lat) {
    const auto& db = Database();
    long found = 0;
    for (auto _ : state) {
        const xml::NodeList near = avilo::airports::AirportsNear(db, lon, lat);
        const xml::Node nearest = avilo::airports::NearestAirport(near, lon, lat);
        benchmark::DoNotOptimize(nearest);
        found = near.length();
    }
    state.counters["airports"] = static_cast<double>(found);
}

void PlainScan(benchmark::State& state, double lon, double lat) {
    const auto& all = Coordinates();
    long found = 0;
    for (auto _ : state) {
        std::vector<const Airport*> near;
        for (const Airport& a : all)
            if (a.lon >= lon - 10 && a.lon <= lon + 10 && a.lat >= lat - 10 && a.lat <= lat + 10)
                near.push_back(&a);
        double best = avilo::airports::kNoAirportDistance;
        const Airport* nearest = nullptr;
        for (const Airport* a : near) {
            const double d = std::hypot(a->lon - lon, a->lat - lat);
            if (d < best) {
                best = d;
                nearest = a;
            }
        }
        benchmark::DoNotOptimize(nearest);
        found = static_cast<long>(near.size());
    }
    state.counters["airports"] = static_cast<double>(found);
}

BENCHMARK_CAPTURE(XPathQuery, Amsterdam, 4.7637, 52.3086)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(IndexedQuery, Amsterdam, 4.7637, 52.3086)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainScan, Amsterdam, 4.7637, 52.3086)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(XPathQuery, CentralUSA, -90.0, 38.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(IndexedQuery, CentralUSA, -90.0, 38.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainScan, CentralUSA, -90.0, 38.0)->Unit(benchmark::kMillisecond);

// The first query of a session also builds the index.
void FirstIndexedQuery(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto db = xml::Document::Create();
        db->load(std::string(AVILO_DATA_DIR) + "/airports.xml");
        state.ResumeTiming();
        benchmark::DoNotOptimize(avilo::airports::AirportsNear(db, 4.7637, 52.3086));
    }
}
BENCHMARK(FirstIndexedQuery)->Unit(benchmark::kMillisecond)->Iterations(5);

// Listing every runway entry of one airport with its resolved direction, as `avilo-cli airports`
// does for the nearest airport: in one pass over the runways (the product's way), and entry by
// entry through ResolveRunwayEntry, which looks the runway up among all of the airport's runways
// each time (quadratic: the peer this is measured against).  The complexity fit shows the order.
xml::DocumentPtr AirportWithRunways(long count) {
    std::string text = R"(<airportdb><airport name="Big" ICAO="BIGG" GPSLon="1" GPSLat="1">)";
    for (long i = 0; i < count; ++i)
        text += "<runway heading=\"" + std::to_string(i % 360) +
                R"(" magnvar="1.5" elevation="12"><GPSRwyStart><longitude>1.1</longitude>)"
                "<latitude>1.2</latitude></GPSRwyStart><GPSRwyEnd><longitude>1.3</longitude>"
                "<latitude>1.4</latitude></GPSRwyEnd></runway>";
    text += "</airport></airportdb>";
    auto doc = xml::Document::Create();
    if (!doc->loadXML(text))
        std::abort();
    return doc;
}

void ListRunwaysOnePass(benchmark::State& state) {
    const auto db = AirportWithRunways(state.range(0));
    const xml::Node airport = db->documentElement().firstChild();
    for (auto _ : state) {
        const std::vector<std::string> entries = avilo::airports::RunwayEntries(airport);
        long k = 0;
        for (const xml::Node& runway : avilo::airports::Runways(airport)) {
            benchmark::DoNotOptimize(avilo::airports::ResolveRunway(runway, k, false));
            benchmark::DoNotOptimize(avilo::airports::ResolveRunway(runway, k, true));
            ++k;
        }
        benchmark::DoNotOptimize(entries);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ListRunwaysOnePass)
    ->Arg(625)
    ->Arg(2500)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void ListRunwaysEntryByEntry(benchmark::State& state) {
    const auto db = AirportWithRunways(state.range(0));
    const xml::Node airport = db->documentElement().firstChild();
    for (auto _ : state) {
        const std::vector<std::string> entries = avilo::airports::RunwayEntries(airport);
        for (long i = 0; i < static_cast<long>(entries.size()); ++i)
            benchmark::DoNotOptimize(avilo::airports::ResolveRunwayEntry(airport, i));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ListRunwaysEntryByEntry)
    ->Arg(625)
    ->Arg(1250)
    ->Arg(2500)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

} // namespace

BENCHMARK_MAIN();
