// Speed and memory of the chart windows, each against a floor measured in the same run:
//  - opening a chart (the sample chart and a large one made by tiling it): the time of each step
//    (file and reference read, images allocated, rows decoded, first reduction) against the
//    floor of reading the file and filling three bytes per pixel, and the peak memory against
//    the budget of one byte (full image) plus two bytes (reduced image) per chart pixel, plus
//    one byte per pixel during loading;
//  - a zoom step (re-centre, reduce) at every factor on the large chart;
//  - the paint of a full window while dragging (chart block, steer points and route) against a
//    plain copy of the window's bytes.
//
//  - the same for the large chart as a GeoTIFF sectional is delivered (8-bit paletted, LZW,
//    in strips), read through GDAL and kept compact (goal: first screen < 2 s, zoom step
//    < 150 ms, < 1.5 bytes per pixel), beside the NOS chart of the same size and beside
//    `gdal_translate` of the whole file to raw, the floor of decoding it.
//
// usage: bench_chartview [--sample CHART.nos] [--tiles COLUMNS ROWS] [--window W H]
//                        [--repeat N]
// The large chart is the sample tiled COLUMNS x ROWS times (default 3 x 3: 12000 x 9000; a
// sectional of about 17,000 x 12,000 pixels is --tiles 4 4: 16000 x 12000).
#include <chartview/ChartHost.h>
#include <chartview/ChartRenderer.h>
#include <chartview/ChartViewport.h>

#include <chartsource/GdalChartSource.h>
#include <numbers/Numbers.h>
#include <tavola/NosWriter.h>
#include <xml/Dom.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gdal.h>

#include <malloc.h>
#include <unistd.h>

using namespace avilo::planner;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A field of /proc/self/status in bytes (VmRSS, VmHWM), 0 when unknown.
std::uint64_t StatusBytes(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::stoull(line.substr(n + 1)) * 1024;
    return 0;
}

// Resets the peak resident size to the current one; false when the kernel does not allow it.
bool ResetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

// CPU time of this thread, seconds: unlike the wall time it leaves out the time the thread
// waited for a processor on a busy machine.
double ThreadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

double LoadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

