#pragma once
// File > Export and File > Import: the plan as a GPX route, a FlightGear route or KML, and a GPX
// or KML route, track or waypoints as the plan.  A small object of its own that the main frame
// owns as a Qt child and hooks into its File menu.

#include <QObject>

class QAction;
class QMenu;

namespace avilo::planner {

class CMainFrame;

class CExchangeMenu : public QObject {
    Q_OBJECT
public:
    /// Adds "Export Flight Plan..." and "Import Route..." to `file` before `before` (appended
    /// when null); the frame becomes the parent that deletes this object.
    CExchangeMenu(CMainFrame& frame, QMenu& file, QAction* before);

    /// Asks for a file and writes the plan to it in the format of its extension; what the format
    /// could not carry is shown afterwards.
    void OnExportPlan();
    /// Asks for a GPX or KML file and makes its route the plan (as Load Flight Plan replaces it);
    /// what could not be carried over is shown afterwards.  A file that is refused leaves the
    /// plan as it was.
    void OnImportRoute();

private:
    CMainFrame& m_frame;
};

} // namespace avilo::planner
