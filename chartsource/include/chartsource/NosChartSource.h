#pragma once
// A NOS/GEO chart behind the chart source interface: the chart library's reader (CTavola) and
// the reference file's fit (CGEORec), unchanged.  Indices are the file's colour indices and the
// palette is the one the reader builds at open, so a renderer reading through this adapter sees
// the very bytes it read from CTavola directly.  Accuracy of the conversions: that of CGEORec
// (<tavola/GeoRec.h>).  The border polygon ("Vertex" lines) bounds Inside() when the reference
// file has three or more vertices.

#include "chartsource/ChartSource.h"

#include <tavola/Tavola.h>

#include <memory>
#include <string>

namespace avilo::chartsource {

class NosChartSource final : public ChartSource, private Georeference {
public:
    /// Opens the chart at `path` and its reference file; null with `*error` set (the reader's
    /// reason) when the chart cannot be read or has no pixels.
    static std::unique_ptr<NosChartSource> Open(const std::string& path, std::string* error);
    ~NosChartSource() override;

    int Width() const override { return m_size.cx; }
    int Height() const override { return m_size.cy; }
    const std::vector<Rgb>& Palette() const override { return m_palette; }
    bool ReadIndices(int firstRow, int rowCount, int firstCol, int colCount,
                     std::uint8_t* out) override;
    const Georeference& Georef() const override { return *this; }
    std::string Format() const override { return "NOS"; }

    /// The reader and its reference record, for what only a NOS chart has.
    CTavola& Chart() { return m_chart; }
    CGEORec& GeoRec() { return *m_chart.GetBaseGeoRec(); }

private:
    NosChartSource() = default;

    bool Usable() const override;
    const std::string& Problem() const override;
    bool ToLonLat(double x, double y, double* longitude, double* latitude) const override;
    bool ToPixel(double longitude, double latitude, double* x, double* y) const override;
    bool Inside(double x, double y) const override;

    CTavola m_chart;
    const CGEORec* m_geo = nullptr; // the reader's base record
    CSize m_size;
    std::vector<Rgb> m_palette;
};

} // namespace avilo::chartsource
