#include "ui/LogWindow.h"
#include "ui/Display.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <mutex>

namespace ui {
namespace {

std::mutex g_hookMutex;
LogFinishHandler g_finishHandler;

// The dialog refuses to close (Escape, the window manager) until the work is over.
class LogDialog : public QDialog {
public:
    explicit LogDialog(QWidget* parent) : QDialog(parent) {}
    bool closable = false;

    void reject() override {
        if (closable)
            QDialog::reject();
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        if (closable)
            QDialog::closeEvent(event);
        else
            event->ignore();
    }
};

QWidget* MainWindow() {
    if (QWidget* active = QApplication::activeWindow())
        return active->window();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w) != nullptr)
            return w;
    return nullptr;
}

} // namespace

struct ComponentLogDialog::Window {
    QPointer<LogDialog> dialog;
    QPointer<QPlainTextEdit> edit;
    QPointer<QPushButton> close;
};

LogFinishHandler SetLogFinishHandler(LogFinishHandler handler) {
    std::lock_guard lock(g_hookMutex);
    LogFinishHandler previous = std::move(g_finishHandler);
    g_finishHandler = std::move(handler);
    return previous;
}

ComponentLogDialog::ComponentLogDialog(std::string caption, QWidget* parent)
    : m_caption(std::move(caption)) {
    if (!HasDisplay())
        return;
    m_window = std::make_unique<Window>();
    auto* dialog = new LogDialog(parent != nullptr ? parent : MainWindow());
    dialog->setObjectName("6000");
    dialog->setWindowTitle(QString::fromStdString(m_caption));
    // Caption and frame, no system menu and no close box: Close ends the dialog.
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // 346 x 194 dialog units of an 8-point dialog font, at 1.5 pixels per unit across and
    // 1.625 down: the edit box at (7, 7) 332 x 163, Close at (289, 173) 50 x 14.
    dialog->setFixedSize(519, 315);
    auto* edit = new QPlainTextEdit(dialog);
    edit->setObjectName("7000");
    edit->setReadOnly(true);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setGeometry(10, 11, 498, 265);
    auto* close = new QPushButton(QStringLiteral("Close"), dialog);
    close->setObjectName("1");
    close->setGeometry(433, 281, 75, 23);
    close->setDefault(true);
    close->setEnabled(false);
    QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::accept);
    m_window->dialog = dialog;
    m_window->edit = edit;
    m_window->close = close;
    dialog->show();
}

ComponentLogDialog::~ComponentLogDialog() {
    if (m_window && m_window->dialog)
        delete m_window->dialog.data();
}

QDialog* ComponentLogDialog::dialog() const {
    return m_window ? m_window->dialog.data() : nullptr;
}

void ComponentLogDialog::Append(std::string_view text) {
    m_text.append(text);
    QPlainTextEdit* edit = m_window ? m_window->edit.data() : nullptr;
    if (edit == nullptr) {
        WriteToLogSink(text);
        return;
    }
    if (LogSinkInstalled())
        WriteToLogSink(text);
    // The text box breaks lines at LF; a CR would start another paragraph.
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.remove(QLatin1Char('\r'));
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText(shown);
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

void ComponentLogDialog::Finish() {
    if (m_finished)
        return;
    m_finished = true;
    LogDialog* dialog = m_window ? m_window->dialog.data() : nullptr;
    if (dialog == nullptr)
        return;
    dialog->closable = true;
    if (m_window->close) {
        m_window->close->setEnabled(true);
        m_window->close->setFocus();
    }
    LogFinishHandler handler;
    {
        std::lock_guard lock(g_hookMutex);
        handler = g_finishHandler;
    }
    if (handler) {
        QPointer<LogDialog> guard(dialog);
        QTimer::singleShot(0, dialog, [guard, handler] {
            if (guard)
                handler(*guard);
        });
    }
    dialog->exec();
    delete m_window->dialog.data();
}

} // namespace ui
