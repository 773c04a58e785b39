#include "tools/sim/output_queue.h"

#include <algorithm>

OutputQueue::OutputQueue(SimClock::duration minGap, size_t maxItems)
    : minGap_(minGap), maxItems_(std::max<size_t>(maxItems, 1)) {}

bool OutputQueue::pushReply(Bytes bytes) {
    for (const Item& item : items_) {
        if (item.kind == OutputKind::Reply && item.next == 0 && item.pieces.front() == bytes) {
            return false;
        }
    }
    if (full()) {
        ++dropped_;
        return false;
    }
    items_.push_back(Item{OutputKind::Reply, {std::move(bytes)}});
    return true;
}

void OutputQueue::pushTelemetry(std::vector<Bytes> pieces) {
    pieces.erase(std::remove_if(pieces.begin(), pieces.end(),
                                [](const Bytes& piece) { return piece.empty(); }),
                 pieces.end());
    if (pieces.empty()) {
        return;
    }
    for (Item& item : items_) {
        if (minGap_ > SimClock::duration::zero() && item.kind == OutputKind::Telemetry &&
            item.next == 0) {
            item.pieces = std::move(pieces);
            return;
        }
    }
    if (full()) {
        // Telemetry is never lost to a queue full of replies: the oldest waiting reply or
        // noise makes room.
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (it->kind != OutputKind::Telemetry && it->next == 0) {
                items_.erase(it);
                ++dropped_;
                break;
            }
        }
        if (full()) {
            ++dropped_;
            return;
        }
    }
    items_.push_back(Item{OutputKind::Telemetry, std::move(pieces)});
}

bool OutputQueue::pushNoise(Bytes bytes) {
    if (bytes.empty()) {
        return false;
    }
    if (full()) {
        ++dropped_;
        return false;
    }
    items_.push_back(Item{OutputKind::Noise, {std::move(bytes)}});
    return true;
}

std::optional<SimClock::time_point> OutputQueue::nextWriteTime() const {
    if (items_.empty()) {
        return std::nullopt;
    }
    if (!lastWrite_) {
        return SimClock::time_point::min();
    }
    return *lastWrite_ + minGap_;
}

std::optional<OutputPiece> OutputQueue::take(SimClock::time_point now) {
    const auto due = nextWriteTime();
    if (!due || now < *due) {
        return std::nullopt;
    }
    Item& item = items_.front();
    OutputPiece piece{item.pieces[item.next], item.kind, item.next + 1 == item.pieces.size()};
    ++item.next;
    if (piece.last) {
        items_.pop_front();
    }
    lastWrite_ = now;
    return piece;
}
