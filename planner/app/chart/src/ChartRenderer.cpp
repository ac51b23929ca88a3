#include "chartview/ChartRenderer.h"

#include <chartsource/GdalChartSource.h>
#include <numbers/Numbers.h>

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <numeric>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <unistd.h>

namespace avilo::planner {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::uint16_t ToRgb565(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// Perceived brightness of a colour (ITU-R BT.601 weights), for ordering the colour table.
int Luminance(QRgb c) {
    return 299 * qRed(c) + 587 * qGreen(c) + 114 * qBlue(c);
}

// out[i] = min(a[i], b[i]) for n bytes; out may be a.
void MinOf(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b, int n) {
    int i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_min_epu8(va, vb));
    }
#endif
    for (; i < n; ++i)
        out[i] = std::min(a[i], b[i]);
}

// Physical memory of the machine, bytes (0 when unknown).
std::uint64_t PhysicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || size <= 0)
        return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

// Memory a new allocation can still get without the machine running out, bytes: the kernel's
// estimate of available memory plus free swap (/proc/meminfo); 0 when unknown.
std::uint64_t AvailableMemory() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    std::uint64_t kilobytes = 0, total = 0;
    bool found = false;
    while (in >> key >> kilobytes) {
        if (key == "MemAvailable:" || key == "SwapFree:") {
            total += kilobytes;
            found = found || key == "MemAvailable:";
        }
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return found ? total * 1024 : 0;
}

// Positions far outside any window are pulled in so that offsets and Qt's fixed-point
// rasteriser stay in range; a line to such a point still leaves the window the right way.
constexpr int kFarAway = 1 << 24;

// The georeference of a renderer without a chart.
class NoGeoreference final : public chartsource::Georeference {
public:
    bool Usable() const override { return false; }
    const std::string& Problem() const override { return m_problem; }
    bool ToLonLat(double, double, double*, double*) const override { return false; }
    bool ToPixel(double, double, double*, double*) const override { return false; }
    bool Inside(double, double) const override { return false; }

private:
    std::string m_problem = "no chart is open";
};

} // namespace

ChartRenderer::ChartRenderer() : m_icon(SteerPointIcon()) {}

ChartRenderer::~ChartRenderer() = default;

const chartsource::Georeference& ChartRenderer::Georef() const {
    static const NoGeoreference none;
    return m_source ? m_source->Georef() : none;
}

bool ChartRenderer::OpenChart(const std::string& path, std::string* error) {
    const auto start = Clock::now();
    m_profile = {};
    m_bOpen = false;
    m_source.reset();
    std::string why;
    m_source = chartsource::OpenChart(path, &why);
    if (!m_source) {
        if (error)
            *error = why;
        return false;
    }
    m_nChartWidth = m_source->Width();
    m_nChartHeight = m_source->Height();
    m_bCompact = m_source->Format() != "NOS";
    m_bOpen = true;
    m_profile.open = Seconds(start);
    return true;
}

std::uint64_t ChartRenderer::ImageBytes(int width, int height) {
    return 3ull * static_cast<std::uint64_t>(std::max(0, width)) *
           static_cast<std::uint64_t>(std::max(0, height));
}

