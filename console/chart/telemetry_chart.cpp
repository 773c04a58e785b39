#include "console/chart/telemetry_chart.h"

#include "console/chart/chart_parts.h"

#include <QChart>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBorderColor = 8552960;     // RGB 0, 130, 130
constexpr int kBottomMinorGrid = 5987163; // RGB 91, 91, 91
constexpr int kLeftMinorGrid = 6579300;   // RGB 100, 100, 100
constexpr int kAxisFontPixels = 9;
constexpr int kMinorTicks = 10;

// Geometry of the parts inside the chart, in pixels.
constexpr int kToolTop = 3;
constexpr int kLabelGap = 12; // least room between two x labels
constexpr int kPlotTop = 21;
constexpr int kAxisLabelHeight = 13;
constexpr int kLegendRowHeight = 10; // 9-pixel text, rows drawn close together
constexpr int kLegendColumns = 3;

// One pixel wide whatever the scale. A zero-width pen also spares the chart from working out a
// stroke outline for every grid line to find its bounds, which costs more than drawing it.
QPen hairline(const QColor& colour, Qt::PenStyle style) {
    return QPen(colour, 0, style);
}

void styleAxis(QValueAxis* axis, int minorGridCode) {
    QFont font;
    font.setPixelSize(kAxisFontPixels);
    axis->setLabelsFont(font);
    axis->setLabelsColor(QColor(190, 190, 190));
    axis->setLinePen(hairline(QColor(128, 128, 128), Qt::SolidLine));
    axis->setGridLineVisible(true);
    axis->setGridLinePen(hairline(QColor(128, 128, 128), Qt::DotLine));
    axis->setMinorTickCount(kMinorTicks);
    axis->setMinorGridLineVisible(true);
    QColor minor = chartColor(minorGridCode);
    minor.setAlpha(70);
    axis->setMinorGridLinePen(hairline(minor, Qt::DotLine));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0.0);
}

// Ticks at round values; returns the decimals of the labels.
int setTicks(QValueAxis* axis, const AxisRange& range, int maxTicks) {
    const double interval = chartTickInterval(range.max - range.min, maxTicks);
    const int decimals = chartTickDecimals(interval);
    axis->setTickInterval(interval);
    axis->setLabelFormat(QString("%.%1f").arg(decimals));
    return decimals;
}

} // namespace

