#include "kestro/KestroWnd.h"

#include <ui/Dialogs.h>
#include <ui/Display.h>
#include <ui/LogWindow.h>

#include <QDialog>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>

namespace kestro {

namespace {

const char* const kCaption = "Kestro";

/// The message window's dialog: template 6000 captioned "Kestro", Close enabled from the start.
class CKSDialog : public QDialog {
public:
    explicit CKSDialog(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName("6000");
        setWindowTitle(kCaption);
        // Caption and frame, no system menu: Close (or Enter, or Escape) ends the window.
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        // 346 x 194 dialog units of an 8-point dialog font (1.5 pixels per unit across, 1.625
        // down): the text box at (7, 7) 332 x 163, Close at (289, 173) 50 x 14.
        setFixedSize(519, 315);
        edit = new QPlainTextEdit(this);
        edit->setObjectName("7000");
        edit->setReadOnly(true);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setGeometry(10, 11, 498, 265);
        auto* close = new QPushButton(QStringLiteral("Close"), this);
        close->setObjectName("1");
        close->setGeometry(433, 281, 75, 23);
        close->setDefault(true);
        close->setEnabled(true);
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
    }

    QPlainTextEdit* edit;
};

} // namespace

CKestroWnd::CKestroWnd() = default;

CKestroWnd::~CKestroWnd() = default;

bool CKestroWnd::Create() {
    if (!ui::HasDisplay()) {
        m_sink = std::make_unique<ui::ComponentLogDialog>(kCaption);
        return true;
    }
    auto dialog = std::make_unique<CKSDialog>();
    m_pEdit = dialog->edit;
    m_pDialog = std::move(dialog);
    m_pDialog->show();
    return true;
}

void CKestroWnd::AddMessage(std::string text) {
    bool queue = false;
    {
        std::lock_guard lock(m_mutex);
        m_text += text;
        if (m_sink)
            ui::AppendToLog(*m_sink, text);
        if (!m_pDialog)
            return;
        m_pending += text;
        queue = !m_flushQueued;
        m_flushQueued = true;
    }
    if (!queue)
        return;
    // The text box belongs to the window's thread: the text waiting at that moment is taken
    // there in one piece, so the lines keep their order however fast the worker writes.
    QPointer<QPlainTextEdit> edit(m_pEdit);
    QMetaObject::invokeMethod(
        m_pEdit,
        [this, edit] {
            std::string batch;
            {
                std::lock_guard lock(m_mutex);
                batch.swap(m_pending);
                m_flushQueued = false;
            }
            if (!edit)
                return;
            // The text box breaks lines at LF; a CR would start another paragraph.
            QString shown = QString::fromStdString(batch);
            shown.remove(QLatin1Char('\r'));
            edit->moveCursor(QTextCursor::End);
            edit->insertPlainText(shown);
            edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
        },
        Qt::QueuedConnection);
}

void CKestroWnd::ShowStopMessage(const std::string& text) {
    if (!m_pDialog) {
        ui::MessageBox(nullptr, text, kCaption, ui::Icon::Error);
        return;
    }
    QPointer<QDialog> dialog(m_pDialog.get());
    const auto show = [dialog, text] {
        if (dialog)
            ui::MessageBox(dialog, text, kCaption, ui::Icon::Error);
    };
    if (QThread::currentThread() == m_pDialog->thread())
        show();
    else
        QMetaObject::invokeMethod(m_pDialog.get(), show, Qt::QueuedConnection);
}

void CKestroWnd::RunModalLoop() {
    if (m_pDialog) {
        QEventLoop loop;
        QObject::connect(m_pDialog.get(), &QDialog::finished, &loop, &QEventLoop::quit);
        if (m_pDialog->isVisible())
            loop.exec();
        m_pDialog->hide();
        return;
    }
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_closeRequested || m_workerEnded; });
}

void CKestroWnd::RequestClose() {
    if (m_pDialog) {
        QPointer<QDialog> dialog(m_pDialog.get());
        QMetaObject::invokeMethod(
            m_pDialog.get(),
            [dialog] {
                if (dialog)
                    dialog->done(QDialog::Accepted);
            },
            Qt::QueuedConnection);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_closeRequested = true;
    m_wake.notify_all();
}

void CKestroWnd::NotifyWorkerEnded() {
    std::lock_guard lock(m_mutex);
    m_workerEnded = true;
    m_wake.notify_all();
}

std::string CKestroWnd::GetText() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}

QDialog* CKestroWnd::GetDialog() const {
    return m_pDialog.get();
}

} // namespace kestro