bool ChartRenderer::LoadBitmaps(double scale, std::string* error) {
    if (!m_bOpen) {
        if (error)
            *error = "no chart is open";
        return false;
    }
    const int width = m_nChartWidth, height = m_nChartHeight;
    const auto fail = [&](const std::string& why) {
        m_full = QImage();
        m_scaled = QImage();
        if (error)
            *error = why;
        return false;
    };
    const std::uint64_t bytes =
        m_bCompact ? std::uint64_t(width) * std::uint64_t(height) : ImageBytes(width, height);
    const std::string noMemory = "not enough memory for the images of a chart of " +
                                 std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels (" + std::to_string(bytes >> 20) + " MB)";
    // Never try to allocate more than the machine has, or than it has left: the images are
    // written whole at once, so an allocation that only succeeds on paper ends in swapping or
    // the kernel's out-of-memory killer.
    const std::uint64_t physical = PhysicalMemory();
    if (physical != 0 && bytes > physical)
        return fail(noMemory + ", more than the machine's " + std::to_string(physical >> 20) +
                    " MB");
    const std::uint64_t available = AvailableMemory();
    if (available != 0 && bytes > available)
        return fail(noMemory + ", more than the " + std::to_string(available >> 20) +
                    " MB available");

    auto start = Clock::now();
    try {
        m_full = QImage(width, height, QImage::Format_Indexed8);
        if (!m_bCompact)
            m_scaled = QImage(width, height, QImage::Format_RGB16);
    } catch (const std::bad_alloc&) {
        return fail(noMemory);
    }
    if (m_full.isNull() || (!m_bCompact && m_scaled.isNull()))
        return fail(noMemory);

    // Colour table: the chart palette; entries past its count are black.  The image's indices
    // are the palette's ordered from dark to light (ties by palette index), so that the darkest
    // of several pixels is the smallest index and the reduction can compare bytes.
    QList<QRgb> palette(256, qRgb(0, 0, 0));
    const std::vector<chartsource::Rgb>& entries = m_source->Palette();
    for (std::size_t i = 0; i < entries.size() && i < 256; ++i) {
        const chartsource::Rgb& e = entries[i];
        palette[static_cast<qsizetype>(i)] = qRgb(e.r, e.g, e.b);
    }
    std::array<int, 256> order{};
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return Luminance(palette[a]) < Luminance(palette[b]); });
    std::array<std::uint8_t, 256> rank{};
    QList<QRgb> table(256);
    for (int r = 0; r < 256; ++r) {
        const QRgb c = palette[order[r]];
        rank[order[r]] = static_cast<std::uint8_t>(r);
        table[r] = c;
        m_lut[r] = ToRgb565(qRed(c), qGreen(c), qBlue(c));
    }
    m_full.setColorTable(table);
    // Pairs of indices as they lie in memory -> pairs of colours as they lie in memory.
    m_pairLut.resize(65536);
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::uint8_t key[2] = {static_cast<std::uint8_t>(a),
                                         static_cast<std::uint8_t>(b)};
            const std::uint16_t colours[2] = {m_lut[a], m_lut[b]};
            std::uint16_t k;
            std::memcpy(&k, key, sizeof k);
            std::memcpy(&m_pairLut[k], colours, sizeof colours);
        }
    }
    m_profile.allocate = Seconds(start);

    // Rows go straight into the image (top row first); a damaged row reads as what the reader
    // could decode, zero-filled.
    start = Clock::now();
    for (int row = 0; row < height; ++row) {
        std::uint8_t* line = m_full.scanLine(row);
        m_source->ReadIndices(row, 1, 0, width, line);
        for (int x = 0; x < width; ++x)
            line[x] = rank[line[x]];
    }
    m_profile.decode = Seconds(start);

    start = Clock::now();
    // What a reduction by more than 1 leaves uncovered shows white.
    const int reducedWidth = ChartViewport::ChartToReduced(width, scale);
    const int reducedHeight = ChartViewport::ChartToReduced(height, scale);
    ClearReduced({PixelRect{reducedWidth, 0, width, height},
                  PixelRect{0, reducedHeight, reducedWidth, height}});
    Reduce(scale);
    m_profile.reduce = Seconds(start);
    return true;
}

