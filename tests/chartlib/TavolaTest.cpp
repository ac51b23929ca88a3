// The NOS raster reader on charts the encoder wrote, on damaged charts, and on the sample.
#include "TestUtil.h"

#include <tavola/NosWriter.h>
#include <tavola/Tavola.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <array>
#include <climits>
#include <cstring>
#include <random>

namespace {

using tavola_test::MakeImage;
using tavola_test::ReadBytes;
using tavola_test::TempDir;
using tavola_test::WriteBytes;
using tavola_test::WriteText;

std::vector<unsigned char> Encode(const tavola::NosImage& image,
                                  const tavola::NosWriteOptions& options = {}) {
    std::string error;
    auto data = tavola::EncodeNos(image, options, &error);
    EXPECT_FALSE(data.empty()) << error;
    return data;
}

// Bytes of a chart with a hand-made header and rows (no index: appended by Finish).
struct RawChart {
    std::vector<unsigned char> bytes;
    std::vector<std::uint32_t> rows;
    explicit RawChart(const std::string& header, int depth = 7) {
        bytes.assign(header.begin(), header.end());
        bytes.push_back(0x1A);
        bytes.push_back(0);
        bytes.push_back(static_cast<unsigned char>(depth));
    }
    void Row(std::initializer_list<unsigned char> data) {
        rows.push_back(static_cast<std::uint32_t>(bytes.size()));
        bytes.insert(bytes.end(), data);
    }
    std::vector<unsigned char> Finish() const {
        std::vector<unsigned char> out = bytes;
        const auto at = static_cast<std::uint32_t>(out.size());
        for (std::uint32_t off : rows)
            for (int s = 24; s >= 0; s -= 8)
                out.push_back(static_cast<unsigned char>(off >> s));
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<unsigned char>(at >> s));
        return out;
    }
};

TEST(Tavola, DecodesWhatTheEncoderWrote) {
    std::mt19937 rng(7);
    for (int depth : {1, 3, 7}) {
        for (int firstRow : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "depth " << depth << " first row " << firstRow);
            const int colours = 1 << depth;
            std::uniform_int_distribution<int> run(1, 300), col(0, colours - 1);
            auto image = MakeImage(523, 37, colours, [](int, int) { return 0; });
            for (auto it = image.pixels.begin(); it != image.pixels.end();) {
                const int n = std::min<int>(run(rng), int(image.pixels.end() - it));
                std::fill(it, it + n, static_cast<unsigned char>(col(rng)));
                it += n;
            }
            tavola::NosWriteOptions options;
            options.firstRowNumber = firstRow ? 200 : 0; // multi-byte row numbers too
            options.rowTerminator = firstRow == 1;
            CTavola chart;
            ASSERT_EQ(chart.OpenTavolaData(Encode(image, options), 0), 1) << chart.GetLastError();
            EXPECT_EQ(chart.GetDocumentSize().cx, 523);
            EXPECT_EQ(chart.GetDocumentSize().cy, 37);
            EXPECT_EQ(chart.GetBitDepth(), depth);
            EXPECT_EQ(chart.GetName(), "TEST CHART");

            std::vector<unsigned char> all(image.pixels.size());
            ASSERT_EQ(chart.getMultiLines(0, 37, 0, 523, all.data()), 1);
            EXPECT_EQ(all, image.pixels);
            std::vector<unsigned char> line(523);
            for (int r : {0, 17, 36}) {
                ASSERT_EQ(chart.getLine(r, line.data()), 1);
                EXPECT_EQ(0, std::memcmp(line.data(), image.pixels.data() + r * 523, 523));
            }
            // Random windows.
            std::uniform_int_distribution<int> c0(0, 522), r0(0, 36);
            for (int k = 0; k < 50; ++k) {
                const int fc = c0(rng), fr = r0(rng);
                const int cc = std::uniform_int_distribution<int>(0, 523 - fc)(rng);
                const int rc = std::uniform_int_distribution<int>(0, 37 - fr)(rng);
                std::vector<unsigned char> block(std::size_t(cc) * rc + 1, 0xEE);
                ASSERT_EQ(chart.getMultiLines(fr, rc, fc, cc, block.data()), 1);
                for (int y = 0; y < rc; ++y)
                    ASSERT_EQ(0, std::memcmp(block.data() + y * cc,
                                             image.pixels.data() + (fr + y) * 523 + fc, cc));
                EXPECT_EQ(block.back(), 0xEE); // nothing beyond rowCount x colCount
            }
        }
    }
}

