#include "SteerPointList.h"

#include <avilo/PlanDocuments.h>

namespace avilo::planner {
namespace {

std::string TextOrUnknown(const xml::Node& steerPoint, const char* path) {
    const xml::Node node = steerPoint.selectSingleNode(path);
    return node.empty() ? std::string("Unknown") : node.text();
}

} // namespace

std::vector<ListRow> SteerPointRows(const xml::SchemaCache* schemas, const xml::Node& root) {
    std::vector<ListRow> rows;
    if (!root.hasChildNodes())
        return rows;
    for (xml::Node child = root.firstChild(); !child.empty(); child = child.nextSibling()) {
        if (!schemas)
            throw xml::ComError(xml::hr::E_POINTER_);
        ListRow row;
        row[0] = std::to_string(rows.size());
        row[1] = GetSteerPointType(*schemas, child);
        row[2] = TextOrUnknown(child, "timeOverSteerPoint");
        row[3] = TextOrUnknown(child, "GPSCoordinate/longitude");
        row[4] = TextOrUnknown(child, "GPSCoordinate/latitude");
        for (const xml::Node& task : child.selectNodes("task")) {
            if (!row[5].empty())
                row[5] += ", ";
            row[5] += task.text();
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace avilo::planner
