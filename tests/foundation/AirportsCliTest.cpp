// avilo-cli airports, run as a separate process from a scratch working directory.
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

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
        <airport name="Strip" ICAO="XX01" GPSLon="10" GPSLat="10"/></airportdb>)");
    Result r = RunCli("airports -30 -30");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Stderr(), "There is no airport in the neighborhood!\n");
    r = RunCli("airports 10 10");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "neighbourhood\t1\nStrip\tXX01\t10\t10\nnearest\tStrip\tXX01\nrunways\t0\n");
    r = RunCli("airports east 52");
    EXPECT_EQ(r.exitCode, 2);
}

namespace {
// An airport at (1, 1) whose runways are `runways`.
std::string OneAirport(const std::string& runways) {
    return R"(<airportdb><airport name="Home" ICAO="HOME" GPSLon="1" GPSLat="1">)" + runways +
           "</airport></airportdb>";
}
const std::string kEnds = "<GPSRwyStart><longitude>1.1</longitude><latitude>1.2</latitude>"
                          "</GPSRwyStart><GPSRwyEnd><longitude>1.3</longitude><latitude>1.4"
                          "</latitude></GPSRwyEnd>";
} // namespace

// Each broken database says which file and which element, and what is wrong with it, instead of
// a bare system message or an empty neighbourhood.
TEST(AirportsCli, BrokenDatabasesSayWhatIsWrong) {
    struct Case {
        const char* what;
        std::optional<std::string> content; // none: no airports.xml at all
        int exitCode;
        std::vector<std::string> inMessage;
    };
    const Case cases[] = {
        {"missing", std::nullopt, 2, {"\"airports.xml\" cannot be read"}},
        {"empty", "", 2, {"\"airports.xml\" is not well formed", "line 1"}},
        {"truncated",
         "<airportdb>\n<airport name=\"Home\" ICAO=\"HOME\" GPSLon=\"1\" GPSLat=\"1\">",
         2,
         {"\"airports.xml\" is not well formed", "line 2"}},
        {"wrong root",
         "<airports><airport name=\"Home\" ICAO=\"HOME\" GPSLon=\"1\" GPSLat=\"1\"/>"
         "</airports>",
         2,
         {"\"airports.xml\" has the root element <airports>; expected <airportdb>"}},
        {"runway without heading",
         OneAirport(R"(<runway magnvar="0" elevation="3">)" + kEnds + "</runway>"),
         0,
         {"\"airports.xml\": runway 1 of airport \"Home\" has no attribute 'heading'"}},
        {"runway without elevation",
         OneAirport(R"(<runway heading="10" magnvar="0">)" + kEnds + "</runway>"),
         0,
         {"\"airports.xml\": runway 1 of airport \"Home\" has no attribute 'elevation'"}},
        {"threshold without latitude",
         OneAirport(R"(<runway heading="10" magnvar="0" elevation="3"><GPSRwyStart><longitude>)"
                    "1.1</longitude><latitude>1.2</latitude></GPSRwyStart><GPSRwyEnd>"
                    "<longitude>1.3</longitude></GPSRwyEnd></runway>"),
         0,
         {"runway 1 of airport \"Home\" has no element <GPSRwyEnd/latitude>",
          "runway entry 1 (\"19\") is not listed"}},
        {"heading not a number",
         OneAirport(R"(<runway heading="east" magnvar="0" elevation="3">)" + kEnds + "</runway>"),
         0,
         {"runway 1 of airport \"Home\": the attribute 'heading' \"east\" is not a number; it is "
          "read as 0."}},
        {"airport without ICAO",
         R"(<airportdb><airport name="Home" GPSLon="1" GPSLat="1"/></airportdb>)",
         1,
         {"\"airports.xml\": airport \"Home\" has no attribute 'ICAO'; it is skipped",
          "There is no airport in the neighborhood!"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        if (c.content)
            dir.write("airports.xml", *c.content);
        const Result r = RunCli("airports 1 1");
        EXPECT_EQ(r.exitCode, c.exitCode);
        const std::string err = Stderr();
        for (const std::string& part : c.inMessage)
            EXPECT_NE(err.find(part), std::string::npos) << "stderr: " << err;
        EXPECT_EQ(err.find("error 0x"), std::string::npos) << err;
        EXPECT_EQ(err.find("Invalid pointer"), std::string::npos) << err;
    }
}

// A broken airport and a broken runway are left out with a warning; everything else lists as it
// would without them.
TEST(AirportsCli, BrokenRecordsAreSkippedWithAWarning) {
    ScratchDir dir;
    dir.write("airports.xml", R"(<airportdb>
        <airport name="Home" ICAO="HOME" GPSLon="1" GPSLat="1">
          <runway elevation="3">)" +
                                  kEnds + R"(</runway>
          <runway heading="92" magnvar="2" elevation="3">)" +
                                  kEnds + R"(</runway></airport>
        <airport ICAO="NONAME" GPSLon="1.5" GPSLat="1"/>
        <airport name="Away" ICAO="AWAY" GPSLon="2" GPSLat="1"/></airportdb>)");
    const Result r = RunCli("airports 1 1");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "neighbourhood\t2\nHome\tHOME\t1\t1\nAway\tAWAY\t2\t1\n"
                     "nearest\tHome\tHOME\nrunways\t4\n"
                     "2\t9\t92\t2\t3\t1.1\t1.2\n3\t27\t272.000000\t2\t3\t1.3\t1.4\n");
    EXPECT_EQ(Stderr(),
              "Warning: The airport database \"airports.xml\": the airport with ICAO code "
              "\"NONAME\" has no attribute 'name'; it is skipped.\n"
              "Warning: The airport database \"airports.xml\": runway 1 of airport \"Home\" has "
              "no attribute 'heading'.\n"
              "Warning: runway entry 0 (\"\") is not listed.\n"
              "Warning: runway entry 1 (\"\") is not listed.\n");
}

// Listing an airport's runway entries is linear in its runways (bench/airports measures it).
TEST(AirportsCli, TenThousandRunwaysList) {
    ScratchDir dir;
    std::string runways;
    for (int i = 0; i < 10000; ++i)
        runways += "<runway heading=\"" + std::to_string(i % 360) +
                   R"(" magnvar="0" elevation="3">)" + kEnds + "</runway>";
    dir.write("airports.xml", OneAirport(runways));
    const Result r = RunCli("airports 1 1");
    ASSERT_EQ(r.exitCode, 0) << Stderr();
    EXPECT_NE(r.out.find("\nrunways\t20000\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n19999\t10\t99.000000\t0\t3\t1.3\t1.4\n"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4 + 20000);
}