double MB(std::uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// The sample chart tiled columns x rows times, with the sample's reference file (so the tiles
// have a georeferencing; only the top-left tile is where it says).
bool MakeTiledChart(const std::string& sample, int columns, int rows, const std::string& path,
                    std::string* error) {
    CTavola chart;
    if (!chart.OpenTavola(sample.c_str(), 0)) {
        *error = "cannot open " + sample + ": " + chart.GetLastError();
        return false;
    }
    const CSize size = chart.GetDocumentSize();
    tavola::NosImage image;
    image.name = "TILED";
    image.width = size.cx * columns;
    image.height = size.cy * rows;
    const PALETTEENTRY* colours = chart.GetHeaderColours();
    for (int i = 0; i < chart.GetHeaderColourCount() && i < 128; ++i)
        image.colours.push_back({colours[i].peRed, colours[i].peGreen, colours[i].peBlue});
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    std::vector<unsigned char> row(static_cast<std::size_t>(size.cx));
    for (int y = 0; y < size.cy; ++y) {
        chart.getLine(y, row.data());
        for (int ty = 0; ty < rows; ++ty)
            for (int tx = 0; tx < columns; ++tx)
                std::copy(row.begin(), row.end(),
                          image.pixels.begin() +
                              static_cast<std::ptrdiff_t>(ty * size.cy + y) * image.width +
                              static_cast<std::ptrdiff_t>(tx) * size.cx);
    }
    if (!tavola::WriteNosFile(path, image, {}, error))
        return false;
    std::filesystem::copy_file(sample.substr(0, sample.size() - 4) + ".GEO",
                               path.substr(0, path.size() - 4) + ".GEO",
                               std::filesystem::copy_options::overwrite_existing);
    return true;
}

// The NOS chart at `nos` as a GeoTIFF at `path`: 8-bit paletted with its colours, LZW, strips
// of 16 rows, in the sample's Lambert projection with a 113 m grid.
bool MakeGeoTiff(const std::string& nos, const std::string& path, std::string* error) {
    CTavola chart;
    if (!chart.OpenTavola(nos.c_str(), 0)) {
        *error = "cannot open " + nos + ": " + chart.GetLastError();
        return false;
    }
    const CSize size = chart.GetDocumentSize();
    GDALAllRegister();
    const char* options[] = {"COMPRESS=LZW", "BLOCKYSIZE=16", "BIGTIFF=IF_SAFER", nullptr};
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), size.cx, size.cy, 1,
                                 GDT_Byte, const_cast<char**>(options));
    if (!ds) {
        *error = "cannot create " + path;
        return false;
    }
    double gt[6] = {-189047.0, 113.0, 0, 152951.0, 0, -113.0};
    GDALSetGeoTransform(ds, gt);
    GDALSetProjection(ds, "PROJCS[\"lcc\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID["
                          "\"WGS 84\",6378137,298.257223563]],PRIMEM[\"Greenwich\",0],UNIT["
                          "\"degree\",0.0174532925199433]],PROJECTION[\"Lambert_Conformal_Conic_"
                          "2SP\"],PARAMETER[\"standard_parallel_1\",51],PARAMETER[\"standard_"
                          "parallel_2\",53.5],PARAMETER[\"latitude_of_origin\",52.3],PARAMETER["
                          "\"central_meridian\",4.76],PARAMETER[\"false_easting\",0],PARAMETER["
                          "\"false_northing\",0],UNIT[\"metre\",1]]");
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
    const auto& entries = chart.GetPaletteHandle()->Entries();
    for (std::size_t i = 0; i < entries.size() && i < 256; ++i) {
        const GDALColorEntry e{entries[i].peRed, entries[i].peGreen, entries[i].peBlue, 255};
        GDALSetColorEntry(table, static_cast<int>(i), &e);
    }
    GDALSetRasterColorTable(band, table);
    GDALDestroyColorTable(table);
    std::vector<unsigned char> rows(static_cast<std::size_t>(size.cx) * 16);
    bool ok = true;
    for (int y = 0; y < size.cy && ok; y += 16) {
        const int n = std::min(16, size.cy - y);
        chart.getMultiLines(y, n, 0, size.cx, rows.data());
        ok = GDALRasterIO(band, GF_Write, 0, y, size.cx, n, rows.data(), size.cx, n, GDT_Byte, 0,
                          0) == CE_None;
    }
    GDALClose(ds);
    if (!ok)
        *error = "cannot write " + path;
    return ok;
}

// The floor of decoding a GeoTIFF: GDAL's own program writing the whole raster out as raw bytes.
double GdalTranslateFloor(const std::string& path) {
    const std::string out = path + ".raw";
    const std::string command = "gdal_translate -q -of ENVI '" + path + "' '" + out + "'";
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = Since(start);
    std::filesystem::remove(out);
    std::filesystem::remove(out + ".aux.xml");
    std::filesystem::remove(path + ".hdr");
    std::filesystem::remove(out.substr(0, out.size() - 4) + ".hdr");
    return status == 0 ? seconds : -1;
}

// The floor of opening: the file read into memory and three bytes per pixel written.
double OpenFloor(const std::string& path, int width, int height) {
    const auto start = Clock::now();
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file(std::filesystem::file_size(path));
    in.read(file.data(), static_cast<std::streamsize>(file.size()));
    const std::size_t bytes = 3ull * static_cast<std::size_t>(width) * height;
    std::unique_ptr<unsigned char[]> images(new unsigned char[bytes]);
    std::memset(images.get(), 0xFF, bytes);
    const double seconds = Since(start);
    // Keep the work from being optimised away.
    if (images[bytes / 2] != 0xFF || (file.size() > 0 && file[0] == 0x7F))
        std::puts("");
    return seconds;
}

