#pragma once
// Backdrop: a copy of what lies beneath a widget that stands over a still picture. A widget that
// paints its copy first can be opaque, so its repaints never reach the picture beneath: on the
// dashboard every new value would otherwise repaint part of the large robot picture too.

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QPainter;

class Backdrop {
public:
    // The sibling beneath (a picture that does not change); without one the parent's
    // background colour is filled in, and no copy is kept.
    void setBeneath(QWidget* beneath);
    QWidget* beneath() const { return beneath_; }

    // Forgets the copy; the next paint takes a new one.
    void invalidate() { copy_ = QPixmap(); }

    // Draws what lies beneath over at over's top left, taking the copy first when it is stale:
    // when over or the picture beneath has moved or changed size since it was taken.
    void paint(QPainter& painter, const QWidget& over);

private:
    bool stale(const QWidget& over) const;
    void take(const QWidget& over);

    QPointer<QWidget> beneath_;
    QPixmap copy_;
    QRect overAt_;    // over's geometry when the copy was taken
    QRect beneathAt_; // and the picture's
};
