#pragma once
// Everything the simulated robot writes goes through one queue that keeps the line quiet for at
// least a minimum gap between any two writes. The console ends a read after 50 ms without bytes,
// so with a gap above 50 ms each frame reaches the console in a read of its own.
//
// Order: first come, first written, except that with a gap a new telemetry frame takes the place
// of one that still waits unwritten (stale readings are not worth sending; without a gap nothing
// waits, and each poll gets its own frame), and a reply identical to one that still waits is not
// queued twice. An item may consist of several pieces (a telemetry
// frame written in two halves); its pieces go out one after the other, each after the gap, with
// nothing else between them. The queue holds at most a fixed number of items; beyond that new
// replies and noise are dropped and counted.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

using SimClock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

enum class OutputKind { Reply, Telemetry, Noise };

struct OutputPiece {
    Bytes bytes;
    OutputKind kind;
    bool last; // the last piece of its item
};

class OutputQueue {
public:
    explicit OutputQueue(SimClock::duration minGap, size_t maxItems = 32);

    // False when the reply was not queued (an identical one waits, or the queue is full).
    bool pushReply(Bytes bytes);
    // pieces: one write each; a frame written whole is one piece.
    void pushTelemetry(std::vector<Bytes> pieces);
    bool pushNoise(Bytes bytes);

    bool empty() const { return items_.empty(); }
    size_t size() const { return items_.size(); }
    size_t dropped() const { return dropped_; }
    // True while the first item has pieces written and pieces still to write.
    bool itemUnderWay() const { return !items_.empty() && items_.front().next > 0; }

    // The earliest time the next piece may be written; nothing when the queue is empty.
    std::optional<SimClock::time_point> nextWriteTime() const;
    // The piece due at now, if any; now is taken as its write time.
    std::optional<OutputPiece> take(SimClock::time_point now);
    // Moves the time of the last write, for a write that took a while to complete.
    void markWritten(SimClock::time_point when) { lastWrite_ = when; }
    std::optional<SimClock::time_point> lastWrite() const { return lastWrite_; }
    // Forgets everything that waits (the line is gone).
    void clear() { items_.clear(); }

private:
    struct Item {
        OutputKind kind;
        std::vector<Bytes> pieces;
        size_t next = 0; // pieces already written
    };
    bool full() const { return items_.size() >= maxItems_; }

    SimClock::duration minGap_;
    size_t maxItems_;
    std::deque<Item> items_;
    std::optional<SimClock::time_point> lastWrite_;
    size_t dropped_ = 0;
};
