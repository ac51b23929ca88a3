#include "PlanCheck.h"

#include <numbers/Numbers.h>
#include <planformat/PlanFormat.h>
#include <tavola/GreatCircle.h>
#include <tavola/Units.h>

#include <charconv>
#include <set>

namespace tessar {
namespace {

std::string Quote(const std::string& s) {
    return "\"" + s + "\"";
}

std::string Str(long n) {
    return numbers::Format("%ld", n);
}

std::string Figure(double value) {
    return numbers::Format("%g", value);
}

// A decimal number without exponent filling the whole text (blanks around it allowed); nothing
// else, and nothing infinite or NaN, counts.  The executor reads text that is no number as 0, so
// a typing error would silently become a position or speed of 0.
std::optional<double> Number(const std::string& text) {
    return numbers::Parse(text, std::chars_format::fixed);
}

// The figure at `path` below `aircraft` converted to the unit `target` from the unit named by
// the nearest `unit` attribute of it or an ancestor.
std::optional<double> Limit(const xml::Node& aircraft, const std::string& path,
                            const std::string& target) {
    const xml::Node node = aircraft.selectSingleNode(path);
    if (!node)
        return std::nullopt;
    const std::optional<double> value = Number(node.text());
    if (!value)
        return std::nullopt;
    const xml::Node unitAttr = node.selectSingleNode("ancestor-or-self::*[@unit][1]/@unit");
    const std::string unit = unitAttr ? unitAttr.text() : target;
    struct Conversion {
        const char* unit;
        const char* target;
        double factor;
    };
    using tavola::kMetresPerFoot, tavola::kMetresPerNauticalMile, tavola::kMetresPerStatuteMile;
    static const Conversion conversions[] = {
        {"kt", "kt", 1.0},
        {"km/h", "kt", 1000.0 / kMetresPerNauticalMile},
        {"mph", "kt", kMetresPerStatuteMile / kMetresPerNauticalMile},
        {"ft", "ft", 1.0},
        {"m", "ft", 1.0 / kMetresPerFoot},
        {"NM", "NM", 1.0},
        {"km", "NM", 1000.0 / kMetresPerNauticalMile},
        {"mi", "NM", kMetresPerStatuteMile / kMetresPerNauticalMile},
    };
    for (const Conversion& c : conversions)
        if (unit == c.unit && target == c.target)
            return *value * c.factor;
    return std::nullopt;
}

// "hh:mm" with hh 00 to 23 and mm 00 to 59, as minutes of the day.
std::optional<int> TimeOfDay(const std::string& text) {
    if (text.size() != 5 || text[2] != ':')
        return std::nullopt;
    for (int i : {0, 1, 3, 4})
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    const int hours = (text[0] - '0') * 10 + (text[1] - '0');
    const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
    if (hours > 23 || minutes > 59)
        return std::nullopt;
    return hours * 60 + minutes;
}

class Checker {
public:
    Checker(const xml::DocumentPtr& db, const AircraftLimits& aircraft,
            const std::vector<std::string>& types)
        : m_db(db), m_aircraft(aircraft), m_types(types) {}

    std::vector<std::string> run(const xml::DocumentPtr& plan, const std::string& dbError) {
        if (!m_db)
            planProblem("the generation database \"scrivodb.xml\" could not be loaded (" + dbError +
                        "), so phases and tasks are not checked");
        checkAircraft();
        const xml::Node root = plan ? plan->selectSingleNode("avilo") : xml::Node();
        if (plan && !root && plan->documentElement()) {
            planProblem("the root element is not \"avilo\"");
            return std::move(m_problems);
        }
        bool first = true;
        long number = 0;
        if (root) {
            for (xml::Node child = root.firstChild(); child;
                 child = child.nextSibling(), ++number) {
                const xml::NodeType kind = child.nodeType();
                if (kind == xml::NodeType::Comment || kind == xml::NodeType::ProcessingInstruction)
                    continue; // notes in the file, not steer points
                checkSteerPoint(child, number, first);
                first = false;
            }
        }
        if (first)
            planProblem("no steer point");
        if (m_aircraft.rangeNM && m_totalNM > *m_aircraft.rangeNM)
            planProblem("the route of " + Distance(m_totalNM) +
                        " NM is longer than the aircraft's range of " +
                        Figure(*m_aircraft.rangeNM) + " NM");
        return std::move(m_problems);
    }

private:
    void planProblem(const std::string& text) {
        m_problems.push_back("Flight plan: " + text + ".");
    }
    void problem(long number, const std::string& text) {
        m_problems.push_back("Steer point " + Str(number) + ": " + text + ".");
    }
    static std::string Distance(double nm) { return numbers::Format("%.0f", nm); }

