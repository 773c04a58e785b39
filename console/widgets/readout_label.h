#pragma once
// ReadoutLabel: a label whose text changes with every telemetry frame and that lies over a
// picture. It looks like a transparent label, but it draws what lies beneath it itself, so a new
// text repaints only the label and never the large picture under it.

#include "console/widgets/backdrop.h"

#include <QLabel>

class ReadoutLabel : public QLabel {
    Q_OBJECT
public:
    explicit ReadoutLabel(const QString& text, QWidget* parent = nullptr);

    // The picture beneath the label; without one the label stands on its parent's colour.
    void setBeneath(QWidget* beneath);
    QWidget* beneath() const { return backdrop_.beneath(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Backdrop backdrop_;
};
