// The neighbourhood query plus the nearest-airport choice on the world airport database, as the
// airport dialog makes it (XPath over the DOM), side by side with a plain scan over the same
// coordinates held in memory: the floor for this selection.
//
//   build/bin/bench_airports
//
// Positions: Amsterdam (about 1,600 airports in the box) and 90W 38N (about 7,700).

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

} // namespace

BENCHMARK_MAIN();
