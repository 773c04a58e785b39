#pragma once
// FlatButton: a flat speed button (SpeedButton*). It draws an optional picture and an optional
// caption over whatever lies beneath it, and shows a faint highlight while the pointer is over it
// and a darker one while it is held down. It takes no keyboard focus, so a click on it leaves the
// focus where it was.

#include <QAbstractButton>
#include <QImage>

class FlatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FlatButton(QWidget* parent = nullptr);

    // Drawn centred, scaled down keeping its proportions when larger than the button.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

    void setTextColor(int code); // caption colour; the caption uses the widget's font
    int textColor() const { return textColor_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QImage picture_;
    int textColor_ = 0;
};