TelemetryChart::TelemetryChart(QWidget* parent)
    : QWidget(parent), chart_(new QChart), view_(new TelemetryChartView(chart_, this)),
      axisX_(new QValueAxis(chart_)), axisY_(new QValueAxis(chart_)),
      border_(new ChartBorder(kBorderColor, this)), legend_(new QWidget(this)),
      pageTool_(new ChartPageTool(this)), pausedLabel_(new QLabel(QStringLiteral("PAUSED"), this)) {
    setAttribute(Qt::WA_StyledBackground);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);

    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->setBackgroundBrush(Qt::black);
    chart_->setBackgroundPen(Qt::NoPen); // the border is drawn by border_
    chart_->setBackgroundRoundness(0);
    chart_->setMargins(QMargins(0, 0, 1, 0));
    chart_->layout()->setContentsMargins(0, 0, 0, 0);
    chart_->setPlotAreaBackgroundVisible(false);
    chart_->legend()->hide(); // the legend with check boxes is ours
    chart_->setTitle(QString());

    styleAxis(axisX_, kBottomMinorGrid);
    styleAxis(axisY_, kLeftMinorGrid);
    chart_->addAxis(axisX_, Qt::AlignBottom);
    chart_->addAxis(axisY_, Qt::AlignLeft);

    auto* legendLayout = new QGridLayout(legend_);
    legendLayout->setContentsMargins(0, 0, 0, 0);
    legendLayout->setHorizontalSpacing(8);
    legendLayout->setVerticalSpacing(0);
    legend_->setObjectName("Chart1Legend");
    legend_->setAttribute(Qt::WA_TranslucentBackground);

    for (int i = 0; i < kChartSeriesCount; ++i) {
        const ChartSeriesInfo& info = kChartSeries[i];
        auto* s = new QLineSeries(chart_);
        s->setObjectName(info.name);
        s->setName(info.title);
        s->setPen(QPen(chartColor(info.color), 1));
        s->setPointsVisible(false);
        chart_->addSeries(s);
        s->attachAxis(axisX_);
        s->attachAxis(axisY_);
        active_[i] = info.activeAtStart;
        s->setVisible(active_[i]);
        series_[i] = s;

        auto* check = new ChartLegendCheck(info.title, info.color, legend_);
        check->setObjectName(QString(info.name) + "Legend");
        check->setChecked(active_[i]);
        legendLayout->addWidget(check, i / kLegendColumns, i % kLegendColumns, Qt::AlignLeft);
        connect(check, &QAbstractButton::toggled, this,
                [this, i](bool on) { setSeriesActive(i, on); });
        legendChecks_[i] = check;
    }

    connect(axisX_, &QValueAxis::rangeChanged, this, [this] { operatorChangedRange(); });
    connect(axisY_, &QValueAxis::rangeChanged, this, [this] { operatorChangedRange(); });
    connect(view_, &TelemetryChartView::doubleClicked, this, &TelemetryChart::doubleClicked);
    connect(view_, &TelemetryChartView::menuRequested, this, &TelemetryChart::menuRequested);
    connect(pageTool_, &ChartPageTool::previousClicked, this, &TelemetryChart::previousPage);
    connect(pageTool_, &ChartPageTool::nextClicked, this, &TelemetryChart::nextPage);

    pausedLabel_->setObjectName("Chart1Paused");
    QFont pausedFont = pausedLabel_->font();
    pausedFont.setPixelSize(kAxisFontPixels + 1);
    pausedFont.setBold(true);
    pausedLabel_->setFont(pausedFont);
    pausedLabel_->setStyleSheet(QStringLiteral("color: #ff4040; background: transparent;"));
    pausedLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    pausedLabel_->hide();

    border_->raise();
    pageTool_->raise();
    legend_->raise();
    pausedLabel_->raise();
    recomputeShownRanges();
    applyRanges();
    updatePageTool();
    resize(283, 261);
}

// --- Points --------------------------------------------------------------------------------------

void TelemetryChart::addPoint(int series, uint32_t x, double y, int colour) {
    if (!valid(series)) {
        return;
    }
    history_.append(series, x, y, colour);
    if (paused_) {
        return; // kept; shown on resume
    }
    const bool following = currentPage_ == shownPageCount_;
    const int page = chartPageOfIndex(history_.size(series) - 1);

    if (page != currentPage_) {
        // Not on the shown page: only the page count changes, unless the operator is on the last
        // page and this point opens the next one.
        if (following && page > currentPage_) {
            loadPage(page);
        } else {
            updatePageTool();
        }
        return;
    }

    bool xChanged = false;
    if (!hasShownX_) {
        hasShownX_ = true;
        shownMinX_ = shownMaxX_ = x;
        xChanged = true;
    } else if (x < shownMinX_ || x > shownMaxX_) {
        shownMinX_ = std::min(shownMinX_, x);
        shownMaxX_ = std::max(shownMaxX_, x);
        xChanged = true;
    }
    bool yChanged = false;
    if (active_[series]) {
        series_[series]->append(double(x), y);
        if (std::isfinite(y)) {
            if (!hasShownY_) {
                hasShownY_ = true;
                shownMinY_ = shownMaxY_ = y;
                yChanged = true;
            } else if (y < shownMinY_ || y > shownMaxY_) {
                shownMinY_ = std::min(shownMinY_, y);
                shownMaxY_ = std::max(shownMaxY_, y);
                yChanged = true;
            }
        }
    }
    if (xChanged) {
        const AxisRange r = chartPageXRange(true, shownMinX_, shownMaxX_);
        xChanged = !(r == autoX_);
        autoX_ = r;
    }
    if (yChanged) {
        autoY_ = chartAutoYRange(hasShownY_, shownMinY_, shownMaxY_);
    }
    if ((xChanged || yChanged) && !zoomed_) {
        applyRanges();
    }
    if (shownPageCount_ != pageCount()) {
        updatePageTool();
    }
}

