// The user-interface calls without a QApplication: the log window falls back to the log sink,
// message boxes give their default answers, nothing waits.
#include "ui/Dialogs.h"
#include "ui/Display.h"
#include "ui/LogWindow.h"

#include <gtest/gtest.h>

TEST(NoDisplay, HasNoDisplay) {
    EXPECT_FALSE(ui::HasDisplay());
}

TEST(NoDisplay, LogWindowWritesToTheSinkAndFinishReturnsAtOnce) {
    ui::LogCapture capture;
    ui::ComponentLogDialog log("Scrivo");
    EXPECT_EQ(log.dialog(), nullptr);
    ui::AppendToLog(log, "first line\r\n");
    ui::AppendToLog(log, "second");
    ui::FinishLog(log);
    ui::FinishLog(log); // a second call does nothing
    EXPECT_TRUE(log.finished());
    EXPECT_EQ(capture.text(), "first line\r\nsecond");
    EXPECT_EQ(log.text(), capture.text());
}

TEST(NoDisplay, MessageBoxAnswersTheFirstButton) {
    EXPECT_EQ(ui::MessageBox(nullptr, "text", "Avilo", ui::Icon::Error), ui::IDOK);
    EXPECT_EQ(ui::MessageBox(nullptr, "q", "Avilo", ui::Icon::Question, ui::Buttons::OkCancel),
              ui::IDOK);
    EXPECT_EQ(ui::MessageBox(nullptr, "q", "Avilo", ui::Icon::Question, ui::Buttons::YesNo),
              ui::IDYES);
    EXPECT_EQ(ui::MessageBox(nullptr, "q", "Avilo", ui::Icon::Question, ui::Buttons::YesNoCancel),
              ui::IDYES);
}

TEST(NoDisplay, MessageBoxHandlerAnswersAndRecords) {
    std::vector<ui::MessageBoxRequest> asked;
    auto previous = ui::SetMessageBoxHandler([&](const ui::MessageBoxRequest& r) {
        asked.push_back(r);
        return ui::IDNO;
    });
    EXPECT_FALSE(previous);
    EXPECT_EQ(ui::MessageBox(nullptr, "Save?", "Avilo", ui::Icon::Question, ui::Buttons::YesNo),
              ui::IDNO);
    ui::SetMessageBoxHandler(nullptr);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Save?");
    EXPECT_EQ(asked[0].caption, "Avilo");
    EXPECT_EQ(asked[0].icon, ui::Icon::Question);
    EXPECT_EQ(asked[0].buttons, ui::Buttons::YesNo);
}

TEST(NoDisplay, FileDialogsCancelWithoutHandler) {
    EXPECT_FALSE(ui::GetOpenFileName(nullptr, "Open", "Flight plans (*.av)"));
    EXPECT_FALSE(ui::GetSaveFileName(nullptr, "Save", "Flight plans (*.av)", "avilo.av", "av"));
}

TEST(NoDisplay, SaveDialogAddsTheDefaultExtension) {
    struct Case {
        std::string answer, expected;
    };
    const Case cases[] = {
        {"/tmp/plan", "/tmp/plan.av"},
        {"/tmp/plan.av", "/tmp/plan.av"},
        {"/tmp/plan.xml", "/tmp/plan.xml"},
        {"/tmp/dir.d/plan", "/tmp/dir.d/plan.av"},
    };
    for (const Case& c : cases) {
        ui::FileDialogRequest seen;
        ui::SetFileDialogHandler([&](const ui::FileDialogRequest& r) {
            seen = r;
            return std::optional<std::string>(c.answer);
        });
        EXPECT_EQ(ui::GetSaveFileName(nullptr, "Save", "Flight plans (*.av)", "avilo.av", "av"),
                  c.expected);
        EXPECT_TRUE(seen.save);
        EXPECT_EQ(seen.defaultName, "avilo.av");
        EXPECT_EQ(seen.filter, "Flight plans (*.av)");
    }
    ui::SetFileDialogHandler([](const ui::FileDialogRequest& r) {
        EXPECT_FALSE(r.save);
        return std::optional<std::string>();
    });
    EXPECT_FALSE(ui::GetOpenFileName(nullptr, "Open", "Charts (*.nos)"));
    ui::SetFileDialogHandler(nullptr);
}
