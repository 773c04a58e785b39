#include "link_recorder.h"

#include "pty_peer.h"

void LinkRecorder::attach(Tserial_event& link) {
    link.set_user_data(this);
    link.set_event_callback(&LinkRecorder::on_event);
}

void LinkRecorder::on_event(Tserial_event* link, int code) {
    static_cast<LinkRecorder*>(link->user_data())->record(link, code);
}

void LinkRecorder::record(Tserial_event* link, int code) {
    LinkEventRecord r;
    r.code = code;
    r.at_ms = now_ms();
    if (code == LINK_DATA) {
        const int n = link->received_count();
        const uint8_t* p = link->received_data();
        if (n > 0 && p != nullptr)
            r.data.assign(p, p + n);
        if (p != nullptr)
            r.tail_byte = p[Tserial_event::rx_capacity];
    }
    bool ack = false;
    {
        std::unique_lock lock(mutex_);
        if (code == LINK_DATA)
            received_ += r.data.size();
        events_.push_back(std::move(r));
        ack = code == LINK_DATA && auto_ack_;
        if (code == LINK_OPENED && hold_opened_) {
            hold_opened_ = false;
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
            held_ = false;
        }
        changed_.notify_all();
    }
    if (ack)
        link->acknowledge_data();
}

void LinkRecorder::set_auto_acknowledge(bool on) {
    std::lock_guard lock(mutex_);
    auto_ack_ = on;
}

void LinkRecorder::hold_next_opened() {
    std::lock_guard lock(mutex_);
    hold_opened_ = true;
    released_ = false;
}

bool LinkRecorder::wait_held(ms timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return held_; });
}

void LinkRecorder::release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    hold_opened_ = false;
    changed_.notify_all();
}

bool LinkRecorder::wait_count(int code, int n, ms timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        int c = 0;
        for (const auto& e : events_)
            c += e.code == code;
        return c >= n;
    });
}

bool LinkRecorder::wait_bytes(size_t n, ms timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_ >= n; });
}

int LinkRecorder::count(int code) const {
    std::lock_guard lock(mutex_);
    int c = 0;
    for (const auto& e : events_)
        c += e.code == code;
    return c;
}

int LinkRecorder::total() const {
    std::lock_guard lock(mutex_);
    return int(events_.size());
}

std::vector<LinkEventRecord> LinkRecorder::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<LinkEventRecord> LinkRecorder::chunks() const {
    std::lock_guard lock(mutex_);
    std::vector<LinkEventRecord> out;
    for (const auto& e : events_)
        if (e.code == LINK_DATA)
            out.push_back(e);
    return out;
}

std::vector<uint8_t> LinkRecorder::received_bytes() const {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out;
    for (const auto& e : events_)
        out.insert(out.end(), e.data.begin(), e.data.end());
    return out;
}

std::vector<int> LinkRecorder::codes() const {
    std::lock_guard lock(mutex_);
    std::vector<int> out;
    for (const auto& e : events_)
        out.push_back(e.code);
    return out;
}
