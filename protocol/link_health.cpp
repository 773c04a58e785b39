#include "protocol/link_health.h"

#include <algorithm>

void LinkHealth::portOpened(int64_t nowMs) {
    *this = LinkHealth{};
    open_ = true;
    openedAt_ = nowMs;
}

void LinkHealth::portClosed() {
    open_ = false;
    lost_ = false;
    expectingSince_.reset();
}

std::optional<LinkHealth::Change> LinkHealth::chunk(ReplyKind kind, bool fromUnit, int64_t nowMs,
                                                    int address) {
    if (!open_)
        return std::nullopt;
    if (kind == ReplyKind::None) {
        ++refused_;
        return std::nullopt;
    }
    if (kind == ReplyKind::Telemetry) {
        ++telemetryAccepted_;
        if (fromUnit) {
            lastTelemetryAt_ = nowMs;
            telemetryTimes_.push_back(nowMs);
        } else {
            otherTelemetryTimes_.push_back(nowMs);
            otherAddress_ = address;
        }
        forgetBefore(nowMs);
    } else {
        ++repliesAccepted_;
    }
    if (!fromUnit)
        return std::nullopt;
    const int64_t since = std::max(openedAt_, lastReplyAt_.value_or(openedAt_));
    lastReplyAt_ = nowMs;
    if (!lost_)
        return std::nullopt;
    lost_ = false;
    return Change{Change::Kind::Back, nowMs - since};
}

void LinkHealth::cycleSent(bool expectsReply, int64_t nowMs) {
    if (!expectsReply)
        expectingSince_.reset();
    else if (!expectingSince_)
        expectingSince_ = nowMs;
}

std::optional<LinkHealth::Change> LinkHealth::check(int64_t nowMs) {
    if (!open_ || lost_ || !expectingSince_)
        return std::nullopt;
    const int64_t since = std::max({openedAt_, *expectingSince_, lastReplyAt_.value_or(0)});
    if (nowMs - since < lostAfterMs)
        return std::nullopt;
    lost_ = true;
    return Change{Change::Kind::Lost, 0};
}

void LinkHealth::forgetBefore(int64_t nowMs) {
    for (std::deque<int64_t>* times : {&telemetryTimes_, &otherTelemetryTimes_})
        while (!times->empty() && times->front() <= nowMs - rateWindowMs)
            times->pop_front();
}

double LinkHealth::telemetryRate(int64_t nowMs) {
    forgetBefore(nowMs);
    return double(telemetryTimes_.size()) * 1000.0 / double(rateWindowMs);
}

std::optional<LinkHealth::OtherUnit> LinkHealth::otherUnitTelemetry(int64_t nowMs) {
    forgetBefore(nowMs);
    if (otherTelemetryTimes_.empty())
        return std::nullopt;
    return OtherUnit{otherAddress_,
                     double(otherTelemetryTimes_.size()) * 1000.0 / double(rateWindowMs)};
}

std::optional<int64_t> LinkHealth::telemetryAgeMs(int64_t nowMs) const {
    if (!lastTelemetryAt_)
        return std::nullopt;
    return nowMs - *lastTelemetryAt_;
}
