// NOS raster chart reader: header, row index, palette, row decoding.
#include <tavola/Tavola.h>

#include "Scan.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// Longest run count kept: enough for any row, small enough that sums stay in range.
constexpr std::uint64_t kMaxRunCount = 0x7FFFFFFF;

// Reads one run from [p, end): returns the run length (0 if the data end first).
inline std::uint32_t DecodeRun(const unsigned char*& p, const unsigned char* end, int colourMask,
                               int colourShift, int countMask, int* colour) {
    if (p >= end)
        return 0;
    unsigned b = *p++;
    *colour = static_cast<int>((b & colourMask) >> colourShift);
    std::uint64_t count = b & countMask;
    while (b & 0x80) {
        if (p >= end)
            return 0;
        b = *p++;
        count = count * 128 + (b & 0x7F);
        if (count > kMaxRunCount)
            count = kMaxRunCount; // saturate: such a run overruns any row anyway
    }
    return static_cast<std::uint32_t>(count + 1);
}

// Skips a row number: bytes with bit 7 set, then one without.
inline const unsigned char* SkipRowNumber(const unsigned char* p, const unsigned char* end) {
    while (p < end && (*p & 0x80))
        ++p;
    return p < end ? p + 1 : end;
}

// The fewest bytes a coded row of `width` pixels takes at depth d: one row number byte and one
// run of count width - 1, whose first byte carries 7 - d bits of the count and each further
// byte 7 more (several runs never take fewer bytes than one run, as one more byte multiplies
// what a run can cover by 128).
std::uint64_t MinimumRowBytes(int width, int depth) {
    std::uint64_t bytes = 2;
    for (std::uint64_t covered = std::uint64_t{1} << (7 - depth);
         covered < static_cast<std::uint64_t>(width); covered <<= 7)
        ++bytes;
    return bytes;
}

std::uint32_t ReadBE32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// Minimal scanf-like field parsing over a NUL-terminated line.
struct Scanner {
    const char* p;
    void Space() {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
            ++p;
    }
    bool Int(int* out) {
        int v = 0;
        if (!tavola::scan::Int(p, &v))
            return false;
        if (out)
            *out = v;
        return true;
    }
    bool Literal(char c) {
        Space();
        if (*p != c)
            return false;
        ++p;
        return true;
    }
};

} // namespace

CTavola::CTavola() : m_strVersion("1.0") {}

CTavola::~CTavola() = default;

int CTavola::Fail(const std::string& why) {
    m_strError = why;
    CloseTavola();
    return 0;
}

int CTavola::OpenTavola(const char* path, int referenceOnly) {
    std::ifstream in(path ? path : "", std::ios::binary);
    if (!in) {
        m_strError = std::string("cannot open ") + (path ? path : "");
        return 0;
    }
    // Only a regular file is read whole; a directory or a device opens as a stream but has
    // no meaningful size.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        m_strError = std::string("cannot read ") + path + ": not a regular file";
        return 0;
    }
    std::vector<unsigned char> data;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || !in) {
        m_strError = std::string("cannot read ") + path;
        return 0;
    }
    try {
        data.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        m_strError = std::string("cannot read ") + path + ": not enough memory";
        return 0;
    }
    if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size)) {
        m_strError = std::string("cannot read ") + path;
        return 0;
    }
    m_strPath = path;
    m_File = std::move(data);
    m_strError.clear();
    if (!ReadHeader(referenceOnly))
        return Fail(m_strError);
    if (referenceOnly == 0 && !OpenBinary())
        return Fail(m_strError);

    const std::string geo = ReferenceFileName(m_strPath);
    m_GeoRec.ReadGEO(geo, referenceOnly);

    if (referenceOnly != 0) {
        m_File.clear();
        m_File.shrink_to_fit();
        return 1;
    }
    m_bOpen = true;
    BuildPal();
    return 1;
}

std::string CTavola::ReferenceFileName(const std::string& chartPath) {
    // Only the file name is searched, so that a "." in a folder name never cuts the path.
    std::string geo = chartPath;
    const std::size_t slash = geo.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = geo.rfind('.');
    if (dot != std::string::npos && dot > nameAt)
        geo.erase(dot);
    return geo + ".GEO";
}

