#pragma once
// BarGauge: a vertical or horizontal bar that shows a value within a range, the console's gauge
// control (CGauge1..CGauge14 of the main window, CGauge1 of the panel).

#include <QWidget>

// Share of the range that value covers, in whole percent (truncated). A range of zero width is
// 0 %. value is expected within min..max.
int gaugePercent(int value, int min, int max);

// Length in pixels of the filled part of a bar of the given length at percent.
int gaugeFillLength(int percent, int length);

class BarGauge : public QWidget {
    Q_OBJECT
public:
    explicit BarGauge(QWidget* parent = nullptr);

    // Vertical bars fill from the bottom up, horizontal ones from the left.
    void setOrientation(Qt::Orientation orientation);
    Qt::Orientation orientation() const { return orientation_; }

    // The bounds are taken in either order; the held value is clamped to the new range.
    void setRange(int min, int max);
    int minValue() const { return min_; }
    int maxValue() const { return max_; }

    // The value is held clamped to the range: above it shows a full bar, below an empty one.
    void setProgress(int value);
    int progress() const { return progress_; }

    int percentDone() const { return gaugePercent(progress_, min_, max_); }
    // The percentage as drawn, e.g. "42%".
    QString percentText() const;

    void setForeColor(int code); // the bar
    int foreColor() const { return foreColor_; }
    void setBackColor(int code); // the rest of the gauge
    int backColor() const { return backColor_; }

    // Percentage text drawn centred in the widget's font.
    void setShowText(bool show);
    bool showText() const { return showText_; }
    void setTextColor(int code);
    int textColor() const { return textColor_; }

    // A one-pixel frame around the gauge; the bar fills the inside.
    void setBorder(bool border);
    bool hasBorder() const { return border_; }
    void setBorderColor(int code);
    int borderColor() const { return borderColor_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect inside() const; // where the bar and the text go
    int barLength() const;

    Qt::Orientation orientation_ = Qt::Vertical;
    int min_ = 0;
    int max_ = 100;
    int progress_ = 0;
    int foreColor_ = 0;
    int backColor_ = 16777215;
    bool showText_ = false;
    int textColor_ = 0;
    bool border_ = true;
    int borderColor_ = 0;
};
