#pragma once
// Numbers as text in files, queries, logs and on the link, independent of the user's locale.
//
// The C library formats and reads numbers by its LC_NUMERIC category, which a Qt application
// takes from the environment: under de_DE or nl_NL "%f" writes 4.76 as "4,760000" and atof reads
// "4.760000" as 4.  A plan, a reference file or an XPath query must mean the same to every
// reader, so every number that crosses a file, a query, a log line or the link goes through
// these functions, which always work as in the "C" locale: '.' as the decimal point, no digit
// grouping.  Thread-safe: the C locale is switched per thread, never for the process.

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace numbers {

/// std::snprintf in the "C" locale: the same conversions, flags, widths and precisions
/// ("%f", "%5.2f", "%13.10f", "%.9g", "%d", ...), the whole result however long.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Reads a number as std::atof does in the "C" locale: leading white space, an optional sign,
/// then the longest prefix that is a number (decimal with an optional exponent, hexadecimal,
/// "inf", "nan"); 0 when the text does not start with a number.  Out of range: +-HUGE_VAL or 0.
double ToDouble(std::string_view text) noexcept;

/// A number that fills the whole text (white space around it and a leading '+' allowed), in the
/// notation `notation` allows (std::chars_format::fixed: no exponent).  Nothing for any other
/// text, and nothing for a value that is not finite.
std::optional<double> Parse(std::string_view text,
                            std::chars_format notation = std::chars_format::general) noexcept;

/// While it lives, the calling thread's C library formats and reads numbers in the "C" locale:
/// for code of other libraries that calls printf or strtod itself (the XPath engine).  Scopes
/// nest; each restores the thread's previous locale.
class CLocaleScope {
public:
    CLocaleScope() noexcept;
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    void* m_previous; // the thread's locale_t before the scope
};

} // namespace numbers
