// A unit given a new address while the robot drives, and an exception that escapes a handler
// while it drives: the robot gets the stop frame first, and nothing moves afterwards until the
// operator drives anew. Bytes read at the robot's end of a real pseudo-terminal.

#include "console/console_application.h"
#include "tests/form1/form1_fixture.h"
#include "tests/support/pty_peer.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>

#include <stdexcept>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kStop253 = {0xFE, 0xFD, 0xE9, 0xE9};
const Bytes kPair150 = {0xFE, 0xFD, 0xE7, 150, 0xFE, 0xFD, 0xE8, 150};

class UnitChange : public Form1Test {
protected:
    void SetUp() override {
        form1.show();
        form2.show();
        // The windows' activation settles first: its focus changes end a drag of their own.
        form1.activateWindow();
        ASSERT_TRUE(waitUntil([&] { return form1.isActiveWindow(); }));
        pumpFor(50);
        ASSERT_TRUE(peer.ok());
        form1.portName = QString::fromStdString(peer.path());
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return form1.portOpen.load(); }));
        receive({0xFE, 0xFD, 0xEB, 3});
        receive({0xFE, 0xFD, 0xEC, 20});
    }
    void drag() {
        form1.Image5MouseDown(form1.Image3, 129, 130 - 65);
        ASSERT_EQ(peer.read(60), kPair150);
    }
    // The drag is over: a move with the button still down drives nothing.
    void expectStill(const char* what) {
        EXPECT_FALSE(form1.knobDragging) << what;
        form1.Image3MouseMove(form1.Image3, 10, 10);
        EXPECT_TRUE(peer.read(60).empty()) << what;
    }

    PtyPeer peer;
};

TEST_F(UnitChange, AssignedAddressLeavesTheUnitStoppedBeforeTheAssignment) {
    drag();
    boxes.queueAnswer(MessageBoxService::Yes);
    form2.CSpinEdit2->setValue(9);
    form2.SpeedButton7Click(); // the box ends the drag; the assignment follows the stop
    const Bytes got = peer.read(100);
    ASSERT_GE(got.size(), 8u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), kStop253);
    EXPECT_EQ(Bytes(got.end() - 4, got.end()), Bytes({0xFE, 0xFD, 0xCF, 9}))
        << "the assignment itself was refused";
}

TEST_F(UnitChange, ExceptionEscapingAHandlerStopsTheRobotBeforeItsBoxAndTheConsoleGoesOn) {
    auto* app = dynamic_cast<ConsoleApplication*>(qApp);
    ASSERT_NE(app, nullptr) << "the tests run under the console's own application object";
    app->setBeforeExceptionBox([this] { form1.stopForFault(); });
    drag();
    bool boxUp = false;
    Bytes beforeBox;
    QTimer::singleShot(0, qApp, [] { throw std::runtime_error("handler failed"); });
    // The box: what reached the robot by the time it is up, then it is dismissed.
    QTimer::singleShot(50, qApp, [&] {
        beforeBox = peer.read(60);
        if (QWidget* box = QApplication::activeModalWidget()) {
            boxUp = true;
            box->close();
        }
    });
    pumpFor(300);
    app->setBeforeExceptionBox(nullptr);
    EXPECT_TRUE(boxUp) << "no box";
    // Stop frames only (the offscreen platform's own focus changes may end the drag too).
    ASSERT_FALSE(beforeBox.empty()) << "no stop before the box";
    ASSERT_EQ(beforeBox.size() % 4, 0u);
    for (size_t i = 0; i < beforeBox.size(); i += 4)
        EXPECT_EQ(Bytes(beforeBox.begin() + long(i), beforeBox.begin() + long(i) + 4), kStop253);
    expectStill("after the box");
    // The console goes on: its handlers still run.
    drag();
}

} // namespace
