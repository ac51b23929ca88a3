#include "chartsource/GdalChartSource.h"

#include "chartsource/NosChartSource.h"

#include <numbers/Numbers.h>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_alg.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <mutex>

namespace avilo::chartsource {

namespace {

void RegisterDrivers() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

struct DatasetClose {
    void operator()(void* dataset) const { GDALClose(static_cast<GDALDatasetH>(dataset)); }
};
using Dataset = std::unique_ptr<void, DatasetClose>;

struct TransformerFree {
    void operator()(void* transformer) const { GDALDestroyGenImgProjTransformer(transformer); }
};
using Transformer = std::unique_ptr<void, TransformerFree>;

// Keeps GDAL's messages of one call for our own, instead of letting GDAL print them.
class ErrorCapture {
public:
    ErrorCapture() { CPLPushErrorHandlerEx(&Handler, this); }
    ~ErrorCapture() { CPLPopErrorHandler(); }
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;
    // The first failure's message (the cause; later ones tend to be consequences).
    const std::string& First() const { return m_first; }

private:
    static void CPL_STDCALL Handler(CPLErr level, CPLErrorNum, const char* message) {
        auto* self = static_cast<ErrorCapture*>(CPLGetErrorHandlerUserData());
        if (self && level >= CE_Failure && self->m_first.empty() && message)
            self->m_first = message;
    }
    std::string m_first;
};

constexpr int kCubeLevels = 6;

std::uint8_t CubeLevel(std::uint8_t channel) {
    return static_cast<std::uint8_t>((channel * (kCubeLevels - 1) + 127) / 255);
}

class GdalGeoreference final : public Georeference {
public:
    GdalGeoreference(GDALDatasetH dataset, int width, int height)
        : m_width(width), m_height(height) {
        const bool projected = GDALGetSpatialRef(dataset) != nullptr;
        const bool points = GDALGetGCPCount(dataset) > 0 && GDALGetGCPSpatialRef(dataset);
        double transform[6];
        const bool affine = GDALGetGeoTransform(dataset, transform) == CE_None;
        if (!points && !(projected && affine)) {
            m_problem = affine ? "the chart has a geotransform but no coordinate system"
                               : "the chart carries no georeference (no coordinate system "
                                 "and geotransform, nor reference points)";
            return;
        }
        // WGS-84 with longitude first, whatever the EPSG axis order says.
        OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
        OSRSetWellKnownGeogCS(wgs84, "WGS84");
        OSRSetAxisMappingStrategy(wgs84, OAMS_TRADITIONAL_GIS_ORDER);
        char* wkt = nullptr;
        OSRExportToWkt(wgs84, &wkt);
        const std::string option = std::string("DST_SRS=") + (wkt ? wkt : "");
        CPLFree(wkt);
        OSRDestroySpatialReference(wgs84);
        const char* options[] = {option.c_str(), nullptr};
        ErrorCapture errors;
        m_transformer.reset(
            GDALCreateGenImgProjTransformer2(dataset, nullptr, const_cast<char**>(options)));
        if (!m_transformer)
            m_problem =
                "no transformation from the chart's coordinate system to WGS-84: " +
                (errors.First().empty() ? std::string("GDAL gives no reason") : errors.First());
    }

    bool Usable() const override { return m_problem.empty(); }
    const std::string& Problem() const override { return m_problem; }

    bool ToLonLat(double x, double y, double* longitude, double* latitude) const override {
        return Transform(false, x + 0.5, y + 0.5, longitude, latitude);
    }
    bool ToPixel(double longitude, double latitude, double* x, double* y) const override {
        if (!Transform(true, longitude, latitude, x, y))
            return false;
        *x -= 0.5;
        *y -= 0.5;
        return true;
    }
    bool Inside(double x, double y) const override {
        if (!(x >= -0.5 && y >= -0.5 && x < m_width - 0.5 && y < m_height - 0.5))
            return false;
        double longitude = 0, latitude = 0;
        return ToLonLat(x, y, &longitude, &latitude);
    }

private:
    bool Transform(bool toPixel, double a, double b, double* u, double* v) const {
        if (!m_transformer || !std::isfinite(a) || !std::isfinite(b))
            return false;
        double z = 0;
        int ok = 0;
        ErrorCapture quiet; // a point PROJ cannot convert is a false return, not a message
        if (!GDALGenImgProjTransform(m_transformer.get(), toPixel ? TRUE : FALSE, 1, &a, &b, &z,
                                     &ok) ||
            !ok || !std::isfinite(a) || !std::isfinite(b))
            return false;
        *u = a;
        *v = b;
        return true;
    }

    int m_width, m_height;
    Transformer m_transformer; // GDAL's transformer keeps no state between calls that matters
    std::string m_problem;
};

class GdalChartSource final : public ChartSource {
public:
    static std::unique_ptr<GdalChartSource> Open(const std::string& path, std::string* error);

    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    const std::vector<Rgb>& Palette() const override { return m_palette; }
    const Georeference& Georef() const override { return *m_georef; }
    std::string Format() const override { return m_format; }

