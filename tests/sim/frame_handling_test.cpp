// What the units on the simulated line do with each frame the console sends, and how the
// received byte stream is cut into frames.

#include "tools/sim/frame_parser.h"
#include "tools/sim/unit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

RobotFrame frame(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return RobotFrame{b0, b1, b2, b3};
}

Bytes bytesOf(const ReplyBytes& reply) {
    return Bytes(reply.begin(), reply.end());
}

std::vector<Bytes> repliesOf(const FrameOutcome& outcome) {
    std::vector<Bytes> out;
    for (const ReplyBytes& r : outcome.replies) {
        out.push_back(bytesOf(r));
    }
    return out;
}

Unit unitAt(uint8_t address, uint8_t soft = 3, uint8_t hard = 20) {
    Unit u;
    u.address = address;
    u.softVersion = soft;
    u.hardVersion = hard;
    return u;
}

TEST(UnitFrames, ProbeIsAnsweredOnlyByTheUnitAtThatAddress) {
    std::vector<Unit> units{unitAt(253), unitAt(7)};

    EXPECT_EQ(repliesOf(handleFrame(units, frame(0xFE, 0xFD, 0xD0, 0xFD))),
              (std::vector<Bytes>{{0xFE, 0xFD, 0xD8, 0xFD}}));
    EXPECT_EQ(repliesOf(handleFrame(units, frame(0xFE, 0x07, 0xD0, 0x07))),
              (std::vector<Bytes>{{0xFE, 0x07, 0xD8, 0x07}}));
    // Nobody at 5; a probe whose argument does not repeat the address asks nobody.
    EXPECT_TRUE(handleFrame(units, frame(0xFE, 0x05, 0xD0, 0x05)).replies.empty());
    EXPECT_TRUE(handleFrame(units, frame(0xFE, 0x07, 0xD0, 0xFD)).replies.empty());
    EXPECT_TRUE(handleFrame(units, frame(0xFE, 0xFD, 0xD0, 0x07)).replies.empty());
    // A probe changes nothing in the units.
    EXPECT_EQ(units[0].address, 253);
    EXPECT_EQ(units[1].address, 7);
}

TEST(UnitFrames, ScanOfAllAddressesFindsExactlyTheUnitsOnTheLine) {
    std::vector<Unit> units{unitAt(253), unitAt(7), unitAt(0), unitAt(251)};
    std::vector<int> found;
    for (int a = 0; a <= 251; ++a) {
        for (const ReplyBytes& r : handleFrame(units, frame(0xFE, a, 0xD0, a)).replies) {
            ASSERT_EQ(r[2], RplUnitDetected);
            ASSERT_EQ(r[1], r[3]);
            found.push_back(r[1]);
        }
    }
    // 253 is beyond the scan; 0 answers like any other unit.
    EXPECT_EQ(found, (std::vector<int>{0, 7, 251}));
}

TEST(UnitFrames, VersionQueriesAreAnsweredByTheAddressedUnitWithItsOwnVersions) {
    std::vector<Unit> units{unitAt(253, 3, 20), unitAt(7, 4, 21)};
    EXPECT_EQ(repliesOf(handleFrame(units, frame(0xFE, 0xFD, 0xEB, 0x00))),
              (std::vector<Bytes>{{0xFE, 0xFD, 0xEB, 0x03}}));
    EXPECT_EQ(repliesOf(handleFrame(units, frame(0xFE, 0xFD, 0xEC, 0x00))),
              (std::vector<Bytes>{{0xFE, 0xFD, 0xEC, 0x14}}));
    EXPECT_EQ(repliesOf(handleFrame(units, frame(0xFE, 0x07, 0xEB, 0x00))),
              (std::vector<Bytes>{{0xFE, 0x07, 0xEB, 0x04}}));
    EXPECT_EQ(repliesOf(handleFrame(units, frame(0xFE, 0x07, 0xEC, 0x00))),
              (std::vector<Bytes>{{0xFE, 0x07, 0xEC, 0x15}}));
    const FrameOutcome nobody = handleFrame(units, frame(0xFE, 0x08, 0xEB, 0x00));
    EXPECT_TRUE(nobody.replies.empty());
    EXPECT_FALSE(nobody.addressed);
}

TEST(UnitFrames, TwoUnitsSharingAnAddressBothAnswer) {
    std::vector<Unit> units{unitAt(9, 1, 10), unitAt(9, 2, 30)};
    EXPECT_EQ(repliesOf(handleFrame(units, frame(0xFE, 0x09, 0xEB, 0x00))),
              (std::vector<Bytes>{{0xFE, 0x09, 0xEB, 0x01}, {0xFE, 0x09, 0xEB, 0x02}}));
}