struct OpenResult {
    ChartRenderer::LoadProfile steps;
    double total = 0;
    double cpu = 0;
    std::uint64_t peak = 0;   // above the resident size before opening
    std::uint64_t steady = 0; // resident after opening, above the size before
};

OpenResult OpenOnce(const std::string& path, bool peakKnown) {
    OpenResult result;
    const std::uint64_t before = StatusBytes("VmRSS");
    if (peakKnown)
        ResetPeak();
    auto renderer = std::make_unique<ChartRenderer>();
    std::string error;
    const double cpuStart = ThreadCpu();
    const auto start = Clock::now();
    if (!renderer->OpenChart(path, &error) || !renderer->LoadBitmaps(1.0, &error)) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    result.total = Since(start);
    result.cpu = ThreadCpu() - cpuStart;
    result.steps = renderer->Profile();
    const std::uint64_t after = StatusBytes("VmRSS");
    result.steady = after > before ? after - before : 0;
    const std::uint64_t hwm = StatusBytes("VmHWM");
    result.peak = peakKnown && hwm > before ? hwm - before : 0;
    return result;
}

void BenchOpen(const char* label, const std::string& path, int repeat, bool peakKnown) {
    std::string error;
    const auto probe = avilo::chartsource::OpenChart(path, &error);
    if (!probe) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    const CSize size{probe->Width(), probe->Height()};
    const bool compact = probe->Format() != "NOS";
    const std::uint64_t pixels = static_cast<std::uint64_t>(size.cx) * size.cy;

    OpenResult best;
    best.total = 1e30;
    double floor = 1e30;
    for (int i = 0; i < repeat; ++i) {
        floor = std::min(floor, OpenFloor(path, size.cx, size.cy));
        const OpenResult r = OpenOnce(path, peakKnown);
        if (r.total < best.total)
            best = r;
    }
    std::printf("\nOpen %s: %d x %d pixels (%.1f Mpx), file %.1f MB, best of %d\n", label, size.cx,
                size.cy, pixels / 1e6, MB(std::filesystem::file_size(path)), repeat);
    std::printf("  read chart and reference, fit   %8.1f ms\n", best.steps.open * 1e3);
    std::printf("  allocate both images            %8.1f ms\n", best.steps.allocate * 1e3);
    std::printf("  decode rows into the full image %8.1f ms\n", best.steps.decode * 1e3);
    std::printf("  first reduction (factor 1.0)    %8.1f ms\n", best.steps.reduce * 1e3);
    std::printf("  total                           %8.1f ms   (floor: read file + fill 3 B/px "
                "%.1f ms; %.1fx)\n",
                best.total * 1e3, floor * 1e3, best.total / floor);
    std::printf("  total CPU time                  %8.1f ms   (goal for the large chart < 2 s)\n",
                best.cpu * 1e3);
    const std::uint64_t budget = compact ? pixels * 3 / 2 : 4 * pixels;
    if (peakKnown)
        std::printf("  peak memory                     %8.1f MB   (budget %s B/px %.1f MB: %s; "
                    "%.2f B/px)\n",
                    MB(best.peak), compact ? "1.5" : "3+1", MB(budget),
                    best.peak <= budget ? "within" : "OVER",
                    static_cast<double>(best.peak) / static_cast<double>(pixels));
    if (compact) {
        const double floor = GdalTranslateFloor(path);
        std::printf("  floor: gdal_translate to raw    %8.1f ms   (first screen %.2fx the floor; "
                    "goal < 2 s: %s)\n",
                    floor * 1e3, best.total / floor, best.total < 2.0 ? "met" : "MISSED");
    }
    if (!peakKnown)
        std::printf("  peak memory: unknown (the peak resident size cannot be reset)\n");
    std::printf("  resident after opening          %8.1f MB   (images %s B/px %.1f MB)\n",
                MB(best.steady), compact ? "1" : "3", MB((compact ? 1 : 3) * pixels));
}

