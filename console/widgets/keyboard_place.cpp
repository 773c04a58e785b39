#include "console/widgets/keyboard_place.h"

#include <QApplication>

namespace {
QPointer<QWidget> nextBoxGivesTo;
} // namespace

void KeyboardPlace::afterNextBox(QWidget* window) {
    nextBoxGivesTo = window;
}

KeyboardPlace KeyboardPlace::current() {
    KeyboardPlace place;
    place.window_ = QApplication::activeWindow();
    place.focus_ = QApplication::focusWidget();
    return place;
}

void KeyboardPlace::giveBack() const {
    if (nextBoxGivesTo != nullptr) {
        KeyboardPlace there;
        there.window_ = nextBoxGivesTo;
        nextBoxGivesTo = nullptr;
        there.giveBack();
        return;
    }
    if (window_ == nullptr || !window_->isVisible())
        return;
    if (focus_ != nullptr && focus_->window() == window_ && focus_->isVisible())
        focus_->setFocus(Qt::ActiveWindowFocusReason);
    if (QApplication::activeWindow() != window_)
        window_->activateWindow();
}
