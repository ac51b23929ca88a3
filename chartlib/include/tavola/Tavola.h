// Reader of NOS raster charts: run-length coded rows of palette indices with a text header,
// a row index and a companion reference file (.GEO).
//
// File layout (multi-byte integers big-endian):
//   text header lines ("NOS/" with NA=, RA=, DU= keys; "RGB/index,r,g,b" colours), a 0x1A
//   byte, one skipped byte, the bit depth d (1..7), the coded rows in any order, the row
//   index (height unsigned 32-bit offsets) anywhere, and its offset in the last 4 bytes.
//   A coded row is a variable-length row number (bytes with bit 7 set continue it) followed
//   by runs: bit 7 = more count bytes follow, the next d bits the colour index, the low 7-d
//   bits the top of the run count; each further byte appends 7 bits; a run covers count + 1
//   pixels.
//
// The whole file is read into memory at open; every read of it is checked against its size,
// so no input makes a reader run past a buffer, loop without end or crash.  Charts that break
// the format's limits (header lines over 1023 characters, continuation lines over 127, a
// negative colour index, a depth outside 1..7, no 0x1A byte, a row index or row offset
// outside the file, a non-positive size, or more rows than the file can hold: each row takes at
// least its 4-byte index entry, a row number byte and the bytes of one run covering the width)
// are rejected by OpenTavola before anything of the declared size is allocated; GetLastError()
// says why.
//
// Pixel output of the readers: one byte per pixel, rows stored one after the other, each
// exactly colCount bytes.  getLine/getMultiLines give the file's colour index (an index into
// the header colours, which are also the first entries of the palette); getAALine gives an
// index into the full 256-entry palette.
//
// Failures: the chart library throws no exception of its own, in any of its headers.  Readers
// return 1 or 0 and say why in GetLastError(); conversions without reference data return 0.  Only
// the standard library's own exceptions can pass through (std::bad_alloc when memory runs out).
//
// Not thread-safe: one object is used from one thread at a time.
#pragma once

#include <tavola/Export.h>
#include <tavola/GeoRec.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Width and height of a chart in pixels.
struct CSize {
    int cx = 0;
    int cy = 0;
};

// One palette colour.
struct PALETTEENTRY {
    std::uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};

// A logical palette with room for 256 entries.
struct LOGPALETTE {
    std::uint16_t palVersion = 0x300;
    std::uint16_t palNumEntries = 0;
    PALETTEENTRY palPalEntry[256] = {};
};

// The display palette built at open: the header colours followed by added mid-colours, in
// order.  Owned by its CTavola.
class CPalette {
public:
    explicit CPalette(const LOGPALETTE& lp)
        : m_Entries(lp.palPalEntry, lp.palPalEntry + std::min<int>(lp.palNumEntries, 256)) {}
    int GetEntryCount() const { return static_cast<int>(m_Entries.size()); }
    const std::vector<PALETTEENTRY>& Entries() const { return m_Entries; }

private:
    std::vector<PALETTEENTRY> m_Entries;
};

class TAVOLA_API CTavola {
public:
    CTavola();
    virtual ~CTavola();
    CTavola(const CTavola&) = delete;
    CTavola& operator=(const CTavola&) = delete;

    // Opens the chart at `path` and its reference file (same path, extension ".GEO").
    // Returns 1 on success (with or without a reference file), 0 when the chart cannot be
    // read or is malformed; then nothing stays open.  referenceOnly != 0 reads only the
    // header and the reference file (no fit, no raster, no palette).
    int OpenTavola(const char* path, int referenceOnly);
    // The same from a chart held in memory (no reference file is read).  buildPalette =
    // false skips the palette (the fuzz targets use it to spend their time on the readers).
    int OpenTavolaData(std::vector<unsigned char> data, int referenceOnly,
                       bool buildPalette = true);

    // The reference file of a chart: its path with the file name's extension replaced by
    // ".GEO", or ".GEO" appended when the file name has no "." after its first character
    // ("a/b.nos" -> "a/b.GEO", "a.d/chart" -> "a.d/chart.GEO", ".hidden" -> ".hidden.GEO").
    static std::string ReferenceFileName(const std::string& chartPath);

