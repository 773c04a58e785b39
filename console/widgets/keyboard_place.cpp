#include "console/widgets/keyboard_place.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

namespace {
QPointer<QWidget> nextBoxGivesTo;

// How long after a box a window the compositor picks is taken as its choice, not the operator's.
constexpr int CompositorChoiceMs = 1000;

// A Wayland compositor gives the keyboard to a window of its own choosing once the box has gone
// (KWin picks the panel), and grants an activation only when asked from a window that has the
// keyboard: when the console's next window to get it is another, ask again from there, once.
void activateAgainAfterTheCompositor(QWidget* window) {
    auto* once = new QObject(window);
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, once,
                     [once, window](QWindow* now) {
                         if (now == nullptr)
                             return;
                         if (now != window->windowHandle() && window->isVisible())
                             window->activateWindow();
                         once->deleteLater();
                     });
    QTimer::singleShot(CompositorChoiceMs, once, &QObject::deleteLater);
}
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
    if (QApplication::activeWindow() != window_) {
        window_->activateWindow();
        activateAgainAfterTheCompositor(window_);
    }
}
