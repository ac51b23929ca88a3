#include "AviloApp.h"

#include "Resources.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace avilo::planner {

CAboutDlg::CAboutDlg(QWidget* parent)
    : CAviloDialog(res::IDD_ABOUTBOX, "About Avilo", 235, 55, parent) {
    auto* icon = new QLabel(this);
    icon->setPixmap(res::LoadIcon(res::IDR_MAINFRAME).pixmap(32, 32));
    icon->setGeometry(m_du.rect(11, 14, 20, 20));
    AddLabel("Avilo Version 1.0", 40, 10, 119, 8);
    AddLabel("Flight planning on charts, flown in the simulator.", 40, 25, 140, 8);
    AddButton(IDOK, "OK", 178, 7, 50, 14, true);
}

void ShowAboutBox(QWidget* parent) {
    CAboutDlg about(parent);
    about.DoModal();
}

CAviloApp::CAviloApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Avilo");
    setApplicationVersion("1.0");
    setWindowIcon(res::LoadIcon(res::IDR_MAINFRAME));
}

CAviloApp::~CAviloApp() = default;

bool CAviloApp::InitInstance() {
    // The splash is painted before anything else is built and stays up during start-up.
    m_wndSplash.Create(res::IDB_SPLASH);
    m_wndSplash.repaint();
    processEvents(QEventLoop::ExcludeUserInputEvents);

    m_pMainWnd = std::make_unique<CMainFrame>();
    if (!m_pMainWnd->LoadFrame())
        return false;
    // After a flight the frame destroys itself as a window; the frame object goes once the
    // command that flew has returned, and with it the planner.
    connect(m_pMainWnd.get(), &CMainFrame::destroyRequested, this, [this] {
        QTimer::singleShot(0, this, [this] {
            m_pMainWnd.reset();
            quit();
        });
    });
    m_pMainWnd->show();
    m_wndSplash.raise();
    return true;
}

int CAviloApp::ExitInstance(int code) {
    m_pMainWnd.reset();
    return code;
}

} // namespace avilo::planner
