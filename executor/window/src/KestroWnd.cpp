#include "kestro/KestroWnd.h"

#include "kestro/FlightProfile.h"

#include <numbers/Numbers.h>
#include <tavola/GreatCircle.h>
#include <tavola/Units.h>
#include <ui/Dialogs.h>

#include <QChart>
#include <QChartView>
#include <QFontDatabase>
#include <QLabel>
#include <QTimer>
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

        // Beside the log the flight as it goes (the live figures and the profile), below it
        // the report once the flight has ended.
        setFixedSize(519 + 350, 315 + 200);
        const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        figures = new QLabel(this);
        figures->setObjectName("LiveFigures");
        figures->setFont(fixed);
        figures->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        figures->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        figures->setGeometry(519, 11, 340, 92);
        figures->setText("Waiting for the flight.");
        profileView = new QChartView(CreateProfileChart(nullptr, {}), this);
        profileView->setObjectName("FlightProfile");
        profileView->setRenderHint(QPainter::Antialiasing);
        profileView->setGeometry(519, 108, 340, 396);
        report = new QPlainTextEdit(this);
        report->setObjectName("FlightReport");
        report->setReadOnly(true);
        report->setFont(fixed);
        report->setPlaceholderText("The flight report shows here when the flight has ended.");
        report->setGeometry(10, 315, 498, 189);
    }

    QPlainTextEdit* edit;
    QLabel* figures;
    QChartView* profileView;
    QPlainTextEdit* report;
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
    m_pFigures = dialog->figures;
    m_pReport = dialog->report;
    m_pProfile = dialog->profileView->chart();
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
    {
        std::lock_guard lock(m_mutex);
        m_workerEnded = true;
        m_wake.notify_all();
    }
    if (m_pDialog)
        QMetaObject::invokeMethod(
            m_pDialog.get(), [this] { OnFlightEnded(); }, Qt::QueuedConnection);
}

void CKestroWnd::FollowFlight(xml::DocumentPtr script, std::shared_ptr<FlightSampleBuffer> samples,
                              std::function<void(const std::vector<FlightSample>&)> onSamples) {
    m_script = std::move(script);
    m_samples = std::move(samples);
    m_onSamples = std::move(onSamples);
    if (!m_pDialog)
        return;
    // Four looks a second: the moving map and the figures stay within half a second of the
    // aircraft, and the worker is never waited for.
    auto* timer = new QTimer(m_pDialog.get());
    QObject::connect(timer, &QTimer::timeout, m_pDialog.get(), [this] { TakeSamples(); });
    timer->start(250);
}

void CKestroWnd::TakeSamples() {
    if (!m_samples)
        return;
    std::vector<FlightSample> taken = m_samples->Take();
    if (taken.empty())
        return;
    m_track.insert(m_track.end(), taken.begin(), taken.end());
    if (m_onSamples)
        m_onSamples(taken);
    if (m_pDialog) {
        ShowFigures();
        if (m_pProfile)
            UpdateProfileChart(*m_pProfile, m_script, m_track);
    }
}

void CKestroWnd::ShowFigures() {
    if (!m_pFigures || m_track.empty())
        return;
    const FlightSample& now = m_track.back();
    const std::vector<LegSpan> legs = FlownLegSpans(m_script, m_track);
    const auto planned = [](const std::optional<double>& value, const char* unit) {
        return value ? numbers::Format("planned %5.0f %s", *value, unit)
                     : std::string("none planned");
    };
    std::string text;
    std::optional<double> altitude, airspeed;
    if (legs.empty()) {
        text = "Take-off and climb\n";
    } else {
        const LegSpan& leg = legs.back();
        altitude = leg.altitude_ft;
        airspeed = leg.airspeed_kt;
        text = numbers::Format("Leg %zu to %.6f, %.6f%s\n", legs.size(), leg.targetLatitude_deg,
                               leg.targetLongitude_deg, leg.reached ? " (reached)" : "");
    }
    text += numbers::Format("Altitude %6.0f ft  ", now.altitude_m / tavola::kMetresPerFoot) +
            planned(altitude, "ft") + "\n";
    text +=
        numbers::Format("Airspeed %6.0f kt  ", now.airspeed_kt) + planned(airspeed, "kt") + "\n";
    text += numbers::Format("Heading  %6.0f deg true", now.heading_deg);
    if (!legs.empty()) {
        const LegSpan& leg = legs.back();
        text += numbers::Format("  course to target %3.0f",
                                ::TrueCourse(now.latitude_deg, now.longitude_deg,
                                             leg.targetLatitude_deg, leg.targetLongitude_deg));
    }
    text += numbers::Format("\nTime %6.0f s", now.time_s);
    m_pFigures->setText(QString::fromStdString(text));
}

void CKestroWnd::OnFlightEnded() {
    TakeSamples();
    if (m_track.empty() || !m_script)
        return;
    m_report = FlightReport(m_script, m_track).Text();
    if (m_pReport)
        m_pReport->setPlainText(QString::fromStdString(m_report));
}

std::string CKestroWnd::GetText() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}

QDialog* CKestroWnd::GetDialog() const {
    return m_pDialog.get();
}

} // namespace kestro
