// avilo-cli fly as a user runs it, from a folder holding the data files: the choice of control
// law, the flight report at the end, and the options and plans it refuses.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class FlyCli : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("avilo-fly-cli-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
        fs::permissions(m_dir, fs::perms::owner_all); // also the IPC folder: closed to others
        for (const char* f : {"avilo.xsd", "scrivodb.xml", "acdb.xml"})
            fs::copy_file(fs::path(AVILO_DATA_DIR) / f, m_dir / f,
                          fs::copy_options::overwrite_existing);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    /// Runs avilo-cli fly in the temporary folder on `file` (the Schiphol sample plan unless
    /// given) with `args` after it.
    CliRun Fly(const std::string& args, const std::string& file = std::string(AVILO_DATA_DIR) +
                                                                  "/plans/schiphol-departure.av") {
        // An IPC folder of its own, so that no simulator of this machine is found or disturbed.
        const std::string cmd = "cd '" + m_dir.string() + "' && AVILO_IPC_DIR='" + m_dir.string() +
                                "' QT_QPA_PLATFORM=offscreen '" + AVILO_CLI + "' fly '" + file +
                                "' " + args + " 2>stderr.txt";
        CliRun r;
        FILE* pipe = ::popen(cmd.c_str(), "r");
        if (!pipe)
            return r;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            r.out.append(buffer, n);
        const int status = ::pclose(pipe);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = ReadFile(m_dir / "stderr.txt");
        return r;
    }
    fs::path m_dir;
};

TEST_F(FlyCli, TheStabilisedLawFliesThePlanAndTheReportFollowsTheLog) {
    const CliRun r = Fly("--control stabilised --track track.csv");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\tWaiting for speed to exceed 55 knots.\r\n"), std::string::npos);
    const std::size_t finished = r.out.find("Finished executing the flight script.\r\n\r\n");
    const std::size_t report = r.out.find("Flight report\n");
    ASSERT_NE(finished, std::string::npos);
    ASSERT_NE(report, std::string::npos);
    EXPECT_LT(finished, report);
    const std::string text = r.out.substr(report);
    EXPECT_NE(text.find("Take-off:\n\tground roll "), std::string::npos) << text;
    for (const char* leg :
         {"Leg 1 to 52.330000, 4.980000:\n\treached", "Leg 2 to 52.280000, 5.160000:\n\treached",
          "Leg 3 to 52.420000, 5.300000:\n\treached"})
        EXPECT_NE(text.find(leg), std::string::npos) << leg << "\n" << text;
    EXPECT_EQ(ReadFile(m_dir / "track.csv")
                  .rfind("time_s,latitude_deg,longitude_deg,altitude_m,airspeed_kt,pitch_deg,"
                         "bank_deg,heading_deg\n",
                         0),
              0u);
}

TEST_F(FlyCli, TheStabilisedLawIsTheDefaultAndTheClassicOneIsAChoice) {
    // A take-off only: the classic law logs every second of a cruise, which makes long logs.
    std::ofstream(m_dir / "takeoff.xml")
        << "<?xml version=\"1.0\"?><flightscript><phase name=\"takeoff\"><task "
           "name=\"takeoff\"><procedure name=\"takeoff\"><GPSRunway><latitude>52.31662258"
           "</latitude><longitude>4.74629843</longitude></GPSRunway><runwayHeading>86.78"
           "</runwayHeading><runwayMagnVar>1.77</runwayMagnVar><runwayElevation>-11"
           "</runwayElevation></procedure></task></phase></flightscript>";
    // In virtual time a law flies the same flight each time: the default's log is the
    // stabilised law's, and the classic law (45 knots before rotation) is one option away.
    const CliRun r = Fly("", "takeoff.xml");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Fly("--control stabilised", "takeoff.xml").out);
    EXPECT_NE(r.out.find("Flight report\n"), std::string::npos);
    const CliRun classic = Fly("--control classic", "takeoff.xml");
    ASSERT_EQ(classic.exitCode, 0) << classic.err;
    EXPECT_NE(classic.out.find("\tWaiting for speed to exceed 45 knots.\r\n"), std::string::npos);
    EXPECT_NE(classic.out, r.out);
}

TEST_F(FlyCli, APlanWithBlankNumbersIsRefusedBeforeTakeOff) {
    // The sample plan with every number blanked: checked (and found inconsistent), generated,
    // then refused by the executor instead of flown towards 0 N 0 E.
    const std::string plan =
        std::regex_replace(ReadFile(fs::path(AVILO_DATA_DIR) / "plans/schiphol-departure.av"),
                           std::regex(">[-0-9.]+<"), "><");
    std::ofstream(m_dir / "blank.av") << plan;
    const CliRun r = Fly("--limit 600", (m_dir / "blank.av").string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Steer point 1: latitude \"\" is not a number."), std::string::npos);
    EXPECT_NE(r.out.find("Starting flight script execution.\r\n\r\nCannot fly the flight "
                         "script: steer point 0 (take-off procedure): GPSRunway/longitude \"\" "
                         "is not a finite number.\r\n\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Connected"), std::string::npos);
    EXPECT_EQ(r.out.find("Flight report"), std::string::npos);
    EXPECT_NE(r.err.find("the flight script cannot be flown"), std::string::npos) << r.err;
}

// In virtual time a plan, its weather and the seed give the same flight each time: the same
// track for the same seed, another for another seed.
TEST_F(FlyCli, TheSameWeatherAndSeedFlyTheSameTrack) {
    auto track = [&](const std::string& seed, const std::string& file) {
        const CliRun r = Fly("--control stabilised --wind 240/20 --gusts 10 --turbulence light "
                             "--seed " +
                             seed + " --track " + file);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("Flight report\n"), std::string::npos);
        return ReadFile(m_dir / file);
    };
    const std::string a = track("4", "a.csv");
    EXPECT_GT(a.size(), 1000u);
    EXPECT_EQ(track("4", "b.csv"), a);
    EXPECT_NE(track("5", "c.csv"), a);
}

TEST_F(FlyCli, OptionsItRefuses) {
    struct {
        const char* args;
        const char* message;
    } cases[] = {
        {"--control bogus", "usage: avilo-cli fly"},
        {"--control", "usage: avilo-cli fly"},
        {"--fdm flightgear", "usage: avilo-cli fly"},
        {"--sim ipc --fdm jsbsim", "--fdm chooses the in-process simulator's model"},
        {"--wind 240-20", "avilo-cli fly: --wind: wants DIR/KT"},
        {"--gusts 1,5", "avilo-cli fly: --gusts:"},
        {"--turbulence extreme", "avilo-cli fly: --turbulence: wants light, moderate or severe"},
        {"--seed", "usage: avilo-cli fly"},
        {"--sim ipc --wind 240/20", "a running fssim has its own"},
        {"--fdm jsbsim --turbulence 2", "builtin model's expert form"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun r = Fly(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("Starting flight script execution."), std::string::npos);
    }
}

} // namespace