    bool ReadIndices(int firstRow, int rowCount, int firstCol, int colCount,
                     std::uint8_t* out) override {
        if (firstRow < 0 || firstCol < 0 || rowCount < 1 || colCount < 1 ||
            rowCount > m_height - firstRow || colCount > m_width - firstCol)
            return false;
        const std::size_t count = std::size_t(rowCount) * std::size_t(colCount);
        ErrorCapture errors;
        CPLErr status = CE_None;
        if (!m_rgb) {
            status =
                GDALRasterIO(GDALGetRasterBand(m_dataset.get(), 1), GF_Read, firstCol, firstRow,
                             colCount, rowCount, out, colCount, rowCount, GDT_Byte, 0, 0);
        } else {
            m_rgbRow.resize(3 * count);
            int bands[3] = {1, 2, 3};
            status = GDALDatasetRasterIO(m_dataset.get(), GF_Read, firstCol, firstRow, colCount,
                                         rowCount, m_rgbRow.data(), colCount, rowCount, GDT_Byte, 3,
                                         bands, 3, 3 * colCount, 1);
            if (status == CE_None)
                for (std::size_t i = 0; i < count; ++i)
                    out[i] = static_cast<std::uint8_t>((CubeLevel(m_rgbRow[3 * i]) * kCubeLevels +
                                                        CubeLevel(m_rgbRow[3 * i + 1])) *
                                                           kCubeLevels +
                                                       CubeLevel(m_rgbRow[3 * i + 2]));
        }
        if (status != CE_None) {
            std::memset(out, 0, count);
            return false;
        }
        // Rows are mostly read top to bottom: once a row of blocks is done, its decoded blocks
        // leave GDAL's cache, which would otherwise keep a copy of the whole raster beside the
        // caller's (up to GDAL's cache size, 5 % of the memory).
        const int end = firstRow + rowCount;
        if (end == m_height || end % m_blockRows == 0)
            for (int b = 1; b <= (m_rgb ? 3 : 1); ++b)
                GDALFlushRasterCache(GDALGetRasterBand(m_dataset.get(), b));
        return true;
    }

private:
    Dataset m_dataset;
    int m_width = 0, m_height = 0;
    bool m_rgb = false;
    int m_blockRows = 1; // rows of one block of band 1
    std::vector<std::uint8_t> m_rgbRow;
    std::vector<Rgb> m_palette;
    std::unique_ptr<GdalGeoreference> m_georef;
    std::string m_format;
};

std::unique_ptr<GdalChartSource> GdalChartSource::Open(const std::string& path,
                                                       std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    // GDAL and PROJ read the file's numbers (KAP headers, WKT) in the C locale whatever the
    // planner's locale is.
    const numbers::CLocaleScope cLocale;
    RegisterDrivers();
    const char* drivers[] = {"GTiff", "BSB", nullptr};
    ErrorCapture errors;
    Dataset dataset(
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr));
    if (!dataset)
        return fail(errors.First().empty() ? "the file is not a GeoTIFF or KAP chart"
                                           : errors.First());
    GDALDatasetH handle = dataset.get();
    const std::string driver = GDALGetDriverShortName(GDALGetDatasetDriver(handle));
    const int width = GDALGetRasterXSize(handle), height = GDALGetRasterYSize(handle);
    const int bands = GDALGetRasterCount(handle);
    if (width < 1 || height < 1 || bands < 1)
        return fail("the chart has no pixels");
    GDALRasterBandH first = GDALGetRasterBand(handle, 1);
    for (int b = 1; b <= std::min(bands, 3); ++b)
        if (GDALGetRasterDataType(GDALGetRasterBand(handle, b)) != GDT_Byte)
            return fail(std::string("only 8-bit charts can be read; band ") + std::to_string(b) +
                        " holds " +
                        GDALGetDataTypeName(GDALGetRasterDataType(GDALGetRasterBand(handle, b))));

    std::unique_ptr<GdalChartSource> source(new GdalChartSource);
    source->m_width = width;
    source->m_height = height;
    source->m_format = driver == "BSB" ? "KAP" : "GeoTIFF";
    int blockColumns = 0, blockRows = 0;
    GDALGetBlockSize(first, &blockColumns, &blockRows);
    source->m_blockRows = std::max(1, blockRows);
    if (GDALColorTableH table = GDALGetRasterColorTable(first)) {
        const int entries = std::min(GDALGetColorEntryCount(table), 256);
        for (int i = 0; i < entries; ++i) {
            GDALColorEntry c{};
            GDALGetColorEntryAsRGB(table, i, &c);
            const auto channel = [](short v) {
                return static_cast<std::uint8_t>(std::clamp<int>(v, 0, 255));
            };
            source->m_palette.push_back({channel(c.c1), channel(c.c2), channel(c.c3)});
        }
    } else if (bands >= 3 && GDALGetRasterColorInterpretation(first) == GCI_RedBand) {
        source->m_rgb = true;
        for (int r = 0; r < kCubeLevels; ++r)
            for (int g = 0; g < kCubeLevels; ++g)
                for (int b = 0; b < kCubeLevels; ++b)
                    source->m_palette.push_back({static_cast<std::uint8_t>(r * 51),
                                                 static_cast<std::uint8_t>(g * 51),
                                                 static_cast<std::uint8_t>(b * 51)});
    } else {
        for (int v = 0; v < 256; ++v) {
            const auto grey = static_cast<std::uint8_t>(v);
            source->m_palette.push_back({grey, grey, grey});
        }
    }
    source->m_georef = std::make_unique<GdalGeoreference>(handle, width, height);
    source->m_dataset = std::move(dataset);
    return source;
}

bool EndsWithNos(const std::string& path) {
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".nos";
}

} // namespace

std::unique_ptr<ChartSource> OpenGdalChart(const std::string& path, std::string* error) {
    return GdalChartSource::Open(path, error);
}

std::unique_ptr<ChartSource> OpenChart(const std::string& path, std::string* error) {
    if (EndsWithNos(path))
        return NosChartSource::Open(path, error);
    return OpenGdalChart(path, error);
}

} // namespace avilo::chartsource
