#pragma once
// Pieces of the telemetry chart: the page tool with its previous and next buttons, the legend's
// check boxes and the chart view that reports double clicks and lets the operator pan.

#include <QAbstractButton>
#include <QChartView>
#include <QCheckBox>
#include <QColor>
#include <QWidget>

// Opaque colour of a colour code (red in the low byte, blue in the high byte).
QColor chartColor(int code);

// Previous or next button of the page tool: an arrow on a silver gradient in a white outline.
// A disabled button is drawn too, with a grey arrow.
class ChartPageButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Direction { Previous, Next };
    ChartPageButton(Direction direction, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Direction direction_;
};

// Page tool ("ChartTool1"): the page box "Page N of M" in a rounded rectangle with a gradient from
// black to aqua, between the previous and next buttons.
class ChartPageTool : public QWidget {
    Q_OBJECT
public:
    explicit ChartPageTool(QWidget* parent = nullptr);

    void setPage(int page, int pageCount);
    QString text() const { return text_; }
    ChartPageButton* previousButton() const { return previous_; }
    ChartPageButton* nextButton() const { return next_; }
    QSize sizeHint() const override;

signals:
    void previousClicked();
    void nextClicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    QRect boxRect() const;

    QString text_;
    ChartPageButton* previous_;
    ChartPageButton* next_;
};

// Legend entry: a small check box, the series' colour mark and its title in the series' colour.
class ChartLegendCheck : public QCheckBox {
    Q_OBJECT
public:
    ChartLegendCheck(const QString& title, int color, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QColor color_;
};

// Border around the whole chart, drawn over it; lets every mouse event through.
class ChartBorder : public QWidget {
    Q_OBJECT
public:
    ChartBorder(int color, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor color_;
};

// Chart view: rubber-band zoom with the left button (from QChartView), panning with the right
// button, a signal for double clicks, and one for the menu: a right click that does not pan, or
// the keyboard's menu key.
//
// The scene hands the places its items left and took to the view in a queued call; the view
// knows where an item was only from where it last drew it. A paint that comes first (the legend,
// the page tool or the border over the view repaint, or the window repaints for other widgets)
// draws the moved items at their new places and forgets the old ones, which then keep their old
// pixels: axis labels beside the new ones, pieces of old lines. So the view lets the scene hand
// over its changes before it paints.
class TelemetryChartView : public QChartView {
    Q_OBJECT
public:
    explicit TelemetryChartView(QChart* chart, QWidget* parent = nullptr);

signals:
    void doubleClicked();
    void menuRequested(const QPoint& globalPos);

protected:
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool panning_ = false;
    QPointF panFrom_;
    QPointF pressedAt_;
};