// A plan of `count` steer points spread over the chart.
xml::DocumentPtr MakePlan(const avilo::chartsource::Georeference& geo, int width, int height,
                          int count) {
    xml::DocumentPtr plan = xml::Document::Create();
    xml::Node root = plan->appendChild(plan->createElement("avilo"));
    for (int i = 0; i < count; ++i) {
        const double x = width * (0.1 + 0.8 * i / std::max(1, count - 1));
        const double y = height * (i % 2 ? 0.3 : 0.6);
        xml::Node sp = root.appendChild(plan->createElement("steerpoint"));
        xml::Node gps = sp.appendChild(plan->createElement("GPSCoordinate"));
        double longitude = 0, latitude = 0;
        geo.ToLonLat(x, y, &longitude, &latitude);
        gps.appendChild(plan->createElement("longitude")).setText(numbers::Format("%f", longitude));
        gps.appendChild(plan->createElement("latitude")).setText(numbers::Format("%f", latitude));
    }
    return plan;
}

void BenchZoomAndPaint(const std::string& path, int windowWidth, int windowHeight, int repeat) {
    ChartRenderer renderer;
    std::string error;
    if (!renderer.OpenChart(path, &error) || !renderer.LoadBitmaps(1.0, &error)) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    ChartViewport viewport;
    viewport.SetChartSize(renderer.ChartWidth(), renderer.ChartHeight());
    viewport.OnShow();
    viewport.OnSize(windowWidth, windowHeight);
    viewport.ScrollBy(renderer.ChartWidth() / 3, renderer.ChartHeight() / 3);

    // A zoom step as the view does it: new factor and positions, reduction.
    std::printf("\nZoom steps on %s (window %d x %d), best of %d\n",
                std::filesystem::path(path).filename().c_str(), windowWidth, windowHeight, repeat);
    double worst = 0, worstCpu = 0;
    for (int direction : {+1, -1}) {
        for (int step = 0; step < 8; ++step) {
            const double from = viewport.m_dScale;
            double best = 1e30, bestCpu = 1e30;
            for (int i = 0; i < repeat; ++i) {
                ChartViewport trial = viewport;
                const double cpuStart = ThreadCpu();
                const auto start = Clock::now();
                if (direction > 0)
                    trial.ZoomOut();
                else
                    trial.ZoomIn();
                renderer.Reduce(trial.m_dScale);
                best = std::min(best, Since(start));
                bestCpu = std::min(bestCpu, ThreadCpu() - cpuStart);
                if (i + 1 == repeat)
                    viewport = trial;
            }
            worst = std::max(worst, best);
            worstCpu = std::max(worstCpu, bestCpu);
            std::printf("  %s %.1f -> %.1f  %8.1f ms  (CPU %6.1f ms)\n",
                        direction > 0 ? "out" : "in ", from, viewport.m_dScale, best * 1e3,
                        bestCpu * 1e3);
        }
    }
    // Floor: one pass over the full image (every chart pixel read once).
    const QImage& full = renderer.FullImage();
    const auto floorStart = Clock::now();
    std::uint64_t sum = 0;
    for (int y = 0; y < full.height(); ++y) {
        const uchar* row = full.constScanLine(y);
        for (int x = 0; x < full.width(); x += 64)
            sum += row[x];
    }
    std::vector<unsigned char> sink(static_cast<std::size_t>(full.width()) * 64);
    for (int y = 0; y + 64 <= full.height(); y += 64)
        std::memcpy(sink.data(), full.constScanLine(y), sink.size());
    const double floor = Since(floorStart);
    std::printf("  slowest step %.1f ms, CPU %.1f ms (goal < 150 ms: %s); floor: reading the full "
                "image once %.1f ms%s\n",
                worst * 1e3, worstCpu * 1e3, worst < 0.150 ? "met" : "MISSED", floor * 1e3,
                sum == 1 ? " " : "");

    // Painting while dragging: each paint draws the block at the new scroll position, the
    // steer points and the route.
    const avilo::chartsource::Georeference& geo = renderer.Georef();
    const xml::DocumentPtr plan = MakePlan(geo, renderer.ChartWidth(), renderer.ChartHeight(), 12);
    const xml::Node root = plan->documentElement();
    QImage window(windowWidth, windowHeight, QImage::Format_RGB32);
    std::printf("\nPaint of a %d x %d window while dragging (12 steer points), mean of 200\n",
                windowWidth, windowHeight);
    for (double factor : {1.0, 2.5}) {
        while (viewport.m_dScale > factor)
            viewport.ZoomIn();
        while (viewport.m_dScale < factor)
            viewport.ZoomOut();
        renderer.Reduce(viewport.m_dScale);
        const int paints = 200;
        const auto start = Clock::now();
        for (int i = 0; i < paints; ++i) {
            viewport.ScrollBy(i % 40 < 20 ? 7 : -7, i % 40 < 20 ? 4 : -4);
            QPainter painter(&window);
            renderer.DrawChart(painter, windowWidth, windowHeight, viewport.m_nHScroll,
                               viewport.m_nVScroll, viewport.m_dScale, false);
            renderer.DrawPlan(painter, root, viewport.m_dScale, viewport.m_nHScroll,
                              viewport.m_nVScroll);
        }
        const double each = Since(start) / paints;
        // Floor: copying the window's bytes once.
        std::vector<unsigned char> copy(window.sizeInBytes());
        const auto copyStart = Clock::now();
        for (int i = 0; i < paints; ++i)
            std::memcpy(copy.data(), window.constBits() + (i & 1), copy.size() - 1);
        const double copyEach = Since(copyStart) / paints;
        std::printf("  factor %.1f: %6.2f ms per paint (%.0f per second); floor: copying the "
                    "window %.2f ms\n",
                    factor, each * 1e3, 1.0 / each, copyEach * 1e3);
    }
}

} // namespace

