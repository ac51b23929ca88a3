// What the fuzz targets do with one input; shared with the regression test that replays the
// inputs the fuzzers once crashed on.
#pragma once

#include <tavola/Tavola.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace tavola_fuzz {

// Opens the input as a NOS chart and exercises the three row readers on a bounded window.
inline void RunNos(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    {
        CTavola header;
        header.OpenTavolaData(bytes, 1);
    }
    // Building the palette and its colour cube costs milliseconds; do it for a share of the
    // inputs only, so that most of the time goes to the header and row readers.  Without a
    // palette the reduced lines still run, against an all-zero colour cube.
    const bool palette = size % 64 == 0;
    CTavola chart;
    if (!chart.OpenTavolaData(std::move(bytes), 0, palette))
        return;
    const CSize s = chart.GetDocumentSize();
    // Bound the work per input: the header may claim any width.
    const int cols = std::min(s.cx, 2048);
    const int rows = std::min(s.cy, 32);
    const int firstCol = s.cx > cols ? (s.cx - cols) / 2 : 0;
    std::vector<unsigned char> out(std::size_t(cols) * rows + 16);
    if (s.cx <= 4096) {
        std::vector<unsigned char> line(std::size_t(s.cx) + 16);
        for (int r = -1; r <= rows; ++r)
            chart.getLine(r, line.data());
    }
    chart.getMultiLines(0, rows, 0, cols, out.data());
    chart.getMultiLines(0, rows, firstCol, cols, out.data());
    if (cols > 3)
        chart.getMultiLines(std::max(0, s.cy - rows), rows, 3, cols - 3, out.data());
    chart.getMultiLines(s.cy, 1, 0, 1, out.data()); // outside: must refuse
    for (int factor = 1; factor <= 3; ++factor)
        chart.getAALine(0, 0, cols, out.data(), factor, std::min(rows, 3));
    chart.getAALine(std::max(0, s.cy - 2), firstCol, cols, out.data(), 4, 2);
    chart.getAALine(0, 0, cols, out.data(), 0, 1); // factor 0: must refuse
    chart.CloseTavola();
}

// Reads the input as a reference file, fits it and converts a few positions.
inline void RunGeo(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CGEORec rec;
    rec.ReadGEOStream(in, 0);
    double u = 0, v = 0;
    for (const auto& p : rec.m_RefPoints) {
        rec.pwxy(p->m_nX, p->m_nY, &u, &v);
        rec.wpxy(p->m_dLongitude, p->m_dLatitude, &u, &v);
    }
    for (auto& inset : rec.m_Insets) {
        inset->pwxy(0, 0, &u, &v);
        inset->wpxy(0, 0, &u, &v);
    }
    rec.pwxy(1e9, -1e9, &u, &v);
    rec.wpxy(1e3, -1e3, &u, &v);
    (void)CGEORec::deg2dms(rec.m_dLatitudeOffset);
    (void)CGEORec::deg2dms(rec.m_dSkewAngle);
}

} // namespace tavola_fuzz
