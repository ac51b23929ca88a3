// A real-time flight against fssim running as a separate process: the executor connects over
// the Unix-socket endpoint and shared memory and flies a take-off at a raised simulation rate.
// Real time (label "realtime"): the flight keeps pace with a simulator that runs on its own.

#include "../ipc/FssimProcess.h"
#include "TestScripts.h"

#include <kestro/Execute.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace kestro;
using namespace kestro_test;

class FssimProcessTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir =
            std::filesystem::temp_directory_path() / ("kestro-fssim-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
        ::setenv("AVILO_IPC_DIR", (m_dir / "ipc").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::filesystem::path m_dir;
};

TEST_F(FssimProcessTest, TakeOffFlownInRealTimeAtTenfoldRate) {
    const std::string body = TakeoffPhase();
    const auto scriptPath = m_dir / "script.xml";
    std::ofstream(scriptPath) << "<?xml version=\"1.0\"?><flightscript>" << body
                              << "</flightscript>";

    linktest::FssimProcess fssim(
        FSSIM_PATH, {"--start", scriptPath.string(), "--rate", "10", "--duration", "1200"});
    ASSERT_TRUE(fssim.WaitReady()) << "fssim did not come up";

    FlightOptions options;
    options.clock = std::make_shared<ipc::RealClock>();
    options.timeLimitMs = 90 * 1000;
    const ExecutionResult r = Execute(Script(body), options);
    EXPECT_FALSE(r.timeLimitReached);
    EXPECT_TRUE(r.messageBoxes.empty());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.log, TakeoffFlightLog());
}

} // namespace
