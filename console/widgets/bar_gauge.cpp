#include "console/widgets/bar_gauge.h"

#include "console/widgets/colors.h"

#include <QPainter>
#include <algorithm>
#include <utility>

int gaugePercent(int value, int min, int max) {
    const long long span = static_cast<long long>(max) - min;
    if (span == 0) {
        return 0;
    }
    return static_cast<int>((static_cast<long long>(value) - min) * 100 / span);
}

int gaugeFillLength(int percent, int length) {
    return static_cast<int>(static_cast<long long>(length) * percent / 100);
}

BarGauge::BarGauge(QWidget* parent) : QWidget(parent) {
    // The gauge paints every pixel of its rectangle, so nothing beneath it needs repainting
    // when its value changes.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BarGauge::setOrientation(Qt::Orientation orientation) {
    if (orientation_ != orientation) {
        orientation_ = orientation;
        update();
    }
}

void BarGauge::setRange(int min, int max) {
    if (max < min) {
        std::swap(min, max);
    }
    if (min == min_ && max == max_) {
        return;
    }
    min_ = min;
    max_ = max;
    progress_ = std::clamp(progress_, min_, max_);
    update();
}

void BarGauge::setProgress(int value) {
    value = std::clamp(value, min_, max_);
    if (progress_ == value) {
        return;
    }
    const int percentBefore = percentDone();
    const int lengthBefore = barLength();
    progress_ = value;
    // Telemetry changes values by small steps many times a second; a new value that leaves the
    // bar and its text as they were needs no repaint.
    if (barLength() != lengthBefore || (showText_ && percentDone() != percentBefore)) {
        update();
    }
}

QString BarGauge::percentText() const {
    return QString::number(percentDone()) + QLatin1Char('%');
}

void BarGauge::setForeColor(int code) {
    if (foreColor_ != code) {
        foreColor_ = code;
        update();
    }
}

void BarGauge::setBackColor(int code) {
    if (backColor_ != code) {
        backColor_ = code;
        update();
    }
}

void BarGauge::setShowText(bool show) {
    if (showText_ != show) {
        showText_ = show;
        update();
    }
}

void BarGauge::setTextColor(int code) {
    if (textColor_ != code) {
        textColor_ = code;
        update();
    }
}

void BarGauge::setBorder(bool border) {
    if (border_ != border) {
        border_ = border;
        update();
    }
}

void BarGauge::setBorderColor(int code) {
    if (borderColor_ != code) {
        borderColor_ = code;
        update();
    }
}

QRect BarGauge::inside() const {
    return border_ ? rect().adjusted(1, 1, -1, -1) : rect();
}

int BarGauge::barLength() const {
    const QRect inner = inside();
    return gaugeFillLength(percentDone(),
                           orientation_ == Qt::Vertical ? inner.height() : inner.width());
}

void BarGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect inner = inside();
    if (border_) {
        // The one-pixel frame is what the inside leaves of the whole rectangle: two fills cost
        // less than stroking its outline on every new value.
        painter.fillRect(rect(), colorFromCode(borderColor_));
    }
    if (inner.isEmpty()) {
        return;
    }
    painter.fillRect(inner, colorFromCode(backColor_));

    QRect bar = inner;
    if (orientation_ == Qt::Vertical) {
        bar.setTop(inner.bottom() + 1 - barLength());
    } else {
        bar.setWidth(barLength());
    }
    if (!bar.isEmpty()) {
        painter.fillRect(bar, colorFromCode(foreColor_));
    }

    if (showText_) {
        painter.setPen(colorFromCode(textColor_));
        painter.setFont(font());
        painter.drawText(inner, Qt::AlignCenter, percentText());
    }
}
