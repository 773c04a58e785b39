#pragma once
// SpinEdit: an integer edit with up and down arrows (CSpinEdit1, CSpinEdit2 of the panel).
//
// Rules of the value:
// - The value is the text read as a decimal integer.
// - Text that is no integer (an emptied field, a lone sign) reads as the minimum and is replaced
//   by the minimum's text at once, selected, so that the next typed digit replaces it.
// - A typed number outside the range is used as typed until the edit loses the keyboard focus;
//   then it is brought to the nearer end of the range.
// - The arrows, the Up and Down keys and the wheel step by 1 within the range; setValue clamps.
// - valueChanged fires only when the value really changes.
//
// QSpinBox is no base for this: it validates typed text against its range and would refuse or
// correct an out-of-range number while it is being typed.

#include <QAbstractSpinBox>

// The value of a spin edit's text: the text as a decimal integer (optionally signed), or
// fallback when it is none. isInteger, when given, tells which.
int spinEditTextValue(const QString& text, int fallback, bool* isInteger = nullptr);

class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);

    // The bounds are taken in either order; a value outside the new range is clamped.
    void setRange(int min, int max);
    int minimum() const { return min_; }
    int maximum() const { return max_; }

    int value() const;
    void setValue(int value); // clamped to the range

    void stepBy(int steps) override;
    QSize sizeHint() const override;

signals:
    void valueChanged(int value);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void textEdited(const QString& text);

    int min_ = 0;
    int max_ = 255;
    int lastValue_ = 0; // the value last reported by valueChanged
};
