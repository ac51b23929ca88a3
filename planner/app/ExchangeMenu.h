#pragma once
// File > Export and File > Import: the plan as a GPX route, a FlightGear route or KML, the last
// flight's track as GPX or KML, and a GPX or KML route, track or waypoints as the plan.  A small
// object of its own that the main frame owns as a Qt child and hooks into its File menu.

#include <QObject>

class QAction;
class QMenu;

namespace avilo::planner {

class CMainFrame;

class CExchangeMenu : public QObject {
    Q_OBJECT
public:
    /// Adds "Export Flight Plan...", "Export Flight Track..." and "Import Route..." to `file`
    /// before `before` (appended when null); the frame becomes the parent that deletes this
    /// object.
    CExchangeMenu(CMainFrame& frame, QMenu& file, QAction* before);

    /// Asks for a file and writes the plan to it in the format of its extension; what the format
    /// could not carry is shown afterwards.
    void OnExportPlan();
    /// Asks for a file and writes the track of the flight under way or last flown to it: a GPX
    /// track timed from the plan's take-off time, or KML with the planned route and the track.
    void OnExportTrack();
    /// Offers unsaved changes for saving, then asks for a GPX or KML file and makes its route
    /// the plan (as Load Flight Plan replaces it);
    /// what could not be carried over is shown afterwards.  A file that is refused leaves the
    /// plan as it was.
    void OnImportRoute();

private:
    CMainFrame& m_frame;
};

} // namespace avilo::planner
