#pragma once
// The expected outputs of the sample plan "plans/schiphol-departure.av", kept once as files next
// to the tests: the generator's log ("schiphol-departure.log", CR LF line ends) and the flight
// script as saved ("schiphol-departure.script.xml").

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline const std::string kSamplePlan = std::string(AVILO_DATA_DIR) + "/plans/schiphol-departure.av";

inline std::string ExpectedSampleLog() {
    return ReadFile(std::filesystem::path(AVILO_FIXTURE_DIR) / "schiphol-departure.log");
}

inline std::string ExpectedSampleScript() {
    return ReadFile(std::filesystem::path(AVILO_FIXTURE_DIR) / "schiphol-departure.script.xml");
}