TEST(UnitFrames, AssignedAddressIsTakenAndUsedFromTheNextFrameOn) {
    std::vector<Unit> units{unitAt(253), unitAt(7)};
    const FrameOutcome outcome = handleFrame(units, frame(0xFE, 0xFD, 0xCF, 0x07 + 1));
    EXPECT_TRUE(outcome.replies.empty()); // no answer to an assignment
    EXPECT_EQ(units[0].address, 8);
    EXPECT_EQ(units[1].address, 7);

    EXPECT_TRUE(handleFrame(units, frame(0xFE, 0xFD, 0xD0, 0xFD)).replies.empty());
    EXPECT_TRUE(handleFrame(units, frame(0xFE, 0xFD, 0xEB, 0x00)).replies.empty());
    EXPECT_EQ(repliesOf(handleFrame(units, frame(0xFE, 0x08, 0xD0, 0x08))),
              (std::vector<Bytes>{{0xFE, 0x08, 0xD8, 0x08}}));

    // Moving a unit onto another unit's address: one frame moves it only once, the other unit
    // keeps its place.
    handleFrame(units, frame(0xFE, 0x08, 0xCF, 0x07));
    EXPECT_EQ(units[0].address, 7);
    EXPECT_EQ(units[1].address, 7);
    handleFrame(units, frame(0xFE, 0x07, 0xCF, 0x00));
    EXPECT_EQ(units[0].address, 0);
    EXPECT_EQ(units[1].address, 0);
}

TEST(UnitFrames, LedBitsAreKeptPerUnitWithoutTheUpperBits) {
    std::vector<Unit> units{unitAt(253), unitAt(7)};
    EXPECT_TRUE(handleFrame(units, frame(0xFE, 0xFD, 0xEA, 0x05)).replies.empty());
    EXPECT_EQ(units[0].leds, 0x05);
    EXPECT_EQ(units[1].leds, 0x00);
    handleFrame(units, frame(0xFE, 0xFD, 0xEA, 0xFA));
    EXPECT_EQ(units[0].leds, 0x0A);
    handleFrame(units, frame(0xFE, 0x07, 0xEA, 0x08));
    EXPECT_EQ(units[0].leds, 0x0A);
    EXPECT_EQ(units[1].leds, 0x08);
}

TEST(UnitFrames, DrivePairDriveAndPollAndStopSetTheDriveValues) {
    std::vector<Unit> units{unitAt(253), unitAt(7)};
    // Drive pair for left 150, right 50.
    handleFrame(units, frame(0xFE, 0xFD, 0xE7, 0x96));
    EXPECT_EQ(units[0].driveLeft, 150);
    EXPECT_EQ(units[0].driveRight, 100);
    handleFrame(units, frame(0xFE, 0xFD, 0xE8, 0x32));
    EXPECT_EQ(units[0].driveLeft, 150);
    EXPECT_EQ(units[0].driveRight, 50);

    // Drive-and-poll for left 30, right 170: the right value stands first.
    EXPECT_TRUE(handleFrame(units, frame(0xFC, 0xFD, 170, 30)).replies.empty());
    EXPECT_EQ(units[0].driveLeft, 30);
    EXPECT_EQ(units[0].driveRight, 170);

    // The other unit was never addressed.
    EXPECT_EQ(units[1].driveLeft, 100);
    EXPECT_EQ(units[1].driveRight, 100);
    handleFrame(units, frame(0xFC, 0x07, 0, 200));
    EXPECT_EQ(units[1].driveLeft, 200);
    EXPECT_EQ(units[1].driveRight, 0);

    handleFrame(units, frame(0xFE, 0xFD, 0xE9, 0xE9));
    EXPECT_EQ(units[0].driveLeft, 100);
    EXPECT_EQ(units[0].driveRight, 100);
    EXPECT_EQ(units[1].driveLeft, 200);

    // Values above 200 never come from the console; a unit keeps at most 200.
    handleFrame(units, frame(0xFE, 0xFD, 0xE7, 0xF0));
    EXPECT_EQ(units[0].driveLeft, 200);
}

TEST(UnitFrames, ProgramCommandsAreNotedAndNotAnswered) {
    std::vector<Unit> units{unitAt(253)};
    FrameOutcome on = handleFrame(units, frame(0xFE, 0xFD, 0xDA, 0x00));
    EXPECT_TRUE(on.replies.empty());
    EXPECT_TRUE(units[0].programActive);
    ASSERT_EQ(on.notes.size(), 1u);
    EXPECT_TRUE(on.notes[0].notable);
    EXPECT_NE(on.notes[0].text.find("program activated"), std::string::npos);

    FrameOutcome off = handleFrame(units, frame(0xFE, 0xFD, 0xDB, 0x00));
    EXPECT_TRUE(off.replies.empty());
    EXPECT_FALSE(units[0].programActive);
    ASSERT_EQ(off.notes.size(), 1u);
    EXPECT_NE(off.notes[0].text.find("program deactivated"), std::string::npos);

    // For another unit: nothing.
    FrameOutcome other = handleFrame(units, frame(0xFE, 0x07, 0xDA, 0x00));
    EXPECT_FALSE(other.addressed);
    EXPECT_FALSE(units[0].programActive);
}

