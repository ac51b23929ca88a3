// avilo-cli check and generate, run as a user runs them: from a folder holding the data files.
// The log on standard output is the log window's text; the exit code tells the outcome.
#include "TempDir.h"

#include "scrivo/Scrivo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::string kPlans = std::string(AVILO_DATA_DIR) + "/plans/";
const std::string SEP = "-------------------------------------------------------------------\r\n";
const std::string kCheckHead =
    "Loading XML aircraft specification database.\r\nDone loading ACdb.\r\n\r\n" + SEP;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f : {"avilo.xsd", "scrivodb.xml", "acdb.xml"})
            dir.copyData(f);
    }
    // Runs avilo-cli in the temporary folder (the working directory).
    CliRun Cli(const std::string& args) {
        const std::string cmd = std::string("'") + AVILO_CLI + "' " + args + " 2>stderr.txt";
        CliRun r;
        FILE* pipe = popen(cmd.c_str(), "r");
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;)
            r.out.append(buf, n);
        const int status = pclose(pipe);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = ReadFile(dir.path() / "stderr.txt");
        return r;
    }
    TempWorkDir dir;
};

TEST_F(CliTest, CheckExitCodes) {
    CliRun r = Cli("check " + kPlans + "schiphol-departure.av");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kCheckHead + "Flight Plan is consistent.");

    r = Cli("check " + kPlans + "empty.av");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, kCheckHead + "Flight plan: no steer point.\r\nFlight Plan is not consistent.");

    r = Cli("check " + kPlans + "inconsistent.av");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out,
              kCheckHead +
                  "Steer point 1: airspeed 40 kt is below the aircraft's minimum of 55 kt.\r\n"
                  "Steer point 2: time over steer point 10:05 is earlier than 10:08 at steer "
                  "point 1.\r\n"
                  "Steer point 2: altitude 18000 ft is above the aircraft's service ceiling of "
                  "14200 ft.\r\n"
                  "Steer point 3: the leg of 580 NM from steer point 2 is longer than the "
                  "aircraft's range of 480 NM.\r\n"
                  "Flight plan: the route of 596 NM is longer than the aircraft's range of 480 "
                  "NM.\r\n"
                  "Flight Plan is not consistent.");

    r = Cli("check " + kPlans + "phases.av");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, kCheckHead + "Steer point 3: unknown steer point type.\r\n"
                                  "Flight Plan is not consistent.");

    r = Cli("check " + kPlans + "malformed.av");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("malformed.av: line 5"), std::string::npos) << r.err;

    r = Cli("check");
    EXPECT_EQ(r.exitCode, 2);

    dir.remove("acdb.xml");
    r = Cli("check " + kPlans + "schiphol-departure.av");
    EXPECT_EQ(r.exitCode, 3);
    const std::string message =
        "XML aircraft specification database parse error:\r\nError code: -2146697211\r\n"
        "Line number: 0\r\nError message: The system cannot locate the resource specified.";
    EXPECT_EQ(r.out, "Loading XML aircraft specification database.\r\n" + message);
    EXPECT_EQ(r.err, message + "\n");
}

// The log is the library's log and the file holds the library's script.
TEST_F(CliTest, GenerateWritesTheScript) {
    for (const char* name : {"schiphol-departure.av", "phases.av", "empty.av"}) {
        SCOPED_TRACE(name);
        const xml::DocumentPtr plan = xml::Document::Create();
        ASSERT_TRUE(plan->load(kPlans + name));
        ui::LogCapture capture;
        const xml::DocumentPtr script = scrivo::GenerateFlightScript(plan);

        const CliRun r = Cli("generate " + kPlans + name + " -o script.xml");
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, capture.text());
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(ReadFile(dir.path() / "script.xml"), script->xml());
    }
}

TEST_F(CliTest, GenerateFailures) {
    for (const char* args : {"generate", "generate plan.av", "generate -o x.xml",
                             "generate a.av b.av -o x.xml", "generate a.av -o"})
        EXPECT_EQ(Cli(args).exitCode, 2) << args;
    EXPECT_EQ(Cli("generate " + kPlans + "malformed.av -o script.xml").exitCode, 2);
    EXPECT_EQ(Cli("generate " + kPlans + "empty.av -o no-such-dir/script.xml").exitCode, 2);

    dir.write("scrivodb.xml", "<scrivodb>");
    const CliRun r = Cli("generate " + kPlans + "schiphol-departure.av -o script.xml");
    EXPECT_EQ(r.exitCode, 3);
    const std::string message = "Flight Script generation XML database parse error:\r\n"
                                "Error code: -1072896659\r\nLine number: 1\r\n"
                                "Error message: End tag does not match the start tag.";
    EXPECT_EQ(r.out, "Loading Flight Script generation XML database.\r\n" + message);
    EXPECT_EQ(r.err, message + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "script.xml"));
}

} // namespace
