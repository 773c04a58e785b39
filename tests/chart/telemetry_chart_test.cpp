// The telemetry chart widget: series set-up, paging, series switching, zoom reset, the
// double-click hook and what its window really holds after a change, under the offscreen
// platform.
#include "console/chart/chart_parts.h"
#include "console/chart/telemetry_chart.h"

#include <QApplication>
#include <QChart>
#include <QElapsedTimer>
#include <QImage>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Values of sample s: each series its own easily recognised function of s.
double valueOf(int series, uint32_t s) {
    switch (series) {
    case 0:
        return double(int(s % 50) - 25); // accel X: -25..24
    case 1:
        return double(s % 7);
    case 2:
        return -double(s % 3);
    case 3:
        return 7.0 + double(s % 10) * 0.1; // battery volts
    case 4:
        return 100.0 + double(s % 100); // engine current L: 100..199
    default:
        return double(s % 255);
    }
}

void addSamples(TelemetryChart& chart, uint32_t from, uint32_t to) {
    for (uint32_t s = from; s <= to; ++s) {
        double v[kChartSeriesCount];
        for (int i = 0; i < kChartSeriesCount; ++i) {
            v[i] = valueOf(i, s);
        }
        chart.addSample(s, v);
    }
}

// Points the chart holds in a series' line.
QList<QPointF> line(const TelemetryChart& chart, int series) {
    return chart.lineSeries(series)->points();
}

// The line of a series shows exactly samples [from, to] with their values.
void expectLineShows(const TelemetryChart& chart, int series, uint32_t from, uint32_t to) {
    const QList<QPointF> pts = line(chart, series);
    ASSERT_EQ(pts.size(), qsizetype(to - from + 1)) << "series " << series;
    for (uint32_t s = from; s <= to; ++s) {
        const QPointF& p = pts[qsizetype(s - from)];
        ASSERT_EQ(p.x(), double(s)) << "series " << series;
        ASSERT_EQ(p.y(), valueOf(series, s)) << "series " << series << " x " << s;
    }
}

AxisRange range(const QValueAxis* axis) {
    return {axis->min(), axis->max()};
}

void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(TelemetryChartStart, SeriesTitlesColoursActiveFlagsAndNames) {
    TelemetryChart chart;
    const char* titles[] = {"accel_X", "accel_Y",       "accel_Z",
                            "Batt",    "engine curr L", "engine curr R"};
    const int colors[] = {255, 65280, 16776960, 16777215, 65535, 16744576};
    const bool active[] = {true, true, true, false, false, false};
    for (int i = 0; i < kChartSeriesCount; ++i) {
        const QString name = QString("Series%1").arg(i + 1);
        // The chart owns its series, so they are found below the QChart.
        auto* s = chart.chart()->findChild<QLineSeries*>(name);
        ASSERT_NE(s, nullptr) << name.toStdString();
        EXPECT_EQ(s, chart.lineSeries(i));
        EXPECT_EQ(chart.seriesTitle(i), titles[i]);
        EXPECT_EQ(s->name(), titles[i]);
        EXPECT_EQ(chart.seriesColor(i), colors[i]);
        EXPECT_EQ(s->pen().color(), chartColor(colors[i])) << name.toStdString();
        EXPECT_EQ(chart.seriesActive(i), active[i]);
        EXPECT_EQ(s->isVisible(), active[i]);
        EXPECT_EQ(chart.legendCheck(i)->isChecked(), active[i]);
        EXPECT_EQ(chart.legendCheck(i)->text(), titles[i]);
        EXPECT_EQ(s->count(), 0);
    }
    // RGB 128, 128, 255 with red in the low byte.
    EXPECT_EQ(chartColor(16744576), QColor(128, 128, 255));
    EXPECT_EQ(chart.pageText(), "Page 1 of 1");
    EXPECT_EQ(chart.pageCount(), 1);
    auto* tool = chart.findChild<ChartPageTool*>("ChartTool1");
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->text(), "Page 1 of 1");
    EXPECT_FALSE(tool->previousButton()->isEnabled());
    EXPECT_FALSE(tool->nextButton()->isEnabled());
    EXPECT_EQ(range(chart.axisX()), (AxisRange{1, 256}));
    EXPECT_FALSE(chart.isZoomed());
}

