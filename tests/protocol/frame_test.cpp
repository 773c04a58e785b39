// Frame bytes of every sender and the recognition of received chunks.
#include "protocol/robot_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A telemetry frame whose twelve data bytes are all `fill`, then `extra` bytes.
Bytes telemetry(uint8_t address, uint8_t fill, uint8_t sum, const Bytes& extra = {}) {
    Bytes chunk{StartByteTelemetry, address, RplTelemetry};
    chunk.insert(chunk.end(), 12, fill);
    chunk.push_back(sum);
    chunk.insert(chunk.end(), extra.begin(), extra.end());
    return chunk;
}

TEST(FrameBuilders, EveryFrameTheConsoleSends) {
    FrameBuffer b{};
    auto sent = [&b](int length) { return Bytes(b.begin(), b.begin() + length); };
    EXPECT_EQ(sent(buildProbe(b, 253)), (Bytes{0xFE, 0xFD, 0xD0, 0xFD}));
    EXPECT_EQ(sent(buildAssignAddress(b, 253, 7)), (Bytes{0xFE, 0xFD, 0xCF, 0x07}));
    EXPECT_EQ(sent(buildProgramActivate(b, 253)), (Bytes{0xFE, 0xFD, 0xDA, 0x00}));
    EXPECT_EQ(sent(buildProgramDeactivate(b, 253)), (Bytes{0xFE, 0xFD, 0xDB, 0x00}));
    EXPECT_EQ(sent(buildSoftVersionQuery(b, 4)), (Bytes{0xFE, 0x04, 0xEB, 0x00}));
    EXPECT_EQ(sent(buildHardVersionQuery(b, 4)), (Bytes{0xFE, 0x04, 0xEC, 0x00}));
    EXPECT_EQ(sent(buildStop(b, 253)), (Bytes{0xFE, 0xFD, 0xE9, 0xE9}));
    const bool leds[4] = {true, true, false, false};
    EXPECT_EQ(sent(buildSetLeds(b, 253, ledBits(leds))), (Bytes{0xFE, 0xFD, 0xEA, 0x03}));
    EXPECT_EQ(sent(buildSetLeds(b, 1, ledBits(true, false, true, true))),
              (Bytes{0xFE, 0x01, 0xEA, 0x0D}));
    EXPECT_EQ(sent(buildSetLeds(b, 1, 0xFF)), (Bytes{0xFE, 0x01, 0xEA, 0x0F})); // bits 4..7 zero
    EXPECT_EQ(sent(buildDrivePair(b, 253, 150, 50)),
              (Bytes{0xFE, 0xFD, 0xE7, 0x96, 0xFE, 0xFD, 0xE8, 0x32}));
    // The drive-and-poll frame carries the right value first.
    EXPECT_EQ(sent(buildDriveAndPoll(b, 253, 150, 50)), (Bytes{0xFC, 0xFD, 0x32, 0x96}));
    // Only the low eight bits of addresses and values go out.
    EXPECT_EQ(sent(buildProbe(b, 256)), (Bytes{0xFE, 0x00, 0xD0, 0x00}));
    EXPECT_EQ(sent(buildProbe(b, -1)), (Bytes{0xFE, 0xFF, 0xD0, 0xFF}));
    EXPECT_EQ(sent(buildAssignAddress(b, 257, -2)), (Bytes{0xFE, 0x01, 0xCF, 0xFE}));
    EXPECT_EQ(sent(buildDriveAndPoll(b, -1, 356, 300)), (Bytes{0xFC, 0xFF, 0x2C, 0x64}));
}

TEST(ChunkRecognition, FirstFrameOfTheChunkOnly) {
    Bytes wrongCode = telemetry(253, 0x20, 0x80);
    wrongCode[2] = 0xE6;
    const std::pair<Bytes, ReplyKind> cases[] = {
        {telemetry(253, 0x20, 0x80), ReplyKind::Telemetry}, // 0x180 mod 256
        {telemetry(253, 0x20, 0x7F), ReplyKind::None},
        {telemetry(7, 0x20, 0x80), ReplyKind::Telemetry}, // any sender address
        {wrongCode, ReplyKind::None},
        {telemetry(253, 0x20, 0x80, {0xFE, 0xFD, 0xEB, 0x03}), ReplyKind::Telemetry},
        {{0x00, 0xFE, 0x05, 0xD8, 0x05}, ReplyKind::None},
        {{0xFE, 0x05, 0xD8, 0x05}, ReplyKind::UnitDetected},
        {{0xFE, 0x05, 0xD9, 0x05}, ReplyKind::None},
        {{0xFE, 0x05, 0xEB, 0x03}, ReplyKind::SoftVersion},
        {{0xFE, 0x05, 0xEC, 0x0A, 0x00}, ReplyKind::HardVersion},
        {{0xFE, 0x05, 0xD8}, ReplyKind::None},
        {{}, ReplyKind::None},
    };
    for (const auto& [chunk, kind] : cases) {
        EXPECT_EQ(recognizeChunk(chunk.data(), static_cast<int>(chunk.size())), kind)
            << testing::PrintToString(chunk);
    }
    const Bytes good = telemetry(253, 0x20, 0x80);
    EXPECT_EQ(recognizeChunk(good.data(), 15), ReplyKind::None); // sum byte not received
    const uint8_t reply[4] = {0xFE, 0x05, 0xD8, 0x05};
    EXPECT_EQ(recognizeChunk(nullptr, 16), ReplyKind::None);
    EXPECT_EQ(recognizeChunk(reply, -4), ReplyKind::None);
}

} // namespace
