#include "chartsource/NosChartSource.h"

#include <cmath>
#include <iterator>

namespace avilo::chartsource {

std::unique_ptr<NosChartSource> NosChartSource::Open(const std::string& path, std::string* error) {
    std::unique_ptr<NosChartSource> source(new NosChartSource);
    if (!source->m_chart.OpenTavola(path.c_str(), 0)) {
        if (error)
            *error = source->m_chart.GetLastError().empty() ? "the chart cannot be read"
                                                            : source->m_chart.GetLastError();
        return nullptr;
    }
    source->m_geo = source->m_chart.GetBaseGeoRec();
    source->m_size = source->m_chart.GetDocumentSize();
    if (source->m_size.cx <= 0 || source->m_size.cy <= 0) {
        if (error)
            *error = "the chart has no pixels";
        return nullptr;
    }
    if (const CPalette* palette = source->m_chart.GetPaletteHandle())
        for (const PALETTEENTRY& e : palette->Entries())
            source->m_palette.push_back({e.peRed, e.peGreen, e.peBlue});
    return source;
}

NosChartSource::~NosChartSource() {
    m_chart.CloseTavola();
}

bool NosChartSource::ReadIndices(int firstRow, int rowCount, int firstCol, int colCount,
                                 std::uint8_t* out) {
    return m_chart.getMultiLines(firstRow, rowCount, firstCol, colCount, out) != 0;
}

bool NosChartSource::Usable() const {
    return m_geo->HasReferenceData();
}

const std::string& NosChartSource::Problem() const {
    return m_geo->ReferenceProblem();
}

// Both conversions write what the fit gives even when it is unusable, as CGEORec does, so that
// a renderer reading through them draws what it drew from CGEORec.
bool NosChartSource::ToLonLat(double x, double y, double* longitude, double* latitude) const {
    m_geo->pwxy(x, y, longitude, latitude);
    return Usable() && std::isfinite(*longitude) && std::isfinite(*latitude);
}

bool NosChartSource::ToPixel(double longitude, double latitude, double* x, double* y) const {
    m_geo->wpxy(longitude, latitude, x, y);
    return Usable() && std::isfinite(*x) && std::isfinite(*y);
}

bool NosChartSource::Inside(double x, double y) const {
    if (!(x >= -0.5 && y >= -0.5 && x < m_size.cx - 0.5 && y < m_size.cy - 0.5))
        return false;
    const RefPointList& border = m_geo->m_Vertices;
    if (border.size() < 3)
        return true;
    // Even-odd rule on the vertices' pixels.
    bool inside = false;
    auto previous = std::prev(border.end());
    for (auto current = border.begin(); current != border.end(); previous = current++) {
        const double xi = (*current)->m_nX, yi = (*current)->m_nY;
        const double xj = (*previous)->m_nX, yj = (*previous)->m_nY;
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}

} // namespace avilo::chartsource