int main(int argc, char** argv) {
    // Large blocks always straight from and back to the system, so that the resident size
    // before each opening does not hold pages of earlier ones.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024);
    std::string sample = AVILO_SAMPLE_CHART;
    int columns = 3, rows = 3, windowWidth = 1600, windowHeight = 1000, repeat = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--sample" && i + 1 < argc)
            sample = argv[++i];
        else if (a == "--tiles" && i + 2 < argc) {
            columns = std::max(1, std::atoi(argv[++i]));
            rows = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--window" && i + 2 < argc) {
            windowWidth = std::max(16, std::atoi(argv[++i]));
            windowHeight = std::max(16, std::atoi(argv[++i]));
        } else if (a == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else {
            std::fputs("usage: bench_chartview [--sample CHART.nos] [--tiles COLUMNS ROWS] "
                       "[--window W H] [--repeat N]\n",
                       stderr);
            return 2;
        }
    }

    std::string dir = (std::filesystem::temp_directory_path() / "bench-chartview-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string large = dir + "/tiled.nos";
    std::string error;
    const auto makeStart = Clock::now();
    if (!MakeTiledChart(sample, columns, rows, large, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }
    std::printf("Large chart made in %.1f s: %s\nLoad average of the machine: %.2f on %ld "
                "processors\n",
                Since(makeStart), large.c_str(), LoadAverage(), sysconf(_SC_NPROCESSORS_ONLN));

    const bool peakKnown = ResetPeak() && StatusBytes("VmHWM") > 0;
    BenchOpen("sample chart", sample, repeat, peakKnown);
    BenchOpen("large chart", large, repeat, peakKnown);
    BenchZoomAndPaint(large, windowWidth, windowHeight, repeat);
    const std::string tif = dir + "/tiled.tif";
    if (!MakeGeoTiff(large, tif, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }
    BenchOpen("large chart as a GeoTIFF (LZW, strips of 16 rows)", tif, repeat, peakKnown);
    BenchZoomAndPaint(tif, windowWidth, windowHeight, repeat);
    std::filesystem::remove_all(dir);
    return 0;
}
