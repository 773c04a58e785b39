#pragma once
// Tells whether anybody reads the line.
//
// The simulator keeps a descriptor of its own on the terminal's device side, so that the
// terminal stays alive (and the master never reports a hang-up) while the console closes and
// reopens the port. The price: bytes written while no console is connected pile up in the
// device's input queue, where the next console to open the port would find a backlog of stale
// frames, and the exclusive-use flag that the console sets stays set after it has gone, so that
// a console without administrator rights could not open the port again.
//
// The watch looks at the input queue between writes. While a reader is there, everything
// written is taken within milliseconds. When nothing has been taken for a while although bytes
// wait, the reader is gone: the simulator then empties the queue and lifts the exclusive flag,
// and while nobody reads it keeps emptying the queue at every check, so that a console that
// connects finds at most the latest frame. A robot that only answers writes nothing once the
// console has gone; a connected console polls all the time, so a reader that has neither taken
// nor sent anything for that while, with nothing waiting, is gone too.

#include <chrono>
#include <cstddef>

class LineWatch {
public:
    using Clock = std::chrono::steady_clock;

    enum class Verdict {
        Nothing,    // keep going
        ReaderCame, // somebody took bytes after a time without a reader
        ReaderGone, // a reader stopped taking bytes: empty the queue, lift the exclusive flag
        Flush,      // still nobody reading: empty the queue
    };

    explicit LineWatch(Clock::duration absentAfter = std::chrono::milliseconds(1000))
        : absentAfter_(absentAfter) {}

    // Bytes just written to the line.
    void written(size_t count) { writtenSince_ += count; }
    // Bytes just received from the reader.
    void heard() { heardSince_ = true; }
    // queued: bytes now waiting in the device's input queue. After ReaderGone or Flush the
    // caller empties the queue.
    Verdict check(size_t queued, Clock::time_point now);

    bool readerPresent() const { return present_; }

private:
    Clock::duration absentAfter_;
    size_t queuedBefore_ = 0;
    size_t writtenSince_ = 0;
    bool heardSince_ = false;
    bool present_ = false;
    Clock::time_point lastSign_{}; // the reader last took or sent bytes
    bool stalled_ = false;
    Clock::time_point stalledSince_{};
};
