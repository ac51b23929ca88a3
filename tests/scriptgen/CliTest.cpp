// avilo-cli check and generate, run as a user runs them: from a folder holding the data files.
// Standard output is the log of the library's core run on the same files, the exit code tells
// the outcome, and a failure's message goes to standard error.
#include "Fixtures.h"
#include "TempDir.h"

#include "scrivo/ScrivoCore.h"
#include "tessar/TessarCore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include <sys/wait.h>

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

// What the library's core logs and how the command ends (exit code, message) on the same input.
struct CoreRun {
    int exitCode = -1;
    std::string log, err;
};

const std::string kPlans = std::string(AVILO_DATA_DIR) + "/plans/";

xml::DocumentPtr LoadPlan(const std::string& name) {
    const xml::DocumentPtr plan = xml::Document::Create();
    EXPECT_TRUE(plan->load(kPlans + name)) << name;
    return plan;
}

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
    static CoreRun Check(const std::string& name) {
        CoreRun r;
        ui::TextLog log;
        try {
            r.exitCode = tessar::CheckConsistency(LoadPlan(name),
                                                  tessar::TessarFiles::WorkingDirectory(), log)
                             ? 0
                             : 1;
        } catch (const tessar::CTessarException& e) {
            r.exitCode = 3;
            r.err = e.m_message + "\n";
        }
        r.log = log.text();
        return r;
    }
    static CoreRun Generate(const std::string& name, xml::DocumentPtr* script = nullptr) {
        CoreRun r;
        ui::TextLog log;
        try {
            const xml::DocumentPtr s = scrivo::GenerateFlightScript(
                LoadPlan(name), scrivo::ScrivoFiles::WorkingDirectory(), log);
            r.exitCode = 0;
            if (script)
                *script = s;
        } catch (const scrivo::CScrivoException& e) {
            r.exitCode = 3;
            r.err = e.m_message + "\n";
        }
        r.log = log.text();
        return r;
    }
    static void ExpectSame(const CliRun& cli, const CoreRun& core) {
        EXPECT_EQ(cli.exitCode, core.exitCode);
        EXPECT_EQ(cli.out, core.log);
        EXPECT_EQ(cli.err, core.err);
    }

    TempWorkDir dir;
    ui::LogCapture quiet; // the in-process runs' text stays out of the test output
};

TEST_F(CliTest, CheckIsTheCheckersLog) {
    const struct {
        const char* plan;
        int exitCode;
    } cases[] = {
        {"schiphol-departure.av", 0}, {"empty.av", 1}, {"inconsistent.av", 1}, {"phases.av", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        const CliRun r = Cli("check " + kPlans + c.plan);
        EXPECT_EQ(r.exitCode, c.exitCode);
        ExpectSame(r, Check(c.plan));
    }

    CliRun r = Cli("check " + kPlans + "malformed.av");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("malformed.av: line 5"), std::string::npos) << r.err;
    EXPECT_EQ(Cli("check").exitCode, 2);

    // A failure of the checker: its log on standard output, its message on standard error.
    dir.remove("acdb.xml");
    r = Cli("check " + kPlans + "schiphol-departure.av");
    EXPECT_EQ(r.exitCode, 3);
    ExpectSame(r, Check("schiphol-departure.av"));
}

TEST_F(CliTest, GenerateWritesTheScript) {
    CliRun r = Cli("generate " + kPlans + "schiphol-departure.av -o script.xml");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, ExpectedSampleLog());
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFile(dir.path() / "script.xml"), ExpectedSampleScript());

    for (const char* name : {"phases.av", "empty.av"}) {
        SCOPED_TRACE(name);
        xml::DocumentPtr script;
        const CoreRun core = Generate(name, &script);
        r = Cli("generate " + kPlans + name + " -o script.xml");
        ExpectSame(r, core);
        ASSERT_TRUE(script);
        EXPECT_EQ(ReadFile(dir.path() / "script.xml"), script->xml());
    }
}

TEST_F(CliTest, GenerateFailures) {
    for (const char* args : {"generate", "generate plan.av", "generate -o x.xml",
                             "generate a.av b.av -o x.xml", "generate a.av -o"})
        EXPECT_EQ(Cli(args).exitCode, 2) << args;
    EXPECT_EQ(Cli("generate " + kPlans + "malformed.av -o script.xml").exitCode, 2);
    EXPECT_EQ(Cli("generate " + kPlans + "empty.av -o no-such-dir/script.xml").exitCode, 2);

    // A failure of the generator: its log on standard output, its message on standard error,
    // and no script file.
    dir.write("scrivodb.xml", "<scrivodb>");
    const CliRun r = Cli("generate " + kPlans + "schiphol-departure.av -o script.xml");
    EXPECT_EQ(r.exitCode, 3);
    ExpectSame(r, Generate("schiphol-departure.av"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "script.xml"));
}

} // namespace
