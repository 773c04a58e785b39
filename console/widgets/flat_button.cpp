#include "console/widgets/flat_button.h"

#include "console/widgets/colors.h"

#include <QPainter>
#include <algorithm>

FlatButton::FlatButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void FlatButton::setPicture(const QImage& picture) {
    picture_ = picture;
    updateGeometry();
    update();
}

void FlatButton::setTextColor(int code) {
    if (textColor_ != code) {
        textColor_ = code;
        update();
    }
}

QSize FlatButton::sizeHint() const {
    QSize hint = picture_.size();
    if (!text().isEmpty()) {
        const QSize textSize = fontMetrics().size(Qt::TextSingleLine, text());
        hint.setWidth(hint.width() + textSize.width() + (picture_.isNull() ? 0 : 4));
        hint.setHeight(std::max(hint.height(), textSize.height()));
    }
    return hint + QSize(6, 6);
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect();

    if (!picture_.isNull()) {
        QSize size = picture_.size();
        if (size.width() > area.width() || size.height() > area.height()) {
            size.scale(area.size(), Qt::KeepAspectRatio);
        }
        const QRect target(
            QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2), size);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        if (!isEnabled()) {
            painter.setOpacity(0.4);
        }
        painter.drawImage(target, picture_);
        painter.setOpacity(1.0);
    }
    if (!text().isEmpty()) {
        QColor color = colorFromCode(textColor_);
        if (!isEnabled()) {
            color.setAlpha(100);
        }
        painter.setPen(color);
        painter.setFont(font());
        painter.drawText(area, Qt::AlignCenter, text());
    }

    if (!isEnabled()) {
        return;
    }
    const QRect frame = area.adjusted(0, 0, -1, -1);
    if (isDown()) {
        painter.fillRect(area, QColor(0, 0, 0, 60));
        painter.setPen(QColor(255, 255, 255, 110));
        painter.drawRect(frame);
    } else if (underMouse()) {
        painter.fillRect(area, QColor(255, 255, 255, 28));
        painter.setPen(QColor(255, 255, 255, 90));
        painter.drawRect(frame);
    }
}

void FlatButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    update();
}

void FlatButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    update();
}
