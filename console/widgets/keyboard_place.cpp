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
    // Ended at once: a deferred delete waits for the event loop, and a box may be in another.
    const auto end = [once] {
        QObject::disconnect(qApp, &QGuiApplication::focusWindowChanged, once, nullptr);
        once->deleteLater();
    };
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, once, [end, window](QWindow* now) {
        if (now == nullptr)
            return;
        end();
        if (now != window->windowHandle() && window->isVisible())
            window->activateWindow();
    });
    QTimer::singleShot(CompositorChoiceMs, once, end);
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
        activateAgainAfterTheCompositor(window_); // first: a window system may answer at once
        window_->activateWindow();
    }
}
