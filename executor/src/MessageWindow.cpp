#include "kestro/MessageWindow.h"

#include <ui/ComponentLog.h>

#include <cstdio>

namespace kestro {

CConsoleWindow::CConsoleWindow()
    : CConsoleWindow(ui::WriteToLogSink, [](std::string_view text) {
          std::fwrite(text.data(), 1, text.size(), stderr);
          std::fflush(stderr);
      }) {}

CConsoleWindow::CConsoleWindow(Output messages, Output stopMessages)
    : m_messages(std::move(messages)), m_stopMessages(std::move(stopMessages)) {}

void CConsoleWindow::AddMessage(std::string text) {
    // Under the lock, so that the texts of several threads keep their order whole.
    std::lock_guard lock(m_mutex);
    m_messages(text);
}

void CConsoleWindow::ShowStopMessage(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_stopMessages("Kestro: " + text + "\n");
}

void CConsoleWindow::RunModalLoop() {
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_closeRequested || m_workerEnded; });
}

void CConsoleWindow::RequestClose() {
    std::lock_guard lock(m_mutex);
    m_closeRequested = true;
    m_wake.notify_all();
}

void CConsoleWindow::NotifyWorkerEnded() {
    std::lock_guard lock(m_mutex);
    m_workerEnded = true;
    m_wake.notify_all();
}

} // namespace kestro
