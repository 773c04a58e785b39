#pragma once
// The telemetry strip chart: six line series (accel_X, accel_Y, accel_Z, Batt, engine curr L,
// engine curr R) on a black chart, a legend with a check box per series, and paging of 256 points
// per page with the page tool "ChartTool1".
//
// The whole history lives in a ChartHistory; the QChart only ever holds the points of the page it
// shows, so the cost of a new point does not grow with the length of the run. A point that lands
// on the shown page is appended to its line; a point on another page only updates the page count.
// While the operator is on the last page the chart follows new pages; after paging back it stays
// where the operator put it. Paused, the chart stops moving while its history still takes every
// point; resumed, it shows all of them (the last page, when it followed before the pause).
//
// Series are numbered 0..5 here (Series1..Series6); pages from 1. Colours are 24-bit codes with
// red in the low byte.

#include "console/chart/chart_history.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class QChart;
class QLabel;
class QLineSeries;
class QValueAxis;
class ChartBorder;
class ChartLegendCheck;
class ChartPageTool;
class TelemetryChartView;

class TelemetryChart : public QWidget {
    Q_OBJECT
public:
    explicit TelemetryChart(QWidget* parent = nullptr);

    // Adds one point to a series (index 0..5; other indices are ignored).
    void addPoint(int series, uint32_t x, double y, int colour);

    // Adds one point with this x to each series in order, each in its series' point colour.
    void addSample(uint32_t x, const double values[kChartSeriesCount]);
    // The wall-clock time of the sample just added, for the data's export.
    void noteSampleTime(int64_t epochMs) { history_.appendSampleTime(epochMs); }

    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // The chart as it is drawn now.
    QPixmap picture() { return grab(); }

    // Switches a series on or off, as its legend check box does. An inactive series keeps
    // receiving points; switching it on shows its points on the current page at once.
    void setSeriesActive(int series, bool active);
    bool seriesActive(int series) const;

    QString seriesTitle(int series) const;
    int seriesColor(int series) const;
    int seriesPointColor(int series) const;

    std::size_t pointCount(int series) const;
    // Point i of a series; a default point when there is no such point.
    ChartPoint point(int series, std::size_t i) const;
    const ChartHistory& history() const { return history_; }

    int pageCount() const;
    int currentPage() const { return currentPage_; }
    // Shows a page (limited to 1..pageCount()) with both axes at their automatic range.
    void showPage(int page);
    void nextPage();
    void previousPage();
    QString pageText() const;

    // Returns both axes to their automatic range for the current page (Chart1DblClick).
    void undoZoom();
    // The operator has zoomed or panned the chart since the last page change or undoZoom.
    bool isZoomed() const { return zoomed_; }

    QChart* chart() const { return chart_; }
    QLineSeries* lineSeries(int series) const;
    QValueAxis* axisX() const { return axisX_; }
    QValueAxis* axisY() const { return axisY_; }
    TelemetryChartView* view() const { return view_; }
    ChartPageTool* pageTool() const { return pageTool_; }
    ChartLegendCheck* legendCheck(int series) const;

signals:
    // The operator double-clicked the chart; the window connects Chart1DblClick here.
    void doubleClicked();
    // The operator asks for the chart's menu (a right click that does not pan, the menu key).
    void menuRequested(const QPoint& globalPos);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    static bool valid(int series) { return series >= 0 && series < kChartSeriesCount; }

    void loadPage(int page);
    void loadSeriesPage(int series);
    void recomputeShownRanges();
    void applyRanges();
    void updateTicks(const AxisRange& x, const AxisRange& y);
    void updatePageTool();
    void layoutParts();
    void operatorChangedRange();
    void endZoom();

    ChartHistory history_;
    std::array<bool, kChartSeriesCount> active_{};
    int currentPage_ = 1;
    int shownPageCount_ = 1;
    bool zoomed_ = false;
    bool applyingRange_ = false;
    bool paused_ = false;
    bool followOnResume_ = false; // paused on the last page

    // Extent of the points on the shown page: x over every series (the page's width does not
    // change when a series is switched), y over the active series only.
    bool hasShownX_ = false;
    uint32_t shownMinX_ = 0;
    uint32_t shownMaxX_ = 0;
    bool hasShownY_ = false;
    double shownMinY_ = 0.0;
    double shownMaxY_ = 0.0;
    AxisRange autoX_;
    AxisRange autoY_;
    int plotLeft_ = 30;
    int plotRight_ = 8;

    QChart* chart_;
    TelemetryChartView* view_;
    QValueAxis* axisX_;
    QValueAxis* axisY_;
    std::array<QLineSeries*, kChartSeriesCount> series_{};
    std::array<ChartLegendCheck*, kChartSeriesCount> legendChecks_{};
    ChartBorder* border_;
    QWidget* legend_;
    ChartPageTool* pageTool_;
    QLabel* pausedLabel_;
};
