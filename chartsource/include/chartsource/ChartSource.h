#pragma once
// A raster chart as the chart windows and tools see it, whatever file it came from: its size,
// rows of palette indices, its palette and its georeference.
//
// Pixel coordinates: x = column to the right, y = row downwards, in chart pixels, with integer
// values at pixel centres (pixel (0, 0) covers x and y from -0.5 to 0.5), the convention of
// the NOS reference files.  Positions: longitude and latitude in decimal degrees on WGS-84,
// east and north positive, always in the order (longitude, latitude).
//
// Every chart is delivered as palette indices, one byte per pixel: paletted files as they are,
// grey files through a 256-entry grey palette, and colour (RGB) files through a fixed colour
// cube (see GdalChartSource.h).  Keeping indices rather than colours holds a large chart at one
// byte per pixel.
//
// Not thread-safe: one source is used from one thread at a time.

#include <cstdint>
#include <string>
#include <vector>

namespace avilo::chartsource {

/// One palette colour, 0..255 per channel.
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

/// The conversions between chart pixels and positions of a chart.
class Georeference {
public:
    virtual ~Georeference() = default;

    /// Whether positions can be read from the chart at all (a reference that fixes a
    /// conversion).  Without it the chart can only be viewed.
    virtual bool Usable() const = 0;
    /// Why not, for messages; empty when Usable().
    virtual const std::string& Problem() const = 0;

    /// Pixel (x, y) -> (longitude, latitude).  False when the position cannot be computed
    /// (no usable reference, or the projection has no inverse there); outputs undefined then.
    virtual bool ToLonLat(double x, double y, double* longitude, double* latitude) const = 0;
    /// (longitude, latitude) -> pixel (x, y), which may lie outside the chart.  False when the
    /// position cannot be computed.
    virtual bool ToPixel(double longitude, double latitude, double* x, double* y) const = 0;
    /// Whether pixel (x, y) lies inside the georeferenced area: inside the chart's border
    /// polygon where the chart has one, else inside the raster.
    virtual bool Inside(double x, double y) const = 0;
};

class ChartSource {
public:
    virtual ~ChartSource() = default;

    /// Width and height in pixels, both >= 1.
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    /// The colours of the indices ReadIndices gives (at most 256 entries; indices past the
    /// end show black).
    virtual const std::vector<Rgb>& Palette() const = 0;
    /// Palette indices of rows firstRow .. firstRow + rowCount - 1, columns firstCol ..
    /// firstCol + colCount - 1, into `out` (rowCount x colCount bytes, rows one after the
    /// other).  False for a block outside the chart or a damaged file; what could be read stays
    /// and the rest is zero.
    virtual bool ReadIndices(int firstRow, int rowCount, int firstCol, int colCount,
                             std::uint8_t* out) = 0;
    /// The georeference (lives as long as the source).
    virtual const Georeference& Georef() const = 0;
    /// The file format, for messages and tools: "NOS", "GeoTIFF", "KAP".
    virtual std::string Format() const = 0;
};

} // namespace avilo::chartsource
