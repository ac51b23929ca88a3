// avilo-cli airports, run as a separate process from a scratch working directory.
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace {

struct Result {
    int exitCode;
    std::string out;
};

Result RunCli(const std::string& args) {
    const std::string command = std::string(AVILO_CLI) + " " + args + " 2>stderr.txt";
    Result r{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return r;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        r.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string Stderr() {
    std::ifstream in("stderr.txt");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(AirportsCli, SchipholRunwaysWithTheirDesignators) {
    ScratchDir dir({"airports.xml"});
    const Result r = RunCli("airports 4.7637 52.3086");
    ASSERT_EQ(r.exitCode, 0) << Stderr();
    EXPECT_EQ(r.out.rfind("neighbourhood\t", 0), 0u);
    EXPECT_NE(r.out.find("\nnearest\tSchiphol\tEHAM\n"), std::string::npos);
    const std::string runways = r.out.substr(r.out.find("\nrunways\t") + 1);
    std::istringstream lines(runways);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "runways\t12");
    std::vector<std::string> designators;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string index, entry;
        std::getline(fields, index, '\t');
        std::getline(fields, entry, '\t');
        designators.push_back(entry);
    }
    EXPECT_EQ(designators, (std::vector<std::string>{"9", "27", "18L", "36R", "18C", "36C", "18R",
                                                     "36L", "6", "24", "4", "22"}));
    EXPECT_NE(runways.find("\n3\t36R\t3.175748\t2.429065\t-11\t4.77743092\t52.29082345\n"),
              std::string::npos)
        << "entry 3: the second runway's opposite direction, heading + 180 with %f";
}

TEST(AirportsCli, NoAirportNoRunwaysAndErrors) {
    ScratchDir dir;
    dir.write("airports.xml", R"(<airportdb>
        <airport name="Strip" ICAO="XX01" GPSLon="10" GPSLat="10"/>
        <airport name="Broken" GPSLon="40" GPSLat="40"/></airportdb>)");
    Result r = RunCli("airports -30 -30");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Stderr(), "There is no airport in the neighborhood!\n");
    r = RunCli("airports 10 10");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "neighbourhood\t1\nStrip\tXX01\t10\t10\nnearest\tStrip\tXX01\nrunways\t0\n");
    r = RunCli("airports 40 40"); // no ICAO attribute: the COM-style error
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(Stderr().empty());
    r = RunCli("airports east 52");
    EXPECT_EQ(r.exitCode, 2);
}