std::vector<Bytes> parsed(FrameParser& parser, const Bytes& chunk) {
    std::vector<Bytes> out;
    for (const RobotFrame& f : parser.feed(chunk.data(), chunk.size())) {
        uint8_t raw[4];
        std::memcpy(raw, &f, 4);
        out.emplace_back(raw, raw + 4);
    }
    return out;
}

TEST(FrameParsing, BackToBackFramesInOneChunk) {
    FrameParser parser;
    // A drive pair, a drive-and-poll frame and a version query arriving in one read.
    const Bytes chunk{0xFE, 0xFD, 0xE7, 0x96, 0xFE, 0xFD, 0xE8, 0x32,
                      0xFC, 0xFD, 0x32, 0x96, 0xFE, 0xFD, 0xEB, 0x00};
    EXPECT_EQ(parsed(parser, chunk), (std::vector<Bytes>{{0xFE, 0xFD, 0xE7, 0x96},
                                                         {0xFE, 0xFD, 0xE8, 0x32},
                                                         {0xFC, 0xFD, 0x32, 0x96},
                                                         {0xFE, 0xFD, 0xEB, 0x00}}));
    EXPECT_EQ(parser.pending(), 0u);
    EXPECT_EQ(parser.discarded(), 0u);

    // The same chunk applied to a unit leaves the effect of every frame.
    std::vector<Unit> units{unitAt(253)};
    FrameParser second;
    std::vector<Bytes> replies;
    for (const RobotFrame& f : second.feed(chunk.data(), chunk.size())) {
        for (const ReplyBytes& r : handleFrame(units, f).replies) {
            replies.push_back(bytesOf(r));
        }
    }
    EXPECT_EQ(units[0].driveLeft, 150);
    EXPECT_EQ(units[0].driveRight, 50);
    EXPECT_EQ(replies, (std::vector<Bytes>{{0xFE, 0xFD, 0xEB, 0x03}}));
}

TEST(FrameParsing, FrameSplitOverReadsIsJoined) {
    FrameParser parser;
    EXPECT_TRUE(parsed(parser, {0xFE, 0xFD}).empty());
    EXPECT_EQ(parser.pending(), 2u);
    EXPECT_TRUE(parsed(parser, {0xEA}).empty());
    EXPECT_EQ(parsed(parser, {0x03, 0xFC, 0x07}), (std::vector<Bytes>{{0xFE, 0xFD, 0xEA, 0x03}}));
    EXPECT_EQ(parsed(parser, {100, 100}), (std::vector<Bytes>{{0xFC, 0x07, 100, 100}}));
    EXPECT_EQ(parser.pending(), 0u);
}

TEST(FrameParsing, AddressesAndArgumentsThatLookLikeStartBytesStayInTheirFrame) {
    FrameParser parser;
    // Unit 254 (0xFE) told to take address 252 (0xFC), then a probe of 252.
    EXPECT_EQ(parsed(parser, {0xFE, 0xFE, 0xCF, 0xFC, 0xFE, 0xFC, 0xD0, 0xFC}),
              (std::vector<Bytes>{{0xFE, 0xFE, 0xCF, 0xFC}, {0xFE, 0xFC, 0xD0, 0xFC}}));
    EXPECT_EQ(parser.discarded(), 0u);
}

TEST(FrameParsing, BytesOutsideFramesAreDroppedAndTheNextFrameIsFound) {
    FrameParser parser;
    // Junk, an FE frame with no robot command, an FC frame with a drive value above 200, then a
    // good frame.
    EXPECT_EQ(parsed(parser, {0x00, 0x41, 0xFE, 0xFD, 0x77, 0x01, 0xFC, 0xFD, 0xC8, 0xFF, 0xFE,
                              0xFD, 0xE9, 0xE9}),
              (std::vector<Bytes>{{0xFE, 0xFD, 0xE9, 0xE9}}));
    EXPECT_EQ(parser.discarded(), 10u);

    // A broken-off frame is given up on request, and the next frame is read cleanly.
    EXPECT_TRUE(parsed(parser, {0xFE, 0xFD, 0xEB}).empty());
    parser.clear();
    EXPECT_EQ(parser.discarded(), 13u);
    EXPECT_EQ(parsed(parser, {0xFE, 0x07, 0xEC, 0x00}),
              (std::vector<Bytes>{{0xFE, 0x07, 0xEC, 0x00}}));
}

} // namespace
