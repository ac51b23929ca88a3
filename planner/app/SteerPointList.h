#pragma once
// What the steer point list bar shows and which of its buttons are enabled, without the window.

#include <xml/Dom.h>
#include <xml/Schema.h>

#include <array>
#include <string>
#include <vector>

namespace avilo::planner {

/// The list's columns: heading, alignment, width in pixels.
struct ListColumn {
    const char* heading;
    bool alignRight;
    int width;
};
inline constexpr std::array<ListColumn, 6> kListColumns{{
    {"SP Nr", true, 40},
    {"SP Type", false, 80},
    {"Time over SP", true, 80},
    {"Longitude", true, 100},
    {"Latitude", true, 100},
    {"Task(s)", false, 200},
}};

using ListRow = std::array<std::string, kListColumns.size()>;

/// One row per child of `root`, in document order: the number (from 0, not limited in size),
/// the type (empty when none), time, longitude and latitude ("Unknown" when the node is
/// missing), and the tasks joined with ", ".  Throws xml::ComError when the schema is missing.
std::vector<ListRow> SteerPointRows(const xml::SchemaCache* schemas, const xml::Node& root);

/// The enabled states of the bar's four buttons as the work flow moves: Check Consistency must
/// run before a script can be generated, generation before execution, and every refill of the
/// list starts the sequence again.
struct WorkflowButtons {
    bool deleteSteerPoint = false;
    bool checkConsistency = false;
    bool generateScript = false;
    bool executeScript = false;

    void ListRefilled(std::size_t rows) {
        checkConsistency = rows > 0;
        generateScript = executeScript = false;
    }
    void ListClicked(bool anyRowSelected) { deleteSteerPoint = anyRowSelected; }
    void SteerPointsDeleted(std::size_t rows) {
        deleteSteerPoint = false;
        ListRefilled(rows);
    }
    void CheckDone(bool consistent) {
        generateScript = true;
        if (!consistent)
            executeScript = false;
    }
    void ScriptGenerated(bool haveScript) { executeScript = haveScript; }
    void ExecuteWithoutScript() { executeScript = false; }

    bool operator==(const WorkflowButtons&) const = default;
};

} // namespace avilo::planner
