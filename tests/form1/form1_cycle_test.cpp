// The command cycle, the LED circles and a knob drag, with the bytes read at the robot's end of a
// real pseudo-terminal.

#include "tests/form1/form1_fixture.h"
#include "tests/support/pty_peer.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Cycle : public Form1Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        form1.portName = QString::fromStdString(peer.path());
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return form1.portOpen.load(); }));
        ASSERT_TRUE(waitUntil([&] { return !boxes.calls().empty(); })); // opened notice
    }

    // One tick of the command cycle and what reaches the robot.
    Bytes tick() {
        form1.Timer2Timer();
        return peer.read(60);
    }
    void answerVersions() {
        receive({0xFE, 0xFD, 0xEB, 3});
        receive({0xFE, 0xFD, 0xEC, 20});
    }
    int countLog(const QString& line) const { return int(logLines().count(line)); }

    PtyPeer peer;
};

TEST_F(Cycle, QueriesVersionsInOrderUntilAnswered) {
    EXPECT_EQ(tick(), Bytes({0xFE, 0xFD, 0xEB, 0x00}));
    EXPECT_EQ(tick(), Bytes({0xFE, 0xFD, 0xEB, 0x00}));
    receive({0xFE, 0xFD, 0xEB, 3});
    EXPECT_EQ(tick(), Bytes({0xFE, 0xFD, 0xEC, 0x00}));
    receive({0xFE, 0xFD, 0xEC, 20});
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 100, 100}));
}

TEST_F(Cycle, NewUnitAddressIsQueriedOnTheNextTick) {
    answerVersions();
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 100, 100}));
    form2.CSpinEdit1->setValue(5);
    EXPECT_EQ(tick(), Bytes({0xFE, 0x05, 0xEB, 0x00}));
    form2.CSpinEdit1->setValue(0);
    receive({0xFE, 0x00, 0xEB, 1});
    receive({0xFE, 0x00, 0xEC, 1});
    EXPECT_EQ(tick(), Bytes({0xFC, 0x00, 100, 100}));
}

TEST_F(Cycle, LedCommandRepeatsWithItsLogLineUntilReported) {
    answerVersions();
    form1.Shape1MouseUp(form1.Shape1);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xEA, 0x01}));
    EXPECT_EQ(form1.Shape1->penColor(), 16777215);
    EXPECT_EQ(form1.Shape2->penColor(), 8421504);
    // A robot reports only when polled: the cycle polls until a report comes, and repeats the
    // command after each report that still differs.
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 100, 100}));
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 100, 100}));
    TelemetryBytes t;
    receiveTelemetry(t); // the command was lost: LED1 still off
    EXPECT_EQ(tick(), Bytes({0xFE, 0xFD, 0xEA, 0x01}));
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 100, 100}));
    receiveTelemetry(t);
    EXPECT_EQ(tick(), Bytes({0xFE, 0xFD, 0xEA, 0x01}));
    EXPECT_EQ(countLog("> led status change"), 3);
    t.leds = 0x01;
    receiveTelemetry(t);
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 100, 100}));
    EXPECT_EQ(countLog("> led status change"), 3);
}

TEST_F(Cycle, OverrideOffSendsOneLedCommandPerClick) {
    answerVersions();
    form1.CheckBox1->setChecked(false);
    form1.Shape1MouseUp(form1.Shape3);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xEA, 0x04}));
    form1.Shape1MouseUp(form1.Shape4);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xEA, 0x0C}));
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 100, 100})); // reports differ, but no enforcing
    EXPECT_EQ(countLog("> led status change"), 2);
}

TEST_F(Cycle, SameCircleTwiceSendsTheRequestBack) {
    form1.Shape1MouseUp(form1.Shape2);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xEA, 0x02}));
    form1.Shape1MouseUp(form1.Shape2);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xEA, 0x00}));
    EXPECT_EQ(form1.Shape2->penColor(), 8421504);
    EXPECT_EQ(countLog("> led status change"), 2);
}

TEST_F(Cycle, NothingIsSentWhileThePortIsClosed) {
    form1.Button2Click();
    // The disconnect's own stop frame, written before the close, is the last frame.
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xE9, 0xE9}));
    ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }));
    EXPECT_TRUE(tick().empty());
    form1.Shape1MouseUp(form1.Shape1); // offered, refused by the engine
    EXPECT_TRUE(peer.read(60).empty());
    EXPECT_TRUE(form1.state.ledRequested[0]);
    EXPECT_EQ(countLog("> led status change"), 1);
}

TEST_F(Cycle, KnobDragSendsDrivePairsAndReleaseStops) {
    answerVersions();
    // Press on the pad 65 px above its centre (149, 400): the knob follows, 150/150 goes out.
    form1.Image5MouseDown(form1.Image3, 129, 130 - 65);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xE7, 150, 0xFE, 0xFD, 0xE8, 150}));
    EXPECT_EQ(form1.Image5->geometry(), QRect(133, 319, 32, 32));
    EXPECT_EQ(form1.CGauge2->progress(), 50);
    EXPECT_EQ(form1.CGauge3->progress(), 100);
    EXPECT_EQ(form1.CGauge5->progress(), 50);
    EXPECT_EQ(form1.CGauge4->progress(), 100);
    EXPECT_EQ(form1.CGauge11->progress(), 0);
    EXPECT_EQ(form1.CGauge12->progress(), 65);
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 150, 150})); // the cycle repeats the knob's values

    // Dragged on to 129 px left of the centre, outside the knob: full left turn.
    form1.Image3MouseMove(form1.Image3, 0, 130);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xE7, 200, 0xFE, 0xFD, 0xE8, 0}));
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 0, 200})); // right value first

    form1.Image5MouseUp(form1.Image5, 0, 0);
    EXPECT_EQ(peer.read(60), Bytes({0xFE, 0xFD, 0xE9, 0xE9}));
    EXPECT_EQ(form1.Image5->pos(), QPoint(132, 383));
    EXPECT_EQ(form1.CGauge3->progress(), 100);
    EXPECT_EQ(form1.CGauge12->progress(), 0);
    EXPECT_EQ(tick(), Bytes({0xFC, 0xFD, 100, 100}));

    // A move without a drag only resets the gauges.
    form1.Image3MouseMove(form1.Image3, 10, 10);
    EXPECT_TRUE(peer.read(60).empty());
}

} // namespace
