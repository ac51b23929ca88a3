// Chart library speed, each figure beside a peer or a physical limit measured in the same run:
//  - decoding a whole 12000 x 9000 chart with getMultiLines against GDAL's reader of the same
//    file (C API) and against memset of the same number of bytes (the floor);
//  - pixel <-> world conversions of a polynomial and a Lambert chart against PROJ's
//    proj_trans for the same Lambert projection;
//  - the fit (solvepoly) with 20, 100 and 500 reference points.
// The chart is made with the library's encoder from the sample chart (tiled 3 x 3), rows in
// order and numbered from 1, so that GDAL's reader accepts it.  Run: bench_chartlib
// [--benchmark_filter=...]; the ratios are printed after the table.
#include <tavola/GeoRec.h>
#include <tavola/NosWriter.h>
#include <tavola/Projection.h>
#include <tavola/Tavola.h>

#include <benchmark/benchmark.h>
#include <gdal/gdal.h>
#include <proj.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string kSampleChart = std::string(TAVOLA_CHART_DIR) + "/EHAM-sectional.nos";
const std::string kSampleGeo = std::string(TAVOLA_CHART_DIR) + "/EHAM-sectional.GEO";
constexpr int kTiles = 3;

// The benchmark chart in a temporary folder, made once per run.
class BigChart {
public:
    BigChart() {
        CTavola sample;
        if (!sample.OpenTavola(kSampleChart.c_str(), 0))
            throw std::runtime_error("cannot open " + kSampleChart);
        const CSize s = sample.GetDocumentSize();
        std::vector<unsigned char> pixels(std::size_t(s.cx) * s.cy);
        sample.getMultiLines(0, s.cy, 0, s.cx, pixels.data());
        tavola::NosImage image;
        image.name = "BENCH CHART";
        image.width = s.cx * kTiles;
        image.height = s.cy * kTiles;
        for (int i = 0; i < sample.GetHeaderColourCount(); ++i) {
            const PALETTEENTRY& e = sample.GetHeaderColours()[i];
            image.colours.push_back({e.peRed, e.peGreen, e.peBlue});
        }
        image.pixels.resize(std::size_t(image.width) * image.height);
        for (int y = 0; y < image.height; ++y)
            for (int t = 0; t < kTiles; ++t)
                std::memcpy(&image.pixels[std::size_t(y) * image.width + std::size_t(t) * s.cx],
                            &pixels[std::size_t(y % s.cy) * s.cx], std::size_t(s.cx));
        sample.CloseTavola();

        char dir[] = "/tmp/tavola-bench-XXXXXX";
        if (!mkdtemp(dir))
            throw std::runtime_error("mkdtemp failed");
        m_dir = dir;
        m_path = m_dir + "/bench.nos";
        tavola::NosWriteOptions options;
        options.depth = 7;
        options.firstRowNumber = 1; // what GDAL's reader expects
        std::string error;
        if (!tavola::WriteNosFile(m_path, image, options, &error))
            throw std::runtime_error("cannot write the benchmark chart: " + error);
        width = image.width;
        height = image.height;
        reference = std::move(image.pixels);
        fileBytes = std::filesystem::file_size(m_path);
    }
    ~BigChart() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    const std::string& path() const { return m_path; }

    int width = 0, height = 0;
    std::uintmax_t fileBytes = 0;
    std::vector<unsigned char> reference; // the pixels it was made from

private:
    std::string m_dir, m_path;
};

BigChart& Chart() {
    static BigChart chart;
    return chart;
}

std::size_t PixelCount() {
    return std::size_t(Chart().width) * Chart().height;
}

// ---- decoding -----------------------------------------------------------------------------

void BM_Decode_Tavola(benchmark::State& state) {
    CTavola chart;
    if (!chart.OpenTavola(Chart().path().c_str(), 0)) {
        state.SkipWithError("cannot open the benchmark chart");
        return;
    }
    const int w = Chart().width, h = Chart().height;
    std::vector<unsigned char> out(PixelCount());
    for (auto _ : state) {
        if (!chart.getMultiLines(0, h, 0, w, out.data()))
            state.SkipWithError("getMultiLines failed");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != Chart().reference)
        state.SkipWithError("decoded pixels differ from the encoded image");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(PixelCount()));
    state.counters["file_MB"] = double(Chart().fileBytes) / 1e6;
}

