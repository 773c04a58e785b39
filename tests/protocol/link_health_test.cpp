// The link's health on a fake clock: the rate over its window, the one-second limit and where it
// is counted from, the "back after" duration, refused chunks.
#include "protocol/link_health.h"

#include <gtest/gtest.h>

TEST(LinkHealth, RateCountsTheLastTwoSecondsAndRefusedChunksSinceTheOpen) {
    LinkHealth h;
    h.portOpened(1000);
    EXPECT_EQ(h.telemetryAgeMs(1000), std::nullopt);
    for (int64_t t = 1100; t <= 4000; t += 100)
        h.chunk(ReplyKind::Telemetry, true, t);
    EXPECT_DOUBLE_EQ(h.telemetryRate(4000), 10.0);
    EXPECT_DOUBLE_EQ(h.telemetryRate(5000), 5.0); // half of the window is quiet
    EXPECT_EQ(h.telemetryAgeMs(4250), 250);
    h.chunk(ReplyKind::None, true, 4300);
    h.chunk(ReplyKind::None, true, 4400);
    h.chunk(ReplyKind::SoftVersion, true, 4500); // accepted, but no telemetry
    EXPECT_EQ(h.refused(), 2);
    EXPECT_EQ(h.telemetryAgeMs(4500), 500);

    h.portClosed();
    h.portOpened(9000);
    EXPECT_EQ(h.refused(), 0) << "counted since this connection";
    EXPECT_DOUBLE_EQ(h.telemetryRate(9000), 0.0);
}

TEST(LinkHealth, LostAfterOneSecondWithoutAReplyWhileTheCycleAsksAndBackWithTheGap) {
    LinkHealth h;
    h.portOpened(0);
    h.cycleSent(true, 50);
    EXPECT_FALSE(h.check(999)) << "no warning in the first second after the open";
    ASSERT_TRUE(h.check(1050));
    EXPECT_TRUE(h.lost());
    EXPECT_FALSE(h.check(1500)) << "the loss is told once";

    const auto back = h.chunk(ReplyKind::Telemetry, true, 3400);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, LinkHealth::Change::Kind::Back);
    EXPECT_EQ(back->missingMs, 3400);
    EXPECT_FALSE(h.lost());
    EXPECT_FALSE(h.chunk(ReplyKind::Telemetry, true, 3500));
    // Another unit's telemetry on the line is no answer from the chosen one, nor in its rate and
    // age; it is counted beside them.
    EXPECT_FALSE(h.chunk(ReplyKind::Telemetry, false, 4000, 7));
    EXPECT_FALSE(h.chunk(ReplyKind::Telemetry, false, 4100, 9));
    EXPECT_FALSE(h.check(4499));
    EXPECT_TRUE(h.check(4500)) << "counted from the last accepted reply";
    EXPECT_DOUBLE_EQ(h.telemetryRate(4500), 1.0);
    EXPECT_EQ(h.telemetryAgeMs(4500), 1000);
    ASSERT_TRUE(h.otherUnitTelemetry(4500));
    EXPECT_EQ(h.otherUnitTelemetry(4500)->address, 9);
    EXPECT_DOUBLE_EQ(h.otherUnitTelemetry(4500)->framesPerSecond, 1.0);
    EXPECT_FALSE(h.otherUnitTelemetry(6100)) << "gone from the window";
}

TEST(LinkHealth, NoLossCountedWhileTheCycleSendsNothingTheRobotAnswers) {
    LinkHealth h;
    h.portOpened(0);
    h.chunk(ReplyKind::Telemetry, true, 100);
    h.cycleSent(false, 150); // LED commands only
    EXPECT_FALSE(h.check(5000));
    h.cycleSent(true, 5000); // polling again: a second from now
    EXPECT_FALSE(h.check(5900));
    EXPECT_TRUE(h.check(6000));

    h.portClosed();
    EXPECT_FALSE(h.lost());
    EXPECT_FALSE(h.check(9000)) << "nothing with the port closed";
    EXPECT_FALSE(h.chunk(ReplyKind::Telemetry, true, 9100));
}
