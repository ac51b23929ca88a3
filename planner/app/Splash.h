#pragma once
// The splash window: the splash picture, centred on the screen and top-most, destroyed by its
// timer 200 ms after it is shown; timers run only in the event loop, so it stays up during all
// of start-up.

#include <QPixmap>
#include <QWidget>

namespace avilo::planner {

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    CSplashWnd();
    /// Loads bitmap `bitmapId` and shows the window centred on the primary screen.
    virtual bool Create(int bitmapId);
    /// The top-left corner centring a picture of `size` on a screen of `screen` (whole pixels,
    /// negative when the picture is larger).
    static QPoint CentredPosition(const QSize& screen, const QSize& size);

    int m_nTimer = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPixmap m_bitmap;
};

} // namespace avilo::planner
