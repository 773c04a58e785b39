#include "console/widgets/keyboard_place.h"

#include <QApplication>

KeyboardPlace KeyboardPlace::current() {
    KeyboardPlace place;
    place.window_ = QApplication::activeWindow();
    place.focus_ = QApplication::focusWidget();
    return place;
}

void KeyboardPlace::giveBack() const {
    if (window_ == nullptr || !window_->isVisible())
        return;
    if (focus_ != nullptr && focus_->window() == window_ && focus_->isVisible())
        focus_->setFocus(Qt::ActiveWindowFocusReason);
    if (QApplication::activeWindow() != window_)
        window_->activateWindow();
}
