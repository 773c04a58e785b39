#include "tools/sim/line_watch.h"

LineWatch::Verdict LineWatch::check(size_t queued, Clock::time_point now) {
    const size_t expected = queuedBefore_ + writtenSince_;
    const bool heard = heardSince_;
    writtenSince_ = 0;
    heardSince_ = false;
    if (queued < expected || heard) {
        // Somebody took bytes, or sent some.
        queuedBefore_ = queued;
        stalled_ = false;
        lastSign_ = now;
        if (!present_) {
            present_ = true;
            return Verdict::ReaderCame;
        }
        return Verdict::Nothing;
    }
    queuedBefore_ = queued;
    if (queued == 0) {
        if (present_ && now - lastSign_ >= absentAfter_) {
            present_ = false; // silent for a while, and nothing for it to take
            return Verdict::ReaderGone;
        }
        return Verdict::Nothing; // nothing written, nothing waiting: no news
    }
    if (present_) {
        if (!stalled_) {
            stalled_ = true;
            stalledSince_ = now;
        }
        if (now - stalledSince_ < absentAfter_) {
            return Verdict::Nothing;
        }
        present_ = false;
        stalled_ = false;
        queuedBefore_ = 0;
        return Verdict::ReaderGone;
    }
    queuedBefore_ = 0;
    return Verdict::Flush;
}
