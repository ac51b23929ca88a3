#include "kestro/FlightReport.h"

#include "kestro/Guidance.h"
#include "kestro/TaskValues.h"

#include <numbers/Numbers.h>
#include <tavola/GreatCircle.h>
#include <tavola/LocalPlane.h>
#include <tavola/Units.h>

#include <algorithm>
#include <cmath>

namespace kestro {

namespace {

using tavola::kMetresPerDegreeOfLatitude;
using tavola::Wrap180;

/// Within this arc of the target a leg is done (the executor's own criterion).
constexpr double kTargetArc_deg = 0.02;
/// The least step between two points to take a ground track from, metres.
constexpr double kMinTrackStep_m = 1.0;

/// The ground track at point i, degrees: from the point before it (the heading when it has not
/// moved, as on the first point).
double TrackAt(const std::vector<FlightSample>& track, std::size_t i) {
    const FlightSample& p = track[i];
    if (i == 0)
        return p.heading_deg;
    const FlightSample& q = track[i - 1];
    return GroundTrack(q.latitude_deg, q.longitude_deg, p.latitude_deg, p.longitude_deg,
                       kMinTrackStep_m)
        .value_or(p.heading_deg);
}

/// Follows a value against its plan over a leg.
struct Holder {
    HeldFigure& figure;
    double tolerance;
    void Add(double value, double legTime_s) {
        figure.final = value;
        if (!figure.planned)
            return;
        const double deviation = std::fabs(value - *figure.planned);
        if (!figure.settledAfter_s) {
            figure.maxDeviation = std::max(figure.maxDeviation, deviation);
            if (deviation <= tolerance) {
                figure.settledAfter_s = legTime_s;
                figure.maxDeviation = 0;
            }
        } else if (legTime_s >= *figure.settledAfter_s + FlightReport::kSettleTime_s) {
            figure.maxDeviation = std::max(figure.maxDeviation, deviation);
        }
    }
};

/// One figure in its printf format, in the C locale.
std::string Format(const char* format, double value) {
    return numbers::Format(format, value);
}

std::string HeldText(const char* what, const HeldFigure& h, const char* unit, const char* format,
                     double legTime_s) {
    if (!h.planned)
        return std::string("\t") + what + ": none planned; " + Format(format, h.final) + " " +
               unit + " at the end\n";
    std::string text =
        std::string("\t") + what + " " + Format(format, *h.planned) + " " + unit + " planned: ";
    if (h.settledAfter_s && *h.settledAfter_s + FlightReport::kSettleTime_s > legTime_s)
        text += "reached after " + Format("%.0f", *h.settledAfter_s) +
                " s, too late in the leg to judge how it was held";
    else if (h.settledAfter_s)
        text += "within " + Format(format, h.maxDeviation) + " " + unit + " from " +
                Format("%.0f", *h.settledAfter_s + FlightReport::kSettleTime_s) + " s";
    else
        text += "never settled, " + Format(format, h.final) + " " + unit + " at the end";
    return text + "\n";
}

} // namespace

FlightReport::FlightReport(const xml::DocumentPtr& script, const std::vector<FlightSample>& track) {
    if (track.empty())
        return;
    const FlightSample& first = track.front();

    // Take-off; a script without one was handed over in the air, and its legs start at once.
    m_takeoff.planned =
        !script || script->selectSingleNode("/flightscript/phase/task[@name=\"takeoff\"]");
    std::size_t legStart = 0;
    std::optional<std::size_t> liftOff, levelOff;
    for (std::size_t i = 0; m_takeoff.planned && i < track.size(); ++i) {
        if (!liftOff && track[i].altitude_m > first.altitude_m + kLiftOffHeight_m)
            liftOff = i;
        if (!liftOff) {
            m_takeoff.maxHeadingDeviation_deg =
                std::max(m_takeoff.maxHeadingDeviation_deg,
                         std::fabs(Wrap180(track[i].heading_deg - first.heading_deg)));
            // The centre line runs from the first point along the runway heading.
            const double runway = first.heading_deg * tavola::kDegToRad;
            const tavola::PlaneOffset here =
                tavola::LocalOffset(first.latitude_deg, first.longitude_deg, track[i].latitude_deg,
                                    track[i].longitude_deg);
            m_takeoff.maxCentreLineDistance_m = std::max(
                m_takeoff.maxCentreLineDistance_m,
                std::fabs(here.north_m * std::sin(runway) - here.east_m * std::cos(runway)));
        } else {
            m_takeoff.maxBank_deg = std::max(m_takeoff.maxBank_deg, std::fabs(track[i].bank_deg));
        }
        if (!levelOff && track[i].altitude_m >= kLevelOff_m - kLevelOffTolerance_m) {
            levelOff = i;
            break;
        }
    }
    if (liftOff) {
        const FlightSample& p = track[*liftOff];
        m_takeoff.liftedOff = true;
        m_takeoff.liftOffSpeed_kt = p.airspeed_kt;
        m_takeoff.groundRoll_m = kMetresPerDegreeOfLatitude *
                                 GreatCircleDistance(first.latitude_deg, first.longitude_deg,
                                                     p.latitude_deg, p.longitude_deg);
        legStart = *liftOff;
    }
    if (levelOff) {
        m_takeoff.timeToLevelOff_s = track[*levelOff].time_s - first.time_s;
        legStart = *levelOff;
    }

    // Turbulence: in still air the airspeed changes smoothly from one point to the next; gusts
    // make it jump.  Then the airspeed held is judged on its means over kGustMean_s (what the
    // aircraft flies), not on each gust the pitot feels.
    std::vector<double> judgedAirspeed(track.size());
    double roughness = 0;
    std::size_t airborne = 0;
    for (std::size_t i = legStart + 2; i < track.size(); ++i) {
        const double dt = track[i].time_s - track[i - 1].time_s;
        if (dt <= 0)
            continue;
        roughness += std::fabs(track[i].airspeed_kt - 2 * track[i - 1].airspeed_kt +
                               track[i - 2].airspeed_kt) /
                     (dt * dt);
        ++airborne;
    }
    m_turbulent = airborne > 0 && roughness / static_cast<double>(airborne) > kRoughAir_kps2;
    double sum = 0;
    for (std::size_t i = 0, j = 0; i < track.size(); ++i) {
        judgedAirspeed[i] = track[i].airspeed_kt;
        if (!m_turbulent)
            continue;
        sum += track[i].airspeed_kt;
        while (track[j].time_s <= track[i].time_s - kGustMean_s)
            sum -= track[j++].airspeed_kt;
        judgedAirspeed[i] = sum / static_cast<double>(i - j + 1);
    }

    // Cruise legs.
    if (!script)
        return;
    std::optional<std::pair<double, double>> previousTarget;
    for (const xml::Node& task :
         script->selectNodes("/flightscript/phase/task[@name=\"cruise\"]")) {
        const xml::Node lat = task.selectSingleNode("GPSCoordinate/latitude");
        const xml::Node lon = task.selectSingleNode("GPSCoordinate/longitude");
        if (lat.empty() || lon.empty())
            continue;
        LegFigures leg;
        leg.targetLatitude_deg = numbers::ToDouble(lat.text());
        leg.targetLongitude_deg = numbers::ToDouble(lon.text());
        leg.altitude_ft.planned = PlannedValue(task, "procedure/altitude");
        leg.airspeed_kt.planned = PlannedValue(task, "procedure/airspeed");
        const FlightSample& begin = track[legStart];
        const auto start =
            previousTarget.value_or(std::make_pair(begin.latitude_deg, begin.longitude_deg));
        previousTarget = std::make_pair(leg.targetLatitude_deg, leg.targetLongitude_deg);
        const double course =
            TrueCourse(start.first, start.second, leg.targetLatitude_deg, leg.targetLongitude_deg);

        Holder altitude{leg.altitude_ft, kAltitudeSettle_ft};
        Holder airspeed{leg.airspeed_kt, kAirspeedSettle_kt};
        leg.closestApproach_deg = 180;
        bool onCourse = false;
        // The point where the previous leg ended belongs to that leg.  Without a take-off to
        // the level-off, or once the track has ended, a leg was not flown.
        std::size_t i = m_legs.empty() ? legStart : legStart + 1;
        if (m_takeoff.planned && !levelOff)
            i = track.size();
        for (; i < track.size(); ++i) {
            const FlightSample& p = track[i];
            leg.flown = true;
            const double distance = GreatCircleDistance(
                p.latitude_deg, p.longitude_deg, leg.targetLatitude_deg, leg.targetLongitude_deg);
            leg.closestApproach_deg = std::min(leg.closestApproach_deg, distance);
            double crossTrack = 0;
            LegTrack(start.first, start.second, leg.targetLatitude_deg, leg.targetLongitude_deg,
                     p.latitude_deg, p.longitude_deg, 0, &crossTrack);
            leg.maxCrossTrack_m = std::max(leg.maxCrossTrack_m, std::fabs(crossTrack));
            onCourse =
                onCourse || (std::fabs(Wrap180(TrackAt(track, i) - course)) <= kOnCourse_deg &&
                             std::fabs(p.bank_deg) <= kWingsLevel_deg);
            if (onCourse)
                leg.maxCrossTrackOnCourse_m =
                    std::max(leg.maxCrossTrackOnCourse_m.value_or(0), std::fabs(crossTrack));
            leg.maxBank_deg = std::max(leg.maxBank_deg, std::fabs(p.bank_deg));
            leg.maxPitch_deg = std::max(leg.maxPitch_deg, std::fabs(p.pitch_deg));
            altitude.Add(p.altitude_m / tavola::kMetresPerFoot, p.time_s - begin.time_s);
            // The airspeed counts from when the altitude has settled: climbs fly their own speed.
            if (leg.altitude_ft.settledAfter_s || !leg.altitude_ft.planned)
                airspeed.Add(judgedAirspeed[i], p.time_s - begin.time_s);
            else
                leg.airspeed_kt.final = judgedAirspeed[i];
            leg.time_s = p.time_s - begin.time_s;
            if (distance <= kTargetArc_deg) {
                leg.reached = true;
                break;
            }
        }
        m_legs.push_back(leg);
        legStart = std::min(i, track.size() - 1);
    }
}

std::string FlightReport::Text() const {
    std::string text = "Flight report\n";
    text += "Take-off:\n";
    if (!m_takeoff.planned) {
        text += "\tnone: taken over in the air\n";
    } else if (m_takeoff.liftedOff) {
        text += "\tground roll " + Format("%.0f", m_takeoff.groundRoll_m) + " m, lift-off at " +
                Format("%.1f", m_takeoff.liftOffSpeed_kt) + " kt\n";
        text += "\tgreatest deviation from the runway heading on the roll " +
                Format("%.1f", m_takeoff.maxHeadingDeviation_deg) + " deg\n";
        text += "\tgreatest distance off the centre line on the roll " +
                Format("%.1f", m_takeoff.maxCentreLineDistance_m) + " m, largest bank to " +
                Format("%.0f", kLevelOff_m) + " m " + Format("%.1f", m_takeoff.maxBank_deg) +
                " deg\n";
    } else {
        text += "\tdid not lift off (greatest deviation from the runway heading " +
                Format("%.1f", m_takeoff.maxHeadingDeviation_deg) + " deg)\n";
    }
    if (m_takeoff.timeToLevelOff_s)
        text += "\t" + Format("%.0f", kLevelOff_m) + " m after " +
                Format("%.0f", *m_takeoff.timeToLevelOff_s) + " s\n";
    else if (m_takeoff.planned)
        text += "\tnever reached " + Format("%.0f", kLevelOff_m) + " m\n";
    for (std::size_t i = 0; i < m_legs.size(); ++i) {
        const LegFigures& leg = m_legs[i];
        text += "Leg " + std::to_string(i + 1) + " to " + Format("%.6f", leg.targetLatitude_deg) +
                ", " + Format("%.6f", leg.targetLongitude_deg) + ":\n";
        if (!leg.flown) {
            text += "\tnot flown\n";
            continue;
        }
        text += std::string("\t") + (leg.reached ? "reached" : "NOT reached") +
                ", closest approach " + Format("%.4f", leg.closestApproach_deg) + " deg (" +
                Format("%.0f", leg.closestApproach_deg * kMetresPerDegreeOfLatitude) +
                " m), leg time " + Format("%.0f", leg.time_s) + " s\n";
        text += "\tgreatest cross-track error " + Format("%.0f", leg.maxCrossTrack_m) + " m";
        if (leg.maxCrossTrackOnCourse_m)
            text += ", " + Format("%.0f", *leg.maxCrossTrackOnCourse_m) + " m once on course";
        else
            text += ", never on course";
        text += "\n\tlargest bank " + Format("%.1f", leg.maxBank_deg) + " deg, largest pitch " +
                Format("%.1f", leg.maxPitch_deg) + " deg\n";
        text += HeldText("altitude", leg.altitude_ft, "ft", "%.0f", leg.time_s);
        text += HeldText("airspeed", leg.airspeed_kt, "kt", "%.1f", leg.time_s);
        if (m_turbulent)
            text.insert(text.size() - 1,
                        " (" + Format("%.0f", kGustMean_s) + " s means: turbulence)");
    }
    return text;
}

} // namespace kestro
