// NOS raster chart encoder.
#include <tavola/NosWriter.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace tavola {

namespace {

void AppendBE32(std::vector<unsigned char>& out, std::uint32_t v) {
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

// Row numbers: 7 bits a byte, most significant first, bit 7 set on all but the last.
void AppendRowNumber(std::vector<unsigned char>& out, std::uint32_t n) {
    unsigned char buf[5];
    int k = 0;
    do {
        buf[k++] = static_cast<unsigned char>(n & 0x7F);
        n >>= 7;
    } while (n != 0);
    while (k > 1)
        out.push_back(static_cast<unsigned char>(buf[--k] | 0x80));
    out.push_back(buf[0]);
}

void AppendText(std::vector<unsigned char>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
}

} // namespace

void AppendNosRun(std::vector<unsigned char>& out, int colour, std::uint64_t length, int depth) {
    const std::uint64_t count = length - 1;
    const int firstBits = 7 - depth;
    int extra = 0;
    while ((count >> (firstBits + 7 * extra)) != 0)
        ++extra;
    unsigned char first = static_cast<unsigned char>(colour << firstBits);
    first |= static_cast<unsigned char>((count >> (7 * extra)) & ((1u << firstBits) - 1));
    if (extra > 0)
        first |= 0x80;
    out.push_back(first);
    for (int i = extra - 1; i >= 0; --i) {
        unsigned char b = static_cast<unsigned char>((count >> (7 * i)) & 0x7F);
        if (i > 0)
            b |= 0x80;
        out.push_back(b);
    }
}

std::vector<unsigned char> EncodeNos(const NosImage& image, const NosWriteOptions& options,
                                     std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return std::vector<unsigned char>{};
    };
    if (image.width <= 0 || image.height <= 0)
        return fail("the image has no pixels");
    if (image.pixels.size() != std::size_t(image.width) * std::size_t(image.height))
        return fail("pixel count does not match width x height");
    int maxIndex = 0;
    bool usesZero = false;
    for (unsigned char p : image.pixels) {
        maxIndex = std::max<int>(maxIndex, p);
        usesZero = usesZero || p == 0;
    }
    int depth = options.depth;
    if (depth == 0) {
        depth = 1;
        while (depth < 7 && (maxIndex >> depth) != 0)
            ++depth;
    }
    if (depth < 1 || depth > 7)
        return fail("bit depth outside 1..7");
    if ((maxIndex >> depth) != 0)
        return fail("colour index " + std::to_string(maxIndex) + " does not fit " +
                    std::to_string(depth) + " bits");

    std::vector<unsigned char> out;
    out.reserve(image.pixels.size() / 8 + 4096);
    for (const std::string& line : options.extraHeaderLines)
        AppendText(out, line + "\r\n");
    const std::string size =
        "RA=0,0," + std::to_string(image.width) + "," + std::to_string(image.height);
    const std::string du = "DU=" + std::to_string(options.drawingUnits);
    if (options.continuationHeader)
        AppendText(out, "NOS/NA=" + image.name + "\r\n    " + size + "\r\n    ," + du + "\r\n");
    else
        AppendText(out, "NOS/NA=" + image.name + "," + size + "," + du + "\r\n");
    for (std::size_t i = 0; i < image.colours.size(); ++i) {
        if (i == 0 && !usesZero)
            continue;
        const auto& c = image.colours[i];
        AppendText(out, "RGB/" + std::to_string(i) + "," + std::to_string(c[0]) + "," +
                            std::to_string(c[1]) + "," + std::to_string(c[2]) + "\r\n");
    }
    out.push_back(0x1A);
    out.push_back(0x00);
    out.push_back(static_cast<unsigned char>(depth));

    std::vector<std::uint32_t> index(image.height);
    for (int r = 0; r < image.height; ++r) {
        if (out.size() > 0xFFFFFFF0u)
            return fail("chart too large for 32-bit offsets");
        index[r] = static_cast<std::uint32_t>(out.size());
        AppendRowNumber(out, static_cast<std::uint32_t>(r + options.firstRowNumber));
        const unsigned char* row = image.pixels.data() + std::size_t(r) * image.width;
        int x = 0;
        while (x < image.width) {
            int e = x + 1;
            while (e < image.width && row[e] == row[x])
                ++e;
            AppendNosRun(out, row[x], std::uint64_t(e - x), depth);
            x = e;
        }
        if (options.rowTerminator)
            out.push_back(0);
    }
    const std::uint32_t indexAt = static_cast<std::uint32_t>(out.size());
    for (std::uint32_t off : index)
        AppendBE32(out, off);
    AppendBE32(out, indexAt);
    return out;
}

bool WriteNosFile(const std::string& path, const NosImage& image, const NosWriteOptions& options,
                  std::string* error) {
    const std::vector<unsigned char> data = EncodeNos(image, options, error);
    if (data.empty())
        return false;
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f || !f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size())) ||
        !f.flush()) {
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace tavola
