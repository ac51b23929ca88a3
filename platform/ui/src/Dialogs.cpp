#include "ui/Dialogs.h"
#include "ui/Display.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>
#include <mutex>

namespace ui {
namespace {

// The test hooks: set by tests before the code under test asks, read on every question.
std::mutex g_hookMutex;
MessageBoxHandler g_messageBoxHandler;
FileDialogHandler g_fileDialogHandler;

template <class H> H Exchange(H& slot, H handler) {
    std::lock_guard lock(g_hookMutex);
    H previous = std::move(slot);
    slot = std::move(handler);
    return previous;
}

template <class H> H Current(const H& slot) {
    std::lock_guard lock(g_hookMutex);
    return slot;
}

int DefaultAnswer(Buttons buttons) {
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? IDYES : IDOK;
}

QMessageBox::Icon ToQt(Icon icon) {
    switch (icon) {
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(Buttons buttons) {
    switch (buttons) {
    case Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

int FromQt(int button, Buttons buttons) {
    switch (button) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        // Closed by Escape without a Cancel button: Windows answers with the single button.
        return buttons == Buttons::Ok ? IDOK : IDCANCEL;
    }
}

std::optional<std::string> AskFile(QWidget* parent, const FileDialogRequest& request) {
    if (const FileDialogHandler handler = Current(g_fileDialogHandler))
        return handler(request);
    if (!HasDisplay()) {
        std::fprintf(stderr, "%s: no display to choose a file; cancelled\n",
                     request.caption.c_str());
        return std::nullopt;
    }
    QFileDialog dialog(parent, QString::fromStdString(request.caption), QString(),
                       QString::fromStdString(request.filter));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.defaultExtension.empty())
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    if (!request.defaultName.empty())
        dialog.selectFile(QString::fromStdString(request.defaultName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

} // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return Exchange(g_messageBoxHandler, std::move(handler));
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler) {
    return Exchange(g_fileDialogHandler, std::move(handler));
}

int MessageBox(QWidget* parent, const std::string& text, const std::string& caption, Icon icon,
               Buttons buttons) {
    if (const MessageBoxHandler handler = Current(g_messageBoxHandler))
        return handler(MessageBoxRequest{text, caption, icon, buttons});
    if (!HasDisplay()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return DefaultAnswer(buttons);
    }
    QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    ToQt(buttons), parent);
    box.setDefaultButton(buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel
                             ? QMessageBox::Yes
                             : QMessageBox::Ok);
    return FromQt(box.exec(), buttons);
}

std::optional<std::string> GetOpenFileName(QWidget* parent, const std::string& caption,
                                           const std::string& filter,
                                           const std::string& defaultName) {
    return AskFile(parent, FileDialogRequest{false, caption, filter, defaultName, {}});
}

std::optional<std::string> GetSaveFileName(QWidget* parent, const std::string& caption,
                                           const std::string& filter,
                                           const std::string& defaultName,
                                           const std::string& defaultExtension) {
    std::optional<std::string> path =
        AskFile(parent, FileDialogRequest{true, caption, filter, defaultName, defaultExtension});
    // A handler's answer gets the default extension as the dialog's would.
    if (path && !path->empty() && !defaultExtension.empty() &&
        QFileInfo(QString::fromStdString(*path)).suffix().isEmpty())
        *path += "." + defaultExtension;
    return path;
}

} // namespace ui
