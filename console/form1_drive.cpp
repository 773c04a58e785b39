// Drive control: the on-screen knob over the pad and the game controller.

#include "console/form1.h"
#include "console/form2.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/transparent_picture.h"

#include <QCheckBox>

KnobRect TForm1::boundsOf(const QWidget* w) {
    const QRect g = w->geometry();
    return KnobRect{g.left(), g.top(), g.width(), g.height()};
}

void TForm1::probeJoystick() {
    if (!joystick_)
        return;
    controller_ = std::make_unique<ControllerDrive>(*joystick_);
    joystickPresent = controller_->probe();
}

void TForm1::applyDriveAction(const DriveAction& action) {
    const int address = unitAddress();
    switch (action.send) {
    case DriveSend::DrivePair:
        sendFrame(buildDrivePair(frameBuffer, address, action.leftValue, action.rightValue));
        break;
    case DriveSend::Stop:
        sendFrame(buildStop(frameBuffer, address));
        break;
    case DriveSend::None:
        break;
    }
    const DriveGauges& g = action.gauges;
    CGauge2->setProgress(g.CGauge2);
    CGauge3->setProgress(g.CGauge3);
    CGauge5->setProgress(g.CGauge5);
    CGauge4->setProgress(g.CGauge4);
    CGauge11->setProgress(g.CGauge11);
    CGauge12->setProgress(g.CGauge12);
}

void TForm1::applyKnobOutcome(const KnobOutcome& outcome) {
    Image5->setGeometry(outcome.knob.left, outcome.knob.top, outcome.knob.width,
                        outcome.knob.height);
    if (outcome.setDrive) {
        state.driveLeft = outcome.driveLeft;
        state.driveRight = outcome.driveRight;
    }
    applyDriveAction(outcome.action);
}

KnobSender TForm1::knobSender(QWidget* sender) const {
    return sender == Image5 ? KnobSender::Knob : KnobSender::Pad;
}

void TForm1::Image5MouseDown(QWidget* sender, int x, int y) {
    applyKnobOutcome(knobPress(boundsOf(Image3), boundsOf(Image5), knobSender(sender), x, y,
                               knobDragging, driveActive));
}

void TForm1::Image3MouseMove(QWidget* sender, int x, int y) {
    applyKnobOutcome(knobMove(boundsOf(Image3), boundsOf(Image5), knobSender(sender), x, y,
                              knobDragging, driveActive));
}

void TForm1::Image5MouseUp(QWidget*, int, int) {
    applyKnobOutcome(knobRelease(boundsOf(Image3), boundsOf(Image5), knobDragging));
}

void TForm1::endKnobDrag() {
    if (knobDragging)
        Image5MouseUp(Image5, 0, 0); // the release looks at neither the sender nor the position
}

void TForm1::knobPressed(QWidget* sender, int x, int y, Qt::MouseButton button) {
    if (driveLocked())
        return;
    forgetHeldKeys(); // the knob takes over from the keys, with no stop frame between
    if (!knobDragging)
        knobButton_ = button;
    Image5MouseDown(sender, x, y);
}

void TForm1::knobMoved(QWidget* sender, int x, int y, Qt::MouseButtons buttons) {
    // The release was taken elsewhere (another window's grab, a box since closed): the button
    // that began the drag is no longer held, and a move without it never drives.
    if (knobDragging && !(buttons & knobButton_))
        endKnobDrag();
    Image3MouseMove(sender, x, y);
}

void TForm1::Timer3Timer() {
    if (!controller_ || !Form2)
        return;
    ControllerOptions options;
    options.swapXY = Form2->CheckBox4->isChecked();
    options.negateX = Form2->CheckBox3->isChecked();
    options.negateY = Form2->CheckBox2->isChecked();
    if (driveLocked())
        controller_->holdAtNeutral();
    bool active = driveActive;
    const std::optional<DriveAction> action = controller_->tick(options, active);
    if (!action)
        return;
    if (keyDrive_.active()) {
        // The keys drive: a controller at rest stays out of it, one leaving its dead zone takes
        // over with its own pair and the cycle goes back to neutral values.
        if (!controller_->deflected())
            return;
        forgetHeldKeys();
        state.driveLeft = 100;
        state.driveRight = 100;
    }
    driveActive = active;
    applyDriveAction(*action);
}
