// The replay's schedule: the robot's chunks of a capture from the console's first frame on, at
// the speed asked for, again and again with a loop, later by as much as the console held them.

#include "tools/sim/replay.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

CaptureLine line(CaptureKind kind, int64_t timeUs, Bytes bytes = {0xFC}) {
    CaptureLine l;
    l.kind = kind;
    l.timeUs = timeUs;
    l.bytes = std::move(bytes);
    return l;
}

TEST(ReplaySchedule, PlaysTheRobotsChunksFromTheConsolesFirstFrameAtTheSpeedAsked) {
    Capture capture;
    capture.lines = {line(CaptureKind::Refused, 400),           line(CaptureKind::Tx, 1000),
                     line(CaptureKind::Rx, 1500, {0xFE, 0x01}), line(CaptureKind::Tx, 2000),
                     line(CaptureKind::Rx, 2500, {0xFE, 0x02}), line(CaptureKind::End, 2600)};
    std::vector<ReplayChunk> chunks;
    int64_t zero = 0;
    std::string error;
    ASSERT_TRUE(replayChunks(capture, chunks, zero, error)) << error;
    EXPECT_EQ(zero, 1000) << "a refused frame never went on the line";
    ASSERT_EQ(chunks.size(), 2u);

    const SimClock::time_point t{seconds(100)};
    for (const bool loop : {false, true}) {
        ReplaySchedule s(chunks, zero, 2.0, loop);
        EXPECT_FALSE(s.due()) << "nothing before the console writes";
        s.start(t);
        EXPECT_EQ(s.due(), t + microseconds(250));
        EXPECT_EQ(s.next(), (Bytes{0xFE, 0x01}));
        s.advance();
        s.delay(milliseconds(10)); // the console did not read for a while
        EXPECT_EQ(s.due(), t + microseconds(10750));
        s.advance();
        if (!loop) {
            EXPECT_TRUE(s.done());
            EXPECT_FALSE(s.due());
            continue;
        }
        // Again from the first chunk, the link's quiet gap (at this speed) after the last.
        EXPECT_EQ(s.rounds(), 1u);
        EXPECT_EQ(s.due(), t + microseconds(10750 + 25000));
        EXPECT_EQ(s.next(), (Bytes{0xFE, 0x01}));
    }

    capture.lines = {line(CaptureKind::Tx, 1000), line(CaptureKind::End, 2000)};
    EXPECT_FALSE(replayChunks(capture, chunks, zero, error));
    EXPECT_NE(error.find("no rx line"), std::string::npos) << error;
}

} // namespace
