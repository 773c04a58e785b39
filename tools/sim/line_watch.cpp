#include "tools/sim/line_watch.h"

LineWatch::Verdict LineWatch::check(size_t queued, Clock::time_point now) {
    const size_t expected = queuedBefore_ + writtenSince_;
    writtenSince_ = 0;
    if (queued < expected) {
        // Somebody took bytes.
        queuedBefore_ = queued;
        stalled_ = false;
        if (!present_) {
            present_ = true;
            return Verdict::ReaderCame;
        }
        return Verdict::Nothing;
    }
    queuedBefore_ = queued;
    if (queued == 0) {
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