void ChartRenderer::Reduce(double scale) {
    if (m_bCompact && !m_full.isNull() && scale >= 1.0) {
        // At factor 1 the full image is shown.  Other factors share one image of the size of
        // the largest reduction, made on the first zoom out and kept, so that a zoom step
        // allocates nothing.
        if (scale == 1.0)
            return;
        const double largest = ChartViewport::kMinScale + ChartViewport::kZoomStep;
        const int w = ChartViewport::ChartToReduced(m_nChartWidth, std::min(scale, largest));
        const int h = ChartViewport::ChartToReduced(m_nChartHeight, std::min(scale, largest));
        if (w < 1 || h < 1)
            return;
        if (m_scaled.width() < w || m_scaled.height() < h) {
            m_scaled = QImage(); // the old one goes first: both at once may not fit
            try {
                m_scaled = QImage(w, h, QImage::Format_Indexed8);
            } catch (const std::bad_alloc&) {
                m_scaled = QImage();
            }
            if (m_scaled.isNull())
                return; // painting shows white where nothing could be reduced
            m_scaled.setColorTable(m_full.colorTable());
        }
    }
    if (m_full.isNull() || m_scaled.isNull() || !(scale >= 1.0))
        return;
    // Tile rows and columns 0 .. size / tile, both bounds inclusive: a size that is a multiple
    // of the tile gives one last, empty row or column of tiles, which draws nothing.
    for (int i = 0; i <= m_nChartHeight / kReductionTile; ++i) {
        for (int j = 0; j <= m_nChartWidth / kReductionTile; ++j) {
            const int left = kReductionTile * j, top = kReductionTile * i;
            const int right = std::min(left + kReductionTile, m_nChartWidth);
            const int bottom = std::min(top + kReductionTile, m_nChartHeight);
            ReduceTile(left, top, right, bottom, scale);
        }
    }
}

void ChartRenderer::ReduceTile(int left, int top, int right, int bottom, double scale) {
    const int dl = ChartViewport::ChartToReduced(left, scale);
    const int dt = ChartViewport::ChartToReduced(top, scale);
    const int dr = std::min(ChartViewport::ChartToReduced(right, scale), m_scaled.width());
    const int db = std::min(ChartViewport::ChartToReduced(bottom, scale), m_scaled.height());
    const int dw = dr - dl, dh = db - dt, sw = right - left, sh = bottom - top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return; // an empty tile draws nothing

    const std::array<std::uint16_t, 256> lut = m_lut; // local: stores cannot alias it
    if (dw == sw && dh == sh && m_bCompact) {
        for (int y = 0; y < dh; ++y)
            std::memcpy(m_scaled.scanLine(dt + y) + dl, m_full.constScanLine(top + y) + left, dw);
        return;
    }
    if (dw == sw && dh == sh) { // full resolution: one chart pixel per reduced pixel
        // Two pixels per look-up in the table of index pairs.
        const std::uint32_t* pairs = m_pairLut.data();
        for (int y = 0; y < dh; ++y) {
            const std::uint8_t* src = m_full.constScanLine(top + y) + left;
            auto* dst = reinterpret_cast<std::uint16_t*>(m_scaled.scanLine(dt + y)) + dl;
            int x = 0;
            for (; x + 2 <= dw; x += 2) {
                std::uint16_t key;
                std::memcpy(&key, src + x, sizeof key);
                std::memcpy(dst + x, pairs + key, sizeof(std::uint32_t));
            }
            for (; x < dw; ++x)
                dst[x] = lut[src[x]];
        }
        return;
    }

    // Reduced pixel x covers chart columns colStart[x] .. colStart[x + 1] - 1 (at least one,
    // as dw <= sw), and likewise for rows: every chart pixel of the tile falls in exactly one
    // reduced pixel, which shows the darkest of them (the smallest index).
    //
    // For each reduced row, the rows it covers are combined column by column into runs[0 ..
    // sw), 16 bytes at a time; then runs[(k - 1) sw + c] is made the darkest of the k columns
    // from c, for k = 2 up to the widest reduced pixel, also 16 bytes at a time.  A reduced
    // pixel of width w from column c is then the one byte at[x] = (w - 1) sw + c.
    std::vector<int> colStart(static_cast<std::size_t>(dw) + 1);
    for (int x = 0; x <= dw; ++x)
        colStart[x] = static_cast<int>(std::int64_t{x} * sw / dw);
    int widest = 1;
    std::vector<int> at(static_cast<std::size_t>(dw));
    for (int x = 0; x < dw; ++x) {
        const int w = colStart[x + 1] - colStart[x];
        widest = std::max(widest, w);
        at[x] = (w - 1) * sw + colStart[x];
    }
    std::vector<std::uint8_t> runs(static_cast<std::size_t>(widest) * sw);
    std::uint8_t* const darkest = runs.data();
    for (int y = 0; y < dh; ++y) {
        const int rowFirst = top + static_cast<int>(std::int64_t{y} * sh / dh);
        const int rowEnd = top + static_cast<int>(std::int64_t{y + 1} * sh / dh);
        if (rowEnd - rowFirst == 1)
            std::memcpy(darkest, m_full.constScanLine(rowFirst) + left, sw);
        else
            MinOf(darkest, m_full.constScanLine(rowFirst) + left,
                  m_full.constScanLine(rowFirst + 1) + left, sw);
        for (int row = rowFirst + 2; row < rowEnd; ++row)
            MinOf(darkest, darkest, m_full.constScanLine(row) + left, sw);
        for (int k = 2; k <= widest; ++k)
            MinOf(darkest + (k - 1) * sw, darkest + (k - 2) * sw, darkest + (k - 1), sw - (k - 1));
        if (m_bCompact) {
            std::uint8_t* dst = m_scaled.scanLine(dt + y) + dl;
            for (int x = 0; x < dw; ++x)
                dst[x] = darkest[at[x]];
            continue;
        }
        auto* dst = reinterpret_cast<std::uint16_t*>(m_scaled.scanLine(dt + y)) + dl;
        for (int x = 0; x < dw; ++x)
            dst[x] = lut[darkest[at[x]]];
    }
}

