#pragma once
// The application: start-up in order (splash, main frame with its documents, frame, show), the
// about box and shut-down.

#include "AviloDialog.h"
#include "MainFrm.h"
#include "Splash.h"

#include <QApplication>

#include <memory>

namespace avilo::planner {

/// The about box (template 100, "About Avilo").
class CAboutDlg : public CAviloDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

/// Shows the about box modally.
void ShowAboutBox(QWidget* parent);

class CAviloApp : public QApplication {
    Q_OBJECT
public:
    CAviloApp(int& argc, char** argv);
    ~CAviloApp() override;

    /// Start-up; false when the main frame cannot be created.
    bool InitInstance();
    /// Shut-down: releases the chart window resources and the frame; returns the exit code.
    int ExitInstance(int code);

    CMainFrame* MainFrame() const noexcept { return m_pMainWnd.get(); }

    CSplashWnd m_wndSplash;

private:
    std::unique_ptr<CMainFrame> m_pMainWnd;
};

} // namespace avilo::planner