void TelemetryChart::addSample(uint32_t x, const double values[kChartSeriesCount]) {
    for (int i = 0; i < kChartSeriesCount; ++i) {
        addPoint(i, x, values[i], kChartSeries[i].pointColor);
    }
}

std::size_t TelemetryChart::pointCount(int series) const {
    return history_.size(series);
}

ChartPoint TelemetryChart::point(int series, std::size_t i) const {
    if (i >= history_.size(series)) {
        return {};
    }
    return history_.point(series, i);
}

// --- Series --------------------------------------------------------------------------------------

void TelemetryChart::setSeriesActive(int series, bool active) {
    if (!valid(series) || active_[series] == active) {
        return;
    }
    active_[series] = active;
    {
        const QSignalBlocker block(legendChecks_[series]);
        legendChecks_[series]->setChecked(active);
    }
    loadSeriesPage(series);
    series_[series]->setVisible(active);
    recomputeShownRanges();
    if (!zoomed_) {
        applyRanges();
    }
}

bool TelemetryChart::seriesActive(int series) const {
    return valid(series) && active_[series];
}

QString TelemetryChart::seriesTitle(int series) const {
    return valid(series) ? QString(kChartSeries[series].title) : QString();
}

int TelemetryChart::seriesColor(int series) const {
    return valid(series) ? kChartSeries[series].color : 0;
}

int TelemetryChart::seriesPointColor(int series) const {
    return valid(series) ? kChartSeries[series].pointColor : 0;
}

QLineSeries* TelemetryChart::lineSeries(int series) const {
    return valid(series) ? series_[series] : nullptr;
}

ChartLegendCheck* TelemetryChart::legendCheck(int series) const {
    return valid(series) ? legendChecks_[series] : nullptr;
}

// --- Pages ---------------------------------------------------------------------------------------

int TelemetryChart::pageCount() const {
    return chartPageCount(history_.maxSize());
}

void TelemetryChart::showPage(int page) {
    loadPage(std::clamp(page, 1, pageCount()));
}

void TelemetryChart::nextPage() {
    showPage(currentPage_ + 1);
}

void TelemetryChart::previousPage() {
    showPage(currentPage_ - 1);
}

QString TelemetryChart::pageText() const {
    return QString::fromStdString(chartPageText(currentPage_, pageCount()));
}

void TelemetryChart::setPaused(bool paused) {
    if (paused == paused_) {
        return;
    }
    paused_ = paused;
    pausedLabel_->setVisible(paused);
    if (paused) {
        followOnResume_ = currentPage_ == shownPageCount_;
        return;
    }
    loadPage(followOnResume_ ? pageCount() : currentPage_);
}

void TelemetryChart::loadPage(int page) {
    currentPage_ = page;
    if (paused_) {
        followOnResume_ = page == pageCount(); // the operator pages while paused
    }
    for (int i = 0; i < kChartSeriesCount; ++i) {
        loadSeriesPage(i);
    }
    recomputeShownRanges();
    endZoom();
    applyRanges();
    updatePageTool();
}

// Gives a series' line the points of the current page (none while the series is off).
void TelemetryChart::loadSeriesPage(int series) {
    QLineSeries* s = series_[series];
    const auto [first, end] = chartPagePoints(currentPage_, history_.size(series));
    if (!active_[series] || first == end) {
        if (s->count() > 0) {
            s->clear();
        }
        return;
    }
    const uint32_t* xs = history_.xData(series, first);
    const double* ys = history_.yData(series, first);
    QList<QPointF> points;
    points.reserve(qsizetype(end - first));
    for (std::size_t i = 0; i < end - first; ++i) {
        points.append(QPointF(double(xs[i]), ys[i]));
    }
    s->replace(points);
}

