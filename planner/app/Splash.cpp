#include "Splash.h"

#include "Resources.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

namespace avilo::planner {

CSplashWnd::CSplashWnd()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("CSplashWnd");
    setAttribute(Qt::WA_DeleteOnClose, false);
}

QPoint CSplashWnd::CentredPosition(const QSize& screen, const QSize& size) {
    return {(screen.width() - size.width()) / 2, (screen.height() - size.height()) / 2};
}

bool CSplashWnd::Create(int bitmapId) {
    m_bitmap = res::LoadBitmap(bitmapId);
    if (m_bitmap.isNull())
        return false;
    QSize screen(m_bitmap.size());
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->geometry().size();
    setFixedSize(m_bitmap.size());
    move(CentredPosition(screen, m_bitmap.size()));
    show();
    return true;
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_bitmap);
    painter.setPen(palette().color(QPalette::Dark)); // the thin border
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CSplashWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_nTimer == 0)
        m_nTimer = startTimer(200);
}

void CSplashWnd::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_nTimer)
        return;
    killTimer(m_nTimer);
    m_nTimer = 0;
    hide();
}

void CSplashWnd::focusOutEvent(QFocusEvent*) {
    if (isVisible())
        setFocus();
}

} // namespace avilo::planner
