#pragma once
// ReadoutLabel: a label whose text changes with every telemetry frame and that lies over a
// picture. It looks like a transparent label, but it draws what lies beneath it itself, from a
// copy taken once, so a new text repaints only the label and never the large picture under it.

#include <QLabel>
#include <QPixmap>
#include <QPointer>

class ReadoutLabel : public QLabel {
    Q_OBJECT
public:
    explicit ReadoutLabel(const QString& text, QWidget* parent = nullptr);

    // The sibling that lies beneath the label (a picture that does not change); without one the
    // label stands on its parent's background colour alone.
    void setBeneath(QWidget* beneath);
    QWidget* beneath() const { return beneath_; }

    // Forgets the copy of what lies beneath; the next paint takes a new one.
    void refreshBackdrop();

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void takeBackdrop();

    QPointer<QWidget> beneath_;
    QPixmap backdrop_;
};
