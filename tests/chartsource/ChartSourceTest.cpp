// Chart sources against GDAL's own transformer program (gdaltransform), the sample GeoTIFF
// against the sample NOS chart, KAP charts and files that must fail cleanly.
#include <chartsource/GdalChartSource.h>
#include <numbers/Numbers.h>
#include <tavola/NosWriter.h>

#include <gdal.h>
#include <ogr_srs_api.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace avilo::chartsource;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "chartsource-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// A paletted, LZW-compressed GeoTIFF of width x height in `srs` (anything
// OSRSetFromUserInput reads; empty for none) with geotransform `gt` (null for none).
void MakeGeoTiff(const std::string& path, int width, int height, const std::string& srs,
                 const double* gt, GDALDataType type = GDT_Byte) {
    GDALAllRegister();
    const char* options[] = {"COMPRESS=LZW", nullptr};
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), width, height, 1, type,
                                 const_cast<char**>(options));
    ASSERT_NE(ds, nullptr);
    if (!srs.empty()) {
        OGRSpatialReferenceH ref = OSRNewSpatialReference(nullptr);
        ASSERT_EQ(OSRSetFromUserInput(ref, srs.c_str()), OGRERR_NONE) << srs;
        GDALSetSpatialRef(ds, ref);
        OSRDestroySpatialReference(ref);
    }
    if (gt)
        GDALSetGeoTransform(ds, const_cast<double*>(gt));
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    if (type == GDT_Byte) {
        GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
        for (int i = 0; i < 4; ++i) {
            const GDALColorEntry e{short(60 * i), short(255 - 60 * i), 128, 255};
            GDALSetColorEntry(table, i, &e);
        }
        GDALSetRasterColorTable(band, table);
        GDALDestroyColorTable(table);
        std::vector<std::uint8_t> row(static_cast<std::size_t>(width));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                row[x] = static_cast<std::uint8_t>((x / 10 + y / 10) % 4);
            ASSERT_EQ(
                GDALRasterIO(band, GF_Write, 0, y, width, 1, row.data(), width, 1, GDT_Byte, 0, 0),
                CE_None);
        }
    }
    GDALClose(ds);
}

// Runs gdaltransform on `input` lines ("a b" each) and returns its output pairs.
std::vector<std::pair<double, double>> GdalTransform(const std::string& args,
                                                     const std::string& input, const TempDir& dir) {
    const std::string in = dir.File("in.txt"), out = dir.File("out.txt");
    std::ofstream(in) << input;
    const std::string command = "gdaltransform " + args + " < " + in + " > " + out;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<std::pair<double, double>> result;
    std::ifstream text(out);
    std::string line;
    while (std::getline(text, line)) {
        std::istringstream fields(line);
        std::string a, b;
        fields >> a >> b;
        result.emplace_back(numbers::ToDouble(a), numbers::ToDouble(b));
    }
    return result;
}

// A KAP file: the BSB `header` text over the raster coding the chart library's NOS writer
// makes (the same run-length rows, row index and index offset), with the offsets moved to the
// new header's length.
bool WriteKap(const std::string& path, const std::string& header, const tavola::NosImage& image,
              std::string* error) {
    std::vector<unsigned char> nos = tavola::EncodeNos(image, {}, error);
    if (nos.size() < 8)
        return false;
    const auto end = std::find(nos.begin(), nos.end(), 0x1A);
    const long delta = static_cast<long>(header.size()) - (end - nos.begin());
    std::vector<unsigned char> kap(header.begin(), header.end());
    kap.insert(kap.end(), end, nos.end());
    const auto read = [&](std::size_t at) {
        return (std::uint32_t(kap[at]) << 24) | (std::uint32_t(kap[at + 1]) << 16) |
               (std::uint32_t(kap[at + 2]) << 8) | std::uint32_t(kap[at + 3]);
    };
    const auto write = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            kap[at + i] = static_cast<unsigned char>(v >> (24 - 8 * i));
    };
    const std::size_t index = read(kap.size() - 4) + delta;
    write(kap.size() - 4, static_cast<std::uint32_t>(index));
    for (int row = 0; row < image.height; ++row)
        write(index + 4 * row, static_cast<std::uint32_t>(read(index + 4 * row) + delta));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(kap.data()), static_cast<std::streamsize>(kap.size()));
    return static_cast<bool>(out);
}

bool HaveGdalTransform() {
    return std::system("command -v gdaltransform > /dev/null 2>&1") == 0;
}

} // namespace

