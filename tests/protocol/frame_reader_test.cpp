// How frames are taken out of the link's reads: several to a read, cut by a read's size, cut by
// a pause, among bytes that make no frame.
#include "protocol/frame_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A telemetry frame from unit `id` whose data bytes hold no start byte.
Bytes telemetry(uint8_t id) {
    Bytes f{StartByteTelemetry, id, RplTelemetry, 60, 1, 2, 30, 31, 90, 91, 128, 128, 192, 0, id};
    f.push_back(frameSum(f.data()));
    return f;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes part(const Bytes& b, size_t from, size_t to) {
    return Bytes(b.begin() + long(from), b.begin() + long(to));
}

// What the reader gave out: "T<address>" for telemetry, "U", "S", "H" and the address for the
// replies, "bad<n>" for a run of n skipped bytes.
std::vector<std::string> readAll(const std::vector<Bytes>& reads, FrameReader& reader) {
    std::vector<std::string> items;
    for (const Bytes& r : reads) {
        reader.read(r.data(), int(r.size()));
        while (const auto item = reader.next()) {
            const std::string address = std::to_string(item->bytes[1]);
            switch (item->kind) {
            case ReplyKind::None:
                items.push_back("bad" + std::to_string(item->size));
                break;
            case ReplyKind::Telemetry:
                EXPECT_EQ(Bytes(item->bytes.begin(), item->bytes.end()), telemetry(item->bytes[1]));
                items.push_back("T" + address);
                break;
            case ReplyKind::UnitDetected:
                items.push_back("U" + address);
                break;
            case ReplyKind::SoftVersion:
                items.push_back("S" + address);
                break;
            case ReplyKind::HardVersion:
                items.push_back("H" + address);
                break;
            }
        }
    }
    return items;
}

TEST(FrameReader, EveryWholeFrameOfTheReadsInOrder) {
    const Bytes found5{0xFE, 0x05, 0xD8, 0x05};
    const Bytes soft1{0xFE, 0x01, 0xEB, 0x03};
    Bytes badSum = telemetry(1);
    badSum[15] ^= 0x01;
    struct Case {
        const char* what;
        std::vector<Bytes> reads;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"two telemetry frames in one read", {telemetry(1) + telemetry(2)}, {"T1", "T2"}},
        {"telemetry, then a version reply", {telemetry(1) + soft1}, {"T1", "S1"}},
        {"a frame cut by the read's size, completed by the next read",
         {found5 + telemetry(1) + part(telemetry(2), 0, 12), part(telemetry(2), 12, 16)},
         {"U5", "T1", "T2"}},
        {"only a start byte left at the end of a full read",
         {Bytes(31, 0x11) + Bytes{StartByteTelemetry}, part(telemetry(3), 1, 16)},
         {"bad31", "T3"}},
        {"a frame cut by a pause is lost, and nothing is made of its halves",
         {part(telemetry(1), 0, 10), part(telemetry(1), 10, 16) + telemetry(2)},
         {"bad10", "bad6", "T2"}},
        {"bytes before, between and after frames",
         {Bytes{0x01, 0x02} + telemetry(1) + Bytes{0x03} + found5 + Bytes{0x04, 0x05}},
         {"bad2", "T1", "bad1", "U5", "bad2"}},
        {"a bad sum, then a good frame", {badSum + telemetry(2)}, {"bad16", "T2"}},
        {"an unknown reply code, then a reply",
         {Bytes{0xFE, 0x05, 0xD9, 0x05} + found5},
         {"bad4", "U5"}},
        {"a reply inside a candidate the pause left unfinished",
         {Bytes{StartByteTelemetry, 0x00, 0x12} + found5},
         {"bad3", "U5"}},
    };
    for (const Case& c : cases) {
        FrameReader reader(32);
        EXPECT_EQ(readAll(c.reads, reader), c.items) << c.what;
        EXPECT_EQ(reader.pending(), 0) << c.what;
    }
}

} // namespace
