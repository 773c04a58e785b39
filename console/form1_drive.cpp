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

DriveInput TForm1::driveInput(DriveEvent event) const {
    DriveInput in;
    in.event = event;
    in.pad = boundsOf(Image3);
    in.knob = boundsOf(Image5);
    return in;
}

void TForm1::setPanel(TForm2* panel) {
    Form2 = panel;
    if (Form2)
        keepLastWords(); // the chosen unit is known from now on
}

KnobSender TForm1::knobSender(QWidget* sender) const {
    return sender == Image5 ? KnobSender::Knob : KnobSender::Pad;
}

void TForm1::Image5MouseDown(QWidget* sender, int x, int y) {
    DriveInput in = driveInput(DriveEvent::KnobPress);
    in.sender = knobSender(sender);
    in.x = x;
    in.y = y;
    carryOut(drive.handle(in));
}

void TForm1::Image3MouseMove(QWidget* sender, int x, int y) {
    DriveInput in = driveInput(DriveEvent::KnobMove);
    in.sender = knobSender(sender);
    in.x = x;
    in.y = y;
    carryOut(drive.handle(in));
}

void TForm1::Image5MouseUp(QWidget*, int, int) {
    // The release looks at neither the sender nor the position.
    carryOut(drive.handle(driveInput(DriveEvent::KnobRelease)));
}

void TForm1::endKnobDrag() {
    if (knobDragging)
        Image5MouseUp(Image5, 0, 0);
}

void TForm1::knobPressed(QWidget* sender, int x, int y, Qt::MouseButton button) {
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
    DriveInput in = driveInput(DriveEvent::ControllerTick);
    in.tick.driveActive = driveActive;
    const std::optional<DriveAction> action = controller_->tick(options, in.tick.driveActive);
    if (!action)
        return;
    in.tick.action = *action;
    in.tick.deflected = controller_->deflected();
    carryOut(drive.handle(in));
}
