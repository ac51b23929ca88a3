// tavola: inspect, decode, convert and encode NOS raster charts.
//
//   tavola info CHART.nos
//   tavola decode [--raw] CHART.nos OUT.png|OUT.raw
//   tavola pw CHART.nos       ("x y" lines on stdin -> "longitude latitude")
//   tavola wp CHART.nos       ("longitude latitude" lines on stdin -> "x y")
//     (both refuse, with exit status 1, a chart without usable reference data: no reference
//     file, or one whose points cannot fix a conversion; `info` only notes it on stderr)
//   tavola encode [--name NAME] [--first-row N] [--no-terminator] [--continuation]
//                 [--geo FILE.GEO] IN.png OUT.nos
#include <tavola/NosWriter.h>
#include <tavola/Tavola.h>

#include <numbers/Numbers.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#ifdef TAVOLA_HAVE_QT
#include <QImage>
#include <QImageWriter>
#endif

namespace {

int Usage() {
    std::fprintf(stderr, "usage: tavola info CHART.nos\n"
                         "       tavola decode [--raw] CHART.nos OUT.png|OUT.raw\n"
                         "       tavola pw CHART.nos   (reads \"x y\" lines)\n"
                         "       tavola wp CHART.nos   (reads \"longitude latitude\" lines)\n"
                         "       tavola encode [--name NAME] [--first-row N] [--no-terminator]\n"
                         "                     [--continuation] [--geo FILE.GEO] IN.png OUT.nos\n");
    return 2;
}

// Numbers are written as in the C locale whatever the user's locale.
void Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
}

int Error(const std::string& message) {
    std::fprintf(stderr, "tavola: %s\n", message.c_str());
    return 1;
}

bool Open(CTavola& chart, const std::string& path, int referenceOnly) {
    if (chart.OpenTavola(path.c_str(), referenceOnly))
        return true;
    Error(path + ": " + (chart.GetLastError().empty() ? "cannot open" : chart.GetLastError()));
    return false;
}

const char* KindName(int kind) {
    switch (kind) {
    case 1:
        return "Mercator";
    case 2:
        return "polyconic";
    case 3:
        return "transverse Mercator";
    case 4:
        return "Lambert conformal conic";
    default:
        return "none (polynomials)";
    }
}

void PrintSplit(const char* label, double v) {
    if (v == DBL_MAX)
        std::printf("%s: none\n", label);
    else
        Print(numbers::Format("%s: %.9g\n", label, v));
}

int Info(const std::string& path) {
    CTavola chart;
    if (!Open(chart, path, 0))
        return 1;
    const CGEORec& geo = *chart.GetBaseGeoRec();
    const CSize size = chart.GetDocumentSize();
    std::printf("name: %s\n", chart.GetName().c_str());
    std::printf("width: %d\nheight: %d\n", size.cx, size.cy);
    std::printf("bit depth: %d\n", chart.GetBitDepth());
    std::printf("header colours: %d\n", chart.GetHeaderColourCount());
    std::printf("palette entries: %d\n", chart.GetPaletteHandle()->GetEntryCount());
    std::printf("reference points: %zu\n", geo.m_RefPoints.size());
    for (const auto& p : geo.m_RefPoints)
        Print(numbers::Format("  %s: x %d y %d longitude %.9f latitude %.9f\n",
                              p->m_strName.c_str(), p->m_nX, p->m_nY, p->m_dLongitude,
                              p->m_dLatitude));
    std::printf("vertices: %zu\n", geo.m_Vertices.size());
    for (const auto& v : geo.m_Vertices)
        Print(numbers::Format("  %s: latitude %.9f longitude %.9f x %d y %d\n",
                              v->m_strName.c_str(), v->m_dLatitude, v->m_dLongitude, v->m_nX,
                              v->m_nY));
    std::printf("insets: %zu\n", geo.m_Insets.size());
    std::printf("projection: %d %s\n", geo.m_Projection.m_nProjection,
                KindName(geo.m_Projection.m_nProjection));
    std::printf("180-degree wrap: %d\n", geo.m_Polynomials.m_n180Wrap);
    PrintSplit("pw split (row)", geo.m_Polynomials.m_dPWSplit);
    PrintSplit("wp split (latitude)", geo.m_Polynomials.m_dWPSplit);
    if (!geo.HasReferenceData())
        Error(path + ": no usable reference data: " + geo.ReferenceProblem());
    chart.CloseTavola();
    return 0;
}

