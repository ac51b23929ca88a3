#pragma once
// Flight plan files: loading into a fresh document, saving, and the texts the file commands show.

#include <xml/Dom.h>

#include <string>
#include <string_view>
#include <variant>

namespace avilo::planner {

inline constexpr const char* kPlanFilter = "Avilo files (*.av)|*.av;";
// Every chart the chart windows read first, then one entry per format.
inline constexpr const char* kChartFilter =
    "All charts (*.nos *.tif *.tiff *.kap)|*.nos;*.tif;*.tiff;*.kap|NOS/GEO files (*.nos)|*.nos|"
    "GeoTIFF files (*.tif *.tiff)|*.tif;*.tiff|KAP files (*.kap)|*.kap";
inline constexpr const char* kPlanExtension = "av";
inline constexpr const char* kPlanDefaultName = "avilo.av";
inline constexpr const char* kClearQuestion = "Clear Flight Plan\r\nAre you sure?";

/// Translates a filter in the "description|pattern|..." form into Qt's "description (patterns)"
/// entries joined by ";;".  Patterns are separated by ';' (empty ones dropped); a description
/// that already ends with the parenthesised patterns is kept as it stands.
std::string QtFileFilter(std::string_view filter);

/// "Flight script XML database parse error:\r\nError code: %i\r\nLine number: %i\r\n
/// Error message: %s" for a plan file that could not be parsed.
std::string PlanParseErrorMessage(const xml::ParseError& error);

/// A successfully loaded plan: a new document and its "/avilo" root.
struct LoadedPlan {
    xml::DocumentPtr plan;
    xml::Node root;
};

/// Loads `path` into a new document, so that a failure leaves the plan in memory untouched.
/// Returns the parse error when the file cannot be read or parsed; throws xml::ComError when the
/// file has no root element `avilo` without namespace.
std::variant<LoadedPlan, xml::ParseError> LoadPlanFile(const std::string& path);

/// Writes `plan` to `path` (beside it first, then renamed: a failure never destroys the file that
/// was there).  Throws xml::ComError on failure.
void SavePlanFile(const xml::Document& plan, const std::string& path);

} // namespace avilo::planner
