// Generation of a flight script from a plan of 999 steer points, the log going to a sink.
//
//  Generate999      the whole call: time per steer point is the "per_sp" counter
//  XPathReplay999   the XPath queries the call issues, replayed on the same documents: their
//                   share of Generate999 is the share of generation spent in XPath
//  SchemaReads999   999 readings of "avilo.xsd" for the steer point types, each typing one steer
//                   point: what generation cost when it read the schema for every steer point
//                   (it now reads it once per generation)
//  LoadPlan999      parsing the plan file itself: the floor any generator stands on (it must at
//                   least read a plan of this size)
//
// Run from anywhere: the data files are copied into a temporary folder.

#include "scrivo/ScrivoCore.h"

#include <planformat/PlanFormat.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

constexpr int kSteerPoints = 999;

std::string PlanText() {
    std::string s = "<?xml version='1.0' encoding='UTF-8'?><avilo><steerpoint phase=\"takeoff\">"
                    "<GPSCoordinate><longitude>4.758121</longitude><latitude>52.314850</latitude>"
                    "</GPSCoordinate><timeOverSteerPoint>10:00</timeOverSteerPoint>"
                    "<airport shortname=\"EHAM\" name=\"Schiphol\"><runway>09</runway>"
                    "<runwayHeading>86.777965</runwayHeading><runwayMagnVar>1.767965"
                    "</runwayMagnVar><runwayElevation>-11</runwayElevation><GPSRunway><latitude>"
                    "52.31662258</latitude><longitude>4.74629843</longitude></GPSRunway></airport>"
                    "<task>takeoff</task></steerpoint>";
    for (int i = 1; i < kSteerPoints; ++i) {
        const std::string lon = std::to_string(4.8 + 0.01 * i);
        s += "<steerpoint phase=\"cruise\"><GPSCoordinate><longitude>" + lon +
             "</longitude><latitude>52.330000</latitude></GPSCoordinate><timeOverSteerPoint>"
             "10:08</timeOverSteerPoint><task>cruise</task><GPS><airspeed>100</airspeed>"
             "<heading>90</heading><altitude>3000</altitude></GPS></steerpoint>";
    }
    return s + "</avilo>";
}

// The working folder with the data files, and a log sink that drops the text.  The generator
// logs to a ui::TextLog, which keeps the text and hands it to that sink.
struct Setup {
    Setup() {
        dir =
            std::filesystem::temp_directory_path() / ("avilo-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        for (const char* f : {"avilo.xsd", "scrivodb.xml"})
            std::filesystem::copy_file(std::filesystem::path(AVILO_DATA_DIR) / f, dir / f,
                                       std::filesystem::copy_options::overwrite_existing);
        std::ofstream(dir / "plan.av") << PlanText();
        std::filesystem::current_path(dir);
        ui::SetLogSink([](std::string_view) {});
        plan = xml::Document::Create();
        plan->load("plan.av");
    }
    ~Setup() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::filesystem::path dir;
    xml::DocumentPtr plan;
};

Setup& Env() {
    static Setup setup;
    return setup;
}

void PerSteerPoint(benchmark::State& state) {
    state.counters["per_sp"] = benchmark::Counter(
        kSteerPoints, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

xml::DocumentPtr Generate(const xml::DocumentPtr& plan) {
    ui::TextLog log;
    return scrivo::GenerateFlightScript(plan, scrivo::ScrivoFiles::WorkingDirectory(), log);
}

void Generate999(benchmark::State& state) {
    const xml::DocumentPtr plan = Env().plan;
    for (auto _ : state)
        benchmark::DoNotOptimize(Generate(plan));
    PerSteerPoint(state);
}
BENCHMARK(Generate999)->Unit(benchmark::kMillisecond);

void XPathReplay999(benchmark::State& state) {
    const xml::DocumentPtr plan = Env().plan;
    const xml::DocumentPtr db = xml::Document::Create();
    db->load("scrivodb.xml");
    const xml::DocumentPtr script = Generate(plan);
    const xml::Node root = plan->selectSingleNode("avilo");
    for (auto _ : state) {
        benchmark::DoNotOptimize(plan->selectSingleNode("avilo"));
        for (xml::Node sp = root.firstChild(); sp; sp = sp.nextSibling()) {
            const std::string phase = sp.getAttribute("phase");
            for (const xml::Node& task : sp.selectNodes("task")) {
                const std::string name = xml::XPathLiteral(task.text());
                benchmark::DoNotOptimize(
                    db->selectSingleNode("/scrivodb/phase[@name=" + xml::XPathLiteral(phase) +
                                         "]/task[@name=" + name + "]"));
                benchmark::DoNotOptimize(
                    db->selectSingleNode("/scrivodb/task[@name=" + name + "]"));
                benchmark::DoNotOptimize(sp.selectSingleNode(".//GPSCoordinate"));
                benchmark::DoNotOptimize(sp.selectSingleNode(".//timeOverSteerPoint"));
            }
        }
        const xml::NodeList sps = root.childNodes();
        for (const xml::Node& procedure : script->selectNodes("//procedure")) {
            const xml::Node sp =
                sps.item(std::stol(procedure.parentNode().getAttribute("steerpoint")));
            for (const xml::Node& parameter :
                 db->selectNodes("/scrivodb/procedure[@name=" +
                                 xml::XPathLiteral(procedure.getAttribute("name")) + "]/*"))
                benchmark::DoNotOptimize(sp.selectSingleNode(".//" + parameter.nodeName()));
        }
    }
    PerSteerPoint(state);
}
BENCHMARK(XPathReplay999)->Unit(benchmark::kMillisecond);

void SchemaReads999(benchmark::State& state) {
    const xml::Node sp = Env().plan->selectSingleNode("avilo").firstChild();
    for (auto _ : state)
        for (int i = 0; i < kSteerPoints; ++i)
            benchmark::DoNotOptimize(planformat::SteerPointTypeOf(
                planformat::ReadSteerPointTypeNames(planformat::kPlanSchemaFile), sp));
    PerSteerPoint(state);
}
BENCHMARK(SchemaReads999)->Unit(benchmark::kMillisecond);

void LoadPlan999(benchmark::State& state) {
    Env();
    for (auto _ : state) {
        const xml::DocumentPtr plan = xml::Document::Create();
        benchmark::DoNotOptimize(plan->load("plan.av"));
    }
    PerSteerPoint(state);
}
BENCHMARK(LoadPlan999)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
