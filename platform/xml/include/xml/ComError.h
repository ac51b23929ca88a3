#pragma once
// The COM-style error of the XML layer.
//
// Every failed DOM operation raises an xml::ComError, as a failed call through a COM smart
// pointer raises `_com_error`: using an empty node handle, a malformed XPath expression, a failed
// save, a missing schema.  The error carries an HRESULT-style code, and optionally "error
// information" (a source and a description text).  It is the only exception of this layer (the
// standard library's std::bad_alloc aside); a failed load is no exception but a parse error
// record (Document::parseError).

#include "xml/Export.h"

#include <cstdint>
#include <exception>
#include <string>

namespace xml {

/// HRESULT-style result code: a signed 32-bit number, negative for failures.
using HRESULT = std::int32_t;

/// Codes this layer raises or reports.
namespace hr {
inline constexpr HRESULT E_NOTIMPL_ = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_POINTER_ = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL_ = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_ACCESSDENIED_ = static_cast<HRESULT>(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY_ = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG_ = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT E_DISKFULL_ = static_cast<HRESULT>(0x80070070);
/// A value is not of the type an operation needs (an attribute that is absent).
inline constexpr HRESULT DISP_E_TYPEMISMATCH_ = static_cast<HRESULT>(0x80020005);
/// The resource (file) could not be found.
inline constexpr HRESULT INET_E_OBJECT_NOT_FOUND_ = static_cast<HRESULT>(0x800C0005);
/// A node or schema that an operation needs does not exist.
inline constexpr HRESULT E_ELEMENT_NOT_FOUND_ = static_cast<HRESULT>(0x80070490);
} // namespace hr

/// System message text for a code, with one trailing line end removed: the layer's own table of
/// messages, else "IDispatch error #%d" (low 16 bits minus 0x200) for codes 0x80040200 to
/// 0x8004FFFF where that number is not 0, else "Unknown error 0x%0lX" with the whole code.
AVILO_XML_API std::string SystemMessage(HRESULT code);

class AVILO_XML_API ComError : public std::exception {
public:
    /// An error without error information.
    explicit ComError(HRESULT code);
    /// An error with error information (source and description texts).
    ComError(HRESULT code, std::string source, std::string description);

    HRESULT Error() const noexcept { return m_hr; }
    /// The system message of the code (see SystemMessage).
    std::string ErrorMessage() const { return SystemMessage(m_hr); }
    bool HasErrorInfo() const noexcept { return m_hasErrorInfo; }
    const std::string& Source() const noexcept { return m_source; }
    const std::string& Description() const noexcept { return m_description; }

    const char* what() const noexcept override { return m_what.c_str(); }

private:
    HRESULT m_hr;
    bool m_hasErrorInfo;
    std::string m_source;
    std::string m_description;
    std::string m_what;
};

/// The planner's report of a COM error, shown in a message box:
/// "COM Error:\r\n" then "Source: <source>\r\nError description: <description>" when the error
/// carries error information, else "Message: <system message>\r\nDescription: <description>".
AVILO_XML_API std::string FormatComErrorMessage(const ComError& e);

/// The components' report of a COM error, written to their logs and carried by their exceptions:
/// "COM Error: <code as a signed decimal>\r\nSource: <source>\r\nError message: <system
/// message>", without a trailing line break.
AVILO_XML_API std::string FormatComErrorReport(const ComError& e);

} // namespace xml
