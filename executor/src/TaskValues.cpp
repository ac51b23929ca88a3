#include "kestro/TaskValues.h"

#include <numbers/Numbers.h>

#include <cmath>

namespace kestro {

double TaskNumber(const xml::Node& node, const char* path) {
    return numbers::ToDouble(node.selectSingleNode(path).text());
}

std::optional<double> PlannedValue(const xml::Node& task, const char* path) {
    const xml::Node node = task.selectSingleNode(path);
    if (node.empty())
        return std::nullopt;
    const double value = numbers::ToDouble(node.text());
    if (!(value > 0) || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace kestro
