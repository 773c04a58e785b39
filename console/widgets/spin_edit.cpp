#include "console/widgets/spin_edit.h"

#include <QLineEdit>
#include <QStyle>
#include <algorithm>
#include <utility>

int spinEditTextValue(const QString& text, int fallback, bool* isInteger) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (isInteger) {
        *isInteger = ok;
    }
    return ok ? value : fallback;
}

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setText(QString::number(min_));
    lastValue_ = min_;
    connect(lineEdit(), &QLineEdit::textChanged, this, &SpinEdit::textEdited);
}

void SpinEdit::setRange(int min, int max) {
    if (max < min) {
        std::swap(min, max);
    }
    min_ = min;
    max_ = max;
    const int current = value();
    if (current < min_ || current > max_) {
        setValue(current);
    }
    update(); // the arrows' enabled state may have changed
}

int SpinEdit::value() const {
    return spinEditTextValue(lineEdit()->text(), min_);
}

void SpinEdit::setValue(int value) {
    const QString text = QString::number(std::clamp(value, min_, max_));
    if (lineEdit()->text() != text) {
        lineEdit()->setText(text);
    }
}

void SpinEdit::stepBy(int steps) {
    // Widen before adding so that a typed extreme cannot overflow.
    const long long next = static_cast<long long>(value()) + steps;
    setValue(static_cast<int>(std::clamp<long long>(next, min_, max_)));
    if (style()->styleHint(QStyle::SH_SpinBox_SelectOnStep, nullptr, this)) {
        selectAll();
    }
}

QSize SpinEdit::sizeHint() const {
    const QSize text = fontMetrics().size(Qt::TextSingleLine, QString::number(max_) + "00");
    return QSize(text.width() + 24, std::max(text.height() + 6, 20));
}

QValidator::State SpinEdit::validate(QString& input, int&) const {
    // Keys other than digits and a leading sign are refused; what they leave may still be no
    // integer (an empty field), which textEdited handles.
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input.at(i);
        const bool sign = i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9'))) {
            return QValidator::Invalid;
        }
    }
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    if (isReadOnly()) {
        return StepNone;
    }
    const int current = value();
    StepEnabled enabled = StepNone;
    if (current < max_) {
        enabled |= StepUpEnabled;
    }
    if (current > min_) {
        enabled |= StepDownEnabled;
    }
    return enabled;
}

void SpinEdit::focusOutEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusOutEvent(event);
    const int current = value();
    if (current < min_ || current > max_) {
        setValue(current);
    }
}

void SpinEdit::textEdited(const QString& text) {
    bool isInteger = false;
    const int value = spinEditTextValue(text, min_, &isInteger);
    if (!isInteger) {
        // Re-enters with the minimum's text, which reports the change.
        lineEdit()->setText(QString::number(min_));
        lineEdit()->selectAll();
        return;
    }
    if (value != lastValue_) {
        lastValue_ = value;
        emit valueChanged(value);
    }
}
