#pragma once
// A bounded ring between one producer thread and one consumer thread, without a lock: the
// producer never waits. A push into a full ring fails at once and leaves the ring as it was; the
// producer counts what it could not hand over.

#include <array>
#include <atomic>
#include <cstddef>

template <typename T, size_t Capacity> class SpscRing {
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "a power of two");

public:
    // Producer side. False when the ring is full.
    bool push(const T& item) noexcept {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) == Capacity)
            return false;
        slots_[tail & (Capacity - 1)] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer side: the oldest item, or false when the ring is empty.
    bool pop(T& item) noexcept {
        const size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire))
            return false;
        item = slots_[head & (Capacity - 1)];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    static constexpr size_t capacity() { return Capacity; }

private:
    alignas(64) std::atomic<size_t> head_{0}; // next to take; written by the consumer
    alignas(64) std::atomic<size_t> tail_{0}; // next to fill; written by the producer
    std::array<T, Capacity> slots_;
};
