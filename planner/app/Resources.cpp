#include "Resources.h"

#include <chartview/ChartRenderer.h>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <map>

namespace avilo::planner::res {
namespace {

const std::map<int, const char*>& StringTable() {
    static const std::map<int, const char*> table{
        {128, "Avilo"},
        {57344, "Avilo"},
        {57345, "Ready"},
        {32773, "Zoom out\nZoom out"},
        {32774, "Zoom in\nZoom in"},
        {32783, "Opens a NOS/GEO sectional chart\nOpen Chart"},
        {32784, "Loads Flight Plan\nLoad"},
        {32785, "Saves Flight Plan\nSave"},
        {32786, "Clears Flight Plan\nClear"},
        {57665, "Quit the application\nExit"},
        {59392, "Show or hide the toolbar\nToggle ToolBar"},
        {59393, "Show or hide the status bar\nToggle StatusBar"},
        // The framework's standard prompts.
        {57664, "Display program information, version number and copyright\nAbout"},
        {57680, "Switch to the next window pane\nNext Pane"},
        {57681, "Switch back to the previous window pane\nPrevious Pane"},
    };
    return table;
}

/// A small aircraft seen from above, pointing up, centred in a square of side `size`.
void DrawAircraft(QPainter& p, double size, const QColor& colour) {
    const double u = size / 32.0;
    QPainterPath plane;
    plane.moveTo(16 * u, 3 * u); // nose
    plane.cubicTo(17.6 * u, 3 * u, 17.6 * u, 7 * u, 17.6 * u, 11 * u);
    plane.lineTo(29 * u, 17 * u); // right wing
    plane.lineTo(29 * u, 19.5 * u);
    plane.lineTo(17.6 * u, 17 * u);
    plane.lineTo(17.2 * u, 24 * u);
    plane.lineTo(21.5 * u, 27 * u); // right tail plane
    plane.lineTo(21.5 * u, 29 * u);
    plane.lineTo(16 * u, 27.5 * u);
    plane.lineTo(10.5 * u, 29 * u);
    plane.lineTo(10.5 * u, 27 * u);
    plane.lineTo(14.8 * u, 24 * u);
    plane.lineTo(14.4 * u, 17 * u);
    plane.lineTo(3 * u, 19.5 * u);
    plane.lineTo(3 * u, 17 * u);
    plane.lineTo(14.4 * u, 11 * u);
    plane.cubicTo(14.4 * u, 7 * u, 14.4 * u, 3 * u, 16 * u, 3 * u);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(plane);
}

QPixmap ApplicationPicture(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient sky(size * 0.35, size * 0.3, size * 0.8);
    sky.setColorAt(0, QColor(120, 190, 250));
    sky.setColorAt(1, QColor(20, 80, 170));
    p.setBrush(sky);
    p.setPen(QPen(QColor(10, 40, 90), size / 32.0));
    p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    DrawAircraft(p, size, Qt::white);
    return pixmap;
}

// The marker the chart windows draw, so that the icon and the charts show the same picture.
QPixmap SteerPointPicture() {
    return QPixmap::fromImage(ChartRenderer::SteerPointIcon());
}

QPixmap Magnifier(bool plus) {
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 9.5), QPointF(14.5, 14));
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    p.setBrush(QColor(225, 240, 255));
    p.drawEllipse(QPointF(6.5, 6), 5, 5);
    p.setPen(QPen(QColor(0, 0, 160), 1.4));
    p.drawLine(QPointF(4, 6), QPointF(9, 6));
    if (plus)
        p.drawLine(QPointF(6.5, 3.5), QPointF(6.5, 8.5));
    return pixmap;
}

QPixmap OpenChartImage() {
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A folded chart: three panels, with a route across them.
    const QPolygonF chart{{1, 3},     {5.5, 1.5}, {10.5, 3},   {15, 1.5},
                          {15, 12.5}, {10.5, 14}, {5.5, 12.5}, {1, 14}};
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(QColor(250, 236, 180));
    p.drawPolygon(chart);
    p.setPen(QPen(QColor(120, 120, 120), 0.8));
    p.drawLine(QPointF(5.5, 1.5), QPointF(5.5, 12.5));
    p.drawLine(QPointF(10.5, 3), QPointF(10.5, 14));
    p.setBrush(QColor(150, 200, 240));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(11.5, 6), 2.2, 1.6);
    p.setPen(QPen(QColor(200, 0, 0), 1.2));
    p.drawPolyline(QPolygonF{{2.5, 11}, {6.5, 6}, {9.5, 9}, {13.5, 4}});
    return pixmap;
}

} // namespace

QString LoadString(int id) {
    const auto it = StringTable().find(id);
    return it == StringTable().end() ? QString() : QString::fromUtf8(it->second);
}

QString Prompt(int id) {
    return LoadString(id).section('\n', 0, 0);
}

QString ToolTip(int id) {
    return LoadString(id).section('\n', 1, 1);
}

QIcon LoadIcon(int id) {
    if (id == IDI_STEERPOINT)
        return QIcon(SteerPointPicture());
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(ApplicationPicture(size));
    return icon;
}

QIcon ToolBarImage(int command) {
    switch (command) {
    case ID_OPEN_CHART:
        return QIcon(OpenChartImage());
    case ID_ZOOM_OUT:
        return QIcon(Magnifier(false));
    case ID_ZOOM_IN:
        return QIcon(Magnifier(true));
    default:
        return {};
    }
}

QPixmap LoadBitmap(int /*id*/) {
    const int w = 456, h = 269;
    QPixmap pixmap(w, h);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(25, 70, 150));
    sky.setColorAt(0.65, QColor(120, 180, 235));
    sky.setColorAt(0.651, QColor(95, 140, 80));
    sky.setColorAt(1, QColor(60, 100, 50));
    p.fillRect(pixmap.rect(), sky);
    // A route over the ground: three steer points joined by a line.
    const QPointF route[] = {{60, 240}, {190, 205}, {330, 230}, {420, 195}};
    p.setPen(QPen(QColor(255, 230, 120), 2, Qt::DashLine));
    p.drawPolyline(route, 4);
    const QPixmap marker = SteerPointPicture();
    for (const QPointF& point : route)
        p.drawPixmap(point - QPointF(8, 8),
                     marker.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    p.save();
    p.translate(300, 55);
    p.rotate(60);
    DrawAircraft(p, 90, QColor(250, 250, 250));
    p.restore();
    QFont title("Sans Serif", 44, QFont::Bold);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(30, 40, 300, 70), Qt::AlignLeft | Qt::AlignVCenter, "Avilo");
    QFont subtitle("Sans Serif", 12);
    p.setFont(subtitle);
    p.drawText(QRect(34, 108, 300, 24), Qt::AlignLeft, "Flight planner and autopilot");
    p.drawText(QRect(34, 130, 300, 24), Qt::AlignLeft, "Version 1.0");
    return pixmap;
}

} // namespace avilo::planner::res