// Open (header, index, palette, reference file) plus the whole decode.
void BM_OpenAndDecode_Tavola(benchmark::State& state) {
    const int w = Chart().width, h = Chart().height;
    std::vector<unsigned char> out(PixelCount());
    for (auto _ : state) {
        CTavola chart;
        if (!chart.OpenTavola(Chart().path().c_str(), 0) ||
            !chart.getMultiLines(0, h, 0, w, out.data()))
            state.SkipWithError("open or decode failed");
        benchmark::DoNotOptimize(out.data());
        chart.CloseTavola();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(PixelCount()));
}

// GDAL opens, reads the whole band and closes each time, so that its block cache never
// serves a later iteration.
void GdalOpenAndDecode(benchmark::State& state, const std::string& path, int w, int h,
                       const std::vector<unsigned char>& expected) {
    GDALAllRegister();
    CPLPushErrorHandler(CPLQuietErrorHandler); // its note about the missing .geo file
    std::vector<unsigned char> out(std::size_t(w) * h);
    for (auto _ : state) {
        GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
        if (!ds) {
            state.SkipWithError("GDAL cannot open the benchmark chart");
            break;
        }
        GDALRasterBandH band = GDALGetRasterBand(ds, 1);
        if (GDALRasterIO(band, GF_Read, 0, 0, w, h, out.data(), w, h, GDT_Byte, 0, 0) != CE_None)
            state.SkipWithError("GDAL read failed");
        benchmark::DoNotOptimize(out.data());
        GDALClose(ds);
    }
    CPLPopErrorHandler();
    // GDAL gives the colour index minus 1.
    std::size_t differ = 0;
    for (std::size_t i = 0; i < out.size(); ++i)
        differ += out[i] + 1 != expected[i];
    if (differ)
        state.SkipWithError("GDAL's pixels differ from the library's");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

void BM_OpenAndDecode_GDAL(benchmark::State& state) {
    GdalOpenAndDecode(state, Chart().path(), Chart().width, Chart().height, Chart().reference);
}

// The sample chart numbers its rows from 0, which GDAL's reader does not expect: it then
// finds its rows the slow way.  Shown beside the library on the same file.
void BM_OpenAndDecode_GDAL_Sample(benchmark::State& state) {
    CTavola sample;
    if (!sample.OpenTavola(kSampleChart.c_str(), 0)) {
        state.SkipWithError("cannot open the sample chart");
        return;
    }
    const CSize s = sample.GetDocumentSize();
    std::vector<unsigned char> expected(std::size_t(s.cx) * s.cy);
    sample.getMultiLines(0, s.cy, 0, s.cx, expected.data());
    GdalOpenAndDecode(state, kSampleChart, s.cx, s.cy, expected);
}

void BM_OpenAndDecode_Tavola_Sample(benchmark::State& state) {
    CTavola probe;
    if (!probe.OpenTavola(kSampleChart.c_str(), 0)) {
        state.SkipWithError("cannot open the sample chart");
        return;
    }
    const CSize s = probe.GetDocumentSize();
    probe.CloseTavola();
    std::vector<unsigned char> out(std::size_t(s.cx) * s.cy);
    for (auto _ : state) {
        CTavola chart;
        if (!chart.OpenTavola(kSampleChart.c_str(), 0) ||
            !chart.getMultiLines(0, s.cy, 0, s.cx, out.data()))
            state.SkipWithError("open or decode failed");
        benchmark::DoNotOptimize(out.data());
        chart.CloseTavola();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

void BM_Memset_Floor(benchmark::State& state) {
    std::vector<unsigned char> out(PixelCount());
    int v = 0;
    for (auto _ : state) {
        std::memset(out.data(), ++v & 0x7F, out.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(PixelCount()));
}

BENCHMARK(BM_Decode_Tavola)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_OpenAndDecode_Tavola)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_OpenAndDecode_GDAL)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Memset_Floor)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_OpenAndDecode_Tavola_Sample)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_OpenAndDecode_GDAL_Sample)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- conversions --------------------------------------------------------------------------

constexpr int kPoints = 4096;

// The sample's reference record as written (Lambert) or without its projection line (then
// fitted by polynomials).
std::unique_ptr<CGEORec> SampleRecord(bool projected) {
    std::ifstream in(kSampleGeo);
    std::stringstream text;
    std::string line;
    while (std::getline(in, line))
        if (projected || line.rfind("Projection", 0) != 0)
            text << line << "\n";
    auto rec = std::make_unique<CGEORec>();
    rec->ReadGEOStream(text, 0);
    return rec;
}

