// The spin edit's value rules (the panel's unit address and new address).

#include "console/widgets/flat_button.h"
#include "console/widgets/spin_edit.h"
#include "widget_test_support.h"

#include <QLineEdit>
#include <QStyleOptionSpinBox>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Opens the inner line edit to the tests, to put in text that no keyboard can type.
class SpinEditProbe : public SpinEdit {
public:
    using SpinEdit::lineEdit;
};

// An active window with the spin edit (253) focused, a flat button and a line edit to take the
// focus away.
class SpinEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(200, 100);
        spin = new SpinEditProbe;
        spin->setParent(&window);
        spin->setGeometry(24, 10, 99, 22);
        spin->setValue(253);
        button = new FlatButton(&window);
        button->setGeometry(130, 10, 49, 21);
        other = new QLineEdit(&window);
        other->setGeometry(24, 40, 99, 22);
        window.show();
        window.activateWindow();
        spin->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(spin->hasFocus()) << "the offscreen window did not take the focus";
        QObject::connect(spin, &SpinEdit::valueChanged, [this](int v) { changes.push_back(v); });
    }

    void retype(const QString& text) {
        spin->selectAll();
        typeText(spin, text);
    }

    void setFocusTo(QWidget* widget) {
        widget->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(widget->hasFocus());
    }

    QPoint arrow(QStyle::SubControl which) const {
        QStyleOptionSpinBox option;
        option.initFrom(spin);
        option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown |
                             QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField;
        option.buttonSymbols = spin->buttonSymbols();
        option.frame = spin->hasFrame();
        return spin->style()->subControlRect(QStyle::CC_SpinBox, &option, which, spin).center();
    }

    QWidget window;
    SpinEditProbe* spin = nullptr;
    FlatButton* button = nullptr;
    QLineEdit* other = nullptr;
    std::vector<int> changes;
};

} // namespace

TEST_F(SpinEditTest, TextThatIsNoIntegerReadsAsZeroAndBecomesZero) {
    spin->lineEdit()->setText("abc");
    EXPECT_EQ(spin->value(), 0);
    EXPECT_EQ(spin->text(), "0");

    spin->setValue(253);
    spin->selectAll();
    pressKey(spin, Qt::Key_Backspace); // the operator empties the field
    EXPECT_EQ(spin->value(), 0);
    EXPECT_EQ(spin->text(), "0");
    typeText(spin, "7"); // the replacing "0" is selected: the digit replaces it
    EXPECT_EQ(spin->text(), "7");
    EXPECT_EQ(changes, (std::vector<int>{0, 253, 0, 7}));
    EXPECT_EQ(spinEditTextValue("99999999999", 3), 3) << "beyond 32 bits is no integer";
}

TEST_F(SpinEditTest, KeysOtherThanDigitsAndSignAreRefused) {
    retype("abc");
    EXPECT_EQ(spin->text(), "253");
    retype("1x2");
    EXPECT_EQ(spin->text(), "12");
    EXPECT_EQ(changes, (std::vector<int>{1, 12}));
}

TEST_F(SpinEditTest, TypedNumberOutsideTheRangeIsUsedUntilFocusLeaves) {
    retype("300");
    EXPECT_EQ(spin->value(), 300);
    // A flat button takes no focus: a click on it leaves the typed value as it is.
    click(button, QPoint(10, 10));
    QApplication::processEvents();
    EXPECT_TRUE(spin->hasFocus());
    EXPECT_EQ(spin->value(), 300);

    setFocusTo(other);
    EXPECT_EQ(spin->text(), "255");
    EXPECT_EQ(changes, (std::vector<int>{3, 30, 300, 255}));

    // -5, typed as "5" with a sign put in front, becomes 0.
    setFocusTo(spin);
    retype("5");
    pressKey(spin, Qt::Key_Home);
    typeText(spin, "-");
    EXPECT_EQ(spin->value(), -5);
    setFocusTo(other);
    EXPECT_EQ(spin->text(), "0");

    // A value within the range is left alone.
    setFocusTo(spin);
    retype("7");
    changes.clear();
    setFocusTo(other);
    EXPECT_EQ(spin->value(), 7);
    EXPECT_TRUE(changes.empty());
}

TEST_F(SpinEditTest, SetValueClampsAndReportsRealChangesOnly) {
    spin->setValue(253);
    EXPECT_TRUE(changes.empty()) << "253 is the value it already holds";
    spin->setValue(999);
    EXPECT_EQ(spin->value(), 255);
    spin->setValue(-3);
    spin->setValue(0);
    EXPECT_EQ(changes, (std::vector<int>{255, 0}));

    spin->setRange(100, 10); // either order; the value is brought into the new range
    EXPECT_EQ(spin->minimum(), 10);
    EXPECT_EQ(spin->value(), 10);
}

TEST_F(SpinEditTest, ArrowsAndKeysStepByOneWithinTheRange) {
    pressKey(spin, Qt::Key_Up);
    pressKey(spin, Qt::Key_Up);
    pressKey(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), 255);
    click(spin, arrow(QStyle::SC_SpinBoxDown));
    click(spin, arrow(QStyle::SC_SpinBoxDown));
    click(spin, arrow(QStyle::SC_SpinBoxUp));
    EXPECT_EQ(changes, (std::vector<int>{254, 255, 254, 253, 254}));

    spin->setValue(0);
    pressKey(spin, Qt::Key_Down);
    EXPECT_EQ(spin->value(), 0);

    // A step from a typed value outside the range lands on the range's end.
    retype("300");
    pressKey(spin, Qt::Key_Down);
    EXPECT_EQ(spin->value(), 255);
    spin->lineEdit()->setText("-5");
    pressKey(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), 0);
}
