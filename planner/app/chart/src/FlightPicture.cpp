#include "chartview/FlightPicture.h"

#include "chartview/ChartViewport.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>

namespace avilo::planner {

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        std::string_view field = line.substr(start, comma - start);
        while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
            field.remove_prefix(1);
        while (!field.empty() &&
               (field.back() == ' ' || field.back() == '\t' || field.back() == '\r'))
            field.remove_suffix(1);
        fields.push_back(field);
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

// A whole field as a finite number (no numeric prefix: a damaged track must not be drawn as if
// it were sound).
bool ParseNumber(std::string_view field, double* value) {
    if (!field.empty() && field.front() == '+')
        field.remove_prefix(1);
    if (field.empty())
        return false;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), *value);
    return ec == std::errc() && end == field.data() + field.size() && std::isfinite(*value);
}

} // namespace

bool ReadTrackCsv(std::istream& in, std::vector<LonLat>* track, std::string* error) {
    track->clear();
    const auto fail = [&](long line, const std::string& why) {
        track->clear();
        if (error)
            *error = (line > 0 ? "line " + std::to_string(line) + ": " : std::string()) + why;
        return false;
    };
    std::string text;
    long lineNo = 0;
    std::size_t latColumn = 0, lonColumn = 0, columns = 0;
    bool haveHeader = false;
    while (std::getline(in, text)) {
        ++lineNo;
        if (text.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        const std::vector<std::string_view> fields = SplitFields(text);
        if (!haveHeader) {
            const auto find = [&](std::string_view name) {
                return static_cast<std::size_t>(std::find(fields.begin(), fields.end(), name) -
                                                fields.begin());
            };
            latColumn = find("latitude_deg");
            lonColumn = find("longitude_deg");
            if (latColumn == fields.size() || lonColumn == fields.size())
                return fail(lineNo, "the header names no latitude_deg and longitude_deg columns");
            columns = fields.size();
            haveHeader = true;
            continue;
        }
        if (fields.size() < columns)
            return fail(lineNo, "expected " + std::to_string(columns) + " fields, found " +
                                    std::to_string(fields.size()));
        LonLat p;
        if (!ParseNumber(fields[latColumn], &p.latitude) ||
            !ParseNumber(fields[lonColumn], &p.longitude))
            return fail(lineNo, "the position is not a number");
        if (std::abs(p.latitude) > 90.0)
            return fail(lineNo, "the latitude lies outside -90 .. 90 degrees");
        track->push_back(p);
    }
    if (in.bad())
        return fail(lineNo, "the track cannot be read");
    if (!haveHeader)
        return fail(0, "the track is empty (no header line)");
    return true;
}

QRect FlightPictureRect(ChartRenderer& renderer, const xml::Node& root,
                        const std::vector<LonLat>& track, const FlightPictureOptions& options) {
    const QRect image(0, 0, ChartViewport::ChartToReduced(renderer.ChartWidth(), options.scale),
                      ChartViewport::ChartToReduced(renderer.ChartHeight(), options.scale));
    if (!options.crop)
        return image;
    std::vector<ReducedPoint> points = renderer.PlanPoints(root, options.scale);
    for (const LonLat& p : track)
        points.push_back(renderer.ToReduced(p, options.scale));
    if (points.empty())
        return image;
    int left = std::numeric_limits<int>::max(), top = left;
    int right = std::numeric_limits<int>::min(), bottom = right;
    for (const ReducedPoint& p : points) {
        left = std::min(left, p.x);
        top = std::min(top, p.y);
        right = std::max(right, p.x);
        bottom = std::max(bottom, p.y);
    }
    // Points lie within +-2^24 (ChartRenderer::ToReduced), so the margin cannot overflow.
    const int margin = std::clamp(options.margin, 0, 1 << 20);
    const QRect box(QPoint(left - margin, top - margin), QPoint(right + margin, bottom + margin));
    const QRect shown = box & image;
    // Everything outside the chart: show the chart rather than nothing.
    return shown.isEmpty() ? image : shown;
}

QImage DrawFlightPicture(ChartRenderer& renderer, const xml::Node& root,
                         const std::vector<LonLat>& track, const FlightPictureOptions& options) {
    const QRect rect = FlightPictureRect(renderer, root, track, options);
    if (rect.isEmpty())
        return {};
    QImage picture;
    try {
        picture = QImage(rect.size(), QImage::Format_RGB32);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (picture.isNull())
        return {};
    QPainter painter(&picture);
    renderer.DrawChart(painter, rect.width(), rect.height(), rect.x(), rect.y(), options.scale,
                       true);
    const std::vector<ReducedPoint> flown = renderer.DrawTrack(
        painter, track, options.scale, rect.x(), rect.y(), options.trackColour, options.trackWidth);
    if (!flown.empty()) {
        // Where the aircraft ended.
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(options.trackColour);
        const double radius = std::max(3.0, options.trackWidth * 1.6);
        painter.drawEllipse(
            QPointF(flown.back().x - rect.x() + 0.5, flown.back().y - rect.y() + 0.5), radius,
            radius);
        painter.restore();
    }
    renderer.DrawPlan(painter, root, options.scale, rect.x(), rect.y());
    painter.end();
    return picture;
}

} // namespace avilo::planner
