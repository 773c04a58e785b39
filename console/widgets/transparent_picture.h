#pragma once
// TransparentPicture: a picture control (Image1..Image12 of the main window, Image1 of the panel)
// with an optional transparent colour whose pixels are not drawn, so the parent shows through.
// Mouse presses, moves and releases are passed on as signals with the position relative to the
// picture.

#include "console/widgets/backdrop.h"

#include <QImage>
#include <QWidget>
#include <optional>

// Reads a picture file or resource. SVG files are rendered at size, or at their own size when
// size is empty; other formats are read as they are and size is ignored. Returns a null image
// when the file cannot be read.
QImage loadPicture(const QString& path, const QSize& size = QSize());

// A copy of image in which every pixel of exactly the colour code is fully transparent.
QImage withTransparentColor(const QImage& image, int code);

class TransparentPicture : public QWidget {
    Q_OBJECT
public:
    explicit TransparentPicture(QWidget* parent = nullptr);

    // The picture as given, without the transparency applied; another picture control can be
    // given a copy of it with setPicture.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    // Loads a picture with loadPicture; false (and an empty picture) when it cannot be read.
    bool loadPicture(const QString& path, const QSize& size = QSize());

    void setTransparentColor(int code);
    void clearTransparentColor();
    std::optional<int> transparentColor() const { return transparentColor_; }

    // Stretched pictures fill the control; with keepAspect they are scaled as large as fits,
    // keeping their proportions, and centred. Unstretched pictures are drawn at their own size
    // at the top left corner.
    void setStretch(bool stretch, bool keepAspect = true);
    bool stretch() const { return stretch_; }
    bool keepAspect() const { return keepAspect_; }

    // Where the picture is drawn, in the control's coordinates.
    QRect pictureRect() const;

    // A still picture beneath this one, drawn by this control where its own picture leaves
    // room, so that a change of this picture does not repaint the one beneath.
    void setBeneath(QWidget* beneath);
    // The parent's background colour drawn where the picture leaves room, so that the control
    // is opaque: a smaller control moving over it then repaints this picture alone, not the
    // window beneath it as well.
    void setOnParentColour();

signals:
    void mousePressed(QPoint pos, Qt::MouseButton button);
    // Moves with no button held arrive only with mouse tracking on (setMouseTracking).
    void mouseMoved(QPoint pos, Qt::MouseButtons buttons);
    void mouseReleased(QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void rebuild();

    QImage picture_;
    std::optional<int> transparentColor_;
    bool stretch_ = false;
    bool keepAspect_ = true;
    QPixmap drawn_;          // picture_ with the transparent colour applied
    mutable QPixmap scaled_; // drawn_ at the size of the last stretched paint
    Backdrop backdrop_;
    bool hasBackdrop_ = false;
};
