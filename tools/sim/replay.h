#pragma once
// Playing a link capture back: the robot's side of it (its rx lines) written to the line again
// with the times they had.
//
// Playback counts from the console's first frame or the robot's first chunk of the capture,
// whichever came first, and begins when the console on the line writes for the first time (it
// has connected). Each chunk is then due at its time in the capture, divided by the speed. With
// a loop the capture starts again after its last chunk, with the same pause before the first
// chunk as at the start, at least the link's quiet gap. While the console does not read (a
// notice of its own is up), the player holds the chunk that is due; the ones after it keep their
// spacing and come later by as much.

#include "recording/capture_format.h"
#include "tools/sim/output_queue.h"

#include <optional>
#include <string>
#include <vector>

struct ReplayChunk {
    int64_t atUs;
    Bytes bytes;
};

// The rx chunks of a capture and the time its playback counts from; false with the reason when
// the capture holds nothing the robot sent.
bool replayChunks(const Capture& capture, std::vector<ReplayChunk>& chunks, int64_t& zeroUs,
                  std::string& error);

class ReplaySchedule {
public:
    ReplaySchedule(std::vector<ReplayChunk> chunks, int64_t zeroUs, double speed, bool loop);

    void start(SimClock::time_point now);
    bool started() const { return started_; }
    bool done() const { return index_ >= chunks_.size(); }
    // When the next chunk is due; none before the start and once done.
    std::optional<SimClock::time_point> due() const;
    const Bytes& next() const { return chunks_[index_].bytes; }
    // The next chunk went out.
    void advance();
    // Whatever is not yet written moves later by d.
    void delay(SimClock::duration d) { roundStart_ += d; }

    size_t chunkCount() const { return chunks_.size(); }
    size_t written() const { return written_; }
    size_t rounds() const { return round_; }
    double seconds() const;

private:
    SimClock::duration scaled(int64_t us) const;

    std::vector<ReplayChunk> chunks_;
    int64_t zeroUs_;
    double speed_;
    bool loop_;
    bool started_ = false;
    SimClock::time_point roundStart_{};
    size_t index_ = 0;
    size_t round_ = 0;
    size_t written_ = 0;
};