    void checkAircraft() {
        std::string missing;
        auto need = [&](const std::optional<double>& figure, const char* name) {
            if (!figure)
                missing += (missing.empty() ? "" : ", ") + std::string(name);
        };
        need(m_aircraft.minimumSpeedKt, "minimum speed");
        need(m_aircraft.maximumSpeedKt, "maximum cruising speed");
        need(m_aircraft.ceilingFt, "service ceiling");
        need(m_aircraft.rangeNM, "range");
        if (!missing.empty())
            planProblem("the aircraft database does not give the aircraft's " + missing +
                        ", so these are not checked");
    }

    void checkSteerPoint(const xml::Node& sp, long number, bool first) {
        const std::string type = sp.nodeType() == xml::NodeType::Element
                                     ? planformat::SteerPointTypeOf(m_types, sp)
                                     : "";
        if (type.empty()) {
            problem(number, "unknown steer point type");
            return;
        }
        const xml::Node phaseAttr = sp.getAttributeNode("phase");
        const std::optional<std::string> phase =
            phaseAttr ? std::optional(phaseAttr.text()) : std::nullopt;
        if (!phase)
            problem(number, "no phase");
        else if (m_db && !m_db->selectSingleNode(
                             "/scrivodb/phase[@name=" + xml::XPathLiteral(*phase) + "]"))
            problem(number,
                    "phase " + Quote(*phase) + " is not a phase of the generation database");

        bool hasTakeoff = false;
        const xml::NodeList tasks = sp.selectNodes("task");
        if (tasks.length() == 0)
            problem(number, "no task, so the flight script would pass it over");
        for (const xml::Node& taskNode : tasks) {
            const std::string task = taskNode.text();
            hasTakeoff = hasTakeoff || task == "takeoff";
            if (task == "takeoff" && !first)
                problem(number, "task \"takeoff\" after the first steer point: the executor would "
                                "fly a second take-off in the air");
            if (m_db)
                checkTask(sp, number, task, phase, type);
        }
        if (first && !(type == "airport" && phase == "takeoff" && hasTakeoff))
            problem(number, "the first steer point is not an airport steer point in phase "
                            "\"takeoff\" with the task \"takeoff\", which the flight starts with");

        checkPosition(sp, number);
        checkTime(sp, number);
        if (type == "airport")
            checkAirport(sp.selectSingleNode("airport"), number);
        else if (type == "GPS")
            checkGps(sp.selectSingleNode("GPS"), number);
    }

