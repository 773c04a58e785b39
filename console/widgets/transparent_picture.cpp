#include "console/widgets/transparent_picture.h"

#include "console/widgets/colors.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

QImage loadPicture(const QString& path, const QSize& size) {
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgRenderer renderer(path);
        if (!renderer.isValid()) {
            return QImage();
        }
        const QSize target = size.isEmpty() ? renderer.defaultSize() : size;
        if (target.isEmpty()) {
            return QImage();
        }
        QImage image(target, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        return image;
    }
    return QImage(path);
}

QImage withTransparentColor(const QImage& image, int code) {
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = colorFromCode(code).rgb() & 0x00FFFFFF;
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            // Only pixels that are drawn at all count; their colour is compared whole.
            if (qAlpha(line[x]) == 255 && (line[x] & 0x00FFFFFF) == key) {
                line[x] = 0;
            }
        }
    }
    return result;
}

TransparentPicture::TransparentPicture(QWidget* parent) : QWidget(parent) {}

void TransparentPicture::setPicture(const QImage& picture) {
    if (!picture_.isNull() && picture.cacheKey() == picture_.cacheKey()) {
        return; // the same picture: nothing to rebuild or repaint
    }
    picture_ = picture;
    rebuild();
}

bool TransparentPicture::loadPicture(const QString& path, const QSize& size) {
    setPicture(::loadPicture(path, size));
    return !picture_.isNull();
}

void TransparentPicture::setTransparentColor(int code) {
    if (transparentColor_ != code) {
        transparentColor_ = code;
        rebuild();
    }
}

void TransparentPicture::clearTransparentColor() {
    if (transparentColor_) {
        transparentColor_.reset();
        rebuild();
    }
}

void TransparentPicture::setStretch(bool stretch, bool keepAspect) {
    if (stretch_ != stretch || keepAspect_ != keepAspect) {
        stretch_ = stretch;
        keepAspect_ = keepAspect;
        scaled_ = QPixmap();
        update();
    }
}

QRect TransparentPicture::pictureRect() const {
    if (picture_.isNull()) {
        return QRect();
    }
    if (!stretch_) {
        return QRect(QPoint(0, 0), picture_.size());
    }
    if (!keepAspect_) {
        return rect();
    }
    const QSize fitted = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void TransparentPicture::rebuild() {
    if (picture_.isNull()) {
        drawn_ = QPixmap();
    } else if (transparentColor_) {
        drawn_ = QPixmap::fromImage(withTransparentColor(picture_, *transparentColor_));
    } else {
        drawn_ = QPixmap::fromImage(picture_);
    }
    scaled_ = QPixmap();
    update();
}

void TransparentPicture::setBeneath(QWidget* beneath) {
    hasBackdrop_ = beneath != nullptr;
    backdrop_.setBeneath(beneath);
    setAttribute(Qt::WA_OpaquePaintEvent, hasBackdrop_);
    update();
}

void TransparentPicture::setOnParentColour() {
    hasBackdrop_ = true;
    backdrop_.setBeneath(nullptr);
    setAttribute(Qt::WA_OpaquePaintEvent);
    update();
}

void TransparentPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (hasBackdrop_) {
        backdrop_.paint(painter, *this);
    }
    if (drawn_.isNull()) {
        return;
    }
    const QRect target = pictureRect();
    if (target.size() == drawn_.size()) {
        painter.drawPixmap(target.topLeft(), drawn_);
        return;
    }
    if (target.isEmpty()) {
        return;
    }
    if (scaled_.size() != target.size()) {
        scaled_ = drawn_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    painter.drawPixmap(target.topLeft(), scaled_);
}

void TransparentPicture::mousePressEvent(QMouseEvent* event) {
    emit mousePressed(event->position().toPoint(), event->button());
}

void TransparentPicture::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(event->position().toPoint(), event->buttons());
}

void TransparentPicture::mouseReleaseEvent(QMouseEvent* event) {
    emit mouseReleased(event->position().toPoint());
}
