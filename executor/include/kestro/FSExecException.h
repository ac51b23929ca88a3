#pragma once
// The executor's exception class and its error enumeration.  They belong to the library's
// interface beside those of the generator and the checker; the executor itself reports every
// failure in its message window and never throws them.

#include <cstdint>
#include <exception>
#include <string>

namespace kestro {

/// Error codes of CFSExecException (32-bit).
enum CFSExecError : std::int32_t {
    FSExecLinkError = 1,   ///< the simulator link could not be opened or failed
    FSExecScriptError = 2, ///< the flight script cannot be flown (an element is missing)
    FSExecComError = 3,    ///< an XML call failed while reading the script
};

class CFSExecException : public std::exception {
public:
    CFSExecException(CFSExecError error, const std::string& message)
        : m_error(error), m_message(message) {}
    ~CFSExecException() override = default;
    const char* what() const noexcept override { return m_message.c_str(); }

    CFSExecError m_error;
    std::string m_message;
};

} // namespace kestro