struct Inputs {
    std::vector<double> x, y, lon, lat;
    Inputs() {
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> ux(80, 3920), uy(80, 2920);
        auto rec = SampleRecord(true);
        for (int i = 0; i < kPoints; ++i) {
            x.push_back(ux(rng));
            y.push_back(uy(rng));
            double l, b;
            rec->pwxy(x.back(), y.back(), &l, &b);
            lon.push_back(l);
            lat.push_back(b);
        }
    }
};

const Inputs& Points() {
    static const Inputs inputs;
    return inputs;
}

template <bool Projected, bool PixelToWorld> void BM_Convert(benchmark::State& state) {
    auto rec = SampleRecord(Projected);
    if ((rec->m_Projection.m_nProjection != 0) != Projected) {
        state.SkipWithError("unexpected projection kind");
        return;
    }
    const Inputs& in = Points();
    double sum = 0;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) {
            double a, b;
            if (PixelToWorld)
                rec->pwxy(in.x[i], in.y[i], &a, &b);
            else
                rec->wpxy(in.lon[i], in.lat[i], &a, &b);
            sum += a + b;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(std::int64_t(state.iterations()) * kPoints);
}

// The sample's projection, as the reference file gives it, on datum entry 17's ellipsoid
// (Bessel 1841).
const char* const kProjLambert = "+proj=lcc +lat_0=52.3 +lon_0=4.76 +lat_1=51 +lat_2=53.5 "
                                 "+x_0=0 +y_0=0 +ellps=bessel +no_defs";

template <bool Forward> void BM_Proj_Lambert(benchmark::State& state) {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* p = proj_create(ctx, kProjLambert);
    if (!p) {
        state.SkipWithError("PROJ cannot create the projection");
        proj_context_destroy(ctx);
        return;
    }
    const Inputs& in = Points();
    std::vector<PJ_COORD> geo(kPoints), plane(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        geo[i] = proj_coord(proj_torad(in.lon[i]), proj_torad(in.lat[i]), 0, 0);
        plane[i] = proj_trans(p, PJ_FWD, geo[i]);
    }
    double sum = 0;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) {
            const PJ_COORD c =
                Forward ? proj_trans(p, PJ_FWD, geo[i]) : proj_trans(p, PJ_INV, plane[i]);
            sum += c.xy.x + c.xy.y;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(std::int64_t(state.iterations()) * kPoints);
    proj_destroy(p);
    proj_context_destroy(ctx);
}

// The library's own projection alone (no datum offsets, no affine map), for the like-for-like
// comparison with PROJ.
template <bool Forward> void BM_Tavola_Lambert(benchmark::State& state) {
    tagPPARMS parms{};
    project_init2(4, 52.3, 4.76, 51.0, 53.5, 17, &parms);
    const Inputs& in = Points();
    std::vector<double> e(kPoints), n(kPoints);
    for (int i = 0; i < kPoints; ++i)
        lambert_f(&parms, in.lat[i], in.lon[i], &e[i], &n[i]);
    double sum = 0;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) {
            double a, b;
            if (Forward)
                lambert_f(&parms, in.lat[i], in.lon[i], &a, &b);
            else
                lambert_i(&parms, e[i], n[i], &a, &b);
            sum += a + b;
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(std::int64_t(state.iterations()) * kPoints);
}

BENCHMARK_TEMPLATE(BM_Convert, false, true)->Name("BM_pw_Polynomial");
BENCHMARK_TEMPLATE(BM_Convert, false, false)->Name("BM_wp_Polynomial");
BENCHMARK_TEMPLATE(BM_Convert, true, true)->Name("BM_pw_Lambert");
BENCHMARK_TEMPLATE(BM_Convert, true, false)->Name("BM_wp_Lambert");
BENCHMARK_TEMPLATE(BM_Tavola_Lambert, true)->Name("BM_lambert_f");
BENCHMARK_TEMPLATE(BM_Tavola_Lambert, false)->Name("BM_lambert_i");
BENCHMARK_TEMPLATE(BM_Proj_Lambert, true)->Name("BM_PROJ_Lambert_fwd");
BENCHMARK_TEMPLATE(BM_Proj_Lambert, false)->Name("BM_PROJ_Lambert_inv");

// ---- the fit ------------------------------------------------------------------------------

