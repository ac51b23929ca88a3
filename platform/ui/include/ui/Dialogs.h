#pragma once
// Message boxes and file dialogs that tests can answer without a human.
//
// Each function asks the installed handler first (tests install one to answer and record the
// question); without a handler it shows a Qt dialog when there is a display, and otherwise writes
// the question to standard error and returns the default answer.

#include "ui/Export.h"

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace ui {

enum class Icon { None, Error, Exclamation, Information, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };

/// The answers of a message box (the values of the Windows button ids).
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
};
/// Answers a message box: returns one of IDOK, IDCANCEL, IDYES, IDNO.
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

/// Installs `handler` (an empty one removes it) and returns the previous handler.
AVILO_UI_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

/// Shows `text` and waits for an answer.  The default answer (without a display) is the first
/// button: IDOK for Ok and OkCancel, IDYES for YesNo and YesNoCancel.
AVILO_UI_API int MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                            Icon icon = Icon::None, Buttons buttons = Buttons::Ok);

struct FileDialogRequest {
    bool save = false;
    std::string caption;
    /// Qt filter syntax, e.g. "Flight plans (*.av);;All files (*)".
    std::string filter;
    /// File name proposed to the user (may be empty).
    std::string defaultName;
    /// Extension without the dot, added by a save dialog to a name typed without one.
    std::string defaultExtension;
};
/// Answers a file dialog: the chosen path, or nullopt for Cancel.
using FileDialogHandler = std::function<std::optional<std::string>(const FileDialogRequest&)>;

/// Installs `handler` (an empty one removes it) and returns the previous handler.
AVILO_UI_API FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);

/// Asks for an existing file.  Returns nullopt when cancelled (always, without a display and
/// without a handler).
AVILO_UI_API std::optional<std::string> GetOpenFileName(QWidget* parent, const std::string& caption,
                                                        const std::string& filter,
                                                        const std::string& defaultName = {});
/// Asks for a file to write.  A name chosen without an extension gets `defaultExtension`.
AVILO_UI_API std::optional<std::string> GetSaveFileName(QWidget* parent, const std::string& caption,
                                                        const std::string& filter,
                                                        const std::string& defaultName = {},
                                                        const std::string& defaultExtension = {});

} // namespace ui
