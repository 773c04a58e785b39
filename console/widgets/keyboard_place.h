#pragma once
// Where the keyboard is within the console: the active window and the control in it that has
// the focus. A modal box takes the keyboard; when it closes, the window manager gives it to a
// window of its own choosing (some pick the panel, whose controls then take the driving keys):
// the box gives it back where it was.

#include <QPointer>
#include <QWidget>

class KeyboardPlace {
public:
    // The console's active window and its focus control now; none when another program has the
    // keyboard.
    static KeyboardPlace current();

    // Activates that window again and gives the control the focus, when both are still there
    // and shown. Nothing when the keyboard was with another program.
    void giveBack() const;

    // The next box gives the keyboard to window instead, once (the opened notice of a connect
    // hands it to the dashboard).
    static void afterNextBox(QWidget* window);

    QWidget* window() const { return window_; }

private:
    QPointer<QWidget> window_;
    QPointer<QWidget> focus_;
};
