#include "xml/ComError.h"

#include <array>
#include <cstdio>
#include <utility>

namespace xml {
namespace {

struct MessageEntry {
    HRESULT code;
    const char* text;
};

// The messages of the codes this layer raises.  Stored without the trailing line end that a
// system message table would carry.
constexpr std::array kMessages{
    MessageEntry{hr::E_NOTIMPL_, "Not implemented"},
    MessageEntry{hr::E_POINTER_, "Invalid pointer"},
    MessageEntry{hr::E_FAIL_, "Unspecified error"},
    MessageEntry{hr::E_ACCESSDENIED_, "Access is denied."},
    MessageEntry{hr::E_OUTOFMEMORY_, "Not enough storage is available to complete this operation."},
    MessageEntry{hr::E_INVALIDARG_, "The parameter is incorrect."},
    MessageEntry{hr::E_DISKFULL_, "There is not enough space on the disk."},
    MessageEntry{hr::DISP_E_TYPEMISMATCH_, "Type mismatch."},
    MessageEntry{hr::INET_E_OBJECT_NOT_FOUND_, "The system cannot locate the object specified."},
    MessageEntry{hr::E_ELEMENT_NOT_FOUND_, "Element not found."},
};

std::string MakeWhat(HRESULT code, const std::string& description) {
    std::string what = SystemMessage(code);
    if (!description.empty())
        what += ": " + description;
    return what;
}

} // namespace

std::string SystemMessage(HRESULT code) {
    for (const auto& entry : kMessages)
        if (entry.code == code)
            return entry.text;
    char buffer[64];
    const auto ucode = static_cast<std::uint32_t>(code);
    if (ucode >= 0x80040200u && ucode <= 0x8004FFFFu && (ucode & 0xFFFFu) - 0x200u != 0u) {
        std::snprintf(buffer, sizeof buffer, "IDispatch error #%d",
                      static_cast<int>((ucode & 0xFFFFu) - 0x200u));
    } else {
        std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX",
                      static_cast<unsigned long>(ucode));
    }
    return buffer;
}

ComError::ComError(HRESULT code) : m_hr(code), m_hasErrorInfo(false), m_what(MakeWhat(code, {})) {}

ComError::ComError(HRESULT code, std::string source, std::string description)
    : m_hr(code), m_hasErrorInfo(true), m_source(std::move(source)),
      m_description(std::move(description)), m_what(MakeWhat(code, m_description)) {}

std::string FormatComErrorMessage(const ComError& e) {
    std::string text = "COM Error:\r\n";
    if (e.HasErrorInfo())
        text += "Source: " + e.Source() + "\r\nError description: " + e.Description();
    else
        text += "Message: " + e.ErrorMessage() + "\r\nDescription: " + e.Description();
    return text;
}

std::string FormatComErrorReport(const ComError& e) {
    return "COM Error: " + std::to_string(e.Error()) + "\r\nSource: " + e.Source() +
           "\r\nError message: " + e.ErrorMessage();
}

} // namespace xml
