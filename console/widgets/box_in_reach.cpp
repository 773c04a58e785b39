#include "console/widgets/box_in_reach.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#ifdef ZELK_HAVE_XCB
#include <xcb/xcb.h>
#endif

BoxInReach::BoxInReach(QWidget& box) : box_(box) {
    qApp->installEventFilter(this);
    qApp->installNativeEventFilter(this);
}

BoxInReach::~BoxInReach() {
    qApp->removeNativeEventFilter(this);
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

bool BoxInReach::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
#ifdef ZELK_HAVE_XCB
    // Qt drops a click on a window the box blocks before any widget sees it.
    if (eventType == "xcb_generic_event_t") {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_BUTTON_PRESS &&
            reinterpret_cast<const xcb_button_press_event_t*>(event)->event != box_.winId())
            QTimer::singleShot(0, this, [this] { bringBoxToFront(); });
    }
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}

void BoxInReach::bringBoxToFront() {
    if (box_.isMinimized())
        box_.showNormal();
    box_.raise();
    box_.activateWindow();
}
