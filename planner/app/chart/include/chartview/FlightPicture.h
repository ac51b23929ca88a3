#pragma once
// A picture of a flight, without any window: the chart (reduced by a factor) with the planned
// route, the steer point markers and the flown track, as one image that can be written to a
// file.  Used by the avilo-map program.
//
// Units: positions in decimal degrees, east and north positive; picture coordinates in pixels of
// the reduced chart image (chart pixels / factor).

#include "chartview/ChartRenderer.h"

#include <xml/Dom.h>

#include <QColor>
#include <QImage>
#include <QRect>

#include <istream>
#include <string>
#include <vector>

namespace avilo::planner {

/// Reads a flown track as the simulator writes it: a header line naming the columns (at least
/// "latitude_deg" and "longitude_deg", in any order, separated by commas), then one line per
/// sample with numbers in the C locale.  Blank lines are skipped.  False with `*error` set
/// ("line N: ...") on a missing column, a line with too few fields, a field that is not a finite
/// number, or a latitude outside -90 .. 90; `*track` then holds nothing.
bool ReadTrackCsv(std::istream& in, std::vector<LonLat>* track, std::string* error);

struct FlightPictureOptions {
    /// Chart pixels per picture pixel, 1.0 .. 5.0; the renderer's reduced image must have been
    /// made at this factor.
    double scale = 1.0;
    /// Only the part of the chart around the route and the track (plus `margin`), instead of the
    /// whole chart.  Without anything to draw, the whole chart.
    bool crop = false;
    /// Pixels kept around the route and the track when cropping (a marker reaches 16 out).
    int margin = 64;
    /// The flown track: colour and line width in pixels.
    QColor trackColour = QColor(200, 0, 160);
    double trackWidth = 2.5;
};

/// The part of the reduced image (at `options.scale`) that the picture shows: the whole image,
/// or with `options.crop` the bounding box of the steer points under `root` and of `track`,
/// grown by the margin and clipped to the image.  Throws xml::ComError when the plan cannot be
/// read.
QRect FlightPictureRect(ChartRenderer& renderer, const xml::Node& root,
                        const std::vector<LonLat>& track, const FlightPictureOptions& options);

/// Draws the picture: the chart, the flown track with a dot at its last point (where the
/// aircraft ended), then the steer point markers and the planned route over it.  `root` may be
/// empty (no plan).  Returns a null image when the picture cannot be allocated.  Throws
/// xml::ComError when the plan cannot be read.
QImage DrawFlightPicture(ChartRenderer& renderer, const xml::Node& root,
                         const std::vector<LonLat>& track, const FlightPictureOptions& options);

} // namespace avilo::planner
