#include "console/widgets/box_in_reach.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

BoxInReach::BoxInReach(QWidget& box) : box_(box) {
    qApp->installEventFilter(this);
}

BoxInReach::~BoxInReach() {
    qApp->removeEventFilter(this);
}

bool BoxInReach::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::WindowStateChange || !watched->isWidgetType())
        return false;
    auto* window = static_cast<QWidget*>(watched);
    if (window->isWindow() && window->isMinimized()) {
        // Once the window system has finished minimising it.
        QPointer<QWidget> minimised = window;
        QTimer::singleShot(0, this, [this, minimised] {
            if (minimised && minimised->isMinimized())
                minimised->showNormal();
            bringBoxToFront();
        });
    }
    return false;
}

void BoxInReach::bringBoxToFront() {
    if (box_.isMinimized())
        box_.showNormal();
    box_.raise();
    box_.activateWindow();
}