int CTavola::OpenTavolaData(std::vector<unsigned char> data, int referenceOnly, bool buildPalette) {
    m_strPath.clear();
    m_File = std::move(data);
    m_strError.clear();
    if (!ReadHeader(referenceOnly))
        return Fail(m_strError);
    if (referenceOnly != 0) {
        m_File.clear();
        return 1;
    }
    if (!OpenBinary())
        return Fail(m_strError);
    m_bOpen = true;
    if (buildPalette)
        BuildPal();
    return 1;
}

bool CTavola::ReadHeader(int referenceOnly) {
    m_strName.clear();
    m_nWidth = m_nHeight = m_nDrawingUnits = 0;
    // The header text ends at the first 0x1A byte or at the end of the file.
    const unsigned char* begin = m_File.data();
    const unsigned char* end = begin + m_File.size();
    const void* sub = m_File.empty() ? nullptr : std::memchr(begin, 0x1A, m_File.size());
    if (sub)
        end = static_cast<const unsigned char*>(sub);

    const unsigned char* p = begin;
    // Reads one physical line (without its LF and a trailing CR); false when over `limit`.
    auto readLine = [&](std::string& line, std::size_t limit) {
        line.clear();
        while (p < end && *p != '\n') {
            if (line.size() > limit) // one character over: room for a trailing CR
                return false;
            line.push_back(static_cast<char>(*p++));
        }
        if (p < end)
            ++p; // the LF
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line.size() <= limit;
    };

    std::string line, cont;
    while (p < end) {
        if (!readLine(line, kMaxHeaderLine)) {
            m_strError = "header line longer than 1023 characters";
            return false;
        }
        while (p < end && *p == ' ') {
            if (!readLine(cont, kMaxContinuationLine)) {
                m_strError = "header continuation line longer than 127 characters";
                return false;
            }
            // A continuation with a key ("=" at index 6) keeps it comma-separated from the
            // text before: its fourth character becomes the comma.
            if (cont.size() > 6 && cont[6] == '=') {
                cont[3] = ',';
                line.append(cont, 3, std::string::npos);
            } else if (cont.size() > 4) {
                line.append(cont, 4, std::string::npos);
            }
            if (line.size() > kMaxHeaderLine) {
                m_strError = "joined header line longer than 1023 characters";
                return false;
            }
        }
        // Embedded NUL bytes end the line's text, as they would for C string parsing.
        line.resize(std::strlen(line.c_str()));
        if (line.compare(0, 4, "NOS/") == 0) {
            m_strName.clear();
            m_nWidth = m_nHeight = m_nDrawingUnits = 0;
            if (const char* na = std::strstr(line.c_str(), "NA=")) {
                const char* s = na + 3;
                const std::size_t n = std::strcspn(s, ",");
                if (n > 0)
                    m_strName.assign(s, std::min(n, kMaxName));
            }
            if (const char* ra = std::strstr(line.c_str(), "RA=")) {
                Scanner sc{ra + 3};
                int w = 0, h = 0;
                if (sc.Int(nullptr) && sc.Literal(',') && sc.Int(nullptr) && sc.Literal(',') &&
                    sc.Int(&w)) {
                    m_nWidth = w;
                    if (sc.Literal(',') && sc.Int(&h))
                        m_nHeight = h;
                }
            }
            if (const char* du = std::strstr(line.c_str(), "DU=")) {
                Scanner sc{du + 3};
                int d = 0;
                if (sc.Int(&d))
                    m_nDrawingUnits = d;
            }
        } else if (line.compare(0, 4, "RGB/") == 0) {
            Scanner sc{line.c_str() + 4};
            int index = 0, r = 0, g = 0, b = 0;
            if (sc.Int(&index) && sc.Literal(',') && sc.Int(&r) && sc.Literal(',') && sc.Int(&g) &&
                sc.Literal(',') && sc.Int(&b)) {
                if (index < 0) {
                    m_strError = "negative colour index in an RGB/ record";
                    return false;
                }
                PALETTEENTRY& e = m_HeaderColours[index % 256];
                e.peRed = static_cast<std::uint8_t>(r & 0xFF);
                e.peGreen = static_cast<std::uint8_t>(g & 0xFF);
                e.peBlue = static_cast<std::uint8_t>(b & 0xFF);
                e.peFlags = 0;
                if (index >= m_nColours)
                    m_nColours = index == INT_MAX ? INT_MAX : index + 1;
            }
        }
    }

    m_GeoRec.m_nLeft = 0;
    m_GeoRec.m_nTop = 0;
    m_GeoRec.m_nRight = m_nWidth;
    m_GeoRec.m_nBottom = m_nHeight;
    if (!m_GeoRec.m_RefPoints.empty() && referenceOnly == 0) {
        m_GeoRec.solvepoly();
        for (auto& v : m_GeoRec.m_Vertices) {
            double x = 0, y = 0;
            m_GeoRec.wpxy(v->m_dLongitude, v->m_dLatitude, &x, &y);
            x += 0.5;
            y += 0.5;
            v->m_nX = (x > -2147483648.0 && x < 2147483648.0) ? static_cast<int>(x) : 0;
            v->m_nY = (y > -2147483648.0 && y < 2147483648.0) ? static_cast<int>(y) : 0;
        }
    }
    return true;
}