int Decode(const std::string& path, const std::string& out, bool raw) {
    CTavola chart;
    if (!Open(chart, path, 0))
        return 1;
    const CSize size = chart.GetDocumentSize();
    std::vector<unsigned char> pixels;
    try {
        pixels.resize(std::size_t(size.cx) * std::size_t(size.cy));
    } catch (const std::bad_alloc&) {
        return Error(path + ": chart too large to decode");
    }
    const bool ok = chart.getMultiLines(0, size.cy, 0, size.cx, pixels.data()) != 0;
    if (!ok)
        return Error(path + ": the chart's rows are damaged (row data end with the file)");
    if (raw) {
        std::ofstream f(out, std::ios::binary | std::ios::trunc);
        if (!f ||
            !f.write(reinterpret_cast<const char*>(pixels.data()),
                     std::streamsize(pixels.size())) ||
            !f.flush())
            return Error("cannot write " + out);
        return 0;
    }
#ifdef TAVOLA_HAVE_QT
    QImage image(size.cx, size.cy, QImage::Format_Indexed8);
    if (image.isNull())
        return Error(path + ": chart too large for an image");
    QList<QRgb> table;
    for (const PALETTEENTRY& e : chart.GetPaletteHandle()->Entries())
        table.push_back(qRgb(e.peRed, e.peGreen, e.peBlue));
    while (table.size() < 256)
        table.push_back(qRgb(0, 0, 0));
    image.setColorTable(table);
    for (int y = 0; y < size.cy; ++y)
        std::memcpy(image.scanLine(y), pixels.data() + std::size_t(y) * size.cx, size.cx);
    QImageWriter writer(QString::fromStdString(out), "png");
    if (!writer.write(image))
        return Error("cannot write " + out + ": " + writer.errorString().toStdString());
    return 0;
#else
    return Error("this build has no PNG support; use decode --raw");
#endif
}

int Convert(const std::string& path, bool pixelToWorld) {
    CTavola chart;
    if (!Open(chart, path, 0))
        return 1;
    CGEORec& geo = *chart.GetBaseGeoRec();
    if (!geo.HasReferenceData())
        return Error(path + ": no usable reference data, so positions cannot be converted: " +
                     geo.ReferenceProblem());
    std::string line;
    int lineNo = 0;
    while (std::getline(std::cin, line)) {
        ++lineNo;
        std::istringstream in(line);
        double a, b;
        if (!(in >> a >> b)) {
            if (line.find_first_not_of(" \t\r") == std::string::npos)
                continue;
            return Error("line " + std::to_string(lineNo) + ": expected two numbers");
        }
        double u, v;
        if (pixelToWorld)
            geo.pwxy(a, b, &u, &v);
        else
            geo.wpxy(a, b, &u, &v);
        Print(numbers::Format("%.9f %.9f\n", u, v));
    }
    chart.CloseTavola();
    return 0;
}

int Encode(int argc, char** argv, int i) {
    tavola::NosWriteOptions options;
    std::string name, geo;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string opt = argv[i];
        if (opt == "--name" && i + 1 < argc)
            name = argv[++i];
        else if (opt == "--first-row" && i + 1 < argc)
            options.firstRowNumber = std::atoi(argv[++i]);
        else if (opt == "--no-terminator")
            options.rowTerminator = false;
        else if (opt == "--continuation")
            options.continuationHeader = true;
        else if (opt == "--geo" && i + 1 < argc)
            geo = argv[++i];
        else
            return Usage();
    }
    if (argc - i != 2)
        return Usage();
    const std::string in = argv[i], out = argv[i + 1];
#ifdef TAVOLA_HAVE_QT
    QImage image(QString::fromStdString(in));
    if (image.isNull())
        return Error("cannot read image " + in);
    if (image.format() != QImage::Format_Indexed8)
        return Error(in + ": not an indexed (palette) image");
    tavola::NosImage nos;
    nos.name = name.empty() ? in : name;
    nos.width = image.width();
    nos.height = image.height();
    for (QRgb c : image.colorTable())
        nos.colours.push_back(
            {std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c))});
    nos.pixels.resize(std::size_t(nos.width) * nos.height);
    for (int y = 0; y < nos.height; ++y)
        std::memcpy(nos.pixels.data() + std::size_t(y) * nos.width, image.constScanLine(y),
                    nos.width);
    std::string error;
    if (!tavola::WriteNosFile(out, nos, options, &error))
        return Error(out + ": " + error);
    if (!geo.empty()) {
        const std::string target = CTavola::ReferenceFileName(out);
        std::ifstream src(geo, std::ios::binary);
        if (!src)
            return Error("cannot read " + geo);
        std::ofstream dst(target, std::ios::binary | std::ios::trunc);
        if (!dst || !(dst << src.rdbuf()) || !dst.flush())
            return Error("cannot write " + target);
    }
    return 0;
#else
    (void)options;
    return Error("this build has no PNG support");
#endif
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return Usage();
    const std::string cmd = argv[1];
    if (cmd == "info" && argc == 3)
        return Info(argv[2]);
    if (cmd == "decode") {
        if (argc == 5 && std::strcmp(argv[2], "--raw") == 0)
            return Decode(argv[3], argv[4], true);
        if (argc == 4)
            return Decode(argv[2], argv[3], false);
        return Usage();
    }
    if (cmd == "pw" && argc == 3)
        return Convert(argv[2], true);
    if (cmd == "wp" && argc == 3)
        return Convert(argv[2], false);
    if (cmd == "encode")
        return Encode(argc, argv, 2);
    return Usage();
}
