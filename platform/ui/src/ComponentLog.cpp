#include "ui/ComponentLog.h"
#include "ui/ComponentException.h"

#include <cstdio>
#include <mutex>

namespace ui {
namespace {

// The log sink: set by tests and programs, read on every piece of log text.
std::mutex g_sinkMutex;
LogSink g_sink; // empty: standard output

} // namespace

ComponentLog::~ComponentLog() = default;

ComponentException::~ComponentException() = default;

LogSink SetLogSink(LogSink sink) {
    std::lock_guard lock(g_sinkMutex);
    LogSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

bool LogSinkInstalled() {
    std::lock_guard lock(g_sinkMutex);
    return static_cast<bool>(g_sink);
}

void WriteToLogSink(std::string_view text) {
    LogSink sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink) {
        sink(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
}

void TextLog::Append(std::string_view text) {
    m_text.append(text);
    WriteToLogSink(text);
}

LogCapture::LogCapture() : m_text(std::make_shared<std::string>()) {
    m_previous = SetLogSink([text = m_text](std::string_view piece) { text->append(piece); });
}

LogCapture::~LogCapture() {
    SetLogSink(std::move(m_previous));
}

} // namespace ui
