#pragma once
// While a modal box is up the operator can always get to it. The box belongs to the main window,
// and the window manager minimises it with the main window, while the box still blocks every
// other window of the console, whose keys then reach nothing: a window of the console that is
// minimised while a box is up comes back at once, with the box in front and the keyboard in it.
// Lives as long as the box is up.

#include <QObject>

class QWidget;

class BoxInReach : public QObject {
public:
    explicit BoxInReach(QWidget& box);
    ~BoxInReach() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bringBoxToFront();

    QWidget& box_;
};
