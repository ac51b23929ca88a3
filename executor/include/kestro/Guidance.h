#pragma once
// Guidance along a leg, shared by the stabilised control law and the flight report: the desired
// track with lookahead guidance and the cross-track error, and the ground track between two
// positions.
//
// Both work on the plane tangent to the earth at the aircraft (tavola::LocalOffset: the sphere
// of the simulator link, fit for legs of a few hundred kilometres or less).  The cross-track
// error is within 0.1 % plus 1e-4 of the leg's length (about 5 m on a 50 km leg); the ground
// track between positions a few metres apart is as good as the positions (an error of 0.1 m
// across a step of 5 m is 1 degree).

#include "kestro/Export.h"

#include <optional>

namespace kestro {

/// Desired track along a leg with lookahead guidance (Park, Deyst & How, "A New Nonlinear
/// Guidance Logic for Trajectory Tracking", AIAA GNC 2004): the direction of the point
/// `lookahead_m` ahead along the leg's line of the aircraft's projection onto it; within the
/// lookahead of the target (or past the leg's end), the direction of the target itself.
/// @param start_lat, start_lon the leg's start, degrees.
/// @param target_lat, target_lon the leg's target, degrees.
/// @param lat, lon the aircraft's position, degrees; |lat| < 90.
/// @param lookahead_m metres ahead along the leg of the point steered at (>= 0).
/// @param crossTrack_m if given, receives the cross-track error, metres, positive right of the
///        leg (looking towards the target); 0 for a leg shorter than 1 m.
/// @return true course, degrees in [0, 360).
KESTRO_CORE_API double LegTrack(double start_lat, double start_lon, double target_lat,
                                double target_lon, double lat, double lon, double lookahead_m,
                                double* crossTrack_m = nullptr);

/// The ground track from position 0 to position 1, on the plane about position 1.
/// @param lat0, lon0, lat1, lon1 degrees; |lat1| < 90.
/// @param minDistance_m the least distance between the positions to take a track from, metres.
/// @return degrees clockwise from true north in (-180, 180]; nothing when the positions are
///         less than minDistance_m apart.
KESTRO_CORE_API std::optional<double> GroundTrack(double lat0, double lon0, double lat1,
                                                  double lon1, double minDistance_m);

} // namespace kestro
