// The command cycle (Timer2) and the LED circles.

#include "console/form1.h"
#include "console/widgets/circle_shape.h"

#include <QCheckBox>

namespace {

constexpr int kRequestedOnOutline = 16777215; // white
constexpr int kRequestedOffOutline = 8421504; // grey

bool ledsDiffer(const RobotState& s) {
    for (int k = 0; k < 4; ++k) {
        if (s.ledReported[k] != s.ledRequested[k])
            return true;
    }
    return false;
}

} // namespace

void TForm1::Timer2Timer() {
    if (!portOpen.load()) {
        // Nothing to send until the next connection, which wakes the cycle on its beat.
        if (!connection.connectionActive())
            Timer2->rest();
        return;
    }
    const bool expectsReply = sendCycleFrame();
    linkHealthTick(expectsReply);
}

bool TForm1::sendCycleFrame() {
    const int address = unitAddress();
    if (state.softVersion == -1) {
        sendFrame(buildSoftVersionQuery(frameBuffer, address));
        return true;
    }
    if (state.hardVersion == -1) {
        sendFrame(buildHardVersionQuery(frameBuffer, address));
        return true;
    }
    // The LED command is repeated until the robot reports the LEDs asked for. A robot may report
    // only when polled, so after an LED command the cycle polls until a report has come.
    if (CheckBox1->isChecked() && ledsDiffer(state) && !ledReportAwaited_) {
        sendFrame(buildSetLeds(frameBuffer, address, ledBits(state.ledRequested)));
        ledReportAwaited_ = true;
        appendLog(QStringLiteral("> led status change"));
        return false; // the robot answers an LED command with nothing of its own
    }
    // With the drive switched off the robot is told to stand still, whatever is stored.
    sendFrame(buildDriveAndPoll(frameBuffer, address, drive.cycleLeft(), drive.cycleRight()));
    return true;
}

void TForm1::Shape1MouseUp(CircleShape* sender) {
    CircleShape* const circles[4] = {Shape1, Shape2, Shape3, Shape4};
    for (int k = 0; k < 4; ++k) {
        if (circles[k] == sender)
            state.ledRequested[k] = !state.ledRequested[k];
    }
    // The outline shows the request; the fill shows what the robot reports.
    for (int k = 0; k < 4; ++k)
        circles[k]->setPenColor(state.ledRequested[k] ? kRequestedOnOutline : kRequestedOffOutline);
    // Sent at once, whatever the port and the override box say; the engine refuses it while no
    // port is open.
    sendFrame(buildSetLeds(frameBuffer, unitAddress(), ledBits(state.ledRequested)));
    ledReportAwaited_ = true;
    appendLog(QStringLiteral("> led status change"));
}
