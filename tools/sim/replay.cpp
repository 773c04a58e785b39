#include "tools/sim/replay.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kQuietGapUs = 50000; // the console's reads end after this much quiet

} // namespace

bool replayChunks(const Capture& capture, std::vector<ReplayChunk>& chunks, int64_t& zeroUs,
                  std::string& error) {
    chunks.clear();
    std::optional<int64_t> firstTx;
    for (const CaptureLine& line : capture.lines) {
        if (line.kind == CaptureKind::Rx)
            chunks.push_back({line.timeUs, line.bytes});
        else if (line.kind == CaptureKind::Tx && !firstTx)
            firstTx = line.timeUs;
    }
    if (chunks.empty()) {
        error = "nothing to play: the capture holds no chunk the robot sent (no rx line)";
        return false;
    }
    zeroUs = std::min(chunks.front().atUs, firstTx.value_or(chunks.front().atUs));
    return true;
}

ReplaySchedule::ReplaySchedule(std::vector<ReplayChunk> chunks, int64_t zeroUs, double speed,
                               bool loop)
    : chunks_(std::move(chunks)), zeroUs_(zeroUs), speed_(speed), loop_(loop) {}

SimClock::duration ReplaySchedule::scaled(int64_t us) const {
    return std::chrono::duration_cast<SimClock::duration>(
        std::chrono::duration<double, std::micro>(double(us) / speed_));
}

void ReplaySchedule::start(SimClock::time_point now) {
    if (!started_) {
        started_ = true;
        roundStart_ = now;
    }
}

std::optional<SimClock::time_point> ReplaySchedule::due() const {
    if (!started_ || done())
        return std::nullopt;
    return roundStart_ + scaled(chunks_[index_].atUs - zeroUs_);
}

void ReplaySchedule::advance() {
    if (done())
        return;
    ++index_;
    ++written_;
    if (done() && loop_) {
        // The next round's first chunk comes as long after the last as the first did at the
        // start, and at least the quiet gap after it.
        const int64_t lead = std::max(chunks_.front().atUs - zeroUs_, kQuietGapUs);
        roundStart_ += scaled(chunks_.back().atUs - chunks_.front().atUs + lead);
        index_ = 0;
        ++round_;
    }
}

double ReplaySchedule::seconds() const {
    return double(chunks_.back().atUs - zeroUs_) / 1e6 / speed_;
}