void TelemetryChart::recomputeShownRanges() {
    hasShownX_ = hasShownY_ = false;
    for (int i = 0; i < kChartSeriesCount; ++i) {
        const auto [first, end] = chartPagePoints(currentPage_, history_.size(i));
        if (first == end) {
            continue;
        }
        const uint32_t* xs = history_.xData(i, first);
        const double* ys = history_.yData(i, first);
        for (std::size_t k = 0; k < end - first; ++k) {
            if (!hasShownX_) {
                hasShownX_ = true;
                shownMinX_ = shownMaxX_ = xs[k];
            } else {
                shownMinX_ = std::min(shownMinX_, xs[k]);
                shownMaxX_ = std::max(shownMaxX_, xs[k]);
            }
            if (!active_[i] || !std::isfinite(ys[k])) {
                continue;
            }
            if (!hasShownY_) {
                hasShownY_ = true;
                shownMinY_ = shownMaxY_ = ys[k];
            } else {
                shownMinY_ = std::min(shownMinY_, ys[k]);
                shownMaxY_ = std::max(shownMaxY_, ys[k]);
            }
        }
    }
    autoX_ = chartPageXRange(hasShownX_, shownMinX_, shownMaxX_);
    autoY_ = chartAutoYRange(hasShownY_, shownMinY_, shownMaxY_);
}

// --- Axes and zoom -------------------------------------------------------------------------------

void TelemetryChart::applyRanges() {
    applyingRange_ = true;
    axisX_->setRange(autoX_.min, autoX_.max);
    axisY_->setRange(autoY_.min, autoY_.max);
    applyingRange_ = false;
    updateTicks(autoX_, autoY_);
}

// Chooses the tick intervals for the shown ranges so that the x labels do not run into each
// other, and gives the plot room for the widest labels.
void TelemetryChart::updateTicks(const AxisRange& x, const AxisRange& y) {
    const QFontMetrics fm(axisX_->labelsFont());
    const int xLabel = fm.horizontalAdvance(QString::number(x.max, 'f', 0));
    const int plotWidth = std::max(10, width() - plotLeft_ - plotRight_);
    setTicks(axisX_, x, std::clamp(plotWidth / (xLabel + kLabelGap), 2, 8));
    const int decimals = setTicks(axisY_, y, 5);
    const int yLabel = std::max(fm.horizontalAdvance(QString::number(y.min, 'f', decimals)),
                                fm.horizontalAdvance(QString::number(y.max, 'f', decimals)));
    const int left = std::max(18, yLabel + 8);
    const int right = std::max(6, xLabel / 2 + 2);
    if (left != plotLeft_ || right != plotRight_) {
        plotLeft_ = left;
        plotRight_ = right;
        layoutParts();
    }
}

void TelemetryChart::operatorChangedRange() {
    if (!applyingRange_) {
        zoomed_ = true;
        updateTicks({axisX_->min(), axisX_->max()}, {axisY_->min(), axisY_->max()});
    }
}

void TelemetryChart::undoZoom() {
    endZoom();
    applyRanges();
}

void TelemetryChart::endZoom() {
    applyingRange_ = true;
    if (chart_->isZoomed()) {
        chart_->zoomReset(); // forget the chart's own zoom history
    }
    applyingRange_ = false;
    zoomed_ = false;
}

// --- Look ----------------------------------------------------------------------------------------

void TelemetryChart::updatePageTool() {
    shownPageCount_ = pageCount();
    pageTool_->setPage(currentPage_, shownPageCount_);
    layoutParts();
}

void TelemetryChart::resizeEvent(QResizeEvent*) {
    layoutParts();
}

void TelemetryChart::layoutParts() {
    const int w = width();
    const int h = height();
    view_->setGeometry(0, 0, w, h);
    border_->setGeometry(0, 0, w, h);

    const QSize tool = pageTool_->sizeHint();
    pageTool_->setGeometry((w - tool.width()) / 2, kToolTop, tool.width(), tool.height());
    pausedLabel_->setGeometry(plotLeft_ + 2, kToolTop, pausedLabel_->sizeHint().width(),
                              tool.height());

    const QSize legend = legend_->sizeHint();
    const int legendHeight = kLegendRowHeight * 2;
    legend_->setGeometry(std::max(2, (w - legend.width()) / 2), h - legendHeight - 3,
                         std::min(legend.width(), w - 4), legendHeight);

    const int plotBottom = h - 3 - legendHeight - kAxisLabelHeight;
    chart_->setPlotArea(QRectF(plotLeft_, kPlotTop, std::max(10, w - plotLeft_ - plotRight_),
                               std::max(10, plotBottom - kPlotTop)));
}
