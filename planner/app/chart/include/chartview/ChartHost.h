#pragma once
// What a chart window needs from the window that hosts it: the flight plan to draw, the
// insertion of a steer point, and the planner's way of showing a failed XML operation.  The main
// frame implements it; tests use a fake.

#include <xml/Dom.h>

namespace avilo::planner {

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
};

} // namespace avilo::planner