TEST(Tavola, ContinuationLinesCarryKeys) {
    auto image = MakeImage(40, 3, 4, [](int x, int) { return x / 10; });
    tavola::NosWriteOptions options;
    options.continuationHeader = true; // "    RA=..." ("=" at index 6) and "    ,DU=..."
    options.extraHeaderLines = {"! a comment line", "VER/3.0"};
    CTavola chart;
    ASSERT_EQ(chart.OpenTavolaData(Encode(image, options), 0), 1);
    EXPECT_EQ(chart.GetDocumentSize().cx, 40);
    EXPECT_EQ(chart.GetDocumentSize().cy, 3);
    EXPECT_EQ(chart.GetDrawingUnits(), 254);
    EXPECT_EQ(chart.GetName(), "TEST CHART");

    // A continuation line without a key at index 6 loses its first four characters.
    RawChart raw("NOS/NA=JOINED\n    RA=0,0,2,1\n    ,DU=77\n   X,IGNORED\nRGB/1,1,2,3\n", 7);
    raw.Row({0x00, 0x81, 0x00}); // row 0: colour 1, two pixels
    CTavola joined;
    ASSERT_EQ(joined.OpenTavolaData(raw.Finish(), 0), 1) << joined.GetLastError();
    EXPECT_EQ(joined.GetDrawingUnits(), 77);
    EXPECT_EQ(joined.GetDocumentSize().cx, 2);
}

TEST(Tavola, TwoByteRunCounts) {
    // d = 3: the first byte holds 4 count bits; 0x80 announces a second byte.
    RawChart raw("NOS/RA=0,0,300,1\nRGB/5,9,9,9\n", 3);
    // colour 5 = 101 in bits 6..4; count = 0x2 * 128 + 0x2B = 299 -> 300 pixels.
    raw.Row({0x00, 0x80 | (5 << 4) | 0x2, 0x2B});
    CTavola chart;
    ASSERT_EQ(chart.OpenTavolaData(raw.Finish(), 0), 1) << chart.GetLastError();
    std::vector<unsigned char> line(300, 0);
    ASSERT_EQ(chart.getLine(0, line.data()), 1);
    EXPECT_EQ(std::count(line.begin(), line.end(), 5), 300);
    // The encoder writes the same bytes.
    std::vector<unsigned char> run;
    tavola::AppendNosRun(run, 5, 300, 3);
    EXPECT_EQ(run, (std::vector<unsigned char>{0x80 | (5 << 4) | 0x2, 0x2B}));
}

// The protected row steps, reached through a subclass.
struct RowSteps : CTavola {
    using CTavola::seekLine;
    using CTavola::vNextCRL;
};

TEST(Tavola, SeekLineClampsAndNextRunReadsInOrder) {
    // Depth 3: colour in bits 6..4, count in bits 3..0.  Row 0: colour 2 x 3, colour 5 x 20
    // (two count bytes); row 1: colour 7 x 23.  Row numbers 0x81 0x05 and 0x02 are skipped.
    RawChart raw("NOS/RA=0,0,23,2\n", 3);
    raw.Row({0x81, 0x05, 0x22, 0xD0, 0x13});
    raw.Row({0x02, 0xF0, 0x16});
    RowSteps chart;
    ASSERT_EQ(chart.OpenTavolaData(raw.Finish(), 0), 1) << chart.GetLastError();
    const struct {
        long row;
        int colour[2], length[2];
    } cases[] = {
        {0, {2, 5}, {3, 20}}, {-5, {2, 5}, {3, 20}}, {1, {7, 0}, {23, 0}}, {99, {7, 0}, {23, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        chart.seekLine(c.row);
        for (int i = 0; i < 2; ++i) {
            int colour = -1, length = -1;
            chart.vNextCRL(&colour, &length);
            if (c.length[i] == 0)
                break; // past row 1's end: the row index follows, not checked here
            EXPECT_EQ(colour, c.colour[i]);
            EXPECT_EQ(length, c.length[i]);
        }
    }
}

TEST(Tavola, WindowStartingAtTheEndOfARun) {
    auto image = MakeImage(30, 2, 4, [](int x, int) { return x < 10 ? 1 : x < 20 ? 2 : 3; });
    CTavola chart;
    ASSERT_EQ(chart.OpenTavolaData(Encode(image), 0), 1);
    unsigned char out[8];
    ASSERT_EQ(chart.getMultiLines(0, 1, 10, 8, out), 1);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 8), std::vector<unsigned char>(8, 2));
    ASSERT_EQ(chart.getMultiLines(1, 1, 19, 2, out), 1);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 3);
}

