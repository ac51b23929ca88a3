#include "ExchangeMenu.h"

#include "MainFrm.h"
#include "PlanFile.h"

#include <exchange/Exchange.h>
#include <ui/Dialogs.h>

#include <QAction>
#include <QMenu>

#include <filesystem>

namespace avilo::planner {

namespace {

constexpr const char* kCaption = "Avilo";
constexpr const char* kExportFilter = "GPX files (*.gpx)|*.gpx|FlightGear routes (*.fgfp)|*.fgfp|"
                                      "KML files (*.kml)|*.kml";
constexpr const char* kTrackFilter = "GPX files (*.gpx)|*.gpx|KML files (*.kml)|*.kml";
constexpr const char* kImportFilter = "GPX and KML files (*.gpx;*.kml)|*.gpx;*.kml";

/// "Not carried over:" and one line per note, or nothing.
std::string NotesText(const std::vector<std::string>& notes) {
    std::string text;
    for (const std::string& note : notes)
        text += "\r\n" + note;
    return text.empty() ? text : "Not carried over:" + text;
}

} // namespace

CExchangeMenu::CExchangeMenu(CMainFrame& frame, QMenu& file, QAction* before)
    : QObject(&frame), m_frame(frame) {
    auto* exportPlan = new QAction("&Export Flight Plan...", &frame);
    exportPlan->setObjectName("ExportPlan");
    exportPlan->setStatusTip("Writes the flight plan as a GPX route, a FlightGear route or KML");
    auto* exportTrack = new QAction("Export Flight &Track...", &frame);
    exportTrack->setObjectName("ExportTrack");
    exportTrack->setStatusTip("Writes the track of the last flight as a GPX track or KML");
    auto* importRoute = new QAction("&Import Route...", &frame);
    importRoute->setObjectName("ImportRoute");
    importRoute->setStatusTip("Makes the route, track or waypoints of a GPX or KML file the plan");
    connect(exportPlan, &QAction::triggered, this, [this] { OnExportPlan(); });
    connect(exportTrack, &QAction::triggered, this, [this] { OnExportTrack(); });
    connect(importRoute, &QAction::triggered, this, [this] { OnImportRoute(); });
    file.insertAction(before, exportPlan);
    file.insertAction(before, exportTrack);
    file.insertAction(before, importRoute);
}

void CExchangeMenu::OnExportPlan() {
    const auto path =
        ui::GetSaveFileName(&m_frame, "Export", QtFileFilter(kExportFilter), "avilo.gpx", "gpx");
    if (!path || !m_frame.m_pPlan)
        return;
    const auto format = exchange::FormatOfPath(*path);
    if (!format || *format == exchange::Format::Csv) {
        ui::MessageBox(&m_frame, "Export writes .gpx, .fgfp (or .xml) and .kml files, not " + *path,
                       kCaption, ui::Icon::Exclamation);
        return;
    }
    try {
        const std::string title = std::filesystem::path(*path).stem().string();
        const exchange::Exported e =
            *format == exchange::Format::Gpx   ? exchange::PlanToGpx(m_frame.m_pPlan, title)
            : *format == exchange::Format::Kml ? exchange::PlanToKml(m_frame.m_pPlan, title)
                                               : exchange::PlanToFlightGearRoute(m_frame.m_pPlan);
        e.document->save(*path);
        if (!e.notes.empty())
            ui::MessageBox(&m_frame, NotesText(e.notes), kCaption, ui::Icon::Information);
    } catch (const exchange::ExchangeError& e) {
        ui::MessageBox(&m_frame, std::string("The flight plan cannot be exported: ") + e.what(),
                       kCaption, ui::Icon::Error);
    } catch (const xml::ComError& e) {
        m_frame.ShowComError(e);
    }
}

void CExchangeMenu::OnExportTrack() {
    const std::vector<kestro::FlightSample>& samples = m_frame.FlownTrack();
    if (samples.empty()) {
        ui::MessageBox(&m_frame, "There is no flown track to export: no flight has been flown.",
                       kCaption, ui::Icon::Exclamation);
        return;
    }
    const auto path =
        ui::GetSaveFileName(&m_frame, "Export", QtFileFilter(kTrackFilter), "flight.gpx", "gpx");
    if (!path)
        return;
    const auto format = exchange::FormatOfPath(*path);
    if (format != exchange::Format::Gpx && format != exchange::Format::Kml) {
        ui::MessageBox(&m_frame, "A flight track is exported as a .gpx or .kml file, not " + *path,
                       kCaption, ui::Icon::Exclamation);
        return;
    }
    std::vector<exchange::FlownPoint> flown;
    flown.reserve(samples.size());
    for (const kestro::FlightSample& p : samples)
        flown.push_back({p.time_s, p.latitude_deg, p.longitude_deg, p.altitude_m});
    try {
        const std::string title = std::filesystem::path(*path).stem().string();
        (*format == exchange::Format::Gpx
             ? exchange::TrackToGpx(flown, exchange::FlightStartMinutes(m_frame.m_pPlan), title)
             : exchange::FlightToKml(m_frame.m_pPlan, flown, title))
            ->save(*path);
    } catch (const exchange::ExchangeError& e) {
        ui::MessageBox(&m_frame, std::string("The flight track cannot be exported: ") + e.what(),
                       kCaption, ui::Icon::Error);
    } catch (const xml::ComError& e) {
        m_frame.ShowComError(e);
    }
}

void CExchangeMenu::OnImportRoute() {
    // The imported route replaces the plan, as Load does: its unsaved changes are offered first.
    if (!m_frame.SaveModified())
        return;
    const auto path = ui::GetOpenFileName(&m_frame, "Import", QtFileFilter(kImportFilter));
    if (!path)
        return;
    try {
        exchange::Imported imported = exchange::ImportRoute(*path, m_frame.m_pAirports);
        m_frame.m_pPlan = std::move(imported.plan);
        m_frame.m_pRoot = m_frame.m_pPlan->documentElement();
        m_frame.SetModified(); // the imported plan is saved nowhere yet
        m_frame.DialogBar().FillList();
        m_frame.RepaintCharts();
        if (!imported.notes.empty())
            ui::MessageBox(&m_frame, NotesText(imported.notes), kCaption, ui::Icon::Information);
    } catch (const exchange::ExchangeError& e) {
        ui::MessageBox(&m_frame, e.what(), kCaption, ui::Icon::Error);
    } catch (const xml::ComError& e) {
        m_frame.ShowComError(e);
    }
}

} // namespace avilo::planner
