#include "console/widgets/readout_label.h"

#include <QPainter>

ReadoutLabel::ReadoutLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    // The label covers its whole rectangle, so nothing beneath it is repainted with it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ReadoutLabel::setBeneath(QWidget* beneath) {
    backdrop_.setBeneath(beneath);
    update();
}

void ReadoutLabel::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        backdrop_.paint(painter, *this);
    }
    QLabel::paintEvent(event);
}
