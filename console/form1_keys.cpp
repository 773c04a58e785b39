// The keyboard: the stop key from any window of the console, driving with the arrows and
// W A S D, the drive's enable ("engines manual override"), and the drive's answers carried out.

#include "console/form1.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/transparent_picture.h"
#include "console/x11_keyboard.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <optional>

namespace {

// The engine finishes a write of a few bytes in well under a millisecond; the wait only covers
// a cycle frame caught in the middle of its write, and never holds the window for longer.
constexpr int kStopWriteWaitMs = 50;
// A held key's auto-repeat can reach Qt as a release and a press of the same key (the X server
// sends both; Qt marks them only when the press is already queued, which a busy machine breaks).
// A release waits this long for such a press before it counts.
constexpr int kReleaseSettleMs = 50;

std::optional<DriveKey> driveKeyOf(int key) {
    switch (key) {
    case Qt::Key_Up:
        return DriveKey::Up;
    case Qt::Key_W:
        return DriveKey::W;
    case Qt::Key_Down:
        return DriveKey::Down;
    case Qt::Key_S:
        return DriveKey::S;
    case Qt::Key_Left:
        return DriveKey::Left;
    case Qt::Key_A:
        return DriveKey::A;
    case Qt::Key_Right:
        return DriveKey::Right;
    case Qt::Key_D:
        return DriveKey::D;
    default:
        return std::nullopt;
    }
}

// Controls that need the letters and the arrows themselves: text entries and spin edits.
bool takesText(const QWidget* w) {
    if (!w)
        return false;
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w))
        return true;
    if (const auto* combo = qobject_cast<const QComboBox*>(w))
        return combo->isEditable();
    if (const auto* edit = qobject_cast<const QPlainTextEdit*>(w))
        return !edit->isReadOnly();
    if (const auto* edit = qobject_cast<const QTextEdit*>(w))
        return !edit->isReadOnly();
    return false;
}

} // namespace

bool TForm1::driveLocked() const {
    return !CheckBox2->isChecked();
}

bool TForm1::onDashboard() const {
    return QApplication::activeWindow() == this && !QApplication::activePopupWidget() &&
           !takesText(QApplication::focusWidget());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // Key events reach the application's filter once for the window and again for each widget
    // they are offered to; the first widget decides.
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWidgetType())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    return type == QEvent::KeyPress ? FormKeyDown(key) : FormKeyUp(key);
}

bool TForm1::FormKeyDown(QKeyEvent* event) {
    // Inside a modal box Esc and Shift are the box's (opening it already ended any drive); a
    // driving key goes to the drive all the same, which leaves a new press to the box and keeps
    // a held key's repeat from it.
    const bool inBox = QApplication::activeModalWidget() != nullptr;
    if (inBox && (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Shift))
        return false;
    if (event->key() == Qt::Key_Escape) {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close(); // the port box's list: Esc closes it as it always does
        if (!event->isAutoRepeat())
            stopDriving();
        return true;
    }
    if (event->key() == Qt::Key_Shift) {
        if (onDashboard())
            passKey(DriveEvent::ShiftChange, event);
        return false; // Shift stays everybody's modifier
    }
    return passKey(DriveEvent::KeyPress, event);
}

bool TForm1::FormKeyUp(QKeyEvent* event) {
    if (event->key() == Qt::Key_Shift) {
        passKey(DriveEvent::ShiftChange, event);
        return false;
    }
    return passKey(DriveEvent::KeyRelease, event);
}

bool TForm1::passKey(DriveEvent kind, QKeyEvent* event) {
    DriveInput in = driveInput(kind);
    if (kind == DriveEvent::ShiftChange) {
        in.shift = event->type() == QEvent::KeyPress;
    } else {
        const std::optional<DriveKey> key = driveKeyOf(event->key());
        if (!key)
            return false;
        in.key = *key;
        in.shift = event->modifiers() & Qt::ShiftModifier;
        // AltGr comes as the group switch under X11.
        in.shortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier |
                                            Qt::MetaModifier | Qt::GroupSwitchModifier);
        in.autoRepeat = event->isAutoRepeat();
        in.onDashboard = onDashboard();
        if (event->nativeScanCode() != 0)
            driveKeyCodes_[size_t(*key)] = event->nativeScanCode();
    }
    const DriveAnswer answer = drive.handle(in);
    carryOut(answer);
    return answer.taken;
}