bool CTavola::OpenBinary() {
    const std::uint64_t size = m_File.size();
    if (m_nWidth <= 0 || m_nHeight <= 0) {
        m_strError = "no chart size (RA=) in the header";
        return false;
    }
    const void* sub = size ? std::memchr(m_File.data(), 0x1A, size) : nullptr;
    if (!sub) {
        m_strError = "no end-of-header byte (0x1A)";
        return false;
    }
    const std::size_t at = static_cast<const unsigned char*>(sub) - m_File.data();
    if (at + 2 >= size) {
        m_strError = "file ends before the bit depth";
        return false;
    }
    m_nBitDepth = m_File[at + 2];
    if (m_nBitDepth < 1 || m_nBitDepth > 7) {
        m_strError = "bit depth " + std::to_string(m_nBitDepth) + " outside 1..7";
        return false;
    }
    if (size < 4) {
        m_strError = "file too short for a row index";
        return false;
    }
    // Every row has a coded row of its own and a 4-byte index entry: a header may claim any
    // size, but the file must hold at least that much, or the size is refused before anything
    // is made of it (a viewer would otherwise allocate width x height bytes for it).
    const std::uint64_t perRow = MinimumRowBytes(m_nWidth, m_nBitDepth) + 4;
    const std::uint64_t rowsFit = (size - std::min<std::uint64_t>(size, at + 3)) / perRow;
    if (static_cast<std::uint64_t>(m_nHeight) > rowsFit) {
        m_strError = "the header declares " + std::to_string(m_nWidth) + " x " +
                     std::to_string(m_nHeight) + " pixels, but the file of " +
                     std::to_string(size) + " bytes can hold at most " + std::to_string(rowsFit) +
                     " rows of that width (each takes at least " + std::to_string(perRow) +
                     " bytes with its index entry)";
        return false;
    }
    const std::uint32_t indexAt = ReadBE32(m_File.data() + size - 4);
    const std::uint64_t height = static_cast<std::uint64_t>(m_nHeight);
    if (indexAt + 4 * height > size) {
        m_strError = "row index outside the file";
        return false;
    }
    m_Index.assign(height + 1, 0);
    for (std::uint64_t r = 0; r < height; ++r) {
        m_Index[r] = ReadBE32(m_File.data() + indexAt + 4 * r);
        if (m_Index[r] >= size) {
            m_strError = "row " + std::to_string(r) + " starts outside the file";
            return false;
        }
    }
    m_Index[height] = indexAt;

    m_nColourMask = ((1 << m_nBitDepth) - 1) << (7 - m_nBitDepth);
    m_nColourShift = 7 - m_nBitDepth;
    m_nCountMask = (1 << (7 - m_nBitDepth)) - 1;
    return true;
}

void CTavola::CloseTavola() {
    m_File.clear();
    m_File.shrink_to_fit();
    m_bOpen = false;
    m_nPos = 0;
    m_pPalette.reset();
    m_Index.clear();
    m_Index.shrink_to_fit();
    m_bCubeBuilt = false;
    m_GeoRec.m_Insets.clear();
    m_GeoRec.m_Vertices.clear();
    m_GeoRec.m_RefPoints.clear();
    m_GeoRec.m_strReferenceProblem = CGEORec::kNoReferencePoints;
}

const unsigned char* CTavola::RowStart(int row) const {
    const unsigned char* p = m_File.data() + m_Index[row];
    return SkipRowNumber(p, m_File.data() + m_File.size());
}

