#include "console/widgets/circle_shape.h"

#include "console/widgets/colors.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

CircleShape::CircleShape(QWidget* parent) : QWidget(parent) {}

void CircleShape::setFillColor(int code) {
    if (fillColor_ != code) {
        fillColor_ = code;
        update();
    }
}

void CircleShape::setPenColor(int code) {
    if (penColor_ != code) {
        penColor_ = code;
        update();
    }
}

void CircleShape::setPenWidth(int width) {
    width = std::max(width, 0);
    if (penWidth_ != width) {
        penWidth_ = width;
        update();
    }
}

void CircleShape::setBeneath(QWidget* beneath) {
    hasBackdrop_ = beneath != nullptr;
    backdrop_.setBeneath(beneath);
    setAttribute(Qt::WA_OpaquePaintEvent, hasBackdrop_);
    update();
}

void CircleShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (hasBackdrop_) {
        backdrop_.paint(painter, *this);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal diameter = std::min(width(), height());
    // The outline lies wholly inside the widget: the stroke is centred on the ellipse path.
    const qreal inset = penWidth_ / 2.0;
    QRectF circle((width() - diameter) / 2.0 + inset, (height() - diameter) / 2.0 + inset,
                  diameter - penWidth_, diameter - penWidth_);
    if (circle.width() <= 0 || circle.height() <= 0) {
        return;
    }
    if (penWidth_ > 0) {
        painter.setPen(QPen(colorFromCode(penColor_), penWidth_));
    } else {
        painter.setPen(Qt::NoPen);
    }
    painter.setBrush(colorFromCode(fillColor_));
    painter.drawEllipse(circle);
}

void CircleShape::mouseReleaseEvent(QMouseEvent* event) {
    emit released(event->button());
}
