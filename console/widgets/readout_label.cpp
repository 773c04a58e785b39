#include "console/widgets/readout_label.h"

#include <QPainter>

ReadoutLabel::ReadoutLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    // The label covers its whole rectangle, so nothing beneath it is repainted with it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ReadoutLabel::setBeneath(QWidget* beneath) {
    beneath_ = beneath;
    refreshBackdrop();
}

void ReadoutLabel::refreshBackdrop() {
    backdrop_ = QPixmap();
    update();
}

void ReadoutLabel::takeBackdrop() {
    const qreal ratio = devicePixelRatioF();
    backdrop_ = QPixmap(size() * ratio);
    backdrop_.setDevicePixelRatio(ratio);
    QWidget* ground = parentWidget();
    backdrop_.fill(ground ? ground->palette().color(ground->backgroundRole()) : Qt::black);
    if (beneath_ && ground && beneath_->parentWidget() == ground) {
        QPainter painter(&backdrop_);
        // The part of the picture under the label, drawn where it lies within the label.
        const QRect label = QRect(pos(), size()).translated(-beneath_->pos());
        const QRect under = label & beneath_->rect();
        if (!under.isEmpty()) {
            beneath_->render(&painter, under.topLeft() - label.topLeft(), QRegion(under),
                             QWidget::RenderFlags());
        }
    }
}

void ReadoutLabel::paintEvent(QPaintEvent* event) {
    if (backdrop_.isNull() || backdrop_.deviceIndependentSize().toSize() != size() ||
        backdrop_.devicePixelRatio() != devicePixelRatioF()) {
        takeBackdrop();
    }
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, backdrop_);
    }
    QLabel::paintEvent(event);
}

void ReadoutLabel::moveEvent(QMoveEvent* event) {
    backdrop_ = QPixmap();
    QLabel::moveEvent(event);
}

void ReadoutLabel::resizeEvent(QResizeEvent* event) {
    backdrop_ = QPixmap();
    QLabel::resizeEvent(event);
}