void CTavola::seekLine(long row) {
    if (!m_bOpen)
        return;
    row = std::clamp<long>(row, 0, m_nHeight - 1);
    m_nPos = RowStart(static_cast<int>(row)) - m_File.data();
}

void CTavola::vNextCRL(int* colour, int* runLength) {
    const unsigned char* p = m_File.data() + m_nPos;
    *colour = 0;
    *runLength = static_cast<int>(DecodeRun(p, m_File.data() + m_File.size(), m_nColourMask,
                                            m_nColourShift, m_nCountMask, colour));
    m_nPos = p - m_File.data();
}

int CTavola::getLine(int row, unsigned char* out) {
    if (!m_bOpen || row < 0 || row >= m_nHeight)
        return 0;
    const unsigned char* p = RowStart(row);
    const unsigned char* end = m_File.data() + m_File.size();
    std::int64_t x = 0;
    const std::int64_t width = m_nWidth;
    while (x < width) {
        int colour = 0;
        const std::uint32_t len =
            DecodeRun(p, end, m_nColourMask, m_nColourShift, m_nCountMask, &colour);
        if (len == 0 || x + len > width)
            return 0;
        std::memset(out + x, colour, len);
        x += len;
    }
    m_nPos = p - m_File.data();
    return 1;
}

int CTavola::getMultiLines(int firstRow, int rowCount, int firstCol, int colCount,
                           unsigned char* out) {
    if (std::int64_t{firstRow} + rowCount > m_nHeight || firstRow < 0 ||
        std::int64_t{firstCol} + colCount > m_nWidth || firstCol < 0)
        return 0;
    if (rowCount <= 0)
        return 1;
    if (!m_bOpen || colCount < 0)
        return 0;
    const unsigned char* const end = m_File.data() + m_File.size();
    const int cm = m_nColourMask, cs = m_nColourShift, km = m_nCountMask;
    const std::uint32_t first = static_cast<std::uint32_t>(firstCol);
    const std::uint32_t cols = static_cast<std::uint32_t>(colCount);
    for (int r = 0; r < rowCount; ++r, out += colCount) {
        const unsigned char* p = RowStart(firstRow + r);
        int colour = 0;
        // Skip the runs that end before firstCol.
        std::uint64_t sum = 0;
        std::uint32_t len = DecodeRun(p, end, cm, cs, km, &colour);
        while (len != 0 && sum + len < first) {
            sum += len;
            len = DecodeRun(p, end, cm, cs, km, &colour);
        }
        // Fill: the first run contributes what lies at and after firstCol.
        std::uint32_t written = 0;
        std::uint64_t part = len == 0 ? 0 : sum + len - first;
        while (len != 0) {
            const std::uint32_t n =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(part, cols - written));
            std::memset(out + written, colour, n);
            written += n;
            if (written >= cols)
                break;
            part = len = DecodeRun(p, end, cm, cs, km, &colour);
        }
        if (written < cols) {
            // The row's data ended with the file: stop here with a defined row.
            std::memset(out + written, 0, cols - written);
            m_nPos = end - m_File.data();
            return 0;
        }
        m_nPos = p - m_File.data();
    }
    return 1;
}

int CTavola::getAALine(int row, int firstCol, int colCount, unsigned char* out, int factor,
                       int rowCount) {
    if (std::int64_t{row} + rowCount > m_nHeight || row < 0 || colCount > m_nWidth || colCount < 0)
        return 0;
    if (factor < 1 || rowCount < 1 || !m_bOpen)
        return 0;
    const int outCount = colCount / factor;
    std::vector<unsigned char> block(static_cast<std::size_t>(rowCount) * colCount);
    if (!getMultiLines(row, rowCount, firstCol, colCount, block.data()))
        return 0;
    if (!m_bCubeBuilt)
        BuildPalIndex();
    const std::int64_t divisor = std::int64_t{factor} * rowCount * 8;
    for (int o = 0; o < outCount; ++o) {
        std::int64_t r = 0, g = 0, b = 0;
        for (int y = 0; y < rowCount; ++y) {
            const unsigned char* src =
                block.data() + static_cast<std::size_t>(y) * colCount + std::size_t(o) * factor;
            for (int x = 0; x < factor; ++x) {
                const PALETTEENTRY& e = m_LogPalette.palPalEntry[src[x]];
                r += e.peRed;
                g += e.peGreen;
                b += e.peBlue;
            }
        }
        const int r5 = static_cast<int>((r / divisor) & 31);
        const int g5 = static_cast<int>((g / divisor) & 31);
        const int b5 = static_cast<int>((b / divisor) & 31);
        out[o] = m_ColourCube[(r5 * 32 + g5) * 32 + b5];
    }
    return 1;
}

