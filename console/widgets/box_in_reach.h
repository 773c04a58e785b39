#pragma once
// While a modal box is up the operator can always get to it. The box belongs to the main window,
// so minimising the main window would take the box off the screen, and the box blocks every
// other window of the console, so their clicks and keys would reach nothing: a window of the
// console that is minimised comes back at once, and a click on any of them brings the box to
// the front with the keyboard. Lives as long as the box is up.

#include <QAbstractNativeEventFilter>
#include <QObject>

class QWidget;

class BoxInReach : public QObject, public QAbstractNativeEventFilter {
public:
    explicit BoxInReach(QWidget& box);
    ~BoxInReach() override;

    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void bringBoxToFront();

    QWidget& box_;
};