    void checkTask(const xml::Node& sp, long number, const std::string& task,
                   const std::optional<std::string>& phase, const std::string& type) {
        const std::string lit = xml::XPathLiteral(task);
        const xml::Node definition = m_db->selectSingleNode("/scrivodb/task[@name=" + lit + "]");
        if (!definition) {
            problem(number, "task " + Quote(task) + " is not defined in the generation database");
            return;
        }
        const bool permitted =
            phase && m_db->selectSingleNode("/scrivodb/phase[@name=" + xml::XPathLiteral(*phase) +
                                            "]/task[@name=" + lit + "]");
        if (phase && !permitted)
            problem(number, "task " + Quote(task) + " is not permitted in phase " + Quote(*phase));
        if (!m_db->selectSingleNode("/scrivodb/sptype[@name=" + xml::XPathLiteral(type) +
                                    "]/task[@name=" + lit + "]"))
            problem(number, "task " + Quote(task) + " is not offered at " + type + " steer points");
        if (!permitted)
            return;
        // Parameters the generator would leave out: no value below the steer point, no default.
        std::set<std::string> reported;
        for (const xml::Node& procedure : definition.selectNodes("procedure")) {
            const xml::Node nameAttr = procedure.getAttributeNode("name");
            if (!nameAttr)
                continue;
            const std::string name = nameAttr.text();
            for (const xml::Node& parameter : m_db->selectNodes(
                     "/scrivodb/procedure[@name=" + xml::XPathLiteral(name) + "]/*")) {
                const std::string param = parameter.nodeName();
                if (parameter.getAttributeNode("default") || sp.selectSingleNode(".//" + param))
                    continue;
                if (reported.insert(name + "/" + param).second)
                    problem(number, "parameter " + Quote(param) + " of procedure " + Quote(name) +
                                        " has no value and no default");
            }
        }
    }

    // A number within [lo, hi] at `path` below `parent`; absent values are left to the
    // parameter check.  Returns the value when it is a usable one.
    std::optional<double> checkNumber(const xml::Node& parent, const std::string& path, long number,
                                      double lo, double hi, const char* label) {
        const xml::Node node = parent.selectSingleNode(path);
        if (!node)
            return std::nullopt;
        const std::string text = node.text();
        const std::optional<double> value = Number(text);
        if (!value) {
            problem(number, std::string(label) + " " + Quote(text) + " is not a number");
            return std::nullopt;
        }
        if (*value < lo || *value > hi) {
            problem(number, std::string(label) + " " + text + " is out of range (" + Figure(lo) +
                                " to " + Figure(hi) + ")");
            return std::nullopt;
        }
        return value;
    }

    void checkPosition(const xml::Node& sp, long number) {
        const xml::Node gps = sp.selectSingleNode(".//GPSCoordinate");
        if (!gps) {
            problem(number, "no GPSCoordinate");
            m_previous.reset();
            return;
        }
        for (const char* name : {"longitude", "latitude"})
            if (!gps.selectSingleNode(name))
                problem(number, std::string("GPSCoordinate has no ") + name);
        const auto lon = checkNumber(gps, "longitude", number, -180, 180, "longitude");
        const auto lat = checkNumber(gps, "latitude", number, -90, 90, "latitude");
        if (!lon || !lat) {
            m_previous.reset();
            return;
        }
        if (m_previous) {
            const double leg = DistanceNM(m_previous->lon, m_previous->lat, *lon, *lat);
            m_totalNM += leg;
            if (m_aircraft.rangeNM && leg > *m_aircraft.rangeNM)
                problem(number, "the leg of " + Distance(leg) + " NM from steer point " +
                                    Str(m_previous->number) +
                                    " is longer than the aircraft's range of " +
                                    Figure(*m_aircraft.rangeNM) + " NM");
        }
        m_previous = Position{*lon, *lat, number};
    }

    void checkTime(const xml::Node& sp, long number) {
        const xml::Node node = sp.selectSingleNode(".//timeOverSteerPoint");
        if (!node) {
            problem(number, "no timeOverSteerPoint");
            return;
        }
        const std::string text = node.text();
        const std::optional<int> minutes = TimeOfDay(text);
        if (!minutes) {
            problem(number, "time over steer point " + Quote(text) + " is not \"hh:mm\"");
            return;
        }
        // An earlier time by half a day or more is the next day: a flight over midnight.
        if (m_previousTime && *minutes < m_previousTime->minutes &&
            m_previousTime->minutes - *minutes < 12 * 60)
            problem(number, "time over steer point " + text + " is earlier than " +
                                m_previousTime->text + " at steer point " +
                                Str(m_previousTime->number));
        m_previousTime = Time{*minutes, text, number};
    }

