#include "fgbridge/PropertyFile.h"

#include <ipc/Protocol.h>
#include <numbers/Numbers.h>
#include <tavola/Units.h>

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace fgbridge {

namespace {

namespace protocol = ipc::protocol;

constexpr std::array<std::string_view, 22> kStateNames = {
    "time-s",      "paused",         "latitude-deg",  "longitude-deg",
    "altitude-ft", "ground-elev-ft", "pitch-deg",     "bank-deg",
    "heading-deg", "ias-kt",         "tas-kt",        "vertical-speed-fps",
    "on-ground",   "throttle",       "mixture",       "elevator",
    "aileron",     "rudder",         "elevator-trim", "brake-left",
    "brake-right", "brake-parking"};
constexpr std::array<std::string_view, 9> kControlNames = {
    "throttle",      "mixture",    "elevator",    "aileron",      "rudder",
    "elevator-trim", "brake-left", "brake-right", "brake-parking"};

std::string Separator(const std::string& text) {
    if (text == "newline")
        return "\n";
    if (text == "tab")
        return "\t";
    return text;
}

std::vector<Chunk> ReadChunks(const pugi::xml_node& block, const std::string& path,
                              const char* which, std::string& separator) {
    if (!block)
        throw std::runtime_error(path + ": no <generic><" + which + "> block");
    separator = Separator(block.child_value("var_separator"));
    if (separator.size() != 1)
        throw std::runtime_error(path + ": <" + which +
                                 "><var_separator> must be one character (\",\")");
    if (std::string(block.child_value("binary_mode")) == "true")
        throw std::runtime_error(path + ": <" + which + "> is binary; the bridge reads ASCII");
    std::vector<Chunk> chunks;
    for (const pugi::xml_node& chunk : block.children("chunk"))
        chunks.push_back({chunk.child_value("name"), chunk.child_value("node")});
    return chunks;
}

/// Checks that `chunks` holds each of `needed` once and nothing else (but the tag, for the
/// output's first chunk).
template <std::size_t N>
void CheckNames(const std::vector<Chunk>& chunks, std::size_t first,
                const std::array<std::string_view, N>& needed, const std::string& path,
                const char* which) {
    for (std::size_t i = first; i < chunks.size(); ++i) {
        const std::string& name = chunks[i].name;
        if (std::find(needed.begin(), needed.end(), name) == needed.end())
            throw std::runtime_error(path + ": <" + which + "> chunk " + std::to_string(i + 1) +
                                     " has the unknown name \"" + name + "\"");
        if (chunks[i].node.empty())
            throw std::runtime_error(path + ": <" + which + "> chunk \"" + name +
                                     "\" has no <node>");
        for (std::size_t j = first; j < i; ++j)
            if (chunks[j].name == name)
                throw std::runtime_error(path + ": <" + which + "> names \"" + name + "\" twice");
    }
    for (std::string_view name : needed) {
        const bool found =
            std::any_of(chunks.begin() + static_cast<std::ptrdiff_t>(first), chunks.end(),
                        [name](const Chunk& c) { return c.name == name; });
        if (!found)
            throw std::runtime_error(path + ": <" + which + "> has no chunk \"" +
                                     std::string(name) + "\"");
    }
}

/// `unit` in [-1, 1] (or [0, 1]) to raw link units of `full`, rounded, limited to the range.
int ToRaw(double unit, int full, bool signedRange) {
    const double low = signedRange ? -1.0 : 0.0;
    return static_cast<int>(std::lround(std::clamp(unit, low, 1.0) * full));
}

double ToUnit(int raw, int full) {
    return static_cast<double>(raw) / full;
}

} // namespace

std::string PropertyFilePath(const std::string& dataDir, const std::string& aircraft) {
    return dataDir + "/Protocol/avilo-" + aircraft + ".xml";
}

PropertyFile LoadPropertyFile(const std::string& path) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (parsed.status == pugi::status_file_not_found || parsed.status == pugi::status_io_error)
        throw std::runtime_error(path + ": cannot be read");
    if (!parsed)
        throw std::runtime_error(path + ": not XML (" + parsed.description() + " at byte " +
                                 std::to_string(parsed.offset) + ")");
    const pugi::xml_node root = doc.child("PropertyList");
    PropertyFile file;
    file.path = path;
    file.aircraft = root.child("avilo").child_value("aircraft");
    if (file.aircraft.empty())
        throw std::runtime_error(path + ": no <avilo><aircraft> name");
    file.tag = "avilo-" + file.aircraft;

    std::string inputSeparator;
    file.output = ReadChunks(root.child("generic").child("output"), path, "output", file.separator);
    file.input = ReadChunks(root.child("generic").child("input"), path, "input", inputSeparator);
    if (inputSeparator != file.separator)
        throw std::runtime_error(path + ": <input> and <output> have different separators");
    if (file.output.empty() || file.output.front().name != "tag" ||
        !file.output.front().node.empty() ||
        root.child("generic").child("output").child("chunk").child_value("format") != file.tag)
        throw std::runtime_error(path +
                                 ": the first <output> chunk must be \"tag\", the "
                                 "constant <format>" +
                                 file.tag + "</format>");
    CheckNames(file.output, 1, kStateNames, path, "output");
    CheckNames(file.input, 0, kControlNames, path, "input");

    const pugi::xml_node avilo = root.child("avilo");
    file.engineRunning = avilo.child_value("engine-running");
    const pugi::xml_node start = avilo.child("engine-start");
    for (const pugi::xml_node& set : start.children("set"))
        file.engineStart.push_back({set.child_value("node"), set.child_value("value")});
    file.starter = start.child_value("starter");
    if (!file.starter.empty()) {
        const auto seconds = numbers::Parse(start.child_value("starter-s"));
        if (!seconds || *seconds <= 0.0 || *seconds > 30.0)
            throw std::runtime_error(path + ": <engine-start><starter-s> must be 0 to 30 s");
        file.starter_s = *seconds;
    }
    return file;
}