    // The embedded base reference record, valid as long as this object.
    CGEORec* GetBaseGeoRec() { return &m_GeoRec; }
    // (width, height) in pixels.
    CSize GetDocumentSize() const { return {m_nWidth, m_nHeight}; }
    // The palette built at open (null before); owned by this object.
    const CPalette* GetPaletteHandle() const { return m_pPalette.get(); }

    // Decodes row `row` (0..height-1) into width bytes.  0 for a row outside the chart or
    // whose runs overrun the width or the file (bytes already written stay).
    int getLine(int row, unsigned char* out);
    // Decodes rows firstRow..firstRow+rowCount-1, columns firstCol..firstCol+colCount-1 into
    // out (rowCount x colCount bytes).  0 for a block outside the chart, or when a row's runs
    // end with the file (the rest of that row is zero-filled and decoding stops).
    int getMultiLines(int firstRow, int rowCount, int firstCol, int colCount, unsigned char* out);
    // One reduced line: colCount / factor output pixels, each the palette colour nearest to
    // the average of factor x rowCount source pixels.  0 for a window outside the chart or
    // a factor or rowCount below 1.
    int getAALine(int row, int firstCol, int colCount, unsigned char* out, int factor,
                  int rowCount);
    // Releases the raster data, palette, index and reference data.
    void CloseTavola();

    // Header content, for tools and tests.
    const std::string& GetName() const { return m_strName; }
    int GetDrawingUnits() const { return m_nDrawingUnits; }
    int GetBitDepth() const { return m_nBitDepth; }
    int GetHeaderColourCount() const { return m_nColours; }
    const PALETTEENTRY* GetHeaderColours() const { return m_HeaderColours; }
    const LOGPALETTE& GetLogPalette() const { return m_LogPalette; }
    // The 32 x 32 x 32 colour cube of the reduced lines, element [(r5 * 32 + g5) * 32 + b5]
    // = the palette entry nearest to (8 r5, 8 g5, 8 b5); built on first use; empty while
    // no chart is open.
    const std::vector<unsigned char>& GetColourCube();
    const std::string& GetVersion() const { return m_strVersion; }
    const std::string& GetPath() const { return m_strPath; }
    // Why the last OpenTavola returned 0 (empty after a success).
    const std::string& GetLastError() const { return m_strError; }

    // Limits of the header text.
    static constexpr std::size_t kMaxHeaderLine = 1023;
    static constexpr std::size_t kMaxContinuationLine = 127;
    static constexpr std::size_t kMaxName = 255;

protected:
    // Parses the header text of m_File; false (with m_strError) for a malformed header.
    bool ReadHeader(int referenceOnly);
    // Positions the read cursor on the first run of `row` (clamped to the chart).
    void seekLine(long row);
    // Reads one run at the cursor; *runLength = 0 when the file ends first.
    void vNextCRL(int* colour, int* runLength);
    void BuildPal();
    void BuildPalIndex();

private:
    bool OpenBinary();
    int Fail(const std::string& why);
    const unsigned char* RowStart(int row) const;

    std::string m_strVersion;
    CGEORec m_GeoRec;
    std::string m_strName;
    int m_nDrawingUnits = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nBitDepth = 0;
    PALETTEENTRY m_HeaderColours[256] = {};
    std::unique_ptr<CPalette> m_pPalette;
    int m_nColours = 0;
    LOGPALETTE m_LogPalette;
    std::string m_strPath;
    std::vector<unsigned char> m_File; // the whole chart file while open
    bool m_bOpen = false;
    std::size_t m_nPos = 0; // read cursor in m_File
    int m_nCountMask = 0, m_nColourMask = 0, m_nColourShift = 0;
    std::vector<std::uint32_t> m_Index;      // height + 1 offsets
    std::vector<unsigned char> m_ColourCube; // 32 x 32 x 32 palette indices
    bool m_bCubeBuilt = false;
    std::string m_strError;
};
