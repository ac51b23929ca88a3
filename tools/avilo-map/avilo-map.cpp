// avilo-map --chart CHART [--plan PLAN.av] [--track TRACK.csv] --png OUT.png [--crop]
//           [--scale FACTOR]
// avilo-map pw CHART     ("x y" lines on stdin -> "longitude latitude")
// avilo-map wp CHART     ("longitude latitude" lines on stdin -> "x y")
// avilo-map --profile --plan PLAN.av|SCRIPT.xml --track TRACK.csv --png OUT.png
//
// CHART is a NOS chart (with its reference file), a GeoTIFF or a KAP chart.  pw and wp convert
// the way `tavola pw`/`wp` do on NOS charts, on any chart: pixels with integer values at pixel
// centres, positions in decimal degrees on WGS-84, nine decimals; they refuse a chart without
// usable reference data, and stop at a line without two numbers or with a position the chart's
// projection cannot convert (exit status 1, the lines before it written).
//
// --profile draws the flight's altitude and airspeed over time against the planned values of
// each leg (the profile of the executor's window) instead of the chart; a plan is turned into
// its flight script by the generator, which reads "scrivodb.xml" from the working directory.
//
// Draws a picture of a flight: the chart with the planned route and the steer point markers of
// PLAN and the flown track of TRACK (as written by `avilo-cli fly ... --track`), and writes it
// as a PNG.  --crop keeps only the part of the chart around the route and the track; --scale
// reduces the chart by FACTOR (1 to 5, chart pixels per picture pixel).  Needs no display.
//
// Exit status: 0 written, 1 an input cannot be read, a plan or track is given for a chart without
// usable reference data (no reference file, or one whose points cannot fix a conversion), or
// the picture cannot be written (nothing is written then, and an existing OUT.png stays as it
// was), 2 usage.
#include <chartsource/GdalChartSource.h>
#include <chartview/FlightPicture.h>
#include <numbers/Numbers.h>

#include <xml/ComError.h>
#include <xml/Dom.h>

#include <QImageWriter>
#include <QSaveFile>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <locale>
#include <sstream>
#include <string>
#include <string_view>

using namespace avilo::planner;

namespace {

int Usage() {
    std::fputs("usage: avilo-map --chart CHART [--plan PLAN.av] [--track TRACK.csv] "
               "--png OUT.png [--crop] [--scale FACTOR]\n"
               "       avilo-map pw CHART   (reads \"x y\" lines)\n"
               "       avilo-map wp CHART   (reads \"longitude latitude\" lines)\n"
               "       avilo-map --profile --plan PLAN.av|SCRIPT.xml --track TRACK.csv "
               "--png OUT.png\n",
               stderr);
    return 2;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "avilo-map: %s\n", text.c_str());
    return 1;
}

std::string ComText(const xml::ComError& e) {
    return e.Description().empty() ? e.ErrorMessage() : e.Description();
}