TEST(TelemetryChartPaging, FollowsNewPagesAndShowsOnlyThePage) {
    TelemetryChart chart;
    addSamples(chart, 1, 256);
    EXPECT_EQ(chart.pageText(), "Page 1 of 1");
    expectLineShows(chart, 0, 1, 256);
    EXPECT_EQ(range(chart.axisX()), (AxisRange{1, 256}));

    addSamples(chart, 257, 257); // the 257th point opens page 2, and the chart follows
    EXPECT_EQ(chart.pageCount(), 2);
    EXPECT_EQ(chart.currentPage(), 2);
    EXPECT_EQ(chart.pageText(), "Page 2 of 2");
    EXPECT_EQ(chart.pageTool()->text(), "Page 2 of 2");
    for (int i = 0; i < 3; ++i) {
        expectLineShows(chart, i, 257, 257);
    }
    // The last page is not stretched: it spans a full page's width.
    EXPECT_EQ(range(chart.axisX()), (AxisRange{257, 512}));
    EXPECT_TRUE(chart.pageTool()->previousButton()->isEnabled());
    EXPECT_FALSE(chart.pageTool()->nextButton()->isEnabled());

    addSamples(chart, 258, 300);
    expectLineShows(chart, 1, 257, 300);
    EXPECT_EQ(range(chart.axisX()), (AxisRange{257, 512}));
    EXPECT_FALSE(chart.isZoomed());
}

TEST(TelemetryChartPaging, StaysOnAPagedBackPageWhileThePageCountGrows) {
    TelemetryChart chart;
    addSamples(chart, 1, 300);
    chart.pageTool()->previousButton()->click();
    EXPECT_EQ(chart.currentPage(), 1);
    EXPECT_EQ(chart.pageText(), "Page 1 of 2");
    expectLineShows(chart, 2, 1, 256);
    EXPECT_EQ(range(chart.axisX()), (AxisRange{1, 256}));

    addSamples(chart, 301, 600); // pages 2 and 3 fill while the operator looks at page 1
    EXPECT_EQ(chart.currentPage(), 1);
    EXPECT_EQ(chart.pageText(), "Page 1 of 3");
    EXPECT_EQ(chart.pageTool()->text(), "Page 1 of 3");
    expectLineShows(chart, 0, 1, 256);

    chart.pageTool()->nextButton()->click();
    EXPECT_EQ(chart.pageText(), "Page 2 of 3");
    expectLineShows(chart, 0, 257, 512);
    EXPECT_EQ(range(chart.axisX()), (AxisRange{257, 512}));

    chart.nextPage();
    EXPECT_EQ(chart.pageText(), "Page 3 of 3");
    expectLineShows(chart, 0, 513, 600);
    EXPECT_EQ(range(chart.axisX()), (AxisRange{513, 768}));
    chart.nextPage(); // no page 4: stays
    EXPECT_EQ(chart.currentPage(), 3);

    // Back on the last page the chart follows again.
    addSamples(chart, 601, 770);
    EXPECT_EQ(chart.pageText(), "Page 4 of 4");
    expectLineShows(chart, 0, 769, 770);

    chart.showPage(0);
    EXPECT_EQ(chart.currentPage(), 1);
    chart.showPage(99);
    EXPECT_EQ(chart.currentPage(), 4);
}

TEST(TelemetryChartPaging, LineNeverHoldsMoreThanAPage) {
    TelemetryChart chart;
    chart.setSeriesActive(5, true);
    addSamples(chart, 1, 3000);
    EXPECT_EQ(chart.pointCount(5), 3000u);
    for (int i = 0; i < kChartSeriesCount; ++i) {
        EXPECT_LE(line(chart, i).size(), qsizetype(kPointsPerPage));
    }
    expectLineShows(chart, 5, 2817, 3000);
}