const std::vector<unsigned char>& CTavola::GetColourCube() {
    if (m_bOpen && m_pPalette && !m_bCubeBuilt)
        BuildPalIndex();
    return m_ColourCube;
}

void CTavola::BuildPal() {
    const int headerCount = std::clamp(m_nColours, 0, 256);
    m_LogPalette = LOGPALETTE{};
    for (int i = 0; i < headerCount; ++i) {
        m_LogPalette.palPalEntry[i] = m_HeaderColours[i];
        m_LogPalette.palPalEntry[i].peFlags = 0;
    }
    int count = headerCount;
    auto& e = m_LogPalette.palPalEntry;
    // Mid-colours between pairs of colours, while they are farther than T from every entry,
    // with T halved each pass.  Entry 0 never takes part.
    int threshold = 195075;
    while (count < 256 && threshold > 768) {
        threshold /= 2;
        const int n = count;
        for (int i = 1; i < n && count < 256; ++i) {
            for (int j = i + 1; j < n && count < 256; ++j) {
                const int r = ((e[i].peRed + e[j].peRed) / 2) & 0xF8;
                const int g = ((e[i].peGreen + e[j].peGreen) / 2) & 0xF8;
                const int b = ((e[i].peBlue + e[j].peBlue) / 2) & 0xF8;
                // The least distance is only compared with T: stop at the first entry that
                // is as near as T.
                bool far = true;
                for (int k = 1; k < count; ++k) {
                    const int dr = r - e[k].peRed, dg = g - e[k].peGreen, db = b - e[k].peBlue;
                    if (dr * dr + dg * dg + db * db <= threshold) {
                        far = false;
                        break;
                    }
                }
                if (far) {
                    e[count].peRed = static_cast<std::uint8_t>(r);
                    e[count].peGreen = static_cast<std::uint8_t>(g);
                    e[count].peBlue = static_cast<std::uint8_t>(b);
                    e[count].peFlags = 0;
                    ++count;
                }
            }
        }
    }
    m_LogPalette.palVersion = 0x300;
    m_LogPalette.palNumEntries = static_cast<std::uint16_t>(count);
    m_pPalette = std::make_unique<CPalette>(m_LogPalette);
    m_bCubeBuilt = false;
}

void CTavola::BuildPalIndex() {
    m_ColourCube.assign(32 * 32 * 32, 0);
    const int count = m_LogPalette.palNumEntries;
    const auto& e = m_LogPalette.palPalEntry;
    if (count > 1) {
        // Nearest entry (first minimum in entry order) of every cube cell.  For one red and
        // green, the entries are visited by their red-green distance, so that the search for
        // a blue can stop once that distance alone exceeds the best found.
        int drg[256];
        int order[256];
        const int n = count - 1;
        for (int r = 0; r < 256; r += 8) {
            for (int g5 = 0; g5 < 32; ++g5) {
                for (int k = 1; k < count; ++k) {
                    const int dr = e[k].peRed - r, dg = e[k].peGreen - 8 * g5;
                    drg[k] = dr * dr + dg * dg;
                    order[k - 1] = k;
                }
                std::sort(order, order + n,
                          [&](int a, int b) { return drg[a] != drg[b] ? drg[a] < drg[b] : a < b; });
                for (int b5 = 0; b5 < 32; ++b5) {
                    int best = 0, bestD = INT_MAX;
                    for (int i = 0; i < n; ++i) {
                        const int k = order[i];
                        if (drg[k] > bestD)
                            break;
                        const int db = e[k].peBlue - 8 * b5;
                        const int d = drg[k] + db * db;
                        if (d < bestD || (d == bestD && k < best)) {
                            bestD = d;
                            best = k;
                        }
                    }
                    m_ColourCube[((r / 8) * 32 + g5) * 32 + b5] = static_cast<unsigned char>(best);
                }
            }
        }
    }
    m_bCubeBuilt = true;
}
