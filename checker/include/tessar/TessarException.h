#pragma once
// The checker's exception: thrown by value, after the log window has been closed, carrying an
// error code and the text the log ended with.

#include <cstdint>
#include <exception>
#include <string>

namespace tessar {

enum TessarError : std::int32_t {
    TessarDatabaseParseError = 1, ///< "acdb.xml" could not be loaded; text: the parse error
    TessarComError = 2,           ///< an XML operation failed; text: the COM error report
};

class CTessarException : public std::exception {
public:
    CTessarException(TessarError error, const std::string& message)
        : m_error(error), m_message(message) {}
    ~CTessarException() override = default;
    const char* what() const noexcept override { return m_message.c_str(); }

    TessarError m_error;
    std::string m_message;
};

} // namespace tessar
