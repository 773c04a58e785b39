#include "protocol/frame_reader.h"

#include <algorithm>

namespace {

// Bytes a frame that begins with this byte has; 0 when no frame begins with it.
int frameSizeFor(uint8_t start) {
    switch (start) {
    case StartByteCommand:
        return RobotFrameSize;
    case StartByteTelemetry:
        return TelemetryFrameSize;
    default:
        return 0;
    }
}

} // namespace

FrameReader::FrameReader(int readSize) : readSize_(std::max(readSize, 1)) {}

void FrameReader::read(const uint8_t* data, int count) {
    // What was given out goes; an unfinished frame stays in front of the new bytes.
    buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(pos_));
    pos_ = 0;
    if (data == nullptr || count <= 0) {
        lastReadFull_ = false;
        return;
    }
    buffer_.insert(buffer_.end(), data, data + count);
    lastReadFull_ = count >= readSize_;
}

std::optional<StreamItem> FrameReader::next() {
    int skipped = 0;
    while (pos_ < buffer_.size()) {
        const uint8_t* at = buffer_.data() + pos_;
        const int left = int(buffer_.size() - pos_);
        const int size = frameSizeFor(at[0]);
        if (size > left && lastReadFull_) {
            // Cut by the read's size: the next read completes it. A run before it is told first.
            if (skipped > 0)
                break;
            return std::nullopt;
        }
        // A frame that the line's pause cut short is no frame: like any other candidate that
        // fails the rule, only its start byte is skipped, so a frame inside it is still found.
        const ReplyKind kind =
            size > 0 && size <= left ? recognizeChunk(at, size) : ReplyKind::None;
        if (kind == ReplyKind::None) {
            ++skipped;
            ++pos_;
            continue;
        }
        if (skipped > 0)
            break; // the run first; the frame on the next call
        StreamItem frame;
        frame.kind = kind;
        frame.size = size;
        std::copy(at, at + size, frame.bytes.begin());
        pos_ += size_t(size);
        return frame;
    }
    if (skipped > 0) {
        StreamItem run;
        run.size = skipped;
        return run;
    }
    return std::nullopt;
}

void FrameReader::reset() {
    buffer_.clear();
    pos_ = 0;
    lastReadFull_ = false;
}