Codec::Codec(PropertyFile file) : m_file(std::move(file)) {}

bool Codec::Decode(std::string_view datagram, FgState& out, std::string& error) const {
    while (!datagram.empty() && (datagram.back() == '\n' || datagram.back() == '\r'))
        datagram.remove_suffix(1);
    std::vector<std::string_view> fields;
    const char sep = m_file.separator.front();
    for (std::size_t start = 0;;) {
        const std::size_t end = datagram.find(sep, start);
        fields.push_back(datagram.substr(start, end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    if (fields.front() != m_file.tag) {
        error = "FlightGear's state does not begin with \"" + m_file.tag + "\" (it begins \"" +
                std::string(datagram.substr(0, 24)) +
                "\"): FlightGear was started with another protocol file than " + m_file.path;
        return false;
    }
    if (fields.size() != m_file.output.size()) {
        error = "FlightGear's state has " + std::to_string(fields.size()) + " fields where " +
                m_file.path + " gives " + std::to_string(m_file.output.size()) +
                ": FlightGear was started with another version of the protocol file";
        return false;
    }
    FgState s;
    fssim::Controls& c = s.controls;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const std::string& name = m_file.output[i].name;
        const std::optional<double> v = numbers::Parse(fields[i]);
        if (!v) {
            error = "FlightGear's state field " + std::to_string(i + 1) + " (" + name +
                    ") is no number: \"" + std::string(fields[i]) + "\"";
            return false;
        }
        const double x = *v;
        if (name == "time-s")
            s.time_s = x;
        else if (name == "paused")
            s.paused = x != 0.0;
        else if (name == "latitude-deg")
            s.state.latitude_deg = x;
        else if (name == "longitude-deg")
            s.state.longitude_deg = x;
        else if (name == "altitude-ft")
            s.state.altitude_m = x * tavola::kMetresPerFoot;
        else if (name == "ground-elev-ft")
            s.state.groundElevation_m = x * tavola::kMetresPerFoot;
        else if (name == "pitch-deg")
            s.state.pitch_deg = x;
        else if (name == "bank-deg")
            s.state.bank_deg = x;
        else if (name == "heading-deg")
            s.state.heading_deg = tavola::Wrap360(x);
        else if (name == "ias-kt")
            s.derived.ias_kt = x;
        else if (name == "tas-kt")
            s.derived.tas_kt = x;
        else if (name == "vertical-speed-fps")
            s.derived.verticalSpeed_mps = x * tavola::kMetresPerFoot;
        else if (name == "on-ground")
            s.state.onGround = x != 0.0;
        else if (name == "throttle")
            c.throttle = ToRaw(x, protocol::kLeverFull, false);
        else if (name == "mixture")
            c.mixture = ToRaw(x, protocol::kLeverFull, false);
        else if (name == "elevator")
            c.elevator = -ToRaw(x, protocol::kInputLimit, true);
        else if (name == "aileron")
            c.aileron = ToRaw(x, protocol::kInputLimit, true);
        else if (name == "rudder")
            c.rudder = ToRaw(x, protocol::kInputLimit, true);
        else if (name == "elevator-trim")
            c.elevatorTrim = -ToRaw(x, protocol::kInputLimit, true);
        else if (name == "brake-left")
            c.leftToeBrake = ToRaw(x, protocol::kToeBrakeFull, false);
        else if (name == "brake-right")
            c.rightToeBrake = ToRaw(x, protocol::kToeBrakeFull, false);
        else if (name == "brake-parking")
            c.parkingBrake = ToRaw(x, protocol::kParkingBrakeSet, false);
    }
    s.state.tas_mps = s.derived.tas_kt * tavola::kMetresPerSecondPerKnot;
    out = s;
    return true;
}

std::string Codec::Encode(const fssim::Controls& c) const {
    std::string line;
    for (const Chunk& chunk : m_file.input) {
        const std::string& name = chunk.name;
        // Raw values beyond their range act as the range's end.
        double v = 0.0;
        if (name == "throttle")
            v = std::clamp(ToUnit(c.throttle, protocol::kLeverFull), 0.0, 1.0);
        else if (name == "mixture")
            v = std::clamp(ToUnit(c.mixture, protocol::kLeverFull), 0.0, 1.0);
        else if (name == "elevator")
            v = -std::clamp(ToUnit(c.elevator, protocol::kInputLimit), -1.0, 1.0);
        else if (name == "aileron")
            v = std::clamp(ToUnit(c.aileron, protocol::kInputLimit), -1.0, 1.0);
        else if (name == "rudder")
            v = std::clamp(ToUnit(c.rudder, protocol::kInputLimit), -1.0, 1.0);
        else if (name == "elevator-trim")
            v = -std::clamp(ToUnit(c.elevatorTrim, protocol::kInputLimit), -1.0, 1.0);
        else if (name == "brake-left")
            v = std::clamp(ToUnit(c.leftToeBrake, protocol::kToeBrakeFull), 0.0, 1.0);
        else if (name == "brake-right")
            v = std::clamp(ToUnit(c.rightToeBrake, protocol::kToeBrakeFull), 0.0, 1.0);
        else if (name == "brake-parking")
            v = std::clamp(ToUnit(c.parkingBrake, protocol::kParkingBrakeSet), 0.0, 1.0);
        if (!line.empty())
            line += m_file.separator;
        line += numbers::Format("%.6f", v);
    }
    return line + "\n";
}

} // namespace fgbridge