// n reference points scattered over a 4000 x 3000 chart in a Lambert projection, with no
// projection named: fitted by polynomials of degree 1 to 3 with the split tried.
void BM_Solvepoly(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    tagPPARMS parms{};
    project_init2(4, 52.3, 4.76, 51.0, 53.5, 117, &parms);
    std::mt19937 rng(n);
    std::uniform_int_distribution<int> ux(0, 3999), uy(0, 2999);
    RefPointList points;
    for (int i = 0; i < n; ++i) {
        const int x = ux(rng), y = uy(rng);
        double lat, lon;
        lambert_i(&parms, (x - 2000) * 113.0, (1500 - y) * 113.0, &lat, &lon);
        points.push_back(std::make_unique<CRefPoint>("Point", x, y, lon, lat));
    }
    for (auto _ : state) {
        CGEORec rec;
        for (const auto& p : points)
            rec.m_RefPoints.push_back(std::make_unique<CRefPoint>(*p));
        rec.solvepoly();
        benchmark::DoNotOptimize(rec.pwx(100, 100));
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * n);
}
BENCHMARK(BM_Solvepoly)->Arg(20)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);

// Keeps each run's rate, to print the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const std::string& name = run.run_name.function_name;
            const auto bytes = run.counters.find("bytes_per_second");
            if (bytes != run.counters.end())
                perSecond[name] = bytes->second.value;
            const auto items = run.counters.find("items_per_second");
            if (items != run.counters.end())
                perSecond[name] = items->second.value;
        }
    }
    std::map<std::string, double> perSecond;
};

void PrintRatio(const RatioReporter& r, const char* what, const std::string& a,
                const std::string& b, const char* unit, double scale) {
    const auto ia = r.perSecond.find(a), ib = r.perSecond.find(b);
    if (ia == r.perSecond.end() || ib == r.perSecond.end())
        return;
    std::printf("%-44s %10.3f vs %10.3f %s   ratio %8.2f\n", what, ia->second / scale,
                ib->second / scale, unit, ia->second / ib->second);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    try {
        std::printf("benchmark chart: %d x %d pixels, %.1f MB of pixels, %.2f MB file\n",
                    Chart().width, Chart().height, PixelCount() / 1e6,
                    double(Chart().fileBytes) / 1e6);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_chartlib: %s\n", e.what());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (rates per second):\n");
    PrintRatio(reporter, "decode: Tavola / GDAL (open+decode, MB/s)", "BM_OpenAndDecode_Tavola",
               "BM_OpenAndDecode_GDAL", "MB/s", 1e6);
    PrintRatio(reporter, "decode: Tavola / GDAL (decode vs open+decode)", "BM_Decode_Tavola",
               "BM_OpenAndDecode_GDAL", "MB/s", 1e6);
    PrintRatio(reporter, "sample chart (rows from 0): Tavola / GDAL",
               "BM_OpenAndDecode_Tavola_Sample", "BM_OpenAndDecode_GDAL_Sample", "MB/s", 1e6);
    PrintRatio(reporter, "decode: Tavola / memset floor (MB/s)", "BM_Decode_Tavola",
               "BM_Memset_Floor", "MB/s", 1e6);
    PrintRatio(reporter, "wp Lambert (full) / PROJ forward (Mpt/s)", "BM_wp_Lambert",
               "BM_PROJ_Lambert_fwd", "Mpt/s", 1e6);
    PrintRatio(reporter, "pw Lambert (full) / PROJ inverse (Mpt/s)", "BM_pw_Lambert",
               "BM_PROJ_Lambert_inv", "Mpt/s", 1e6);
    PrintRatio(reporter, "lambert_f / PROJ forward (Mpt/s)", "BM_lambert_f", "BM_PROJ_Lambert_fwd",
               "Mpt/s", 1e6);
    PrintRatio(reporter, "lambert_i / PROJ inverse (Mpt/s)", "BM_lambert_i", "BM_PROJ_Lambert_inv",
               "Mpt/s", 1e6);
    PrintRatio(reporter, "wp polynomial / PROJ forward (Mpt/s)", "BM_wp_Polynomial",
               "BM_PROJ_Lambert_fwd", "Mpt/s", 1e6);
    PrintRatio(reporter, "pw polynomial / PROJ inverse (Mpt/s)", "BM_pw_Polynomial",
               "BM_PROJ_Lambert_inv", "Mpt/s", 1e6);
    benchmark::Shutdown();
    return 0;
}
