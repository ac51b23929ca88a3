#include "numbers/Numbers.h"

#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace numbers {
namespace {

// The "C" locale object, made once and kept for the life of the process.
locale_t CLocale() noexcept {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

std::string Format(const char* format, ...) {
    const CLocaleScope scope;
    char small[128];
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (n < 0) {
        text.clear();
    } else if (static_cast<std::size_t>(n) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(n));
    } else {
        text.resize(static_cast<std::size_t>(n));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

double ToDouble(std::string_view text) noexcept {
    // strtod_l needs a terminated string; numbers are short, so a bounded copy does.
    char buffer[512];
    std::string heap;
    const char* p;
    if (text.size() < sizeof buffer) {
        text.copy(buffer, text.size());
        buffer[text.size()] = '\0';
        p = buffer;
    } else {
        try {
            heap.assign(text);
        } catch (...) {
            return 0.0;
        }
        p = heap.c_str();
    }
    return strtod_l(p, nullptr, CLocale());
}

std::optional<double> Parse(std::string_view text, std::chars_format notation) noexcept {
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first]))
        ++first;
    std::size_t last = text.size();
    while (last > first && IsBlank(text[last - 1]))
        --last;
    const char* begin = text.data() + first;
    const char* end = text.data() + last;
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-')
            return std::nullopt; // "+-1" is no number
    }
    if (begin == end)
        return std::nullopt;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value, notation);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

CLocaleScope::CLocaleScope() noexcept : m_previous(uselocale(CLocale())) {}

CLocaleScope::~CLocaleScope() {
    uselocale(static_cast<locale_t>(m_previous));
}

} // namespace numbers
