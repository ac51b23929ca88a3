// Writer of NOS raster charts (the format CTavola reads), so that tools, tests and
// benchmarks can make charts of any size.
//
// The file gets a "NOS/" header line (name, size, drawing units), one "RGB/" line per colour,
// the 0x1A end-of-header byte, a 0 byte, the bit depth, the rows in order (each its row
// number, its runs and, by default, a 0 byte as row terminator, as other readers of the
// format expect), the row index and its offset.
#pragma once

#include <tavola/Export.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tavola {

struct NosImage {
    std::string name;
    int width = 0;
    int height = 0;
    // Colour table: entry i is written as "RGB/i,r,g,b" (entry 0 only when a pixel uses it).
    std::vector<std::array<std::uint8_t, 3>> colours;
    // width x height colour indices, rows top to bottom.
    std::vector<unsigned char> pixels;
};

struct NosWriteOptions {
    int depth = 0;                   // bits per colour index, 1..7; 0 = the least that fits
    int firstRowNumber = 1;          // row number stored for the top row
    bool rowTerminator = true;       // a 0 byte after each row's runs
    bool continuationHeader = false; // "RA=" and "DU=" on continuation lines
    int drawingUnits = 254;
    std::vector<std::string> extraHeaderLines; // written before the "NOS/" line
};

// Encodes the image; empty result and *error set when it cannot be encoded (sizes that do
// not match, a colour index that does not fit the depth, a depth outside 1..7).
TAVOLA_API std::vector<unsigned char> EncodeNos(const NosImage& image,
                                                const NosWriteOptions& options, std::string* error);
// Encodes and writes to `path`; false and *error set on failure.
TAVOLA_API bool WriteNosFile(const std::string& path, const NosImage& image,
                             const NosWriteOptions& options, std::string* error);

// Appends one run of `length` (>= 1) pixels of `colour` for depth d, with the least number of
// count bytes.
TAVOLA_API void AppendNosRun(std::vector<unsigned char>& out, int colour, std::uint64_t length,
                             int depth);

} // namespace tavola
