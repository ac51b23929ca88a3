#pragma once
// Helpers of the exchange tests: a scratch folder, the airport database loaded once, a plan's
// steer points as plain values, and gpsbabel turning a file into rows of numbers.

#include <avilo/PlanDocuments.h>
#include <numbers/Numbers.h>
#include <xml/Dom.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

/// A fresh temporary folder, removed with its content on destruction.
class Scratch {
public:
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "avilo-exchange-XXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~Scratch() { fs::remove_all(m_path); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    std::string write(const std::string& name, const std::string& content) const {
        std::ofstream(m_path / name, std::ios::binary) << content;
        return *this / name;
    }

private:
    fs::path m_path;
};

inline const xml::DocumentPtr& Airports() {
    static const xml::DocumentPtr db = [] {
        xml::DocumentPtr d = xml::Document::Create();
        EXPECT_TRUE(d->load(std::string(AVILO_DATA_DIR) + "/airports.xml"));
        return d;
    }();
    return db;
}

inline xml::DocumentPtr LoadPlan(const std::string& path) {
    xml::DocumentPtr d = xml::Document::Create();
    EXPECT_TRUE(d->load(path)) << path;
    return d;
}

/// A steer point as plain values.
struct Steer {
    double lon = 0, lat = 0;
    std::string phase, time, type, tasks, icao, runway, airspeed, heading, altitude;
};

inline std::string ChildText(const xml::Node& n, const char* xpath) {
    const xml::Node c = n.empty() ? xml::Node() : n.selectSingleNode(xpath);
    return c.empty() ? std::string() : c.text();
}

inline std::vector<Steer> SteerPoints(const xml::DocumentPtr& plan) {
    std::vector<Steer> out;
    for (const xml::Node& sp : plan->selectNodes("/avilo/steerpoint")) {
        Steer s;
        const avilo::CoordinateText c = avilo::ReadGPSCoordinate(sp.firstChild());
        s.lon = numbers::ToDouble(c.longitude);
        s.lat = numbers::ToDouble(c.latitude);
        s.phase = ChildText(sp, "@phase");
        s.time = ChildText(sp, "timeOverSteerPoint");
        for (const xml::Node& t : sp.selectNodes("task"))
            s.tasks += t.text() + ";";
        if (const xml::Node a = sp.selectSingleNode("airport"); !a.empty()) {
            s.type = "airport";
            s.icao = ChildText(a, "@shortname");
            s.runway = ChildText(a, "runway");
            s.runway.erase(0, s.runway.find_first_not_of('0')); // "09" is runway 9
            s.altitude = ChildText(a, "runwayElevation");
        } else if (const xml::Node g = sp.selectSingleNode("GPS"); !g.empty()) {
            s.type = "GPS";
            s.airspeed = ChildText(g, "airspeed");
            s.heading = ChildText(g, "heading");
            s.altitude = ChildText(g, "altitude");
        }
        out.push_back(s);
    }
    return out;
}

/// Runs a shell command; its standard output, and its exit status in `status`.
inline std::string Shell(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

inline bool HaveGpsbabel() {
    int status = 0;
    Shell("command -v gpsbabel >/dev/null 2>&1", status);
    return status == 0;
}

/// One row of gpsbabel's output: latitude, longitude (degrees), altitude (metres), time text.
struct Row {
    double lat = 0, lon = 0, alt = 0;
    std::string time;
};

/// The points gpsbabel reads from `file` of gpsbabel format `format`, `kinds` being "-r", "-t"
/// or "-w", written to the precision of the files: nine decimals of degrees, 0.1 mm.
inline std::vector<Row> GpsbabelRows(const Scratch& dir, const std::string& format,
                                     const std::string& file, const std::string& kinds) {
    const std::string style =
        dir.write("rows.style", "FIELD_DELIMITER COMMA\nRECORD_DELIMITER NEWLINE\n"
                                "BADCHARS COMMA\n"
                                "IFIELD LAT_DECIMAL, \"\", \"%.9f\"\n"
                                "IFIELD LON_DECIMAL, \"\", \"%.9f\"\n"
                                "IFIELD ALT_METERS, \"\", \"%.4f\"\n"
                                "IFIELD ISO_TIME_MS, \"\", \"%s\"\n");
    const std::string nuke = kinds == "-w"   ? " -x nuketypes,tracks,routes"
                             : kinds == "-r" ? " -x nuketypes,waypoints,tracks"
                                             : " -x nuketypes,waypoints,routes";
    int status = 0;
    const std::string out = Shell("gpsbabel " + kinds + " -i " + format + " -f '" + file + "'" +
                                      nuke + " -o xcsv,style='" + style + "' -F - 2>&1",
                                  status);
    EXPECT_EQ(status, 0) << out;
    std::vector<Row> rows;
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t end = std::min(out.find('\n', at), out.size());
        const std::string line = out.substr(at, end - at);
        at = end + 1;
        std::array<std::string, 4> f;
        std::size_t from = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t comma = std::min(line.find(',', from), line.size());
            f[k] = line.substr(std::min(from, line.size()), comma - std::min(from, line.size()));
            from = comma + 1;
        }
        rows.push_back(
            {numbers::ToDouble(f[0]), numbers::ToDouble(f[1]), numbers::ToDouble(f[2]), f[3]});
    }
    return rows;
}
