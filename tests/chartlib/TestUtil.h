// Helpers shared by the chart library tests: temporary directories and small charts.
#pragma once

#include <tavola/NosWriter.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tavola_test {

// A fresh directory under the system's temp folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavola-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline void WriteBytes(const std::string& path, const std::vector<unsigned char>& data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

inline std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// An image of the given size filled by f(x, y) -> colour index, with `colours` grey levels.
template <typename F> tavola::NosImage MakeImage(int width, int height, int colours, F f) {
    tavola::NosImage image;
    image.name = "TEST CHART";
    image.width = width;
    image.height = height;
    for (int i = 0; i < colours; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / std::max(1, colours - 1));
        image.colours.push_back({v, static_cast<std::uint8_t>(255 - v), v});
    }
    image.pixels.resize(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels[std::size_t(y) * width + x] = static_cast<unsigned char>(f(x, y));
    return image;
}

inline std::uint64_t Fnv1a(const unsigned char* p, std::size_t n) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

} // namespace tavola_test
