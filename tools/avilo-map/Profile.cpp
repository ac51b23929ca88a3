// avilo-map --profile: the altitude and airspeed of a recorded flight over time against the
// planned values of each leg of its flight script, as a PNG.
#include <kestro/FlightProfile.h>
#include <numbers/Numbers.h>
#include <scrivo/ScrivoCore.h>
#include <ui/ComponentLog.h>
#include <xml/Dom.h>

#include <QApplication>
#include <QSize>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& text) {
    std::fprintf(stderr, "avilo-map: %s\n", text.c_str());
    return 1;
}

// The track CSV of `avilo-cli fly --track`: a header, then time_s, latitude_deg, longitude_deg,
// altitude_m, airspeed_kt, pitch_deg, bank_deg, heading_deg per line.  False with `*error`
// naming the line for a line that is not eight numbers.
bool ReadSamples(std::istream& in, std::vector<kestro::FlightSample>* track, std::string* error) {
    std::string line;
    long number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (number == 1 || line.empty())
            continue; // the header
        std::vector<double> values;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) {
            const auto value = numbers::Parse(field);
            if (!value) {
                *error = "line " + std::to_string(number) + ": \"" + field + "\" is not a number";
                return false;
            }
            values.push_back(*value);
        }
        if (values.size() != 8) {
            *error = "line " + std::to_string(number) + ": " + std::to_string(values.size()) +
                     " values, not the 8 of a track line";
            return false;
        }
        track->push_back({values[0], values[1], values[2], values[3], values[4], values[5],
                          values[6], values[7]});
    }
    return true;
}

} // namespace

int DrawProfile(int argc, char** argv, const std::string& planPath, const std::string& trackPath,
                const std::string& pngPath) {
    // The chart is drawn by widgets: without a display they draw off screen.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    std::ifstream in(trackPath);
    if (!in)
        return Fail("cannot open the track " + trackPath);
    std::vector<kestro::FlightSample> track;
    std::string error;
    if (!ReadSamples(in, &track, &error))
        return Fail("cannot read the track " + trackPath + ": " + error);

    xml::DocumentPtr document = xml::Document::Create();
    if (!document->load(planPath))
        return Fail("cannot read " + planPath + ": " + document->parseError().reason);
    const xml::Node root = document->documentElement();
    xml::DocumentPtr script;
    if (!root.empty() && root.nodeName() == "flightscript") {
        script = document;
    } else if (!root.empty() && root.nodeName() == "avilo") {
        try {
            ui::TextLog log;
            const ui::LogSink previous = ui::SetLogSink([](std::string_view) {}); // quiet
            script = scrivo::GenerateFlightScript(document, scrivo::ScrivoFiles::WorkingDirectory(),
                                                  log);
            ui::SetLogSink(previous);
        } catch (const scrivo::CScrivoException& e) {
            return Fail("cannot generate the flight script of " + planPath + ": " + e.m_message);
        }
        if (!script)
            return Fail("the generator made no flight script of " + planPath);
    } else {
        return Fail(planPath + " is neither a flight plan (root \"avilo\") nor a flight script "
                               "(root \"flightscript\")");
    }
    if (!kestro::SaveProfilePng(script, track, pngPath, QSize(900, 500), &error))
        return Fail(error);
    std::printf("%s: profile of %zu track points, %zu legs\n", pngPath.c_str(), track.size(),
                kestro::FlownLegSpans(script, track).size());
    return 0;
}
