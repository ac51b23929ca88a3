#pragma once
// Building and rewriting `steerpoint` elements of the flight plan: the defaults of a new steer
// point, the values the steer point dialogs are loaded with, and how their results are written
// back.  The main frame runs the dialogs; everything here works on the document alone.
//
// Every DOM access goes through xml::Node, so a missing element or attribute raises
// xml::ComError at the point where it is used, and the operation stops there.

#include <xml/Dom.h>
#include <xml/Schema.h>

#include <string>
#include <vector>

namespace avilo::planner {

/// The two type names the planner itself knows.
inline constexpr const char* kTypeAirport = "airport";
inline constexpr const char* kTypeGPS = "GPS";

/// Values carried by the steer point type dialog.
struct TypeValues {
    std::string m_strPhase;
    std::string m_strType;
    std::string m_strTOS = "00:00";
    std::string m_strLongitude;
    std::string m_strLatitude;
};

/// Values carried by the airport dialog.  `m_dLongitude`, `m_dLatitude`: decimal degrees.
struct AirportValues {
    std::string m_strMagnVar;
    std::string m_strPhase = "takeoff";
    std::vector<std::string> m_lstTasks;
    std::string m_strName;
    std::string m_strRunway;
    std::string m_strHeading;
    std::string m_strElevation;
    std::string m_strRwyLatitude;
    std::string m_strRwyLongitude;
    double m_dLongitude = 0.0;
    double m_dLatitude = 0.0;
    std::string m_strICAO;
};

/// Values carried by the GPS dialog.
struct GPSValues {
    std::string m_strPhase = "cruise";
    std::vector<std::string> m_lstTasks;
    std::string m_strAirspeed;
    std::string m_strAltitude;
    std::string m_strHeading;
};

/// A position formatted as the planner writes it: printf "%f" (six decimals) in the C locale.
std::string FormatDegrees(double degrees);

/// The first child element of `parent` named `name` (matched literally), or an empty handle.
xml::Node ChildElement(const xml::Node& parent, const std::string& name);

/// Appends the default airport element (Schiphol, runway 1L) to `steerPoint`; returns it.
xml::Node AppendDefaultAirport(xml::Node steerPoint);
/// Appends the default GPS element (airspeed 70, heading 4, altitude 5000); returns it.
xml::Node AppendDefaultGPS(xml::Node steerPoint);

/// Appends a new `steerpoint` to `root` at (longitude, latitude), decimal degrees, written with
/// "%f".  It inherits phase, time, tasks and type element from the previous steer point, or, as
/// the first of the plan, gets phase "takeoff", time "00:00", task "takeoff" and the default
/// airport.  The element is built completely before it is appended: when the inheritance fails
/// (for instance a previous steer point without `phase`) nothing is added.
xml::Node AppendNewSteerPoint(xml::Node root, double longitude, double latitude);

/// Loads the type dialog's values from `steerPoint`.  On a failure the values read so far stay.
void ReadTypeValues(const xml::SchemaCache* schemas, const xml::Node& steerPoint,
                    TypeValues& values);
/// Writes the type dialog's position, time and phase back, as typed.
void WriteTypeValues(xml::Node steerPoint, const TypeValues& values);
/// When `newType` differs from the steer point's type, replaces the old type element: to
/// "airport" with one task "takeoff" and the default airport, to "GPS" with the first task
/// renamed "cruise" and the default GPS element.
void ApplyTypeChange(const xml::SchemaCache* schemas, xml::Node steerPoint,
                     const std::string& newType);

/// The texts of the steer point's `task` children, in document order.
std::vector<std::string> TaskTexts(const xml::Node& steerPoint);
/// Removes every `task` child and appends one per entry of `tasks`, at the end.
void ReplaceTasks(xml::Node steerPoint, const std::vector<std::string>& tasks);

/// Loads the airport dialog's text members and tasks from the steer point and its `airport`
/// element (the phase and position come from the type dialog).
void ReadAirportValues(const xml::Node& steerPoint, const xml::Node& airport,
                       AirportValues& values);
/// Writes the airport dialog's result: tasks, position ("%f"), names, runway fields.
void WriteAirportValues(xml::Node steerPoint, xml::Node airport, const AirportValues& values);

void ReadGPSValues(const xml::Node& steerPoint, const xml::Node& gps, GPSValues& values);
void WriteGPSValues(xml::Node steerPoint, xml::Node gps, const GPSValues& values);

/// What is wrong with the typed values of the type dialog, naming the field: a longitude that is
/// not a number in -180..180 degrees, a latitude not in -90..90, a time over the steer point that
/// is neither empty nor HH:MM (hours 0..23, minutes 0..59).  Empty when all are sound.
std::string TypeValuesProblem(const TypeValues& values);
/// The same for the GPS dialog: an airspeed (knots) or altitude (feet) that is not a number of
/// at least 0, a heading that is not a number of degrees true in 0..360.
std::string GPSValuesProblem(const GPSValues& values);

/// Makes `steerPoint` equal to `copy` (a deep copy taken earlier) in place: attributes and
/// children are replaced, the element itself keeps its place and identity.
void RestoreSteerPoint(xml::Node steerPoint, const xml::Node& copy);

/// Removes child `index` (0-based) of `root`.  Throws xml::ComError when there is none.
void DeleteSteerPoint(xml::Node root, long index);

} // namespace avilo::planner
