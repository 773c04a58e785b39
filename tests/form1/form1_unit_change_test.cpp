// The chosen unit changes while the robot drives, and an exception escapes a handler while it
// drives: the unit that was driven gets the stop frame first and nothing moves afterwards until
// the operator drives anew. Bytes read at the robot's end of a real pseudo-terminal.

#include "console/console_application.h"
#include "console/widgets/spin_edit.h"
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
    Bytes tick() {
        form1.Timer2Timer();
        return peer.read(60);
    }
    // Nothing drives and the cycle stands still, at whichever unit is chosen.
    void expectStill(int address, const char* what) {
        EXPECT_FALSE(form1.knobDragging) << what;
        EXPECT_EQ(form1.Image5->pos(), QPoint(132, 383)) << what;
        // A move of the pointer with the button still down drives nothing.
        form1.Image3MouseMove(form1.Image3, 10, 10);
        EXPECT_TRUE(peer.read(60).empty()) << what;
        const Bytes poll = tick();
        ASSERT_EQ(poll.size(), 4u) << what;
        if (poll[0] == 0xFC) {
            EXPECT_EQ(poll, Bytes({0xFC, uint8_t(address), 100, 100})) << what;
        }
    }

    PtyPeer peer;
};

TEST_F(UnitChange, SpinEditAndListStopTheOldUnitFirst) {
    drag();
    form2.CSpinEdit1->setValue(254); // the wheel, a typed number, the arrows
    EXPECT_EQ(peer.read(60), kStop253);
    EXPECT_EQ(tick(), Bytes({0xFE, 0xFE, 0xEB, 0x00})) << "then the new unit's versions";
    expectStill(254, "spin edit");

    // Back to 253 through the list while the knob drives 254.
    form1.Image5MouseDown(form1.Image3, 129, 130 - 65);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFE, 0xE7, 150, 0xFE, 0xFE, 0xE8, 150}));
    form2.ListBox1->setCurrentRow(0); // "253"
    form2.ListBox1Click();
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFE, 0xE9, 0xE9}));
    expectStill(253, "list");
    // Changed while nothing drives: no frame for the unit left.
    form2.CSpinEdit1->setValue(7);
    EXPECT_TRUE(peer.read(60).empty());
}

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

TEST_F(UnitChange, CrashStopFrameFollowsTheChosenUnit) {
    // What a crash handler writes: the stop of the unit chosen at that moment.
    EXPECT_TRUE(form1.link().write_last_words());
    EXPECT_EQ(peer.read(60), kStop253);
    form2.CSpinEdit1->setValue(254);
    EXPECT_TRUE(form1.link().write_last_words());
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFE, 0xE9, 0xE9}));
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
    expectStill(253, "after the box");
    // The console goes on: its handlers still run.
    drag();
}

} // namespace
