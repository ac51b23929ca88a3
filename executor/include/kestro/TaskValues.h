#pragma once
// Numbers of a flight script's tasks, read one way by the control laws and the flight report.

#include "kestro/Export.h"

#include <xml/Dom.h>

#include <optional>

namespace kestro {

/// The text of the element `path` below `node` as a decimal number, read as the standard
/// text-to-double conversion reads it in the C locale: a leading number, 0 when the text does not
/// start with one.  A missing element raises the XML layer's COM-style error.
KESTRO_CORE_API double TaskNumber(const xml::Node& node, const char* path);

/// A planned value of a cruise task ("procedure/altitude" in feet, "procedure/airspeed" in
/// knots): nothing when the element is missing or its text is no positive finite number.
KESTRO_CORE_API std::optional<double> PlannedValue(const xml::Node& task, const char* path);

} // namespace kestro