// Pixel <-> position against gdaltransform on charts in four projections, both directions,
// within 0.01 pixel, at the corners, the centre and fractional pixels; outside the raster the
// source says so.
TEST(GdalChartSource, AgreesWithGdalTransformInFourProjections) {
    if (!HaveGdalTransform())
        GTEST_SKIP() << "gdaltransform (gdal-bin) is not installed";
    struct Case {
        const char* name;
        const char* srs;
        double gt[6];
    };
    const Case cases[] = {
        // A sectional-like Lambert conformal conic on NAD83 (FAA parallels of the Chicago
        // sectional), 42 m pixels, slightly rotated as scans are.
        {"lcc-nad83",
         "+proj=lcc +lat_1=41.333 +lat_2=44.667 +lat_0=40 +lon_0=-87 +x_0=0 +y_0=0 +datum=NAD83 "
         "+units=m +no_defs",
         {-250000, 42.3, 0.4, 260000, 0.4, -42.3}},
        {"utm31n", "EPSG:32631", {600000, 50, 0, 5820000, 0, -50}},
        {"mercator", "EPSG:3395", {400000, 120, 0, 6900000, 0, -120}},
        {"lonlat", "EPSG:4326", {4.0, 0.001, 0, 52.6, 0, -0.001}},
    };
    const int width = 1200, height = 900;
    const double pixels[][2] = {{0, 0},          {width - 1, 0},   {0, height - 1}, {1199, 899},
                                {600.25, 450.5}, {17.75, 812.125}, {1000.5, 33.3},  {-0.49, -0.49}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File(std::string(c.name) + ".tif");
        MakeGeoTiff(path, width, height, c.srs, c.gt);
        std::string error;
        const auto source = OpenChart(path, &error);
        ASSERT_TRUE(source) << error;
        EXPECT_EQ(source->Format(), "GeoTIFF");
        const Georeference& geo = source->Georef();
        ASSERT_TRUE(geo.Usable()) << geo.Problem();

        // gdaltransform counts from the pixel's corner, the sources from its centre.
        std::string input;
        for (const auto& p : pixels)
            input += numbers::Format("%.6f %.6f\n", p[0] + 0.5, p[1] + 0.5);
        const auto forward = GdalTransform("-t_srs EPSG:4326 " + path, input, dir);
        ASSERT_EQ(forward.size(), std::size(pixels));
        std::string positions;
        for (std::size_t i = 0; i < std::size(pixels); ++i) {
            double lon = 0, lat = 0, x = 0, y = 0;
            ASSERT_TRUE(geo.ToLonLat(pixels[i][0], pixels[i][1], &lon, &lat));
            // Compared in pixels: the position GDAL gives, brought back by the source.
            ASSERT_TRUE(geo.ToPixel(forward[i].first, forward[i].second, &x, &y));
            EXPECT_NEAR(x, pixels[i][0], 0.01) << i;
            EXPECT_NEAR(y, pixels[i][1], 0.01) << i;
            // 1e-7 degree is about a centimetre, far below 0.01 pixel on these charts.
            EXPECT_NEAR(lon, forward[i].first, 1e-7) << i;
            EXPECT_NEAR(lat, forward[i].second, 1e-7) << i;
            EXPECT_TRUE(geo.Inside(pixels[i][0], pixels[i][1])) << i;
            positions += numbers::Format("%.12f %.12f\n", lon, lat);
        }
        const auto inverse = GdalTransform("-i -t_srs EPSG:4326 " + path, positions, dir);
        ASSERT_EQ(inverse.size(), std::size(pixels));
        for (std::size_t i = 0; i < std::size(pixels); ++i) {
            double x = 0, y = 0;
            double lon = 0, lat = 0;
            geo.ToLonLat(pixels[i][0], pixels[i][1], &lon, &lat);
            ASSERT_TRUE(geo.ToPixel(lon, lat, &x, &y));
            EXPECT_NEAR(x, inverse[i].first - 0.5, 0.01) << i;
            EXPECT_NEAR(y, inverse[i].second - 0.5, 0.01) << i;
        }
        for (const auto& outside : {std::pair{-0.6, 10.0}, std::pair{10.0, -0.6},
                                    std::pair{width - 0.5, 10.0}, std::pair{10.0, height - 0.5}})
            EXPECT_FALSE(geo.Inside(outside.first, outside.second));
    }
}

