// The link's health with the real engine on a pseudo-terminal: the robot falls silent while the
// cycle polls, one "lost" line naming the unit; it answers again, one "back" line with the gap;
// the identity list shows the accepted telemetry's values; another unit's telemetry is named on
// the readout, and is no answer of the chosen unit there or in the log.

#include "tests/form1/form1_fixture.h"
#include "tests/support/pty_peer.h"

namespace {

class LinkHealthOnTheLine : public Form1Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        form1.portName = QString::fromStdString(peer.path());
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return form1.linkHealth().open(); }));
        peer.write({0xFE, 0xFD, 0xEB, 3});
        ASSERT_TRUE(waitUntil([&] { return form1.state.softVersion == 3; }));
        peer.write({0xFE, 0xFD, 0xEC, 20});
        ASSERT_TRUE(waitUntil([&] { return form1.state.hardVersion == 20; }));
    }

    // Cycle ticks every 50 ms for ms milliseconds, the robot's frames read away.
    void cycleFor(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            form1.Timer2Timer();
            peer.read(0);
            pumpFor(50);
        }
    }
    int linesWith(const QString& part) const { return int(logLines().filter(part).size()); }

    PtyPeer peer;
};

} // namespace

TEST_F(LinkHealthOnTheLine, SilentRobotIsToldOnceAndItsReturnWithTheGap) {
    TelemetryBytes t;
    t.sonarL = 180;
    t.leds = 0x05;
    // As requested: the cycle polls rather than repeating an LED command.
    form1.state.ledRequested[0] = form1.state.ledRequested[2] = true;
    peer.write(t.frame());
    ASSERT_TRUE(waitUntil([&] { return form1.state.sonarLeft == 180; }));
    cycleFor(600);
    EXPECT_EQ(linesWith("telemetry lost"), 0) << "lost within the first second";
    cycleFor(900);
    EXPECT_EQ(linesWith("> telemetry lost, id=253"), 1);
    EXPECT_TRUE(form1.linkHealth().lost());

    peer.write(t.frame());
    ASSERT_TRUE(waitUntil([&] { return !form1.linkHealth().lost(); }));
    const QStringList back = logLines().filter("> telemetry back after ");
    ASSERT_EQ(back.size(), 1);
    const double gap = back[0].section(' ', 4, 4).toDouble();
    EXPECT_GE(gap, 1.4) << back[0].toStdString();
    EXPECT_LE(gap, 3.0) << back[0].toStdString();

    // The list's value rows: caption, then the value, as the unit's rows are.
    cycleFor(300);
    EXPECT_EQ(form1.ListBox1->item(10)->text(), "Sonar L      :180 %");
    EXPECT_EQ(form1.ListBox1->item(26)->text(), "LED1         :ON");
    EXPECT_EQ(form1.ListBox1->item(27)->text(), "LED2         :OFF");
    EXPECT_EQ(form1.ListBox1->item(16)->text(), "U Eng. L     :") << "nothing decoded for it";
}

TEST_F(LinkHealthOnTheLine, AnotherUnitsTelemetryIsNamedAndIsNoAnswerOfTheChosenOne) {
    TelemetryBytes other;
    other.address = 7;
    other.sonarL = 90;
    for (int i = 0; i < 30; ++i) { // 1.5 s of unit 7 at 20 frames/s while the cycle polls 253
        peer.write(other.frame());
        cycleFor(50);
    }
    EXPECT_EQ(linesWith("> telemetry lost, id=253"), 1);
    const QStringList readout = form1.LinkReadout->text().split('\n');
    ASSERT_EQ(readout.size(), 2);
    EXPECT_TRUE(readout[0].startsWith("LINK 0.0 fr/s")) << readout[0].toStdString();
    EXPECT_TRUE(readout[1].startsWith("id=7 sends 1")) << readout[1].toStdString();
    EXPECT_EQ(form1.state.sonarLeft, 90) << "the dashboard shows it all the same";
}