TEST(TelemetryChartSeries, InactiveSeriesReceivePointsAndShowThemWhenSwitchedOn) {
    TelemetryChart chart;
    addSamples(chart, 1, 200);
    for (int i = 3; i < kChartSeriesCount; ++i) {
        EXPECT_EQ(chart.pointCount(i), 200u) << i;
        EXPECT_EQ(line(chart, i).size(), 0) << i;
        EXPECT_FALSE(chart.lineSeries(i)->isVisible());
    }
    const AxisRange accelOnly = range(chart.axisY());
    EXPECT_EQ(accelOnly, chartAutoYRange(true, -25, 24));

    // The operator ticks "engine curr L" in the legend.
    chart.legendCheck(4)->click();
    EXPECT_TRUE(chart.seriesActive(4));
    EXPECT_TRUE(chart.lineSeries(4)->isVisible());
    expectLineShows(chart, 4, 1, 200);
    EXPECT_EQ(range(chart.axisY()), chartAutoYRange(true, -25, 199));

    // While on, new points go onto its line too.
    addSamples(chart, 201, 210);
    expectLineShows(chart, 4, 1, 210);

    // Off again: the line empties, the axis returns to the active series, points keep coming.
    chart.legendCheck(4)->click();
    EXPECT_FALSE(chart.seriesActive(4));
    EXPECT_EQ(line(chart, 4).size(), 0);
    EXPECT_EQ(range(chart.axisY()), accelOnly);
    addSamples(chart, 211, 220);
    EXPECT_EQ(chart.pointCount(4), 220u);

    // Switched on from code, the legend follows.
    chart.setSeriesActive(3, true);
    EXPECT_TRUE(chart.legendCheck(3)->isChecked());
    expectLineShows(chart, 3, 1, 220);
    EXPECT_FALSE(chart.isZoomed());
}

TEST(TelemetryChartSeries, SwitchedOnSeriesShowsItsPointsOnAPagedBackPage) {
    TelemetryChart chart;
    addSamples(chart, 1, 700);
    chart.showPage(2);
    chart.setSeriesActive(5, true);
    expectLineShows(chart, 5, 257, 512);
}

TEST(TelemetryChartSeries, PointColoursAreKeptPerPoint) {
    TelemetryChart chart;
    addSamples(chart, 1, 3);
    const int pointColors[] = {255, 65280, 16776960, 16777215, 65535, 8388736};
    for (int i = 0; i < kChartSeriesCount; ++i) {
        EXPECT_EQ(chart.point(i, 2), (ChartPoint{3, valueOf(i, 3), pointColors[i]})) << i;
    }
    EXPECT_NE(chart.point(5, 0).color, chart.seriesColor(5)); // purple points, blue-ish line
    chart.addPoint(0, 4, 1.5, 33023);
    EXPECT_EQ(chart.point(0, 3), (ChartPoint{4, 1.5, 33023}));
    EXPECT_EQ(chart.point(0, 2).color, 255);
    // Bad indices change nothing and read as a default point.
    chart.addPoint(6, 5, 1.0, 255);
    chart.addPoint(-1, 5, 1.0, 255);
    EXPECT_EQ(chart.pointCount(6), 0u);
    EXPECT_EQ(chart.point(0, 99), ChartPoint{});
    EXPECT_EQ(chart.point(7, 0), ChartPoint{});
}

TEST(TelemetryChartZoom, UndoZoomRestoresTheAutomaticRangeOfThePage) {
    TelemetryChart chart;
    chart.show();
    addSamples(chart, 1, 100);
    const AxisRange autoX = range(chart.axisX());
    EXPECT_EQ(autoX, (AxisRange{1, 256}));
    EXPECT_EQ(range(chart.axisY()), chartAutoYRange(true, -25, 24));

    const QRectF plot = chart.chart()->plotArea();
    chart.chart()->zoomIn(QRectF(plot.center(), plot.size() / 4));
    EXPECT_TRUE(chart.isZoomed());
    const AxisRange zoomedX = range(chart.axisX());
    const AxisRange zoomedY = range(chart.axisY());
    EXPECT_NE(zoomedX, autoX);

    // New points, also ones beyond the shown values, leave the zoomed axes alone.
    chart.addPoint(0, 101, 500.0, 255);
    EXPECT_EQ(range(chart.axisX()), zoomedX);
    EXPECT_EQ(range(chart.axisY()), zoomedY);

    chart.undoZoom();
    EXPECT_FALSE(chart.isZoomed());
    EXPECT_EQ(range(chart.axisX()), autoX);
    EXPECT_EQ(range(chart.axisY()), chartAutoYRange(true, -25, 500));

    // Undoing without a zoom changes nothing.
    chart.undoZoom();
    EXPECT_EQ(range(chart.axisY()), chartAutoYRange(true, -25, 500));

    // Panning counts as zooming too.
    chart.chart()->scroll(30, 10);
    EXPECT_TRUE(chart.isZoomed());
    chart.undoZoom();
    EXPECT_EQ(range(chart.axisX()), autoX);
}

