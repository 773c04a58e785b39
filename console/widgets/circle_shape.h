#pragma once
// CircleShape: a filled circle with an outline, the LED circles Shape1..Shape4. The circle has
// the diameter of the smaller side and is centred; outside it the parent shows through.

#include "console/widgets/backdrop.h"

#include <QWidget>

class CircleShape : public QWidget {
    Q_OBJECT
public:
    explicit CircleShape(QWidget* parent = nullptr);

    void setFillColor(int code);
    int fillColor() const { return fillColor_; }
    void setPenColor(int code); // the outline
    int penColor() const { return penColor_; }
    void setPenWidth(int width);
    int penWidth() const { return penWidth_; }

    // A still picture beneath the circle, drawn by the circle around itself, so that a new
    // colour does not repaint the picture beneath.
    void setBeneath(QWidget* beneath);

signals:
    // A mouse button was released after a press on the circle, wherever the pointer then is.
    void released(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int fillColor_ = 16777215;
    int penColor_ = 0;
    int penWidth_ = 2;
    Backdrop backdrop_;
    bool hasBackdrop_ = false;
};