void ChartRenderer::ClearReduced(const std::array<PixelRect, 2>& rects) {
    // A compact reduced image has exactly the reduced size: nothing lies beyond it.
    if (m_scaled.isNull() || m_scaled.format() != QImage::Format_RGB16)
        return;
    for (const PixelRect& r : rects) {
        const int x0 = std::clamp(r.x, 0, m_scaled.width());
        const int y0 = std::clamp(r.y, 0, m_scaled.height());
        const int x1 = static_cast<int>(
            std::clamp<std::int64_t>(std::int64_t{r.x} + r.width, 0, m_scaled.width()));
        const int y1 = static_cast<int>(
            std::clamp<std::int64_t>(std::int64_t{r.y} + r.height, 0, m_scaled.height()));
        for (int y = y0; y < y1; ++y) {
            auto* row = reinterpret_cast<std::uint16_t*>(m_scaled.scanLine(y));
            std::fill(row + x0, row + x1, std::uint16_t{0xFFFF});
        }
    }
}

void ChartRenderer::DrawChart(QPainter& painter, int clientWidth, int clientHeight, int hScroll,
                              int vScroll, double scale, bool erase) const {
    const QRect client(0, 0, clientWidth, clientHeight);
    if (erase)
        painter.fillRect(client, Qt::white);
    // The part of the image reduced at `scale` under the client area, and where it lands.  The
    // bitmap beyond that image may still hold a larger image of an earlier factor: it is never
    // shown, so zooming out need not clear it.
    const QImage& shown = m_bCompact && scale == 1.0 ? m_full : m_scaled;
    const QRect image(
        0, 0, std::min(ChartViewport::ChartToReduced(m_nChartWidth, scale), shown.width()),
        std::min(ChartViewport::ChartToReduced(m_nChartHeight, scale), shown.height()));
    const QRect source = QRect(hScroll, vScroll, clientWidth, clientHeight) & image;
    QRect target;
    if (!source.isEmpty()) {
        target = source.translated(-hScroll, -vScroll);
        if (m_bCompact) // convert only the part under the window, not the whole chart
            painter.drawImage(target.topLeft(), shown.copy(source));
        else
            painter.drawImage(target.topLeft(), m_scaled, source);
    }
    // What the image does not reach is white, also between erases (markers drawn there at an
    // earlier scroll position would otherwise stay behind).
    if (!erase) {
        const QRegion rest = QRegion(client) - QRegion(target);
        for (const QRect& r : rest)
            painter.fillRect(r, Qt::white);
    }
}