// pw (pixelToWorld) or wp on the lines of standard input.
int Convert(const std::string& path, bool pixelToWorld) {
    std::string error;
    const auto chart = avilo::chartsource::OpenChart(path, &error);
    if (!chart)
        return Fail("cannot open the chart " + path + ": " + error);
    const avilo::chartsource::Georeference& geo = chart->Georef();
    if (!geo.Usable())
        return Fail(path + ": no usable reference data, so positions cannot be converted: " +
                    geo.Problem());
    std::string line;
    long lineNo = 0;
    while (std::getline(std::cin, line)) {
        ++lineNo;
        std::istringstream in(line);
        in.imbue(std::locale::classic());
        double a = 0, b = 0;
        if (!(in >> a >> b)) {
            if (line.find_first_not_of(" \t\r") == std::string::npos)
                continue;
            return Fail("line " + std::to_string(lineNo) + ": expected two numbers");
        }
        double u = 0, v = 0;
        const bool converted =
            pixelToWorld ? geo.ToLonLat(a, b, &u, &v) : geo.ToPixel(a, b, &u, &v);
        if (!converted)
            return Fail(
                "line " + std::to_string(lineNo) + ": the chart's projection cannot convert " +
                (pixelToWorld ? "pixel " : "position ") + numbers::Format("%.9g %.9g", a, b));
        std::fputs(numbers::Format("%.9f %.9f\n", u, v).c_str(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : Fail("cannot write the results");
}

} // namespace

#ifdef AVILO_MAP_PROFILE
int DrawProfile(int argc, char** argv, const std::string& planPath, const std::string& trackPath,
                const std::string& pngPath);
#endif

int main(int argc, char** argv) {
    if (argc >= 2 && (std::string_view(argv[1]) == "pw" || std::string_view(argv[1]) == "wp"))
        return argc == 3 ? Convert(argv[2], std::string_view(argv[1]) == "pw") : Usage();
    std::string chartPath, planPath, trackPath, pngPath;
    FlightPictureOptions options;
    bool profile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--crop")
            options.crop = true;
        else if (a == "--profile")
            profile = true;
        else if (a == "--chart" && hasValue)
            chartPath = argv[++i];
        else if (a == "--plan" && hasValue)
            planPath = argv[++i];
        else if (a == "--track" && hasValue)
            trackPath = argv[++i];
        else if (a == "--png" && hasValue)
            pngPath = argv[++i];
        else if (a == "--scale" && hasValue) {
            const std::string_view v = argv[++i];
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), options.scale);
            if (ec != std::errc() || end != v.data() + v.size() || !(options.scale >= 1.0) ||
                !(options.scale <= 5.0)) {
                std::fprintf(stderr, "avilo-map: the factor must be a number from 1 to 5\n");
                return 2;
            }
        } else
            return Usage();
    }
    if (profile) {
        if (planPath.empty() || trackPath.empty() || pngPath.empty() || !chartPath.empty())
            return Usage();
#ifdef AVILO_MAP_PROFILE
        return DrawProfile(argc, argv, planPath, trackPath, pngPath);
#else
        return Fail("built without the profile (the executor's window library)");
#endif
    }
    if (chartPath.empty() || pngPath.empty())
        return Usage();

    // Inputs first: a bad plan or track must not cost the decoding of a large chart.
    xml::DocumentPtr plan;
    xml::Node root;
    if (!planPath.empty()) {
        plan = xml::Document::Create();
        if (!plan->load(planPath)) {
            const xml::ParseError& e = plan->parseError();
            return Fail("cannot read the plan " + planPath +
                        (e.line > 0 ? " (line " + std::to_string(e.line) + ")" : "") + ": " +
                        e.reason);
        }
        root = plan->documentElement();
    }
    std::vector<LonLat> track;
    if (!trackPath.empty()) {
        std::ifstream in(trackPath);
        if (!in)
            return Fail("cannot open the track " + trackPath);
        std::string error;
        if (!ReadTrackCsv(in, &track, &error))
            return Fail("cannot read the track " + trackPath + ": " + error);
    }

    ChartRenderer renderer;
    std::string error;
    if (!renderer.OpenChart(chartPath, &error))
        return Fail("cannot open the chart " + chartPath + ": " + error);
    // Positions could only be put at 0, 0 or wherever a degenerate fit sends them.
    if ((root || !track.empty()) && !renderer.Georef().Usable())
        return Fail("cannot place the " + std::string(root ? "plan" : "track") + " on the chart " +
                    chartPath +
                    ": it has no usable reference data: " + renderer.Georef().Problem());
    if (!renderer.LoadBitmaps(options.scale, &error))
        return Fail("cannot load the chart " + chartPath + ": " + error);

    QImage picture;
    try {
        picture = DrawFlightPicture(renderer, root, track, options);
    } catch (const xml::ComError& e) {
        return Fail("cannot read the plan " + planPath + ": " + ComText(e));
    }
    if (picture.isNull())
        return Fail("not enough memory for the picture");

    // Written beside the destination and renamed over it only when complete.
    QSaveFile file(QString::fromStdString(pngPath));
    if (!file.open(QIODevice::WriteOnly))
        return Fail("cannot write " + pngPath + ": " + file.errorString().toStdString());
    QImageWriter writer(&file, "png");
    if (!writer.write(picture)) {
        file.cancelWriting();
        return Fail("cannot write " + pngPath + ": " + writer.errorString().toStdString());
    }
    if (!file.commit())
        return Fail("cannot write " + pngPath + ": " + file.errorString().toStdString());
    std::printf(
        "%s: %d x %d pixels, %zu steer points, %zu track points\n", pngPath.c_str(),
        picture.width(), picture.height(),
        static_cast<std::size_t>(root ? renderer.PlanPoints(root, options.scale).size() : 0),
        track.size());
    return 0;
}
