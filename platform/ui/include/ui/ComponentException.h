#pragma once
// The exceptions of the component libraries.
//
// The generator and the checker report a failed call by throwing an exception derived from
// ComponentException, always after the whole log of the call, failure text included, has been
// written and the log was closed (FinishLog returned):
//   - the generator (scrivo::GenerateFlightScript) throws scrivo::CScrivoException with a
//     scrivo::ScrivoError code;
//   - the checker (tessar::CheckConsistency) throws tessar::CTessarException with a
//     tessar::TessarError code.
// Each carries its code in `m_error` and, in `m_message`, the text the log ended with (for a
// failed XML operation the COM error report "COM Error: %i\r\nSource: %s\r\nError message: %s").
// The caller shows `m_message` (what() gives the same text); one handler for ComponentException
// serves every component.  The executor throws none.

#include "ui/ComponentLog.h"
#include "ui/Export.h"

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace ui {

class AVILO_LOG_API ComponentException : public std::exception {
public:
    explicit ComponentException(std::string message) : m_message(std::move(message)) {}
    ~ComponentException() override;
    const char* what() const noexcept override { return m_message.c_str(); }

    /// The failure text, as the log ended with it.
    std::string m_message;
};

/// Ends a component call with a failure: appends `logText` to the log, finishes the log (the
/// user closes it), then throws `exception`.
template <class Exception>
[[noreturn]] void FailLog(ComponentLog& log, std::string_view logText, Exception exception) {
    AppendToLog(log, logText);
    FinishLog(log);
    throw std::move(exception);
}

} // namespace ui
