#pragma once
// Takes every whole frame out of the link's reads, in the order the robot sent them.
//
// The link delivers reads of at most readSize bytes; a read ends at that size or when the line
// has been quiet for a while. The robot owes no pause between its frames, so one read may hold
// several frames, and a read ended by its size may cut a frame in two. The reader therefore:
//   - finds each frame by its start byte and recognises it by the frame rule (recognizeChunk:
//     a reply FE a code v with a known reply code, or a 16-byte telemetry frame FC a E5 ... with
//     a good sum);
//   - keeps the unfinished frame at the end of a read that filled the read size and completes
//     it from the next read;
//   - ends an unfinished frame at the end of a shorter read: the line went quiet, and the pause
//     separates frames as it always has;
//   - skips bytes that begin no frame, and a candidate that fails the rule, to the next start
//     byte; each run of skipped bytes is reported once, and nothing in it is ever decoded.

#include "protocol/robot_frame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// One item of the stream: a whole frame, or a run of bytes that made none.
struct StreamItem {
    ReplyKind kind = ReplyKind::None;                // None: a skipped run
    std::array<uint8_t, TelemetryFrameSize> bytes{}; // the frame; a reply fills the first 4
    int size = 0;                                    // bytes of the frame, or of the run
};

class FrameReader {
public:
    explicit FrameReader(int readSize = LinkReadSize);

    // Takes one read. Then next() gives what it completed, item by item.
    void read(const uint8_t* data, int count);
    // The next frame or skipped run of the reads so far; none when the rest waits for the next
    // read (or nothing is left).
    std::optional<StreamItem> next();
    // Forgets an unfinished frame (the port closed or opened anew).
    void reset();
    // Bytes of an unfinished frame kept for the next read.
    int pending() const { return int(buffer_.size() - pos_); }

private:
    int readSize_;
    std::vector<uint8_t> buffer_; // an unfinished frame, then the latest read
    size_t pos_ = 0;              // first byte not yet given out
    bool lastReadFull_ = false;   // the latest read ended at the read size
};
