// Plan files: loading into a fresh document, saving without losing the old file, the messages.
#include "PlanFile.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace avilo::planner {
namespace {

using test::ReadFile;
using test::TempWorkDir;

TEST(PlanFile, FiltersTranslateToQtSyntax) {
    const std::pair<const char*, const char*> cases[] = {
        {"Avilo files (*.av)|*.av;", "Avilo files (*.av)"},
        {"NOS/GEO files (*.nos)|*.nos", "NOS/GEO files (*.nos)"},
        {"Charts|*.nos;*.NOS|All files (*.*)|*.*||", "Charts (*.nos *.NOS);;All files (*.*)"},
        {"", ""},
    };
    for (const auto& [mfc, qt] : cases)
        EXPECT_EQ(QtFileFilter(mfc), qt) << mfc;
}

TEST(PlanFile, ParseErrorMessageHasItsExactText) {
    xml::ParseError error;
    error.errorCode = static_cast<xml::HRESULT>(0xC00CE558);
    error.line = 3;
    error.reason = "The element is not closed.";
    EXPECT_EQ(PlanParseErrorMessage(error),
              "Flight script XML database parse error:\r\nError code: -1072896680\r\n"
              "Line number: 3\r\nError message: The element is not closed.");
}

class PlanFiles : public ::testing::Test {
protected:
    TempWorkDir m_dir;
};

TEST_F(PlanFiles, SaveThenLoadRestoresEverySteerPoint) {
    xml::DocumentPtr plan = xml::Document::Create();
    ASSERT_TRUE(plan->loadXML(
        "<?xml version='1.0' encoding='UTF-8'?><avilo><steerpoint phase=\"takeoff\">"
        "<GPSCoordinate><longitude>4.737338</longitude><latitude>52.302267</latitude>"
        "</GPSCoordinate><timeOverSteerPoint>00:00</timeOverSteerPoint><task>takeoff</task>"
        "<airport shortname=\"EHAM\" name=\"Schiphol &amp; &quot;Co&quot;\"><runway>1L</runway>"
        "</airport></steerpoint><steerpoint phase=\"cruise\"><GPSCoordinate><longitude>5"
        "</longitude><latitude>53,5</latitude></GPSCoordinate><GPS><airspeed>70</airspeed>"
        "</GPS><task>cruise</task></steerpoint></avilo>"));
    const std::string path = (m_dir.path() / "avilo.av").string();
    SavePlanFile(*plan, path);
    EXPECT_EQ(ReadFile(path).find("xmlns"), std::string::npos);

    auto loaded = LoadPlanFile(path);
    ASSERT_TRUE(std::holds_alternative<LoadedPlan>(loaded));
    const LoadedPlan& result = std::get<LoadedPlan>(loaded);
    EXPECT_EQ(result.root.xml(), plan->documentElement().xml());
    EXPECT_EQ(result.root, result.plan->documentElement());
    EXPECT_EQ(result.plan->firstChild().nodeName(), "xml");
}

TEST_F(PlanFiles, MalformedFilesGiveTheirParseError) {
    std::string deep = "<avilo>\n";
    for (int i = 0; i < 100000; ++i)
        deep += "<steerpoint>";
    for (int i = 0; i < 100000; ++i)
        deep += "</steerpoint>";
    deep += "</avilo>";
    const std::pair<std::string, long> cases[] = {
        {"<avilo>\n<steerpoint>\n</avilo>", 3},
        {"", 0},
        {"not xml at all", 1},
        {deep, 2}, // too deep to read, whatever its text would have been
    };
    for (const auto& [text, line] : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        auto loaded = LoadPlanFile(m_dir.Write("bad.av", text));
        ASSERT_TRUE(std::holds_alternative<xml::ParseError>(loaded));
        const auto& error = std::get<xml::ParseError>(loaded);
        EXPECT_LT(error.errorCode, 0);
        EXPECT_FALSE(error.reason.empty());
        if (line > 0) {
            EXPECT_EQ(error.line, line);
        }
    }
    auto missing = LoadPlanFile((m_dir.path() / "none.av").string());
    ASSERT_TRUE(std::holds_alternative<xml::ParseError>(missing));
    EXPECT_EQ(std::get<xml::ParseError>(missing).errorCode, static_cast<xml::HRESULT>(0x800C0005));
}

TEST_F(PlanFiles, ARootOtherThanAviloRaisesAComError) {
    for (const char* text : {"<plan><steerpoint/></plan>", "<AVILO/>"})
        EXPECT_THROW(LoadPlanFile(m_dir.Write("other.av", text)), xml::ComError) << text;
}

TEST_F(PlanFiles, AFailedSaveLeavesTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    const std::string path = m_dir.Write("keep.av", "<avilo><old/></avilo>");
    xml::DocumentPtr plan = xml::Document::Create();
    plan->loadXML("<avilo><new/></avilo>");
    std::filesystem::permissions(m_dir.path(), std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::owner_exec);
    EXPECT_THROW(SavePlanFile(*plan, path), xml::ComError);
    std::filesystem::permissions(m_dir.path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadFile(path), "<avilo><old/></avilo>");
}

TEST_F(PlanFiles, AFullDiskLeavesTheOldFile) {
    // A file size limit makes the write fail part-way, as a full disk does (also for root).
    const std::string old = "<avilo><old/></avilo>";
    const std::string path = m_dir.Write("keep.av", old);
    xml::DocumentPtr plan = xml::Document::Create();
    plan->loadXML("<avilo/>");
    for (int i = 0; i < 2000; ++i)
        plan->documentElement().appendChild(plan->createElement("steerpoint"));
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        SavePlanFile(*plan, path);
    } catch (const xml::ComError&) {
        threw = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(threw);
    EXPECT_EQ(ReadFile(path), old);
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
        EXPECT_EQ(entry.path().filename(), "keep.av") << "left behind: " << entry.path();
}

TEST_F(PlanFiles, SavingIntoAMissingDirectoryFails) {
    xml::DocumentPtr plan = xml::Document::Create();
    plan->loadXML("<avilo/>");
    EXPECT_THROW(SavePlanFile(*plan, (m_dir.path() / "no" / "such.av").string()), xml::ComError);
}

} // namespace
} // namespace avilo::planner