ReducedPoint ChartRenderer::ToReduced(LonLat position, double scale) {
    // A position the georeference cannot convert lands where NaN does (0), as on a NOS chart
    // whose fit gives no number.
    double px = std::numeric_limits<double>::quiet_NaN(), py = px;
    Georef().ToPixel(position.longitude, position.latitude, &px, &py);
    const int x = ChartViewport::ChartToReduced(px, scale);
    const int y = ChartViewport::ChartToReduced(py, scale);
    return {std::clamp(x, -kFarAway, kFarAway), std::clamp(y, -kFarAway, kFarAway)};
}

template <class Visit>
void ChartRenderer::ForEachSteerPoint(const xml::Node& root, double scale, Visit visit) {
    if (!root)
        return;
    for (const xml::Node& steerPoint : root.childNodes()) {
        const xml::Node gps = steerPoint.selectSingleNode("GPSCoordinate");
        if (!gps)
            continue;
        const double longitude = numbers::ToDouble(gps.selectSingleNode("longitude").text());
        const double latitude = numbers::ToDouble(gps.selectSingleNode("latitude").text());
        visit(ToReduced({longitude, latitude}, scale));
    }
}

std::vector<ReducedPoint> ChartRenderer::PlanPoints(const xml::Node& root, double scale) {
    std::vector<ReducedPoint> points;
    ForEachSteerPoint(root, scale, [&](ReducedPoint p) { points.push_back(p); });
    return points;
}

std::vector<ReducedPoint> ChartRenderer::DrawPlan(QPainter& painter, const xml::Node& root,
                                                  double scale, int hScroll, int vScroll) {
    std::vector<ReducedPoint> drawn;
    if (!root)
        return drawn;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    try {
        ForEachSteerPoint(root, scale, [&](ReducedPoint p) {
            const QPoint at(p.x - hScroll, p.y - vScroll);
            painter.drawImage(at - QPoint(16, 16), m_icon);
            // The route starts at the first steer point drawn, so a node without a position
            // before it does not pull a line in from the window's corner.
            if (!drawn.empty())
                painter.drawLine(QPoint(drawn.back().x - hScroll, drawn.back().y - vScroll), at);
            drawn.push_back(p);
        });
    } catch (...) {
        painter.restore();
        throw;
    }
    painter.restore();
    return drawn;
}

std::vector<ReducedPoint> ChartRenderer::DrawTrack(QPainter& painter,
                                                   const std::vector<LonLat>& track, double scale,
                                                   int hScroll, int vScroll, const QColor& colour,
                                                   double width) {
    std::vector<ReducedPoint> points;
    points.reserve(track.size());
    QPolygonF line;
    for (const LonLat& position : track) {
        if (!std::isfinite(position.longitude) || !std::isfinite(position.latitude))
            continue;
        const ReducedPoint p = ToReduced(position, scale);
        if (!points.empty() && points.back().x == p.x && points.back().y == p.y)
            continue;
        points.push_back(p);
        line << QPointF(p.x - hScroll + 0.5, p.y - vScroll + 0.5);
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (line.size() == 1)
        painter.drawPoint(line.front());
    else if (line.size() > 1)
        painter.drawPolyline(line);
    painter.restore();
    return points;
}

QImage ChartRenderer::SteerPointIcon() {
    QImage icon(32, 32, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(4, 4, 24, 24));
    const double d = 12 / 1.41421356;
    p.drawLine(QPointF(16 - d, 16 - d), QPointF(16 + d, 16 + d));
    p.drawLine(QPointF(16 - d, 16 + d), QPointF(16 + d, 16 - d));
    p.setPen(QPen(Qt::red, 2));
    p.drawLine(QPointF(16, 1), QPointF(16, 7));
    p.drawLine(QPointF(16, 25), QPointF(16, 31));
    p.drawLine(QPointF(1, 16), QPointF(7, 16));
    p.drawLine(QPointF(25, 16), QPointF(31, 16));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::red);
    p.drawEllipse(QPointF(16, 16), 2.5, 2.5);
    p.end();
    return icon;
}

} // namespace avilo::planner