    void checkAirport(const xml::Node& airport, long number) {
        checkNumber(airport, "runwayHeading", number, 0, 360, "runway heading");
        checkNumber(airport, "runwayMagnVar", number, -180, 180, "runway magnetic variation");
        checkNumber(airport, "runwayElevation", number, -1500, 30000, "runway elevation");
        if (const xml::Node runway = airport.selectSingleNode("GPSRunway")) {
            // The take-off starts from this position; the executor refuses a runway without it.
            for (const char* name : {"longitude", "latitude"})
                if (!runway.selectSingleNode(name))
                    problem(number, std::string("GPSRunway has no ") + name);
            checkNumber(runway, "longitude", number, -180, 180, "runway longitude");
            checkNumber(runway, "latitude", number, -90, 90, "runway latitude");
        }
    }

    void checkGps(const xml::Node& gps, long number) {
        for (const char* name : {"airspeed", "heading", "altitude"})
            if (!gps.selectSingleNode(name))
                problem(number, std::string("no ") + name);
        checkNumber(gps, "heading", number, 0, 360, "heading");
        if (const auto speed = checkNumber(gps, "airspeed", number, 0, 1e6, "airspeed")) {
            if (m_aircraft.minimumSpeedKt && *speed < *m_aircraft.minimumSpeedKt)
                problem(number, "airspeed " + Figure(*speed) +
                                    " kt is below the aircraft's minimum of " +
                                    Figure(*m_aircraft.minimumSpeedKt) + " kt");
            if (m_aircraft.maximumSpeedKt && *speed > *m_aircraft.maximumSpeedKt)
                problem(number, "airspeed " + Figure(*speed) +
                                    " kt is above the aircraft's maximum cruising speed of " +
                                    Figure(*m_aircraft.maximumSpeedKt) + " kt");
        }
        if (const auto altitude = checkNumber(gps, "altitude", number, -1500, 1e6, "altitude"))
            if (m_aircraft.ceilingFt && *altitude > *m_aircraft.ceilingFt)
                problem(number, "altitude " + Figure(*altitude) +
                                    " ft is above the aircraft's service ceiling of " +
                                    Figure(*m_aircraft.ceilingFt) + " ft");
    }

    struct Position {
        double lon, lat;
        long number;
    };
    struct Time {
        int minutes;
        std::string text;
        long number;
    };

    xml::DocumentPtr m_db;
    AircraftLimits m_aircraft;
    std::vector<std::string> m_types;
    std::vector<std::string> m_problems;
    std::optional<Position> m_previous;
    std::optional<Time> m_previousTime;
    double m_totalNM = 0;
};

} // namespace

AircraftLimits ReadAircraftLimits(const xml::DocumentPtr& acdb) {
    AircraftLimits limits;
    const xml::Node aircraft = acdb->selectSingleNode("/acdb/aircraft");
    if (!aircraft)
        return limits;
    limits.minimumSpeedKt = Limit(aircraft, "speeds/minimum", "kt");
    limits.maximumSpeedKt = Limit(aircraft, "speeds/maximumStructuralCruise", "kt");
    limits.ceilingFt = Limit(aircraft, "climb/serviceCeiling", "ft");
    limits.rangeNM = Limit(aircraft, "range", "NM");
    return limits;
}

double DistanceNM(double lon1, double lat1, double lon2, double lat2) {
    using namespace tavola;
    return GreatCircleDistance(lat1, lon1, lat2, lon2) * kDegToRad * kMeanEarthRadius /
           kMetresPerNauticalMile;
}

std::vector<std::string> FindProblems(const xml::DocumentPtr& plan, const xml::DocumentPtr& db,
                                      const std::string& dbError, const AircraftLimits& aircraft,
                                      const std::vector<std::string>& types) {
    return Checker(db, aircraft, types).run(plan, dbError);
}

} // namespace tessar
