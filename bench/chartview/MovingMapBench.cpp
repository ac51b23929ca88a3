// What the moving map costs a flight: the sample plan flown against the simulator inside the
// program in virtual time, by the executor's core alone (no window, no samples taken) and by
// the planner's way of flying (the executor's window taking the samples four times a second and
// a chart window of the sample chart drawing the aircraft and its track after each batch, with
// the view following the aircraft), and the executor's window without a chart window, in turn,
// each REPEAT times.  Prints the wall time of
// each flight, the medians and their ratio; the flights themselves are the same (same simulated
// time, same end), which the program checks.  Run from data/ (the generator's database and the
// sample chart and plan).
//
// usage: bench_moving_map [--repeat N] [--plan PLAN.av] [--chart CHART.nos]
#include <chartview/ChartHost.h>
#include <chartview/NOSFrm.h>
#include <chartview/NOSView.h>
#include <fssim/InProcess.h>
#include <fssim/Start.h>
#include <kestro/Execute.h>
#include <kestro/Kestro.h>
#include <scrivo/ScrivoCore.h>
#include <ui/ComponentLog.h>
#include <xml/Dom.h>

#include <QApplication>
#include <QDialog>
#include <QMdiArea>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace avilo::planner;
using Clock = std::chrono::steady_clock;

namespace {

/// The planner's part: the plan and the flight the chart window draws.
class Host : public IChartHost {
public:
    xml::Node PlanRoot() const override { return root; }
    void AddSteerPoint(double, double) override {}
    void ShowComError(const xml::ComError&) override {}
    const FlightTrace* Flight() const override { return trace.track.empty() ? nullptr : &trace; }
    xml::Node root;
    FlightTrace trace;
};

struct Flown {
    double wall_s = 0;
    int exitCode = 1;
};

Flown FlyAlone(const xml::DocumentPtr& script, const fssim::SimConfig& config) {
    fssim::InProcessSim sim(config);
    kestro::FlightOptions options;
    options.clock = sim.Clock();
    options.law = kestro::ControlLaw::Stabilised;
    options.timeLimitMs = 3 * 3600 * 1000;
    kestro::CConsoleWindow window([](std::string_view) {}, [](std::string_view) {});
    const auto start = Clock::now();
    const kestro::ExecutionResult result = kestro::ExecuteFlightScript(script, options, window);
    return {std::chrono::duration<double>(Clock::now() - start).count(), result.exitCode};
}

// With `view` null, the executor's window alone (its log, live figures, profile and report):
// what the map adds is the difference.
Flown FlyWithMap(const xml::DocumentPtr& script, const fssim::SimConfig& config, Host& host,
                 CNOSView* view, std::size_t* samples) {
    fssim::InProcessSim sim(config);
    kestro::ExecutionOptions options;
    options.clock = sim.Clock();
    options.law = kestro::ControlLaw::Stabilised;
    options.timeLimitMs = 3 * 3600 * 1000;
    host.trace = {};
    if (view)
        options.onSamples = [&](const std::vector<kestro::FlightSample>& taken) {
            for (const kestro::FlightSample& s : taken)
                host.trace.track.push_back({s.longitude_deg, s.latitude_deg});
            host.trace.aircraftKnown = true;
            host.trace.aircraft = host.trace.track.back();
            host.trace.heading_deg = taken.back().heading_deg;
            view->ShowPosition(host.trace.aircraft);
            view->viewport()->repaint(); // painted now, as the planner's window would be
        };
    // The window closes once the report is there, that is once the worker has ended.
    options.onWindowCreated = [](kestro::CKestroWnd& window) {
        auto* poll = new QTimer(window.GetDialog());
        QObject::connect(poll, &QTimer::timeout, [&window] {
            if (!window.ReportText().empty())
                window.RequestClose();
        });
        poll->start(10);
    };
    const auto start = Clock::now();
    const kestro::ExecutionResult result = kestro::ExecuteFlightScript(script, options);
    *samples = host.trace.track.size();
    return {std::chrono::duration<double>(Clock::now() - start).count(), result.exitCode};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    std::string planPath = "plans/schiphol-departure.av";
    std::string chartPath = "charts/EHAM-sectional.nos";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--plan" && i + 1 < argc)
            planPath = argv[++i];
        else if (a == "--chart" && i + 1 < argc)
            chartPath = argv[++i];
        else {
            std::fputs("usage: bench_moving_map [--repeat N] [--plan PLAN.av] [--chart "
                       "CHART.nos]\n",
                       stderr);
            return 2;
        }
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ui::SetLogSink([](std::string_view) {}); // the logs are not what is measured

    const xml::DocumentPtr plan = xml::Document::Create();
    if (!plan->load(planPath)) {
        std::fprintf(stderr, "bench_moving_map: cannot read %s\n", planPath.c_str());
        return 1;
    }
    ui::TextLog log;
    const xml::DocumentPtr script =
        scrivo::GenerateFlightScript(plan, scrivo::ScrivoFiles::WorkingDirectory(), log);
    std::string error;
    const auto startPosition = script ? fssim::StartFromScript(script, error) : std::nullopt;
    if (!startPosition) {
        std::fprintf(stderr, "bench_moving_map: no flight script to fly: %s\n", error.c_str());
        return 1;
    }
    fssim::SimConfig config;
    config.start = *startPosition;

    Host host;
    host.root = plan->documentElement();
    QMdiArea area;
    area.resize(1000, 800);
    area.show();
    CNOSFrame* chart = CNOSFrame::Open(area, host, chartPath);
    if (!chart) {
        std::fprintf(stderr, "bench_moving_map: cannot open %s\n", chartPath.c_str());
        return 1;
    }
    chart->resize(900, 700);
    QCoreApplication::processEvents();

    std::vector<double> alone, window, withMap;
    std::size_t samples = 0, none = 0;
    for (int i = 0; i < repeat; ++i) {
        const Flown a = FlyAlone(script, config);
        const Flown w = FlyWithMap(script, config, host, nullptr, &none);
        const Flown m = FlyWithMap(script, config, host, &chart->View(), &samples);
        if (a.exitCode != 0 || w.exitCode != 0 || m.exitCode != 0) {
            std::fprintf(stderr, "bench_moving_map: a flight did not finish (%d, %d, %d)\n",
                         a.exitCode, w.exitCode, m.exitCode);
            return 1;
        }
        alone.push_back(a.wall_s);
        window.push_back(w.wall_s);
        withMap.push_back(m.wall_s);
        std::printf("flight %d: core alone %.3f s, the executor's window %.3f s, the window and "
                    "a chart window %.3f s (%zu samples drawn)\n",
                    i + 1, a.wall_s, w.wall_s, m.wall_s, samples);
    }
    const double a = Median(alone), w = Median(window), m = Median(withMap);
    std::printf("median: core alone %.3f s, window %.3f s, window and chart %.3f s; the chart "
                "window adds %.3f s (ratio %.3f to the window alone)\n",
                a, w, m, m - w, w > 0 ? m / w : 0.0);
    return 0;
}