DriveInput TForm1::withKeysDown(DriveInput in) const {
    const std::optional<std::bitset<256>> down = x11::keysDown();
    if (!down)
        return in;
    in.keysDownKnown = true;
    for (int k = 0; k < kDriveKeyCount; ++k) {
        // A key never seen has no known code: it is not one the drive holds spent.
        const uint32_t code = driveKeyCodes_[size_t(k)];
        if (code != 0 && code < down->size() && (*down)[code])
            in.keysDown |= driveKeyBit(DriveKey(k));
    }
    return in;
}

void TForm1::keyboardBack() {
    carryOut(drive.handle(withKeysDown(driveInput(DriveEvent::KeyboardBack))));
}

void TForm1::endManualDrive() {
    carryOut(drive.handle(driveInput(DriveEvent::LetGo)));
}

void TForm1::sendStopFrameNow(int address) {
    // A refused stop would not be made good by anything: let a write under way finish first.
    if (link_.worker_running())
        link_.wait_write_done(kStopWriteWaitMs);
    sendFrame(buildStop(frameBuffer, address));
}

void TForm1::stopDriving() {
    carryOut(drive.handle(driveInput(DriveEvent::StopKey)));
    appendLog(QStringLiteral("> stop key, drive stopped"));
}

void TForm1::stopForFault() {
    carryOut(drive.handle(driveInput(DriveEvent::Fault)));
}

void TForm1::CheckBox2Click() {
    // Off: every source lets go, with one stop frame when anything drove. On again: nothing
    // drives until a source moves anew.
    carryOut(
        drive.handle(driveInput(driveLocked() ? DriveEvent::EnableOff : DriveEvent::EnableOn)));
}

void TForm1::leaveUnit(int address) {
    carryOut(drive.handle(driveInput(DriveEvent::UnitChanged)), address);
    // The frame that follows (the assignment) must not find the stop still being written.
    if (link_.worker_running())
        link_.wait_write_done(kStopWriteWaitMs);
}

void TForm1::chosenUnitChanged(int previousAddress) {
    leaveUnit(previousAddress);
    keepLastWords();
}

void TForm1::keepLastWords() {
    FrameBuffer stop{};
    const int length = buildStop(stop, unitAddress());
    link_.set_last_words(stop.data(), length);
}

void TForm1::carryOut(const DriveAnswer& answer) {
    carryOut(answer, unitAddress());
}

void TForm1::carryOut(const DriveAnswer& answer, int stopAddress) {
    if (answer.knob)
        Image5->setGeometry(answer.knob->left, answer.knob->top, answer.knob->width,
                            answer.knob->height);
    state.driveLeft = answer.driveLeft;
    state.driveRight = answer.driveRight;
    switch (answer.send) {
    case DriveSend::DrivePair:
        sendFrame(buildDrivePair(frameBuffer, unitAddress(), answer.leftValue, answer.rightValue));
        break;
    case DriveSend::Stop:
        sendStopFrameNow(stopAddress);
        break;
    case DriveSend::None:
        break;
    }
    if (answer.gauges) {
        const DriveGauges& g = *answer.gauges;
        CGauge2->setProgress(g.CGauge2);
        CGauge3->setProgress(g.CGauge3);
        CGauge5->setProgress(g.CGauge5);
        CGauge4->setProgress(g.CGauge4);
        CGauge11->setProgress(g.CGauge11);
        CGauge12->setProgress(g.CGauge12);
    }
    if (answer.holdController && controller_)
        controller_->holdAtNeutral();
    if (answer.settleKeys) {
        if (!releaseTimer_) {
            releaseTimer_ = new QTimer(this);
            releaseTimer_->setSingleShot(true);
            releaseTimer_->setInterval(kReleaseSettleMs);
            connect(releaseTimer_, &QTimer::timeout, this, [this] {
                carryOut(drive.handle(withKeysDown(driveInput(DriveEvent::KeysSettled))));
            });
        }
        releaseTimer_->start();
    }
}
