#pragma once
// The planner's resources: command and control ids, the string table, and the pictures (the
// application icon, the tool bar images, the splash picture and the steer point marker), drawn
// in code so that the program needs no files besides its data.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace avilo::planner::res {

// Resource ids.
inline constexpr int IDR_MAINFRAME = 128; ///< icon, menu, accelerators, tool bar, title
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_DIALOGBAR = 128;
inline constexpr int IDI_STEERPOINT = 143;
inline constexpr int IDD_SPTYPE = 148;
inline constexpr int IDD_SPGPS = 149;
inline constexpr int IDD_SPAIRPORT = 150;
inline constexpr int IDB_SPLASH = 151;

// Commands.
inline constexpr int ID_ZOOM_OUT = 32773;
inline constexpr int ID_ZOOM_IN = 32774;
inline constexpr int ID_OPEN_CHART = 32783;
inline constexpr int ID_LOAD_PLAN = 32784;
inline constexpr int ID_SAVE_PLAN = 32785;
inline constexpr int ID_CLEAR_PLAN = 32786;
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_NEXT_PANE = 57680;
inline constexpr int ID_PREV_PANE = 57681;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;

/// The string table entry `id` ("prompt\ntool tip"), empty when there is none.
QString LoadString(int id);
/// The status bar prompt of a command: the part of its string before "\n".
QString Prompt(int id);
/// The tool tip of a command: the part of its string after "\n".
QString ToolTip(int id);

/// Object name of a control or window: its id in decimal.
inline QString IdName(int id) {
    return QString::number(id);
}

/// Icon 128 (the application) and 143 (the steer point marker, 32 x 32: a black circle with a
/// diagonal cross, red ticks at the four compass points and a red centre).
QIcon LoadIcon(int id);
/// A tool bar image (16 x 15) of a command: Open Chart, Zoom out, Zoom in.
QIcon ToolBarImage(int command);
/// Bitmap 151, the splash picture (456 x 269).
QPixmap LoadBitmap(int id);

} // namespace avilo::planner::res
