#pragma once
// The pictures of a chart window, without any window: the chart reader, the chart decoded once
// into a full-resolution image, the reduced image the window shows, the steer point markers and
// the route of the flight plan, and (for pictures of a flight) a flown track.
//
// Images:
//  - the full image: 8-bit indices, chart width x chart height, with the chart's colours as its
//    colour table (one byte per chart pixel, kept for the life of the renderer).  The table
//    holds the chart palette ordered from dark to light, so a smaller index is a darker colour;
//  - the reduced image: 16-bit colour (RGB 5-6-5) of the full chart size, so that it never has
//    to be re-created when zooming; the image reduced by the factor occupies its top-left
//    chart width / factor x chart height / factor pixels (two bytes per chart pixel).
// Rows are decoded straight into the full image, so loading needs no buffer beyond these two.
//
// Charts read through GDAL (GeoTIFF, KAP), often sectionals of 200 million pixels, are kept
// compact instead: the reduced image holds 8-bit indices with the full image's colour table and
// only the size of the largest reduction (factor 1.5), made on the first zoom out (at factor 1
// the full image is shown), so such a chart takes 1 byte per pixel until zoomed out and at most
// 1 + 1 / 1.5^2 = 1.44 after; painting converts only the part of the image under the window.
//
// Reduction stretches the full image into the reduced one in tiles of 5000 x 5000 chart
// pixels.  Each reduced pixel shows the darkest of the chart pixels it covers (a black-on-white
// stretch): thin dark lines such as the graticule and borders stay visible at every factor, as
// they do on a paper chart seen from further away, and no colour appears that the chart lacks.
//
// Not thread-safe: one renderer is used from one thread.

#include "chartview/ChartViewport.h"

#include <chartsource/ChartSource.h>
#include <tavola/Tavola.h>
#include <xml/Dom.h>

#include <QColor>
#include <QImage>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPainter;

namespace avilo::planner {

/// A position in decimal degrees, east and north positive.
struct LonLat {
    double longitude = 0;
    double latitude = 0;
};

/// A point of the reduced image (screen pixels before scrolling).
struct ReducedPoint {
    int x = 0, y = 0;
};

/// Edge of the square tiles the reduction works in, chart pixels.
inline constexpr int kReductionTile = 5000;

class ChartRenderer {
public:
    /// Durations of the steps of opening a chart, seconds.
    struct LoadProfile {
        double open = 0;     ///< chart file and reference file read, georeferencing fitted
        double allocate = 0; ///< both images allocated
        double decode = 0;   ///< rows decoded into the full image
        double reduce = 0;   ///< first reduction
    };

    ChartRenderer();
    ~ChartRenderer();
    ChartRenderer(const ChartRenderer&) = delete;
    ChartRenderer& operator=(const ChartRenderer&) = delete;

    /// Opens the chart at `path`: a NOS chart with its reference file, or a GeoTIFF or KAP chart
    /// (chartsource::OpenChart).  False with `*error` set ("the reason") when the chart cannot
    /// be read or has no pixels.
    bool OpenChart(const std::string& path, std::string* error);
    /// Decodes the chart into the full image, allocates the reduced image and reduces at `scale`.
    /// False with `*error` set when the images cannot be allocated (nothing is kept then).
    bool LoadBitmaps(double scale, std::string* error);
    /// Stretches the full image into the reduced image at `scale` (chart pixels per reduced
    /// pixel, >= 1), tile by tile.
    void Reduce(double scale);
    /// Fills rectangles of the reduced image white (clipped to it).
    void ClearReduced(const std::array<PixelRect, 2>& rects);

    /// Draws the client area of a window, clientWidth x clientHeight: the image reduced at
    /// `scale` (the factor of the last Reduce) from (hScroll, vScroll); with `erase`, the whole
    /// area white first.  Parts of the area the image does not reach show white, whatever the
    /// bitmap holds beyond it.
    void DrawChart(QPainter& painter, int clientWidth, int clientHeight, int hScroll, int vScroll,
                   double scale, bool erase) const;
    /// Draws the steer points of the plan under `root` (its children, in order; those without a
    /// `GPSCoordinate` child are skipped) as markers centred on their reduced-image position
    /// minus the scroll positions, and the route through them in plan order (black, one pixel)
    /// over the markers.  Returns the reduced-image points drawn.  Throws xml::ComError when the
    /// plan cannot be read; the steer points drawn before stay drawn.
    std::vector<ReducedPoint> DrawPlan(QPainter& painter, const xml::Node& root, double scale,
                                       int hScroll, int vScroll);
    /// The reduced-image points of the steer points under `root` that DrawPlan draws, in plan
    /// order.  Throws xml::ComError when the plan cannot be read.
    std::vector<ReducedPoint> PlanPoints(const xml::Node& root, double scale);
    /// Draws a flown track as a polyline of `colour`, `width` pixels wide; returns its
    /// reduced-image points.
    std::vector<ReducedPoint> DrawTrack(QPainter& painter, const std::vector<LonLat>& track,
                                        double scale, int hScroll, int vScroll,
                                        const QColor& colour, double width);
    /// The reduced-image position of a geographic position (may lie outside the image).
    ReducedPoint ToReduced(LonLat position, double scale);

    /// The open chart (null before a chart is open).
    chartsource::ChartSource* Source() { return m_source.get(); }
    /// Its georeference; before a chart is open one that is not usable.
    const chartsource::Georeference& Georef() const;
    int ChartWidth() const { return m_nChartWidth; }
    int ChartHeight() const { return m_nChartHeight; }
    const QImage& FullImage() const { return m_full; }
    const QImage& ReducedImage() const { return m_scaled; }
    const LoadProfile& Profile() const { return m_profile; }

    /// The steer point marker: 32 x 32, a black circle with a black diagonal cross, red ticks at
    /// the four compass points and a red centre, transparent outside the circle.
    static QImage SteerPointIcon();
    /// Bytes the images of a chart of width x height pixels take: one per pixel for the full
    /// image, two for the reduced image.
    static std::uint64_t ImageBytes(int width, int height);
    /// Whether the open chart is kept compact (see above).
    bool Compact() const { return m_bCompact; }

private:
    // Calls `visit` with the reduced-image point of each steer point under `root` that has a
    // position, in plan order.
    template <class Visit> void ForEachSteerPoint(const xml::Node& root, double scale, Visit visit);
    void ReduceTile(int left, int top, int right, int bottom, double scale);

    std::unique_ptr<chartsource::ChartSource> m_source;
    QImage m_full;   // Format_Indexed8
    QImage m_scaled; // Format_RGB16; compact: Format_Indexed8 or none
    bool m_bCompact = false;
    std::array<std::uint16_t, 256> m_lut{}; // full-image index -> RGB 5-6-5
    std::vector<std::uint32_t> m_pairLut;   // two indices -> two RGB 5-6-5 colours
    QImage m_icon;
    int m_nChartWidth = 0;
    int m_nChartHeight = 0;
    bool m_bOpen = false;
    LoadProfile m_profile;
};

} // namespace avilo::planner
