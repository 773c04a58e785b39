// The keyboard: the stop key from any window of the console, driving with the arrows and
// W A S D, and the drive's enable ("engines manual override").

#include "console/form1.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/transparent_picture.h"

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

KnobGeometry TForm1::padGeometry() const {
    return knobGeometry(boundsOf(Image3), boundsOf(Image5));
}

bool TForm1::driveLocked() const {
    return !CheckBox2->isChecked();
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
    // Inside a modal box the key is the box's (opening it already ended any drive).
    if (QApplication::activeModalWidget())
        return false;
    if (event->key() == Qt::Key_Escape) {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close(); // the port box's list: Esc closes it as it always does
        if (!event->isAutoRepeat())
            stopDriving();
        return true;
    }
    if (QApplication::activeWindow() != this || QApplication::activePopupWidget() ||
        takesText(QApplication::focusWidget()))
        return false;
    KeyOutcome outcome;
    if (event->key() == Qt::Key_Shift) {
        if (keyDrive_.setFullTravel(true, padGeometry(), driveActive, outcome))
            applyKeyOutcome(outcome);
        return false; // Shift stays everybody's modifier
    }
    const std::optional<DriveKey> driveKey = driveKeyOf(event->key());
    if (!driveKey)
        return false;
    const uint8_t bit = uint8_t(1u << unsigned(*driveKey));
    if (releasing_ & bit) {
        releasing_ &= uint8_t(~bit); // the release was half of an auto-repeat
        return true;
    }
    // One source at a time: keys pressed while the knob or the controller drives do nothing.
    const bool otherSourceDrives = knobDragging || (controller_ && controller_->deflected());
    if (event->isAutoRepeat() || driveLocked() || otherSourceDrives)
        return true;
    const bool fullTravel = event->modifiers() & Qt::ShiftModifier;
    if (keyDrive_.press(*driveKey, fullTravel, padGeometry(), driveActive, outcome))
        applyKeyOutcome(outcome);
    return true;
}

bool TForm1::FormKeyUp(QKeyEvent* event) {
    if (!keyDrive_.active())
        return false;
    KeyOutcome outcome;
    if (event->key() == Qt::Key_Shift) {
        if (keyDrive_.setFullTravel(false, padGeometry(), driveActive, outcome))
            applyKeyOutcome(outcome);
        return false;
    }
    const std::optional<DriveKey> driveKey = driveKeyOf(event->key());
    if (!driveKey || !(keyDrive_.heldMask() & (1u << unsigned(*driveKey))))
        return false;
    if (event->isAutoRepeat())
        return true;
    releasing_ |= uint8_t(1u << unsigned(*driveKey));
    releaseFullTravel_ = event->modifiers() & Qt::ShiftModifier;
    if (!releaseTimer_) {
        releaseTimer_ = new QTimer(this);
        releaseTimer_->setSingleShot(true);
        releaseTimer_->setInterval(kReleaseSettleMs);
        connect(releaseTimer_, &QTimer::timeout, this, [this] { settleKeyReleases(); });
    }
    releaseTimer_->start();
    return true;
}

void TForm1::settleKeyReleases() {
    const uint8_t released = releasing_;
    releasing_ = 0;
    for (unsigned k = 0; k < 8; ++k) {
        KeyOutcome outcome;
        if ((released & (1u << k)) &&
            keyDrive_.release(DriveKey(k), releaseFullTravel_, padGeometry(), driveActive, outcome))
            applyKeyOutcome(outcome);
    }
}

void TForm1::applyKeyOutcome(const KeyOutcome& outcome) {
    state.driveLeft = outcome.driveLeft;
    state.driveRight = outcome.driveRight;
    if (outcome.action.send == DriveSend::Stop) {
        DriveAction quiet = outcome.action;
        quiet.send = DriveSend::None;
        applyDriveAction(quiet);
        sendStopFrameNow();
        return;
    }
    applyDriveAction(outcome.action);
}

void TForm1::forgetHeldKeys() {
    keyDrive_.clear();
    releasing_ = 0;
    if (releaseTimer_)
        releaseTimer_->stop();
}

void TForm1::endKeyDrive() {
    if (!keyDrive_.active())
        return;
    forgetHeldKeys();
    KeyOutcome stop; // neutral values and gauges
    stop.action.send = DriveSend::Stop;
    driveActive = false;
    applyKeyOutcome(stop);
}

void TForm1::endManualDrive() {
    endKnobDrag();
    endKeyDrive();
}

void TForm1::sendStopFrameNow() {
    // A refused stop would not be made good by anything: let a write under way finish first.
    if (link_.worker_running())
        link_.wait_write_done(kStopWriteWaitMs);
    sendFrame(buildStop(frameBuffer, unitAddress()));
}

void TForm1::neutraliseDrive() {
    knobDragging = false;
    const KnobRect rest = knobAtRest(boundsOf(Image3), boundsOf(Image5));
    Image5->setGeometry(rest.left, rest.top, rest.width, rest.height);
    forgetHeldKeys();
    if (controller_)
        controller_->holdAtNeutral();
    driveActive = false;
    state.driveLeft = 100;
    state.driveRight = 100;
    applyDriveAction(DriveAction{}); // neutral gauges, nothing sent
}

void TForm1::stopDriving() {
    neutraliseDrive();
    if (portOpen.load())
        sendStopFrameNow();
    appendLog(QStringLiteral("> stop key, drive stopped"));
}

void TForm1::CheckBox2Click() {
    if (!driveLocked())
        return; // enabled again: nothing drives until a source moves anew
    const bool driving = knobDragging || keyDrive_.active() || driveActive ||
                         state.driveLeft != 100 || state.driveRight != 100 ||
                         (controller_ && controller_->deflected());
    neutraliseDrive();
    if (driving && portOpen.load())
        sendStopFrameNow();
}
