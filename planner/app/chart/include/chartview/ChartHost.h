#pragma once
// What a chart window needs from the window that hosts it: the flight plan to draw, the
// insertion of a steer point, and the planner's way of showing a failed XML operation.  The main
// frame implements it; tests use a fake.

#include "chartview/ChartRenderer.h"

#include <xml/Dom.h>

#include <vector>

namespace avilo::planner {

/// A flight as the chart windows draw it over the plan: the track flown so far and the
/// aircraft where it was last seen.
struct FlightTrace {
    std::vector<LonLat> track; ///< in flight order
    bool aircraftKnown = false;
    LonLat aircraft;        ///< the last position
    double heading_deg = 0; ///< true heading at the last position, degrees clockwise from north
};

class IChartHost {
public:
    virtual ~IChartHost() = default;
    /// The root element of the flight plan (its children are the steer points, in flight
    /// order), or an empty handle when there is no plan.
    virtual xml::Node PlanRoot() const = 0;
    /// Appends a steer point at (longitude, latitude), decimal degrees, east and north positive,
    /// and runs the steer point dialogs on it.
    virtual void AddSteerPoint(double longitude, double latitude) = 0;
    /// Shows a failed XML operation to the user, as the planner shows every such failure.
    virtual void ShowComError(const xml::ComError& error) = 0;
    /// The flight under way or last flown, or nullptr when there is none to draw.
    virtual const FlightTrace* Flight() const { return nullptr; }
};

} // namespace avilo::planner
