#pragma once
// Charts, reference files and a fake host for the chart window tests.

#include <chartview/ChartHost.h>
#include <numbers/Numbers.h>

#include <tavola/NosWriter.h>
#include <xml/Dom.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace charttest {

/// A temporary directory, removed with its content.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "chartview-XXXXXX").string();
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
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

/// The affine georeferencing of the test charts: longitude = 4 + x / 1000, latitude = 52 -
/// y / 1000 (x, y chart pixels).
inline double TestLongitude(double x) {
    return 4.0 + x / 1000.0;
}
inline double TestLatitude(double y) {
    return 52.0 - y / 1000.0;
}
inline double TestX(double longitude) {
    return (longitude - 4.0) * 1000.0;
}
inline double TestY(double latitude) {
    return (52.0 - latitude) * 1000.0;
}

/// Writes the reference file of the chart at `path` with five reference points of the test
/// georeferencing.
inline void WriteReference(const std::string& path) {
    std::ofstream out(path.substr(0, path.size() - 4) + ".GEO");
    out << "Name=TEST\n";
    const int points[][2] = {{0, 0}, {1000, 0}, {0, 1000}, {1000, 1000}, {500, 300}};
    int n = 1;
    for (const auto& p : points)
        out << numbers::Format("Point%d=%.6f %.6f %d %d\n", n++, TestLongitude(p[0]),
                               TestLatitude(p[1]), p[1], p[0]);
}

/// Colours of the test charts: index 1 white, 2 light blue, 3 green, 4 black.
inline std::vector<std::array<std::uint8_t, 3>> TestColours() {
    return {{0, 0, 0}, {255, 255, 255}, {170, 210, 240}, {120, 200, 120}, {0, 0, 0}};
}

/// Writes a chart of width x height pixels with colour indices from `pixel(x, y)` to `path`,
/// and (with `geo`) its reference file with five reference points of the test georeferencing.
inline void MakeChart(const std::string& path, int width, int height,
                      const std::function<unsigned char(int, int)>& pixel, bool geo = true) {
    tavola::NosImage image;
    image.name = "TEST";
    image.width = width;
    image.height = height;
    image.colours = TestColours();
    image.pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.pixels[static_cast<std::size_t>(y) * width + x] = pixel(x, y);
    std::string error;
    if (!tavola::WriteNosFile(path, image, {}, &error))
        throw std::runtime_error("cannot write chart: " + error);
    if (geo)
        WriteReference(path);
}

/// A run of pixels of one colour index.
struct Run {
    int colour;
    int length;
};

/// Writes a chart of width x height pixels whose rows are all the same runs (which must add up
/// to the width), encoded here run by run, so that even very large charts take no time to make;
/// with `geo`, its reference file as MakeChart writes it.
inline void MakeRunChart(const std::string& path, int width, int height,
                         const std::vector<Run>& row, bool geo = true) {
    std::vector<unsigned char> out;
    std::string header = "NOS/NA=RUNS,RA=0,0," + std::to_string(width) + "," +
                         std::to_string(height) + ",DU=254\r\n";
    const auto colours = TestColours();
    for (std::size_t i = 1; i < colours.size(); ++i)
        header += "RGB/" + std::to_string(i) + "," + std::to_string(colours[i][0]) + "," +
                  std::to_string(colours[i][1]) + "," + std::to_string(colours[i][2]) + "\r\n";
    out.insert(out.end(), header.begin(), header.end());
    const int depth = 3;
    out.insert(out.end(), {0x1A, 0x00, static_cast<unsigned char>(depth)});
    std::vector<std::uint32_t> index;
    for (int r = 0; r < height; ++r) {
        index.push_back(static_cast<std::uint32_t>(out.size()));
        std::uint32_t n = static_cast<std::uint32_t>(r + 1);
        unsigned char buf[5];
        int k = 0;
        do {
            buf[k++] = n & 0x7F;
            n >>= 7;
        } while (n != 0);
        while (k > 1)
            out.push_back(buf[--k] | 0x80);
        out.push_back(buf[0]);
        for (const Run& run : row)
            tavola::AppendNosRun(out, run.colour, static_cast<std::uint64_t>(run.length), depth);
        out.push_back(0);
    }
    const auto be32 = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<unsigned char>(v >> s));
    };
    const std::uint32_t indexAt = static_cast<std::uint32_t>(out.size());
    for (std::uint32_t off : index)
        be32(off);
    be32(indexAt);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (geo)
        WriteReference(path);
}

/// A chart whose header claims width x height white pixels (far more than memory holds) in a
/// small file.
inline void MakeHugeChart(const std::string& path, int width, int height) {
    MakeRunChart(path, width, height, {{1, width}}, false);
}

/// A chart whose header claims width x height pixels while every row index entry points at the
/// same one coded row: far less file than that many rows take.
inline void MakeSharedRowChart(const std::string& path, int width, int height) {
    const std::string header = "NOS/NA=SHARED,RA=0,0," + std::to_string(width) + "," +
                               std::to_string(height) + "\r\nRGB/1,255,255,255\r\n";
    std::vector<unsigned char> out(header.begin(), header.end());
    out.insert(out.end(), {0x1A, 0x00, 0x03});
    const auto row = static_cast<std::uint32_t>(out.size());
    out.push_back(0x00); // row number
    tavola::AppendNosRun(out, 1, static_cast<std::uint64_t>(width), 3);
    const auto be32 = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(static_cast<unsigned char>(v >> s));
    };
    const auto indexAt = static_cast<std::uint32_t>(out.size());
    for (int r = 0; r < height; ++r)
        be32(row);
    be32(indexAt);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
}

/// A fake main frame: one plan; AddSteerPoint appends a steer point with the position.
class FakeHost : public avilo::planner::IChartHost {
public:
    FakeHost() : m_plan(xml::Document::Create()) {
        m_root = m_plan->appendChild(m_plan->createElement("avilo"));
    }
    xml::Node PlanRoot() const override { return m_root; }
    void ShowComError(const xml::ComError& error) override { m_comErrors.push_back(error); }
    void AddSteerPoint(double longitude, double latitude) override {
        m_added.push_back({longitude, latitude});
        Append(longitude, latitude);
    }
    /// Appends a steer point as the plan file would hold it.
    xml::Node Append(double longitude, double latitude) {
        xml::Node sp = m_root.appendChild(m_plan->createElement("steerpoint"));
        xml::Node gps = sp.appendChild(m_plan->createElement("GPSCoordinate"));
        gps.appendChild(m_plan->createElement("longitude"))
            .setText(numbers::Format("%f", longitude));
        gps.appendChild(m_plan->createElement("latitude")).setText(numbers::Format("%f", latitude));
        return sp;
    }

    struct Added {
        double longitude, latitude;
    };
    xml::DocumentPtr m_plan;
    xml::Node m_root;
    std::vector<Added> m_added;
    std::vector<xml::ComError> m_comErrors;
};

} // namespace charttest
