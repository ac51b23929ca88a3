#include "planformat/FlyableValues.h"

#include <numbers/Numbers.h>

#include <optional>

namespace planformat {

std::string OutOfRangeText(const ValueRange& range) {
    return " is out of range (" + numbers::Format("%g", range.lo) + " to " +
           numbers::Format("%g", range.hi) + ")";
}

std::string ValueProblem(const ValueRange& range, const std::string& text) {
    const std::optional<double> value = numbers::Parse(text);
    if (!value)
        return std::string(range.path) + " \"" + text + "\" is not a finite number";
    if (!InRange(range, *value))
        return std::string(range.path) + " " + text + OutOfRangeText(range);
    return {};
}

} // namespace planformat
