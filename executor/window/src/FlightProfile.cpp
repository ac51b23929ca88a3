#include "kestro/FlightProfile.h"

#include "kestro/TaskValues.h"

#include <numbers/Numbers.h>
#include <tavola/GreatCircle.h>
#include <tavola/Units.h>

#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>

namespace kestro {
namespace {

constexpr double kTargetArc_deg = 0.02; // the executor's "steer point reached"

double Feet(double metres) {
    return metres / tavola::kMetresPerFoot;
}

// The axes' ranges: the flown and planned values with a margin, never empty.
void FitAxis(QValueAxis& axis, double low, double high) {
    if (!(high > low)) {
        low -= 1.0;
        high += 1.0;
    }
    axis.setRange(low, high + (high - low) * 0.05);
    axis.applyNiceNumbers(); // round ticks: 0, 500, 1000 ft rather than -163, 669
}

} // namespace

std::vector<LegSpan> FlownLegSpans(const xml::DocumentPtr& script,
                                   const std::vector<FlightSample>& track) {
    std::vector<LegSpan> spans;
    if (!script || track.empty())
        return spans;
    std::size_t i = 0;
    while (i < track.size() &&
           track[i].altitude_m < FlightReport::kLevelOff_m - FlightReport::kLevelOffTolerance_m)
        ++i;
    for (const xml::Node& task :
         script->selectNodes("/flightscript/phase/task[@name=\"cruise\"]")) {
        if (i >= track.size())
            break;
        const xml::Node lat = task.selectSingleNode("GPSCoordinate/latitude");
        const xml::Node lon = task.selectSingleNode("GPSCoordinate/longitude");
        if (lat.empty() || lon.empty())
            continue;
        const double targetLat = numbers::ToDouble(lat.text());
        const double targetLon = numbers::ToDouble(lon.text());
        LegSpan span;
        span.start_s = track[i].time_s;
        span.altitude_ft = PlannedValue(task, "procedure/altitude");
        span.airspeed_kt = PlannedValue(task, "procedure/airspeed");
        std::size_t end = i;
        while (end + 1 < track.size() &&
               ::GreatCircleDistance(track[end].latitude_deg, track[end].longitude_deg, targetLat,
                                     targetLon) > kTargetArc_deg)
            ++end;
        span.end_s = track[end].time_s;
        span.targetLatitude_deg = targetLat;
        span.targetLongitude_deg = targetLon;
        span.reached = ::GreatCircleDistance(track[end].latitude_deg, track[end].longitude_deg,
                                             targetLat, targetLon) <= kTargetArc_deg;
        spans.push_back(span);
        i = end + 1 < track.size() ? end : track.size();
        if (end + 1 >= track.size())
            break;
    }
    return spans;
}

QChart* CreateProfileChart(const xml::DocumentPtr& script, const std::vector<FlightSample>& track) {
    auto* chart = new QChart;
    chart->setTitle("Altitude and airspeed, flown and planned (dashed)");
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* time = new QValueAxis;
    time->setTitleText("time (s)");
    time->setLabelFormat("%.0f");
    auto* altitude = new QValueAxis;
    altitude->setTitleText("altitude (ft)");
    altitude->setLabelFormat("%.0f");
    auto* airspeed = new QValueAxis;
    airspeed->setTitleText("airspeed (kt)");
    airspeed->setLabelFormat("%.0f");
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(altitude, Qt::AlignLeft);
    chart->addAxis(airspeed, Qt::AlignRight);

    const QColor altitudeColour(0, 90, 200);
    const QColor airspeedColour(200, 60, 0);
    const auto add = [&](const char* name, QValueAxis* axis, const QColor& colour, bool planned) {
        auto* series = new QLineSeries;
        series->setName(name);
        series->setPen(QPen(colour, planned ? 1.5 : 2.0, planned ? Qt::DashLine : Qt::SolidLine));
        chart->addSeries(series);
        series->attachAxis(time);
        series->attachAxis(axis);
    };
    add("altitude", altitude, altitudeColour, false);
    add("planned", altitude, altitudeColour, true);
    add("airspeed", airspeed, airspeedColour, false);
    add("planned", airspeed, airspeedColour, true);
    UpdateProfileChart(*chart, script, track);
    return chart;
}

void UpdateProfileChart(QChart& chart, const xml::DocumentPtr& script,
                        const std::vector<FlightSample>& track) {
    const QList<QAbstractSeries*> all = chart.series();
    if (all.size() != 4)
        return;
    QList<QPointF> altitude, airspeed, altitudePlan, airspeedPlan;
    altitude.reserve(static_cast<qsizetype>(track.size()));
    airspeed.reserve(static_cast<qsizetype>(track.size()));
    double altLow = 0, altHigh = 0, speedLow = 0, speedHigh = 0;
    for (const FlightSample& s : track) {
        altitude.append({s.time_s, Feet(s.altitude_m)});
        airspeed.append({s.time_s, s.airspeed_kt});
        altHigh = std::max(altHigh, Feet(s.altitude_m));
        // An airfield a few feet below sea level does not move the axis below 0.
        if (Feet(s.altitude_m) < -100.0)
            altLow = std::min(altLow, Feet(s.altitude_m));
        speedHigh = std::max(speedHigh, s.airspeed_kt);
    }
    // Planned values as steps over each leg's span, broken between legs.
    for (const LegSpan& leg : FlownLegSpans(script, track)) {
        if (leg.altitude_ft) {
            altitudePlan.append({leg.start_s, *leg.altitude_ft});
            altitudePlan.append({leg.end_s, *leg.altitude_ft});
            altHigh = std::max(altHigh, *leg.altitude_ft);
        }
        if (leg.airspeed_kt) {
            airspeedPlan.append({leg.start_s, *leg.airspeed_kt});
            airspeedPlan.append({leg.end_s, *leg.airspeed_kt});
            speedHigh = std::max(speedHigh, *leg.airspeed_kt);
        }
    }
    static_cast<QLineSeries*>(all[0])->replace(altitude);
    static_cast<QLineSeries*>(all[1])->replace(altitudePlan);
    static_cast<QLineSeries*>(all[2])->replace(airspeed);
    static_cast<QLineSeries*>(all[3])->replace(airspeedPlan);
    const QList<QAbstractAxis*> axes = chart.axes();
    if (axes.size() == 3) {
        FitAxis(*static_cast<QValueAxis*>(axes[0]), 0.0,
                track.empty() ? 60.0 : track.back().time_s);
        FitAxis(*static_cast<QValueAxis*>(axes[1]), altLow, altHigh);
        FitAxis(*static_cast<QValueAxis*>(axes[2]), speedLow, speedHigh);
    }
}

bool SaveProfilePng(const xml::DocumentPtr& script, const std::vector<FlightSample>& track,
                    const std::string& path, const QSize& size, std::string* error) {
    // The chart laid out on a scene of the picture's size, without a window.
    QGraphicsScene scene;
    QChart* chart = CreateProfileChart(script, track); // owned by the scene
    scene.addItem(chart);
    chart->setGeometry(0, 0, size.width(), size.height());
    scene.setSceneRect(0, 0, size.width(), size.height());
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter);
    }
    if (!picture.save(QString::fromStdString(path), "PNG")) {
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace kestro
