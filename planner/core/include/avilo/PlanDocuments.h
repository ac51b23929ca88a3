#pragma once
// The planner's documents: the flight plan, the schema cache, the airport database and the last
// flight script, created in the order and with the failure handling the planner relies on.
//
// Flight plan vocabulary (no namespace anywhere):
//   <?xml version='1.0' encoding='UTF-8'?>
//   <avilo>
//     <steerpoint phase="takeoff">             one per steer point, in flight order
//       <GPSCoordinate>                          always the first child
//         <longitude>4.737338</longitude>        decimal degrees, east positive
//         <latitude>52.313572</latitude>         decimal degrees, north positive
//       </GPSCoordinate>
//       <timeOverSteerPoint>00:00</timeOverSteerPoint>
//       <task>takeoff</task>                     zero or more
//       <airport shortname="EHAM" name="Schiphol">   or <GPS>: exactly one type element
//         <runway/><runwayHeading/><runwayMagnVar/><runwayElevation/>
//         <GPSRunway><latitude/><longitude/></GPSRunway>
//       </airport>
//       <GPS><airspeed>70</airspeed><heading>4</heading><altitude>5000</altitude></GPS>
//     </steerpoint>
//   </avilo>

#include "avilo/Export.h"

#include <planformat/PlanFormat.h>
#include <xml/Dom.h>
#include <xml/Schema.h>

#include <functional>
#include <memory>
#include <string>

namespace avilo {

/// The namespace the flight plan schema is registered under, and the files read from the working
/// directory.
inline constexpr const char* kPlanNamespace = planformat::kPlanNamespace;
inline constexpr const char* kPlanSchemaFile = planformat::kPlanSchemaFile;
inline constexpr const char* kAirportDatabaseFile = "airports.xml";
inline constexpr const char* kPlanDeclarationData = planformat::kDeclarationData;

/// Shows a failed XML operation to the user (the planner's COM error message box).
using ComErrorReporter = std::function<void(const xml::ComError& error)>;

/// The documents the main frame owns for the whole run.
struct AVILO_PLANCORE_API PlanDocuments {
    /// Creates the documents in two guarded blocks, each ending at its first COM error, which is
    /// reported through `report`; creation then goes on with the next block.
    ///   Block 1: the schema cache with "avilo.xsd" under "urn:avilo"; the airport database loaded
    ///            from "airports.xml" (the load result is not examined: a missing or malformed
    ///            file leaves an empty database).
    ///   Block 2: the plan with its `xml` processing instruction and `avilo` root; the empty
    ///            script document.
    explicit PlanDocuments(const ComErrorReporter& report);

    std::shared_ptr<xml::SchemaCache> m_pSchemas;
    xml::DocumentPtr m_pAirports;
    xml::DocumentPtr m_pPlan;
    xml::Node m_pRoot;
    xml::DocumentPtr m_pScript;
};

/// The steer point's type by the plan format's rule (planformat::SteerPointTypeOf): of the type
/// names of the plan schema in `schemas` (the particles of the model group with id
/// "steerpointType" in the complex type "steerpoint", in schema order), the first that names a
/// child element of `steerPoint`; empty when none does.  Throws xml::ComError when the schema or
/// the type is missing.
AVILO_PLANCORE_API std::string GetSteerPointType(const xml::SchemaCache& schemas,
                                                 const xml::Node& steerPoint);

/// The texts of a `GPSCoordinate` element: when its first child is `longitude` the first child is
/// the longitude and the last the latitude, otherwise the other way round.
struct CoordinateText {
    std::string longitude;
    std::string latitude;
};
AVILO_PLANCORE_API CoordinateText ReadGPSCoordinate(const xml::Node& gpsCoordinate);

} // namespace avilo
