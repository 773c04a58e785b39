#pragma once
// Helpers of the widget tests: pixels of a grabbed widget and synthetic input.

#include "console/widgets/colors.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <ostream>

// Readable QStrings in the messages of failed checks.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// A plain widget filled with one colour, as the ground under the widget under test.
inline QWidget* makeGround(int code, QSize size, QWidget* parent = nullptr) {
    auto* ground = new QWidget(parent);
    ground->resize(size);
    QPalette palette = ground->palette();
    palette.setColor(QPalette::Window, colorFromCode(code));
    ground->setPalette(palette);
    ground->setAutoFillBackground(true);
    return ground;
}

// Counts the paint events of the widgets it is installed on.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

inline QImage grabImage(QWidget* widget) {
    return widget->grab().toImage();
}

inline int pixelCode(const QImage& image, int x, int y) {
    return colorToCode(image.pixelColor(x, y));
}

inline void sendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void click(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    sendMouse(widget, QEvent::MouseButtonPress, pos, button, button);
    sendMouse(widget, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

inline void pressKey(QWidget* widget, int key, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

// Types text one character at a time, as the keyboard would.
inline void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        const int key = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A') : c.unicode();
        pressKey(widget, key, QString(c));
    }
}
