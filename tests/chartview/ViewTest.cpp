// The chart frame and view on the offscreen platform: opening, zoom, scroll bars, dragging,
// double-clicks into one plan from two charts, painting and its errors.
#include "ChartTestUtil.h"

#include <chartview/NOSFrm.h>
#include <chartview/NOSView.h>

#include <ui/Dialogs.h>

#include <cmath>

#include <QMdiArea>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>

using namespace avilo::planner;

namespace {

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

bool IsRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
}

void Send(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class ViewTest : public QObject {
    Q_OBJECT

private:
    charttest::TempDir m_dir;
    std::string m_large, m_small, m_second;
    std::vector<ui::MessageBoxRequest> m_boxes;

    std::unique_ptr<QMdiArea> MakeArea() {
        auto area = std::make_unique<QMdiArea>();
        area->resize(1000, 800);
        area->show();
        return area;
    }
    static CNOSView* OpenView(QMdiArea& area, charttest::FakeHost& host, const std::string& path,
                              QSize size = {800, 600}) {
        CNOSFrame* frame = CNOSFrame::Open(area, host, path);
        if (!frame)
            return nullptr;
        frame->resize(size);
        QCoreApplication::processEvents();
        return &frame->View();
    }

private slots:
    void initTestCase() {
        m_large = m_dir.File("large.nos");
        m_small = m_dir.File("small.nos");
        m_second = m_dir.File("second.nos");
        charttest::MakeRunChart(m_large, 4000, 3000, {{1, 4000}});
        charttest::MakeRunChart(m_small, 300, 200, {{1, 300}});
        charttest::MakeRunChart(m_second, 2500, 2000, {{1, 2500}});
        ui::SetMessageBoxHandler([this](const ui::MessageBoxRequest& request) {
            m_boxes.push_back(request);
            return ui::IDOK;
        });
    }
    void init() { m_boxes.clear(); }

    void opensWithThePathAsCaption() {
        auto area = MakeArea();
        charttest::FakeHost host;
        CNOSFrame* frame = CNOSFrame::Open(*area, host, m_large);
        QVERIFY(frame);
        QCOMPARE(frame->windowTitle(), QString::fromStdString(m_large));
        QCOMPARE(area->subWindowList().size(), 1);
        QCOMPARE(area->activeSubWindow(), frame);
        QCOMPARE(frame->View().Viewport().m_dScale, 1.0);
        QCOMPARE(frame->View().Viewport().m_nChartWidth, 4000);
        QVERIFY(m_boxes.empty());
    }

    void aChartThatCannotBeOpenedOpensNoWindow() {
        auto area = MakeArea();
        charttest::FakeHost host;
        const std::string missing = m_dir.File("missing.nos");
        QVERIFY(!CNOSFrame::Open(*area, host, missing));
        QVERIFY(area->subWindowList().isEmpty());
        QCOMPARE(m_boxes.size(), std::size_t(1));
        QVERIFY(m_boxes[0].text.find(missing) != std::string::npos);
        QCOMPARE(m_boxes[0].icon, ui::Icon::Error);
    }

    // Images that cannot be allocated: the user is told which chart and why; no window stays.
    void aChartTooLargeForMemoryOpensNoWindow() {
        auto area = MakeArea();
        charttest::FakeHost host;
        const std::string huge = m_dir.File("huge.nos");
        charttest::MakeHugeChart(huge, 1000000, 100000);
        QVERIFY(!CNOSFrame::Open(*area, host, huge));
        QVERIFY(area->subWindowList().isEmpty());
        QCOMPARE(m_boxes.size(), std::size_t(1));
        QVERIFY(m_boxes[0].text.find(huge) != std::string::npos);
        QVERIFY(m_boxes[0].text.find("not enough memory") != std::string::npos);
    }

    // Without reference data, or with a reference file whose points cannot fix a conversion,
    // every position would be 0, 0, one constant point or NaN: the chart opens, a double-click
    // adds nothing and the user is told.
    void doubleClickOnAChartWithoutReferenceData() {
        const std::string bare = m_dir.File("bare.nos");
        const struct {
            const char* what;
            const char* geo; // nullptr: no reference file
        } cases[] = {
            {"no reference file", nullptr},
            {"points on one line", "Point1=4 52 0 0\nPoint2=5 51 100 100\nPoint3=6 50 200 200\n"},
            {"a position that is not a number",
             "Point1=4 52 0 0\nPoint2=5 52 0 300\nPoint3=nan 51 76 0\n"},
        };
        for (const auto& c : cases) {
            m_boxes.clear();
            charttest::MakeRunChart(bare, 1200, 900, {{1, 1200}}, false);
            std::filesystem::remove(m_dir.File("bare.GEO"));
            if (c.geo)
                std::ofstream(m_dir.File("bare.GEO")) << c.geo;
            auto area = MakeArea();
            charttest::FakeHost host;
            CNOSView* view = OpenView(*area, host, bare);
            QVERIFY2(view, c.what);
            QVERIFY2(m_boxes.empty(), c.what);
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(200, 150));
            QVERIFY2(host.m_added.empty(), c.what);
            QCOMPARE(host.PlanRoot().childNodes().length(), 0L);
            QCOMPARE(m_boxes.size(), std::size_t(1));
            QCOMPARE(m_boxes[0].text, std::string(kNoReferenceData));
        }
    }

    // Eight steps each way; a ninth changes nothing and repaints nothing.
    void zoomLimits() {
        auto area = MakeArea();
        charttest::FakeHost host;
        CNOSView* view = OpenView(*area, host, m_large);
        QVERIFY(view);
        auto* frame = ChartFrameOf(area->activeSubWindow());
        QVERIFY(frame);
        PaintCounter paints(view->viewport());
        for (int i = 0; i < 8; ++i)
            frame->ZoomOut();
        QCoreApplication::processEvents();
        QCOMPARE(view->Viewport().m_dScale, 5.0);
        QVERIFY(paints.count > 0);
        paints.count = 0;
        frame->ZoomOut();
        QCoreApplication::processEvents();
        QCOMPARE(view->Viewport().m_dScale, 5.0);
        QCOMPARE(paints.count, 0);
        for (int i = 0; i < 8; ++i)
            frame->ZoomIn();
        QCoreApplication::processEvents();
        QCOMPARE(view->Viewport().m_dScale, 1.0);
        paints.count = 0;
        frame->ZoomIn();
        QCoreApplication::processEvents();
        QCOMPARE(paints.count, 0);
    }

    // Zoomed out, the window shows the smaller image and white beside and below it.
    void zoomOutShowsWhiteBesideTheSmallerImage() {
        auto area = MakeArea();
        charttest::FakeHost host;
        const std::string green = m_dir.File("green.nos");
        charttest::MakeRunChart(green, 1200, 900, {{3, 1200}});
        CNOSView* view = OpenView(*area, host, green);
        QVERIFY(view);
        for (int i = 0; i < 3; ++i)
            view->ZoomOut(); // factor 2.5: 480 x 360
        QCoreApplication::processEvents();
        const QImage shown = view->viewport()->grab().toImage();
        QVERIFY(shown.width() > 500 && shown.height() > 380);
        QCOMPARE(QColor(shown.pixel(100, 100)), QColor(123, 203, 123));
        QCOMPARE(QColor(shown.pixel(479, 359)), QColor(123, 203, 123));
        QCOMPARE(QColor(shown.pixel(481, 100)), QColor(Qt::white));
        QCOMPARE(QColor(shown.pixel(100, 361)), QColor(Qt::white));
    }

    void smallChartHasNoScrollBars() {
        auto area = MakeArea();
        charttest::FakeHost host;
        CNOSView* view = OpenView(*area, host, m_small);
        QVERIFY(view);
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        QVERIFY(!view->verticalScrollBar()->isVisible());
        Send(view->viewport(), QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
        Send(view->viewport(), QEvent::MouseMove, {20, 10}, Qt::LeftButton);
        Send(view->viewport(), QEvent::MouseButtonRelease, {10, 5}, Qt::NoButton);
        view->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(view->Viewport().m_nHScroll, 0);
        QCOMPARE(view->Viewport().m_nVScroll, 0);
    }

    // The bars' page actions move by 400 and land exactly on the ends.
    void pageScrollingLandsOnTheEnds() {
        auto area = MakeArea();
        charttest::FakeHost host;
        CNOSView* view = OpenView(*area, host, m_large);
        QVERIFY(view);
        QScrollBar* bar = view->horizontalScrollBar();
        QVERIFY(bar->isVisible());
        const int max = view->Viewport().Max(Axis::Horizontal);
        QCOMPARE(bar->maximum(), max);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(view->Viewport().m_nHScroll, 400);
        QCOMPARE(bar->value(), 400);
        for (int i = 0; i < 20; ++i)
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(view->Viewport().m_nHScroll, max);
        QCOMPARE(bar->value(), max);
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(view->Viewport().m_nHScroll, max - 1);
        for (int i = 0; i < 20; ++i)
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(view->Viewport().m_nHScroll, 0);
        view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(view->Viewport().m_nVScroll, view->Viewport().Max(Axis::Vertical));
    }

    // The wheel scrolls by an eighth of the view, Shift+wheel across; keys scroll; Ctrl+wheel
    // zooms through the factors keeping the chart point under the cursor.
    void wheelAndKeysScrollAndCtrlWheelZoomsAboutTheCursor() {
        auto area = MakeArea();
        charttest::FakeHost host;
        CNOSView* view = OpenView(*area, host, m_large);
        QVERIFY(view);
        const ChartViewport& vp = view->Viewport();
        const auto wheel = [&](QPoint at, int delta, Qt::KeyboardModifiers modifiers) {
            QWheelEvent event(at, view->viewport()->mapToGlobal(at), {}, {0, delta}, Qt::NoButton,
                              modifiers, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(view->viewport(), &event);
        };
        const int stepY = std::max(16, vp.m_nClientHeight / 8);
        const int stepX = std::max(16, vp.m_nClientWidth / 8);
        wheel({100, 100}, -240, Qt::NoModifier);
        QCOMPARE(vp.m_nVScroll, 2 * stepY);
        wheel({100, 100}, -120, Qt::ShiftModifier);
        QCOMPARE(vp.m_nHScroll, stepX);
        QCOMPARE(view->verticalScrollBar()->value(), 2 * stepY);
        QTest::keyClick(view, Qt::Key_Right);
        QCOMPARE(vp.m_nHScroll, stepX + std::max(8, vp.m_nClientWidth / 16));
        QTest::keyClick(view, Qt::Key_End);
        QCOMPARE(vp.m_nVScroll, vp.Max(Axis::Vertical));
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(vp.m_nHScroll, 0);
        QCOMPARE(vp.m_nVScroll, 0);

        QTest::keyClick(view, Qt::Key_PageDown);
        QCOMPARE(vp.m_nVScroll, vp.m_nClientHeight - std::max(8, vp.m_nClientHeight / 16));
        // Away from the edges, where the zoom can keep the point in place.
        view->horizontalScrollBar()->setValue(1500);
        view->verticalScrollBar()->setValue(1000);
        const QPoint anchor(300, 200);
        const ChartPoint before = vp.ClientToChart(anchor.x(), anchor.y());
        wheel(anchor, -120, Qt::ControlModifier); // out: 1.0 -> 1.5
        QCOMPARE(vp.m_dScale, 1.5);
        wheel(anchor, -60, Qt::ControlModifier); // half a notch: nothing yet
        QCOMPARE(vp.m_dScale, 1.5);
        const ChartPoint after = vp.ClientToChart(anchor.x(), anchor.y());
        QVERIFY2(
            std::abs(after.x - before.x) <= 1.5 && std::abs(after.y - before.y) <= 1.5,
            qPrintable(
                QString("%1,%2 -> %3,%4").arg(before.x).arg(before.y).arg(after.x).arg(after.y)));
        wheel(anchor, 180, Qt::ControlModifier); // the half notch back, and one in
        QCOMPARE(vp.m_dScale, 1.0);
    }

    void dragPansTheChart() {
        auto area = MakeArea();
        charttest::FakeHost host;
        CNOSView* view = OpenView(*area, host, m_large);
        QVERIFY(view);
        Send(view->viewport(), QEvent::MouseButtonPress, {400, 300}, Qt::LeftButton);
        Send(view->viewport(), QEvent::MouseMove, {350, 280}, Qt::LeftButton);
        QCOMPARE(view->Viewport().m_nHScroll, 50);
        QCOMPARE(view->Viewport().m_nVScroll, 20);
        Send(view->viewport(), QEvent::MouseButtonRelease, {300, 250}, Qt::NoButton);
        QCOMPARE(view->Viewport().m_nHScroll, 100);
        QCOMPARE(view->Viewport().m_nVScroll, 50);
        QCOMPARE(view->horizontalScrollBar()->value(), 100);
        QCOMPARE(view->verticalScrollBar()->value(), 50);
    }

    // Two charts with their own zoom: a double-click in either adds to the one plan, and each
    // draws every steer point with its own chart's conversion.
    void twoChartsAddToOnePlan() {
        auto area = MakeArea();
        charttest::FakeHost host;
        CNOSView* first = OpenView(*area, host, m_large, {600, 450});
        CNOSView* second = OpenView(*area, host, m_second, {600, 450});
        QVERIFY(first && second);
        QCOMPARE(area->subWindowList().size(), 2);
        second->ZoomOut(); // factor 1.5

        QTest::mouseDClick(first->viewport(), Qt::LeftButton, {}, QPoint(200, 150));
        QTest::mouseDClick(second->viewport(), Qt::LeftButton, {}, QPoint(300, 100));
        QCOMPARE(host.m_added.size(), std::size_t(2));
        QCOMPARE(host.PlanRoot().childNodes().length(), 2L);
        QVERIFY(std::abs(host.m_added[0].longitude - charttest::TestLongitude(200)) < 1e-6);
        QVERIFY(std::abs(host.m_added[0].latitude - charttest::TestLatitude(150)) < 1e-6);
        QVERIFY(std::abs(host.m_added[1].longitude - charttest::TestLongitude(450)) < 1e-6);
        QVERIFY(std::abs(host.m_added[1].latitude - charttest::TestLatitude(150)) < 1e-6);

        // Chart pixels (200, 150) and (450, 150): the north tick 12 pixels above each centre.
        const QImage a = first->viewport()->grab().toImage();
        QVERIFY(IsRed(a.pixel(200, 138)));
        QVERIFY(IsRed(a.pixel(450, 138)));
        const QImage b = second->viewport()->grab().toImage();
        QVERIFY(IsRed(b.pixel(133, 100 - 12)));
        QVERIFY(IsRed(b.pixel(300, 100 - 12)));
    }

    void aPlanThatCannotBeReadIsReportedOnce() {
        auto area = MakeArea();
        charttest::FakeHost host;
        xml::Node sp = host.Append(4.1, 51.9);
        xml::Node gps = sp.selectSingleNode("GPSCoordinate");
        gps.removeChild(gps.selectSingleNode("longitude"));
        CNOSView* view = OpenView(*area, host, m_large);
        QVERIFY(view);
        for (int i = 0; i < 3; ++i) {
            view->viewport()->repaint();
            QCoreApplication::processEvents();
        }
        QCOMPARE(host.m_comErrors.size(), std::size_t(1));
        // A change of the plan that keeps the fault is reported again.
        host.Append(4.2, 51.9);
        view->viewport()->repaint();
        QCoreApplication::processEvents();
        QCOMPARE(host.m_comErrors.size(), std::size_t(2));
    }

    void repaintAfterAPlanChangeReachesEveryChart() {
        auto area = MakeArea();
        charttest::FakeHost host;
        CNOSView* first = OpenView(*area, host, m_large, {600, 450});
        CNOSView* second = OpenView(*area, host, m_second, {600, 450});
        QVERIFY(first && second);
        PaintCounter a(first->viewport()), b(second->viewport());
        host.Append(4.3, 51.8);
        RepaintChartWindows(*area);
        QCoreApplication::processEvents();
        QVERIFY(a.count > 0);
        QVERIFY(b.count > 0);
    }
};

QTEST_MAIN(ViewTest)
#include "ViewTest.moc"
