// The sample Schiphol departure through the shipped generation database, read where it lies: the
// log and the script the executor flies, whole, and a plan left as it was.
#include "Fixtures.h"

#include "scrivo/ScrivoCore.h"

#include <gtest/gtest.h>

namespace {

TEST(Schiphol, GeneratesTheDepartureScript) {
    const xml::DocumentPtr plan = xml::Document::Create();
    ASSERT_TRUE(plan->load(kSamplePlan));
    const std::string before = plan->xml();

    // The data files are given by path: nothing is read from the working directory.
    const std::string data = AVILO_DATA_DIR;
    ui::LogCapture capture;
    ui::TextLog log;
    const xml::DocumentPtr script =
        scrivo::GenerateFlightScript(plan, {data + "/scrivodb.xml", data + "/avilo.xsd"}, log);
    EXPECT_EQ(plan->xml(), before);
    EXPECT_TRUE(log.finished());
    EXPECT_EQ(log.text(), ExpectedSampleLog());
    EXPECT_EQ(capture.text(), log.text());

    ASSERT_TRUE(script);
    EXPECT_EQ(script->xml(), ExpectedSampleScript());
    // The executor's query for the take-off procedure finds it.
    EXPECT_TRUE(script->selectSingleNode("/flightscript/phase[@name=\"takeoff\"]/task[@name="
                                         "\"takeoff\"]/procedure[@name=\"takeoff\"]/GPSRunway"));
}

} // namespace