TEST(TelemetryChartZoom, MouseDragZoomsAndDoubleClickSignals) {
    TelemetryChart chart;
    chart.show();
    addSamples(chart, 1, 100);
    int doubleClicks = 0;
    QObject::connect(&chart, &TelemetryChart::doubleClicked, [&] { ++doubleClicks; });
    QWidget* vp = chart.view()->viewport();
    const QPoint c = chart.chart()->plotArea().center().toPoint();

    // A double click neither zooms nor changes the range; it tells the window.
    const AxisRange before = range(chart.axisX());
    sendMouse(vp, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, c, Qt::LeftButton, Qt::NoButton);
    sendMouse(vp, QEvent::MouseButtonDblClick, c, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, c, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_FALSE(chart.isZoomed());
    EXPECT_EQ(range(chart.axisX()), before);

    // A drag with the left button zooms into the dragged rectangle.
    sendMouse(vp, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseMove, c + QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    sendMouse(vp, QEvent::MouseButtonRelease, c + QPoint(40, 30), Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(chart.isZoomed());
    EXPECT_LT(chart.axisX()->max() - chart.axisX()->min(), 255.0);

    chart.undoZoom();
    EXPECT_EQ(range(chart.axisX()), before);
    EXPECT_FALSE(chart.isZoomed());
}

TEST(TelemetryChartZoom, PageChangeShowsTheNewPageAtItsAutomaticRange) {
    TelemetryChart chart;
    addSamples(chart, 1, 300);
    chart.chart()->zoomIn(QRectF(chart.chart()->plotArea().center(), QSizeF(20, 20)));
    EXPECT_TRUE(chart.isZoomed());
    chart.previousPage();
    EXPECT_FALSE(chart.isZoomed());
    EXPECT_EQ(range(chart.axisX()), (AxisRange{1, 256}));
}

// Pixels of the chart's window as its backing store holds them (what the window system was
// given) that differ from a fresh paint of the whole chart; -1 when the sizes differ.
int pixelsLeftOver(TelemetryChart& chart) {
    const QImage shown =
        chart.screen()->grabWindow(chart.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.size() != fresh.size()) {
        return -1;
    }
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            differing += shown.pixel(x, y) != fresh.pixel(x, y) ? 1 : 0;
        }
    }
    return differing;
}

// Runs the event loop until the window holds what a full paint gives (bounded); the pixels left
// over at the end.
int pixelsLeftOverOnceSettled(TelemetryChart& chart) {
    QElapsedTimer clock;
    clock.start();
    int left = 0;
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        left = pixelsLeftOver(chart);
    } while (left != 0 && clock.elapsed() < 3000);
    return left;
}

// A widget over the view (a legend box, a page button) repaints right after the operator's
// click, before the chart's scene has handed its changes to the view. The axis labels, ticks
// and lines that moved must still leave no pixels at their old places.
TEST(TelemetryChartRepaint, MovedLabelsAndLinesLeaveNothingBehindAfterLegendClicks) {
    TelemetryChart chart;
    chart.show();
    // Small values as a robot standing still gives them: the accelerations near zero, the
    // battery at 6.2 V.
    for (uint32_t s = 1; s <= 40; ++s) {
        const double v[kChartSeriesCount] = {
            -2.0 + double(s % 2), double(s % 3) * 0.5, 0.5, 6.2, 10.0, 12.0};
        chart.addSample(s, v);
    }
    ASSERT_EQ(pixelsLeftOverOnceSettled(chart), 0) << "the shown chart is not what it paints";

    // Batt on, accel_X off (narrower labels), accel_X on, Batt off: each moves the value axis.
    for (int series : {3, 0, 0, 3}) {
        const AxisRange before = range(chart.axisY());
        ChartLegendCheck* check = chart.legendCheck(series);
        check->click();
        check->repaint();
        ASSERT_NE(range(chart.axisY()), before) << chart.seriesTitle(series).toStdString();
        EXPECT_EQ(pixelsLeftOverOnceSettled(chart), 0)
            << chart.seriesTitle(series).toStdString() << " switched "
            << (chart.seriesActive(series) ? "on" : "off");
    }
}

