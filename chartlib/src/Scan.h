// scanf-style reading of numbers from a NUL-terminated line, for the chart's header and its
// reference file: each function skips white space, reads the longest prefix that is a number,
// advances the cursor past it and returns false (cursor unchanged) when nothing is a number.
#pragma once

#include <numbers/Numbers.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace tavola::scan {

/// " %lf": strtod gives the end of the number, which scanf's field rules need; the scope makes
/// it read '.' as the decimal point whatever the process's locale.
inline bool Double(const char*& p, double* out) {
    const numbers::CLocaleScope cLocale;
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p)
        return false;
    *out = v;
    p = end;
    return true;
}

/// " %d", refusing values outside int (where scanf's behaviour is undefined).
inline bool Int(const char*& p, int* out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(p, &end, 10);
    if (end == p || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    *out = static_cast<int>(v);
    p = end;
    return true;
}

} // namespace tavola::scan
