// The component log without windows (no Qt linked): the text log, the sink, captures, and the
// failure path shared by the components.
#include "ui/ComponentException.h"
#include "ui/ComponentLog.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TextLog, TextGoesToTheSinkAndFinishReturnsAtOnce) {
    ui::LogCapture capture;
    ui::TextLog log;
    ui::AppendToLog(log, "first line\r\n");
    ui::AppendToLog(log, "second");
    ui::FinishLog(log);
    EXPECT_TRUE(log.finished());
    EXPECT_EQ(capture.text(), "first line\r\nsecond");
    EXPECT_EQ(log.text(), capture.text());
}

// Without a sink the text goes to standard output as it stands: the command-line programs rely
// on it.
TEST(TextLog, DefaultSinkIsStandardOutput) {
    ASSERT_FALSE(ui::LogSinkInstalled());
    testing::internal::CaptureStdout();
    ui::TextLog log;
    ui::AppendToLog(log, "Done loading ACdb.\r\n\r\n");
    ui::AppendToLog(log, "Flight Plan is consistent.");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Done loading ACdb.\r\n\r\nFlight Plan is consistent.");
}

TEST(TextLog, NestedCapturesRestoreThePreviousSink) {
    ui::LogCapture outer;
    {
        ui::LogCapture inner;
        ui::TextLog log;
        ui::AppendToLog(log, "inner");
        EXPECT_EQ(inner.text(), "inner");
    }
    ui::TextLog log;
    ui::AppendToLog(log, "outer");
    EXPECT_EQ(outer.text(), "outer");
    EXPECT_TRUE(ui::LogSinkInstalled());
}

namespace {

class RecordingLog : public ui::ComponentLog {
public:
    void Append(std::string_view text) override { events.push_back("append " + std::string(text)); }
    void Finish() override { events.emplace_back("finish"); }
    std::vector<std::string> events;
};

struct TestException : ui::ComponentException {
    TestException(int code, std::string message)
        : ui::ComponentException(std::move(message)), m_error(code) {}
    int m_error;
};

} // namespace

// The failure text is logged, the log is finished, and only then the exception leaves; a handler
// for the base sees the message.
TEST(FailLog, LogsFinishesThenThrows) {
    RecordingLog log;
    try {
        ui::FailLog(log, "Creation failed.\r\n", TestException(3, "Creation failed"));
    } catch (const ui::ComponentException& e) {
        EXPECT_EQ(e.m_message, "Creation failed");
        EXPECT_STREQ(e.what(), "Creation failed");
        EXPECT_EQ(dynamic_cast<const TestException&>(e).m_error, 3);
        EXPECT_EQ(log.events, (std::vector<std::string>{"append Creation failed.\r\n", "finish"}));
        return;
    }
    ADD_FAILURE() << "nothing thrown";
}