TEST(Tavola, BoundsOfTheRowReaders) {
    auto image = MakeImage(20, 5, 4, [](int x, int y) { return (x + y) % 4; });
    CTavola chart;
    ASSERT_EQ(chart.OpenTavolaData(Encode(image), 0), 1);
    std::vector<unsigned char> out(200, 0xEE);
    EXPECT_EQ(chart.getMultiLines(0, 0, 0, 20, out.data()), 1); // nothing to do
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(chart.getMultiLines(1, 5, 0, 20, out.data()), 0); // firstRow + rowCount = h + 1
    EXPECT_EQ(chart.getMultiLines(-1, 2, 0, 20, out.data()), 0);
    EXPECT_EQ(chart.getMultiLines(0, 1, 15, 6, out.data()), 0);
    EXPECT_EQ(chart.getMultiLines(0, 1, -1, 2, out.data()), 0);
    EXPECT_EQ(chart.getMultiLines(0, 1, 0, -1, out.data()), 0);
    EXPECT_EQ(chart.getMultiLines(2147483647, 2, 0, 1, out.data()), 0); // no int overflow
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(chart.getLine(-1, out.data()), 0);
    EXPECT_EQ(chart.getLine(5, out.data()), 0);
    EXPECT_EQ(chart.getAALine(0, 0, 21, out.data(), 1, 1), 0);
    EXPECT_EQ(chart.getAALine(4, 0, 20, out.data(), 1, 2), 0);
    EXPECT_EQ(chart.getAALine(0, 0, 20, out.data(), 0, 1), 0); // no division by zero
    EXPECT_EQ(chart.getAALine(0, 0, 20, out.data(), 2, 0), 0);
    EXPECT_EQ(out[0], 0xEE);
}

TEST(Tavola, ReducedLinesHaveColCountOverFactorPixels) {
    auto image = MakeImage(12, 4, 4, [](int x, int) { return x < 6 ? 1 : 3; });
    CTavola chart;
    ASSERT_EQ(chart.OpenTavolaData(Encode(image), 0), 1);
    std::vector<unsigned char> out(16, 0xEE);
    ASSERT_EQ(chart.getAALine(0, 0, 10, out.data(), 3, 2), 1);
    EXPECT_EQ(out[3], 0xEE); // 10 / 3 = 3 bytes; the tenth column is ignored
    const auto& pal = chart.GetLogPalette().palPalEntry;
    // Output 0 averages three pixels of colour 1: the cube gives the entry nearest to it.
    EXPECT_EQ(pal[out[0]].peRed & 0xF8, pal[1].peRed & 0xF8);
    EXPECT_EQ(pal[out[0]].peGreen & 0xF8, pal[1].peGreen & 0xF8);
    // Output 1 covers columns 3..5 (colour 1), output 2 columns 6..8 (colour 3).
    EXPECT_EQ(out[1], out[0]);
    EXPECT_EQ(pal[out[2]].peRed & 0xF8, pal[3].peRed & 0xF8);
    // Every output index is a palette entry.
    for (int i = 0; i < 3; ++i)
        EXPECT_LT(out[i], chart.GetPaletteHandle()->GetEntryCount());
}

