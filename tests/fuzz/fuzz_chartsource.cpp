// libFuzzer target: charts read through GDAL (GeoTIFF, KAP) behind the chart source interface:
// opening from memory, a bounded window of rows, and conversions in both directions.
#include <chartsource/GdalChartSource.h>

#include <cpl_vsi.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Both names, so that each driver gets its chance (GDAL picks drivers by content, but the
    // BSB driver also looks at the extension).
    for (const char* name : {"/vsimem/fuzz.tif", "/vsimem/fuzz.kap"}) {
        VSILFILE* file = VSIFileFromMemBuffer(name, const_cast<GByte*>(data), size, FALSE);
        if (!file)
            return 0;
        VSIFCloseL(file);
        std::string error;
        if (auto chart = avilo::chartsource::OpenGdalChart(name, &error)) {
            // Bound the work per input: the header may claim any size.
            const int cols = std::min(chart->Width(), 1024);
            const int rows = std::min(chart->Height(), 8);
            std::vector<std::uint8_t> out(std::size_t(cols) * rows);
            chart->ReadIndices(0, rows, 0, cols, out.data());
            chart->ReadIndices(chart->Height() - 1, 1, chart->Width() - cols, cols, out.data());
            chart->ReadIndices(chart->Height(), 1, 0, 1, out.data()); // outside: must refuse
            for (std::uint8_t index : out)
                if (index < chart->Palette().size())
                    (void)chart->Palette()[index];
            const auto& geo = chart->Georef();
            double u = 0, v = 0;
            geo.ToLonLat(0, 0, &u, &v);
            geo.ToLonLat(chart->Width() - 1, chart->Height() - 1, &u, &v);
            geo.ToPixel(u, v, &u, &v);
            geo.ToPixel(4.76, 52.3, &u, &v);
            geo.Inside(0.5, 0.5);
        }
        VSIUnlink(name);
    }
    return 0;
}
