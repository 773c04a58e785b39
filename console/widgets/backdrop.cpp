#include "console/widgets/backdrop.h"

#include <QPainter>

namespace {

// The colour the parent fills its background with, where the widget stands.
QColor groundColour(const QWidget& over) {
    const QWidget* ground = over.parentWidget();
    return ground ? ground->palette().color(ground->backgroundRole()) : QColor(Qt::black);
}

} // namespace

void Backdrop::setBeneath(QWidget* beneath) {
    beneath_ = beneath;
    invalidate();
}

bool Backdrop::stale(const QWidget& over) const {
    return copy_.isNull() || over.geometry() != overAt_ ||
           copy_.devicePixelRatio() != over.devicePixelRatioF() ||
           (beneath_ && beneath_->geometry() != beneathAt_);
}

void Backdrop::take(const QWidget& over) {
    overAt_ = over.geometry();
    beneathAt_ = beneath_ ? beneath_->geometry() : QRect();
    const qreal ratio = over.devicePixelRatioF();
    copy_ = QPixmap(over.size() * ratio);
    copy_.setDevicePixelRatio(ratio);
    const QWidget* ground = over.parentWidget();
    copy_.fill(groundColour(over));
    if (beneath_ && ground && beneath_->parentWidget() == ground) {
        QPainter painter(&copy_);
        // The part of the picture under the widget, drawn where it lies within the widget.
        const QRect area = over.geometry().translated(-beneath_->pos());
        const QRect under = area & beneath_->rect();
        if (!under.isEmpty()) {
            beneath_->render(&painter, under.topLeft() - area.topLeft(), QRegion(under),
                             QWidget::RenderFlags());
        }
    }
}

void Backdrop::paint(QPainter& painter, const QWidget& over) {
    if (!beneath_) {
        // Only the parent's colour lies beneath: a fill draws the same pixels as a copy, and a
        // large picture keeps no copy of its own size in memory for it.
        painter.fillRect(over.rect(), groundColour(over));
        return;
    }
    if (stale(over)) {
        take(over);
    }
    painter.drawPixmap(0, 0, copy_);
}
