#pragma once
// The generator's exception: thrown by value, after the log window has been closed, carrying an
// error code and the text the log ended with.

#include <cstdint>
#include <exception>
#include <string>

namespace scrivo {

enum ScrivoError : std::int32_t {
    ScrivoComError = 1,             ///< an XML operation failed; text: the COM error report
    ScrivoDatabaseParseError = 2,   ///< "scrivodb.xml" could not be loaded; text: the parse error
    ScrivoScriptCreationFailed = 3, ///< the script document could not be created
    ScrivoPlanNotInitialized = 4,   ///< the plan document has no child node at all
};

class CScrivoException : public std::exception {
public:
    CScrivoException(ScrivoError error, const std::string& message)
        : m_error(error), m_message(message) {}
    ~CScrivoException() override = default;
    const char* what() const noexcept override { return m_message.c_str(); }

    ScrivoError m_error;
    std::string m_message;
};

} // namespace scrivo