// A KAP chart (BSB 3 header: reference points and projection fields) read through GDAL; its
// conversions agree with gdaltransform and put the reference points where they are.
TEST(GdalChartSource, ReadsKapCharts) {
    TempDir dir;
    tavola::NosImage image;
    image.name = "TEST KAP";
    image.width = 240;
    image.height = 180;
    image.colours = {{0, 0, 0}, {255, 255, 255}, {200, 30, 30}, {0, 0, 255}};
    image.pixels.resize(std::size_t(image.width) * image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.pixels[std::size_t(y) * image.width + x] =
                static_cast<unsigned char>(x == y ? 3 : 2);
    // Mercator on WGS-84 around Amsterdam; corners and the middle as reference points.
    const std::string header =
        "VER/3.0\r\nBSB/NA=TEST KAP,NU=1,RA=240,180,DU=254\r\n"
        "KNP/SC=50000,GD=WGS84,PR=MERCATOR,PP=52.3,PI=UNKNOWN,SP=UNKNOWN,SK=0.0,TA=90,"
        "UN=METRES,SD=UNKNOWN,DX=30.0,DY=30.0\r\n"
        "REF/1,0,0,52.40,4.70\r\nREF/2,240,0,52.40,4.80\r\nREF/3,0,180,52.34,4.70\r\n"
        "REF/4,240,180,52.34,4.80\r\nREF/5,120,90,52.3700159,4.75\r\n"
        "RGB/1,0,0,0\r\nRGB/2,255,255,255\r\nRGB/3,200,30,30\r\n";
    const std::string path = dir.File("chart.kap");
    std::string error;
    ASSERT_TRUE(WriteKap(path, header, image, &error)) << error;

    const auto source = OpenChart(path, &error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->Format(), "KAP");
    EXPECT_EQ(source->Width(), 240);
    EXPECT_EQ(source->Height(), 180);
    std::vector<std::uint8_t> row(240);
    ASSERT_TRUE(source->ReadIndices(10, 1, 0, 240, row.data()));
    const auto& palette = source->Palette();
    ASSERT_LT(row[10], palette.size());
    EXPECT_EQ(palette[row[10]], (Rgb{200, 30, 30}));
    EXPECT_EQ(palette[row[11]], (Rgb{255, 255, 255}));

    const Georeference& geo = source->Georef();
    ASSERT_TRUE(geo.Usable()) << geo.Problem();
    double x = 0, y = 0;
    ASSERT_TRUE(geo.ToPixel(4.75, 52.37, &x, &y));
    // A reference point sits at its pixel's corner in GDAL's count, half a pixel before the
    // centre here; the fit through five points puts it there within a small fraction.
    EXPECT_NEAR(x, 119.5, 0.05);
    EXPECT_NEAR(y, 89.5 + (52.3700159 - 52.37) / (0.06 / 180), 0.05);
    if (HaveGdalTransform()) {
        const auto gdal = GdalTransform("-t_srs EPSG:4326 " + path, "20.5 170.5\n", dir);
        ASSERT_EQ(gdal.size(), 1u);
        double lon = 0, lat = 0;
        ASSERT_TRUE(geo.ToLonLat(20, 170, &lon, &lat));
        EXPECT_NEAR(lon, gdal[0].first, 1e-9);
        EXPECT_NEAR(lat, gdal[0].second, 1e-9);
    }
}

// Files that must fail with a clear message, and files that open for viewing only.
TEST(GdalChartSource, BadFilesFailCleanly) {
    TempDir dir;
    const double gt[6] = {600000, 50, 0, 5820000, 0, -50};
    const std::string good = dir.File("good.tif");
    MakeGeoTiff(good, 600, 400, "EPSG:32631", gt);
    std::string bytes;
    {
        std::ifstream in(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string error;

    // Cut short in its header: nothing to open.
    std::ofstream(dir.File("header.tif"), std::ios::binary) << bytes.substr(0, 40);
    EXPECT_FALSE(OpenChart(dir.File("header.tif"), &error));
    EXPECT_FALSE(error.empty());

    // Cut short in its strips (the directory lies at the end of GDAL's files, so move it
    // in front by cutting a copy whose strips point past the end): opening may succeed, but
    // reading the missing rows fails, with zeros, and no crash.
    {
        const std::string striped = dir.File("striped.tif");
        GDALAllRegister();
        const char* options[] = {"COMPRESS=LZW", "BLOCKYSIZE=16", nullptr};
        GDALDatasetH src = GDALOpen(good.c_str(), GA_ReadOnly);
        GDALDatasetH copy = GDALCreateCopy(GDALGetDriverByName("GTiff"), striped.c_str(), src,
                                           FALSE, const_cast<char**>(options), nullptr, nullptr);
        GDALClose(copy);
        GDALClose(src);
        std::ifstream in(striped, std::ios::binary);
        std::string full((std::istreambuf_iterator<char>(in)), {});
        std::filesystem::resize_file(striped, full.size() / 2);
        if (auto source = OpenChart(striped, &error)) {
            std::vector<std::uint8_t> rows(600 * 400, 7);
            EXPECT_FALSE(source->ReadIndices(0, 400, 0, 600, rows.data()));
        } else {
            EXPECT_FALSE(error.empty());
        }
    }

    // No georeference, and a geotransform without a coordinate system: viewing only.
    MakeGeoTiff(dir.File("plain.tif"), 50, 40, "", nullptr);
    MakeGeoTiff(dir.File("nosrs.tif"), 50, 40, "", gt);
    for (const char* name : {"plain.tif", "nosrs.tif"}) {
        const auto source = OpenChart(dir.File(name), &error);
        ASSERT_TRUE(source) << error;
        EXPECT_FALSE(source->Georef().Usable()) << name;
        EXPECT_FALSE(source->Georef().Problem().empty()) << name;
        double lon = 0, lat = 0;
        EXPECT_FALSE(source->Georef().ToLonLat(10, 10, &lon, &lat));
    }

    // 16-bit samples are no chart's.
    MakeGeoTiff(dir.File("deep.tif"), 50, 40, "EPSG:32631", gt, GDT_UInt16);
    EXPECT_FALSE(OpenChart(dir.File("deep.tif"), &error));
    EXPECT_NE(error.find("8-bit"), std::string::npos) << error;

    // A KAP whose header breaks off, and text that is no chart at all.
    std::ofstream(dir.File("broken.kap"), std::ios::binary)
        << "VER/3.0\nBSB/NA=BROKEN,RA=100,80,DU=254\nRGB/1,0,0,0\nREF/1,0,0,52";
    EXPECT_FALSE(OpenChart(dir.File("broken.kap"), &error));
    EXPECT_FALSE(error.empty());
    std::ofstream(dir.File("notes.tif")) << "not a chart\n";
    EXPECT_FALSE(OpenChart(dir.File("notes.tif"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(OpenChart(dir.File("missing.tif"), &error));
    EXPECT_FALSE(error.empty());
}

// The sample GeoTIFF, made from the sample NOS chart with GDAL, shows the same colours at every
// pixel and puts every pixel at the same position within 0.5 pixel (in fact far closer: both
// hold the same Lambert projection).
TEST(GdalChartSource, SampleGeoTiffMatchesTheSampleNosChart) {
    std::string error;
    const auto nos = OpenChart(AVILO_CHART_DIR "/EHAM-sectional.nos", &error);
    ASSERT_TRUE(nos) << error;
    const auto tif = OpenChart(AVILO_CHART_DIR "/EHAM-sectional.tif", &error);
    ASSERT_TRUE(tif) << error;
    EXPECT_EQ(nos->Format(), "NOS");
    ASSERT_EQ(tif->Width(), nos->Width());
    ASSERT_EQ(tif->Height(), nos->Height());
    const int width = nos->Width();
    std::vector<std::uint8_t> a(width), b(width);
    for (int row = 0; row < nos->Height(); row += 37) {
        ASSERT_TRUE(nos->ReadIndices(row, 1, 0, width, a.data()));
        ASSERT_TRUE(tif->ReadIndices(row, 1, 0, width, b.data()));
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(nos->Palette().at(a[x]), tif->Palette().at(b[x])) << x << ", " << row;
    }
    const Georeference& n = nos->Georef();
    const Georeference& t = tif->Georef();
    ASSERT_TRUE(n.Usable() && t.Usable());
    double worst = 0;
    for (int y = 0; y < nos->Height(); y += 250) {
        for (int x = 0; x < width; x += 250) {
            double lon = 0, lat = 0, tx = 0, ty = 0;
            ASSERT_TRUE(n.ToLonLat(x, y, &lon, &lat));
            ASSERT_TRUE(t.ToPixel(lon, lat, &tx, &ty));
            worst = std::max(worst, std::hypot(tx - x, ty - y));
            EXPECT_EQ(n.Inside(x, y), x >= 79 && x <= 3919 && y >= 79 && y <= 2919);
            EXPECT_TRUE(t.Inside(x, y));
        }
    }
    EXPECT_LT(worst, 0.5);
    // Schiphol where the chart's notes put it.
    double x = 0, y = 0;
    ASSERT_TRUE(t.ToPixel(4.7639, 52.3086, &x, &y));
    EXPECT_NEAR(x, 1674.8, 0.1);
    EXPECT_NEAR(y, 1344.6, 0.1);
}
