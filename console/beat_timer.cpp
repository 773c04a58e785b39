#include "console/beat_timer.h"

#include <QTimerEvent>

#include <algorithm>

void BeatTimer::setInterval(int ms) {
    intervalMs_ = std::max(ms, 1);
    if (started_) // a new interval begins a new beat, as QTimer's does
        start();
}

void BeatTimer::start() {
    started_ = true;
    origin_ = Clock::now();
    armForNextBeat(Clock::now());
}

void BeatTimer::stop() {
    started_ = false;
    timer_.stop();
}

void BeatTimer::rest() {
    resting_ = true;
    timer_.stop();
}

void BeatTimer::wake() {
    if (!resting_)
        return;
    resting_ = false;
    armForNextBeat(Clock::now());
}

BeatTimer::Clock::time_point BeatTimer::nextBeat(Clock::time_point now) const {
    const Clock::duration period = std::chrono::milliseconds(std::max(intervalMs_, 1));
    if (now < origin_)
        return origin_;
    return origin_ + ((now - origin_) / period + 1) * period;
}

void BeatTimer::armForNextBeat(Clock::time_point after) {
    if (!started_ || resting_) {
        timer_.stop();
        return;
    }
    // One shot to the next beat each time, counted from the start: late ticks (a busy event
    // loop) do not shift the beat, and beats missed meanwhile are not made up in a burst.
    const Clock::time_point now = Clock::now();
    due_ = nextBeat(std::max(now, after));
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due_ - now);
    timer_.start(int(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)), Qt::PreciseTimer,
                 this);
}

void BeatTimer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    // Re-armed before the tick's work: a handler that rests or stops the timer has the last word.
    // From the beat just served at the earliest, so that a shot a hair early never ticks twice.
    armForNextBeat(due_);
    emit timeout();
}