TEST(Tavola, ColourCubeHoldsTheFirstNearestEntry) {
    // The cube against the plain search: every cell, the entry 1..count-1 of least squared
    // distance, the first in entry order on ties (duplicate colours make ties), 0 when the
    // palette has at most one entry.
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> channel(0, 255);
    struct Case {
        const char* what;
        int colours;
        bool duplicates;
    } cases[] = {{"one entry", 1, false},
                 {"three (mid-colours added)", 4, false},
                 {"forty with duplicates", 40, true},
                 {"full table", 256, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string header = "NOS/RA=0,0,1,1\n";
        std::vector<std::array<int, 3>> table;
        for (int i = 0; i < c.colours; ++i) {
            std::array<int, 3> rgb{channel(rng), channel(rng), channel(rng)};
            if (c.duplicates && i > 2 && i % 3 == 0)
                rgb = table[std::size_t(i) / 2]; // same colour as an earlier entry
            // Grid-aligned colours make exact ties between neighbouring cells' entries.
            if (c.duplicates && i % 5 == 1)
                rgb = {rgb[0] & 0xF0, rgb[1] & 0xF0, rgb[2] & 0xF0};
            table.push_back(rgb);
            header += "RGB/" + std::to_string(i) + "," + std::to_string(rgb[0]) + "," +
                      std::to_string(rgb[1]) + "," + std::to_string(rgb[2]) + "\n";
        }
        RawChart raw(header, 7);
        raw.Row({0x00, 0x00});
        CTavola chart;
        ASSERT_EQ(chart.OpenTavolaData(raw.Finish(), 0), 1) << chart.GetLastError();
        const auto& lp = chart.GetLogPalette();
        const int count = lp.palNumEntries;
        const auto& cube = chart.GetColourCube();
        ASSERT_EQ(cube.size(), 32u * 32 * 32);
        int mismatches = 0;
        for (int r5 = 0; r5 < 32; ++r5)
            for (int g5 = 0; g5 < 32; ++g5)
                for (int b5 = 0; b5 < 32; ++b5) {
                    int best = 0, bestD = INT_MAX;
                    for (int k = 1; k < count; ++k) {
                        const auto& e = lp.palPalEntry[k];
                        const int dr = e.peRed - 8 * r5, dg = e.peGreen - 8 * g5,
                                  db = e.peBlue - 8 * b5;
                        const int d = dr * dr + dg * dg + db * db;
                        if (d < bestD) {
                            bestD = d;
                            best = k;
                        }
                    }
                    mismatches += cube[std::size_t((r5 * 32 + g5) * 32 + b5)] != best;
                }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(Tavola, PaletteGetsMidColoursOnlyBelow256) {
    // Three far-apart colours: mid-colours are added until none is farther than 762.
    RawChart few("NOS/RA=0,0,1,1\nRGB/1,255,0,0\nRGB/2,0,0,255\nRGB/3,0,255,0\n", 2);
    few.Row({0x00, 0x20});
    CTavola chart;
    ASSERT_EQ(chart.OpenTavolaData(few.Finish(), 0), 1) << chart.GetLastError();
    const auto& lp = chart.GetLogPalette();
    const int n = lp.palNumEntries;
    EXPECT_GT(n, 4);
    EXPECT_EQ(chart.GetPaletteHandle()->GetEntryCount(), n);
    EXPECT_EQ(lp.palPalEntry[1].peRed, 255);
    // The first added colour is the mid-point of entries 1 and 2, masked to 0xF8.
    EXPECT_EQ(lp.palPalEntry[4].peRed, 127 & 0xF8);
    EXPECT_EQ(lp.palPalEntry[4].peBlue, 127 & 0xF8);
    if (n < 256) {
        for (int i = 1; i < n; ++i) {
            for (int j = i + 1; j < n; ++j) {
                const auto& a = lp.palPalEntry[i];
                const auto& b = lp.palPalEntry[j];
                const int r = ((a.peRed + b.peRed) / 2) & 0xF8,
                          g = ((a.peGreen + b.peGreen) / 2) & 0xF8,
                          bl = ((a.peBlue + b.peBlue) / 2) & 0xF8;
                int best = INT_MAX;
                for (int k = 1; k < n; ++k) {
                    const auto& e = lp.palPalEntry[k];
                    best = std::min(best, (r - e.peRed) * (r - e.peRed) +
                                              (g - e.peGreen) * (g - e.peGreen) +
                                              (bl - e.peBlue) * (bl - e.peBlue));
                }
                ASSERT_LE(best, 762) << i << " " << j;
            }
        }
    }

    std::string header = "NOS/RA=0,0,1,1\n";
    for (int i = 0; i < 256; ++i)
        header += "RGB/" + std::to_string(i) + "," + std::to_string(i) + ",0," +
                  std::to_string(255 - i) + "\n";
    RawChart full(header, 7);
    full.Row({0x00, 0x05});
    CTavola chart256;
    ASSERT_EQ(chart256.OpenTavolaData(full.Finish(), 0), 1);
    EXPECT_EQ(chart256.GetHeaderColourCount(), 256);
    EXPECT_EQ(chart256.GetLogPalette().palNumEntries, 256);
    EXPECT_EQ(chart256.GetLogPalette().palPalEntry[255].peRed, 255);
}

TEST(Tavola, RgbIndicesAboveTheTableWrapAndCountIsCapped) {
    RawChart raw("NOS/RA=0,0,1,1\nRGB/300,1,2,3\nRGB/2,-1,256,7\n", 7);
    raw.Row({0x00, 0x02});
    CTavola chart;
    ASSERT_EQ(chart.OpenTavolaData(raw.Finish(), 0), 1);
    EXPECT_EQ(chart.GetHeaderColourCount(), 301);
    EXPECT_EQ(chart.GetHeaderColours()[44].peRed, 1);  // 300 mod 256
    EXPECT_EQ(chart.GetHeaderColours()[2].peRed, 255); // low 8 bits
    EXPECT_EQ(chart.GetHeaderColours()[2].peGreen, 0);
    EXPECT_EQ(chart.GetLogPalette().palNumEntries, 256);
}

struct BadChart {
    const char* what;
    std::vector<unsigned char> bytes;
};

std::vector<unsigned char> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(Tavola, MalformedChartsAreRejected) {
    auto good = [](const std::string& header, int depth = 7) {
        RawChart raw(header, depth);
        raw.Row({0x00, 0x01});
        return raw.Finish();
    };
    std::vector<BadChart> cases = {
        {"header line over 1023 characters",
         good("! " + std::string(1100, 'x') + "\nNOS/RA=0,0,1,1\n")},
        {"continuation over 127 characters",
         good("NOS/NA=X\n    RA=0,0,1,1" + std::string(130, ' ') + "\n")},
        {"joined line over 1023 characters", good("NOS/NA=X\n" +
                                                  [] {
                                                      std::string s;
                                                      for (int i = 0; i < 10; ++i)
                                                          s +=
                                                              "    " + std::string(120, 'y') + "\n";
                                                      return s;
                                                  }() +
                                                  "RGB/1,1,1,1\n")},
        {"negative colour index", good("NOS/RA=0,0,1,1\nRGB/-3,1,2,3\n")},
        {"depth 0", good("NOS/RA=0,0,1,1\n", 0)},
        {"depth 8", good("NOS/RA=0,0,1,1\n", 8)},
        {"no size", good("NOS/NA=X\n")},
        {"no end-of-header byte", Bytes("NOS/RA=0,0,1,1\n\x01\x02\x03\x04\x00\x00\x00\x00")},
        {"too short", Bytes("NOS")},
        {"empty", {}},
    };
    {
        auto b = good("NOS/RA=0,0,1,1\n");
        b[b.size() - 1] = 0xF0; // index pointer past the end
        cases.push_back({"row index outside the file", b});
    }
    {
        auto b = good("NOS/RA=0,0,1,1\n");
        b[b.size() - 8] = 0x7F; // the one row's offset far past the end
        cases.push_back({"row offset outside the file", b});
    }
    {
        auto b = good("NOS/RA=0,0,1,4\n"); // four rows claimed, index has one entry
        cases.push_back({"index shorter than the height", b});
    }
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        CTavola chart;
        EXPECT_EQ(chart.OpenTavolaData(c.bytes, 0), 0);
        EXPECT_FALSE(chart.GetLastError().empty());
        EXPECT_EQ(chart.GetPaletteHandle(), nullptr);
        unsigned char out[4];
        EXPECT_EQ(chart.getMultiLines(0, 1, 0, 1, out), 0);
    }
    // The header limits themselves are accepted.
    CTavola ok;
    EXPECT_EQ(ok.OpenTavolaData(good("! " + std::string(1021, 'x') + "\r\nNOS/RA=0,0,1,1\n"), 0), 1)
        << ok.GetLastError();
}

// A header may declare any size.  One the file cannot hold (every row has a coded row of its own
// and a 4-byte index entry) is refused at open, before anything of that size exists; the same
// size with rows of the least possible length is not.
TEST(Tavola, DeclaredSizeMustFitTheFile) {
    constexpr int kSide = 40000;
    const std::string header = "NOS/RA=0,0,40000,40000\nRGB/1,255,255,255\n";
    std::vector<unsigned char> row = {0x00}; // row number
    tavola::AppendNosRun(row, 1, kSide, 3);  // 3 bytes at depth 3
    ASSERT_EQ(row.size(), 4u);
    // All index entries share one coded row: a file of 160 KB.
    RawChart shared(header, 3);
    shared.Row({});
    shared.bytes.insert(shared.bytes.end(), row.begin(), row.end());
    shared.rows.resize(kSide, shared.rows.front());
    CTavola chart;
    EXPECT_EQ(chart.OpenTavolaData(shared.Finish(), 0), 0);
    EXPECT_NE(chart.GetLastError().find("declares 40000 x 40000 pixels"), std::string::npos)
        << chart.GetLastError();

    RawChart own(header, 3);
    for (int r = 0; r < kSide; ++r) {
        own.Row({});
        own.bytes.insert(own.bytes.end(), row.begin(), row.end());
    }
    CTavola big;
    ASSERT_EQ(big.OpenTavolaData(own.Finish(), 0, false), 1) << big.GetLastError();
    std::vector<unsigned char> line(kSide);
    ASSERT_EQ(big.getLine(kSide - 1, line.data()), 1);
    EXPECT_EQ(line[kSide - 1], 1);
}

TEST(Tavola, RowsThatOverrunTheWidth) {
    RawChart raw("NOS/RA=0,0,10,1\nRGB/1,1,1,1\n", 7);
    raw.Row({0x00, 0x81, 0x0F}); // 17 pixels: overruns the width of 10
    CTavola chart;
    ASSERT_EQ(chart.OpenTavolaData(raw.Finish(), 0), 1) << chart.GetLastError();
    std::vector<unsigned char> out(20, 0xEE);
    EXPECT_EQ(chart.getLine(0, out.data()), 0);
    // getMultiLines does not check runs against the width: it stops after colCount bytes.
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(chart.getMultiLines(0, 1, 0, 10, out.data()), 1);
    EXPECT_EQ(out[9], 1);
    EXPECT_EQ(out[10], 0xEE);
}

TEST(Tavola, GetMultiLinesStopsARowThatEndsWithTheFile) {
    // Width 10 but the row's only run (3 pixels) is followed by the end of the file.
    std::vector<unsigned char> b = Bytes("NOS/RA=0,0,10,1\nRGB/1,1,1,1\n");
    b.insert(b.end(), {0x1A, 0x00, 0x07});
    const auto indexAt = static_cast<std::uint32_t>(b.size());
    const auto rowAt = indexAt + 8;
    for (auto v : {rowAt, indexAt})
        for (int s = 24; s >= 0; s -= 8)
            b.push_back(static_cast<unsigned char>(v >> s));
    // The pointer must be the last 4 bytes: put the row between index and pointer.
    std::vector<unsigned char> chart(b.begin(), b.begin() + indexAt);
    for (int s = 24; s >= 0; s -= 8)
        chart.push_back(static_cast<unsigned char>((indexAt + 4) >> s));
    chart.insert(chart.end(), {0x00, 0x81, 0x02}); // row 0, colour 1, 3 pixels
    // Index pointer: the last four bytes.  Its bytes (0x00 ...) decode as more runs of
    // colour 0 before the data end.
    for (int s = 24; s >= 0; s -= 8)
        chart.push_back(static_cast<unsigned char>(indexAt >> s));
    CTavola t;
    ASSERT_EQ(t.OpenTavolaData(chart, 0), 1) << t.GetLastError();
    std::vector<unsigned char> out(10, 0xEE);
    EXPECT_EQ(t.getMultiLines(0, 1, 0, 10, out.data()), 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2], 1);
    EXPECT_EQ(out[9], 0); // the rest of the row is defined (zero), not left stale
    EXPECT_EQ(t.getLine(0, out.data()), 0);
}

TEST(Tavola, OpenFindsTheReferenceFileByItsName) {
    TempDir dir;
    auto image = MakeImage(100, 100, 4, [](int x, int) { return x % 4; });
    const std::string geo = "Name=REF\nPoint1=10 50 0 0\nPoint2=11 50 0 99\nPoint3=10 49 99 0\n"
                            "Vertex1=50 10\n";
    const struct {
        const char* chart;
        const char* reference;
    } cases[] = {{"chart.nos", "chart.GEO"},
                 {"noextension", "noextension.GEO"},
                 {".hidden", ".hidden.GEO"},
                 {"two.dots.nos", "two.dots.GEO"},
                 {"v1.2/noextension", "v1.2/noextension.GEO"}, // a "." in a folder name
                 {"v1.2/.hidden", "v1.2/.hidden.GEO"}};
    std::filesystem::create_directory(dir.file("v1.2"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chart);
        WriteBytes(dir.file(c.chart), Encode(image));
        WriteText(dir.file(c.reference), geo);
        CTavola chart;
        ASSERT_EQ(chart.OpenTavola(dir.file(c.chart).c_str(), 0), 1);
        CGEORec& rec = *chart.GetBaseGeoRec();
        EXPECT_EQ(rec.m_strName, "REF");
        EXPECT_NEAR(rec.pwx(99, 0), 11, 1e-9);
        EXPECT_NEAR(rec.pwy(0, 99), 49, 1e-9);
        ASSERT_EQ(rec.m_Vertices.size(), 1u);
        EXPECT_EQ(rec.m_Vertices.front()->m_nX, 0);
        chart.CloseTavola();
        EXPECT_TRUE(rec.m_RefPoints.empty());
        EXPECT_TRUE(rec.m_Vertices.empty());
        EXPECT_EQ(chart.GetPaletteHandle(), nullptr);
    }
}

TEST(Tavola, OpenFailures) {
    TempDir dir;
    CTavola chart;
    EXPECT_EQ(chart.OpenTavola(dir.file("missing.nos").c_str(), 0), 0);
    // A directory opens as a stream but cannot be read: nothing stays half-open.
    EXPECT_EQ(chart.OpenTavola(dir.file("").c_str(), 0), 0);
    EXPECT_EQ(chart.GetPaletteHandle(), nullptr);
    // Without a reference file the chart still opens; conversions give 0.
    WriteBytes(dir.file("alone.nos"), Encode(MakeImage(8, 8, 2, [](int, int) { return 1; })));
    ASSERT_EQ(chart.OpenTavola(dir.file("alone.nos").c_str(), 0), 1);
    EXPECT_EQ(chart.GetBaseGeoRec()->pwx(3, 3), 0.0);
    EXPECT_EQ(chart.GetBaseGeoRec()->m_nRight, 8);
    chart.CloseTavola();
}

TEST(Tavola, ReferenceOnlyReadsHeaderAndReferenceFile) {
    TempDir dir;
    WriteBytes(dir.file("c.nos"), Encode(MakeImage(64, 32, 2, [](int, int) { return 1; })));
    WriteText(dir.file("c.GEO"),
              "Name=ONLY\nPoint1=10 50 0 0\nPoint2=11 50 0 63\nPoint3=10 49 31 0\n");
    CTavola chart;
    ASSERT_EQ(chart.OpenTavola(dir.file("c.nos").c_str(), 1), 1);
    EXPECT_EQ(chart.GetDocumentSize().cx, 64);
    EXPECT_EQ(chart.GetPaletteHandle(), nullptr);
    EXPECT_EQ(chart.GetBaseGeoRec()->m_strName, "ONLY");
    EXPECT_EQ(chart.GetBaseGeoRec()->m_nRight, 64);    // the header's rectangle is kept
    EXPECT_EQ(chart.GetBaseGeoRec()->pwx(63, 0), 0.0); // no fit
    unsigned char line[64];
    EXPECT_EQ(chart.getLine(0, line), 0); // no raster
    chart.CloseTavola();
}

// The sample chart, decoded: its pixels were checked against GDAL's reading of the same file
// (GDAL value + 1 = colour index) when this hash was recorded.
constexpr std::uint64_t kSampleHash = 0xf288cbfa56535147ull;

TEST(Tavola, SampleChartDecodesExactlyAndConvertsItsPoints) {
    const std::string path = std::string(TAVOLA_CHART_DIR) + "/EHAM-sectional.nos";
    CTavola chart;
    ASSERT_EQ(chart.OpenTavola(path.c_str(), 0), 1) << chart.GetLastError();
    EXPECT_EQ(chart.GetName(), "EHAM TEST SECTIONAL");
    EXPECT_EQ(chart.GetDocumentSize().cx, 4000);
    EXPECT_EQ(chart.GetDocumentSize().cy, 3000);
    EXPECT_EQ(chart.GetDrawingUnits(), 254);
    EXPECT_EQ(chart.GetBitDepth(), 7);
    EXPECT_EQ(chart.GetHeaderColourCount(), 126);
    std::vector<unsigned char> pixels(4000u * 3000u);
    ASSERT_EQ(chart.getMultiLines(0, 3000, 0, 4000, pixels.data()), 1);
    EXPECT_EQ(tavola_test::Fnv1a(pixels.data(), pixels.size()), kSampleHash);
    EXPECT_EQ(pixels[1344u * 4000u + 1674u], 75); // Schiphol's magenta ring

    CGEORec& rec = *chart.GetBaseGeoRec();
    EXPECT_EQ(rec.m_Projection.m_nProjection, 4);
    ASSERT_EQ(rec.m_RefPoints.size(), 16u);
    for (const auto& p : rec.m_RefPoints) {
        double x, y, lon, lat;
        rec.wpxy(p->m_dLongitude, p->m_dLatitude, &x, &y);
        EXPECT_NEAR(x, p->m_nX, 0.01) << p->m_strName;
        EXPECT_NEAR(y, p->m_nY, 0.01) << p->m_strName;
        rec.pwxy(p->m_nX, p->m_nY, &lon, &lat);
        // 0.01 pixel of 113 m is about 1e-5 degree.
        EXPECT_NEAR(lon, p->m_dLongitude, 1e-5) << p->m_strName;
        EXPECT_NEAR(lat, p->m_dLatitude, 1e-5) << p->m_strName;
    }
    // Schiphol, 4.7639 E 52.3086 N, lies at pixel (1674.8, 1344.6).
    EXPECT_NEAR(rec.wpx(4.7639, 52.3086), 1674.8, 0.1);
    EXPECT_NEAR(rec.wpy(4.7639, 52.3086), 1344.6, 0.1);
    // The border's corners sit 80 pixels in from the image edges.
    for (const auto& v : rec.m_Vertices) {
        EXPECT_TRUE(v->m_nX == 79 || v->m_nX == 80 || v->m_nX == 3919 || v->m_nX == 3920)
            << v->m_nX;
        EXPECT_TRUE(v->m_nY == 79 || v->m_nY == 80 || v->m_nY == 2919 || v->m_nY == 2920)
            << v->m_nY;
    }
    chart.CloseTavola();
}

} // namespace