TEST(TelemetryChartRepaint, PagingWithThePageToolLeavesNoOldAxisLabels) {
    TelemetryChart chart;
    chart.show();
    // accel_X swings on the first page and hardly moves on the second: the value axis differs.
    for (uint32_t s = 1; s <= 300; ++s) {
        const double x = s <= 256 ? double(int(s % 50) - 25) : double(s % 3);
        const double v[kChartSeriesCount] = {x, double(s % 2), 0.5, 6.2, 10.0, 12.0};
        chart.addSample(s, v);
    }
    ASSERT_EQ(chart.currentPage(), 2);
    ASSERT_EQ(pixelsLeftOverOnceSettled(chart), 0) << "the shown chart is not what it paints";

    ChartPageButton* previous = chart.pageTool()->previousButton();
    previous->click();
    previous->repaint();
    ASSERT_EQ(chart.currentPage(), 1);
    EXPECT_EQ(pixelsLeftOverOnceSettled(chart), 0) << "after paging back";

    // Forward again: narrower labels.
    ChartPageButton* next = chart.pageTool()->nextButton();
    next->click();
    next->repaint();
    ASSERT_EQ(chart.currentPage(), 2);
    EXPECT_EQ(pixelsLeftOverOnceSettled(chart), 0) << "after paging forward";
}

} // namespace

namespace {

TEST(TelemetryChartPause, KeepsStillWhilePausedAndShowsAllItCollectedOnResume) {
    TelemetryChart chart;
    addSamples(chart, 1, 100);
    chart.setPaused(true);
    const AxisRange y = range(chart.axisY());
    addSamples(chart, 101, 300); // a second page meanwhile
    expectLineShows(chart, 0, 1, 100);
    EXPECT_EQ(chart.pageTool()->text(), "Page 1 of 1");
    EXPECT_EQ(range(chart.axisY()), y);
    EXPECT_EQ(chart.pointCount(0), 300u);
    chart.setPaused(false);
    EXPECT_EQ(chart.pageTool()->text(), "Page 2 of 2"); // it followed before the pause
    expectLineShows(chart, 0, 257, 300);

    // Paused on a page paged back to, it stays there when resumed, the page count grown.
    chart.showPage(1);
    chart.setPaused(true);
    addSamples(chart, 301, 600);
    chart.setPaused(false);
    EXPECT_EQ(chart.pageTool()->text(), "Page 1 of 3");
    expectLineShows(chart, 2, 1, 256);
}

TEST(TelemetryChartMenu, ARightClickThatDoesNotPanAsksForTheMenu) {
    TelemetryChart chart;
    chart.show();
    addSamples(chart, 1, 100);
    int asked = 0;
    QObject::connect(&chart, &TelemetryChart::menuRequested, [&] { ++asked; });
    QWidget* vp = chart.view()->viewport();
    const QPoint c = chart.chart()->plotArea().center().toPoint();
    sendMouse(vp, QEvent::MouseButtonPress, c, Qt::RightButton, Qt::RightButton);
    sendMouse(vp, QEvent::MouseButtonRelease, c, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(chart.isZoomed());
    // A right drag pans, and asks for nothing.
    sendMouse(vp, QEvent::MouseButtonPress, c, Qt::RightButton, Qt::RightButton);
    sendMouse(vp, QEvent::MouseMove, c + QPoint(40, 0), Qt::NoButton, Qt::RightButton);
    sendMouse(vp, QEvent::MouseButtonRelease, c + QPoint(40, 0), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(chart.isZoomed());
}

} // namespace
