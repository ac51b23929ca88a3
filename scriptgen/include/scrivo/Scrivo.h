#pragma once
// Scrivo, the flight script generator: turns a flight plan into a flight script by the rules of
// the generation database "scrivodb.xml", logging every step in its log window.

#include "scrivo/ScrivoDialog.h"
#include "scrivo/ScrivoException.h"

#include <xml/Dom.h>

#include <string>

namespace scrivo {

/// Builds the flight script of `plan` (root element "avilo", one child per steer point).
///
/// Reads "scrivodb.xml" and "avilo.xsd" from the working directory.  The plan is read, never
/// changed.  Every step is written to the log window (or, without a display, to the log sink);
/// the call returns after the user has closed the window.  The result is a new document: a
/// processing instruction "xml" and the root "flightscript" with one "phase" element per run of
/// steer points of one phase, holding copies of the database's task definitions stamped with the
/// steer point number and filled with procedure parameters.
///
/// Throws CScrivoException (after the log window is closed): ScrivoDatabaseParseError when the
/// database is missing or malformed, ScrivoPlanNotInitialized when `plan` has no child node,
/// ScrivoComError for any failed XML operation, among them a missing plan, a missing root
/// "avilo", a steer point without "phase", "GPSCoordinate" or "timeOverSteerPoint", and a
/// procedure that is not a direct child of its task.
xml::DocumentPtr GenerateFlightScript(xml::DocumentPtr plan);

/// The type of a steer point: the first name, in the order of the plan schema's model group with
/// id "steerpointType" (complex type "steerpoint" of "avilo.xsd", namespace "urn:avilo"), that is
/// the name of a child of `steerpoint`; empty when none is.  Reads the schema afresh on each
/// call.  Throws xml::ComError when the schema or the type is missing.
std::string GetSteerPointType(const xml::Node& steerpoint);

} // namespace scrivo
