// A lock-free single-producer / single-consumer ring of float samples. The
// storage is allocated by reset() on the UI thread while neither side runs;
// push and pop never allocate. Indexes grow without bound (64-bit), so the
// fill level is write - read.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw::audio {

class SpscQueue {
public:
    // Makes room for at least `capacity` samples and empties the queue. UI
    // thread, with no producer or consumer running.
    void reset(std::size_t capacity) {
        std::size_t n = 1;
        while (n < capacity) n <<= 1;
        buf_.assign(n, 0);
        mask_ = n - 1;
        write_.store(0, std::memory_order_relaxed);
        read_.store(0, std::memory_order_relaxed);
    }

    std::size_t capacity() const { return buf_.size(); }

    // Samples waiting. Any thread (an estimate while both sides run).
    std::size_t size() const {
        const auto w = write_.load(std::memory_order_acquire);
        const auto r = read_.load(std::memory_order_acquire);
        return w >= r ? static_cast<std::size_t>(w - r) : 0;
    }

    // Appends all `n` samples if there is room and returns true; otherwise
    // appends nothing and returns false. Producer thread only.
    bool push(const float* data, std::size_t n) {
        const auto w = write_.load(std::memory_order_relaxed);
        const auto r = read_.load(std::memory_order_acquire);
        if (buf_.empty() || (w - r) + n > buf_.size()) return false;
        for (std::size_t i = 0; i < n; ++i) buf_[(w + i) & mask_] = data[i];
        write_.store(w + n, std::memory_order_release);
        return true;
    }

    // Takes up to `n` samples into `out` (null = discard them); returns how
    // many were taken. Consumer thread only.
    std::size_t pop(float* out, std::size_t n) {
        const auto r = read_.load(std::memory_order_relaxed);
        const auto w = write_.load(std::memory_order_acquire);
        const std::size_t take = std::min<std::size_t>(n, static_cast<std::size_t>(w - r));
        if (out)
            for (std::size_t i = 0; i < take; ++i) out[i] = buf_[(r + i) & mask_];
        read_.store(r + take, std::memory_order_release);
        return take;
    }

private:
    std::vector<float> buf_;
    std::size_t mask_ = 0;
    alignas(64) std::atomic<std::uint64_t> write_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
};

}  // namespace tw::audio
