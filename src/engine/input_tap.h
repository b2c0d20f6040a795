// A copy of the captured input for a reader on another thread (the tuner).
// The capture side writes the input before the chain and before the input
// level, mixed to mono, on the 16-bit scale; the reader polls for it. The ring
// is allocated once by the constructor: the audio thread only copies samples,
// never allocates, locks or calls the system, and never waits for the reader
// (a block that does not fit is dropped and counted).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

class InputTap {
public:
    static constexpr std::size_t kCapacity = 1u << 15;  // samples; 0.68 s at 48 kHz

    InputTap() : buf_(kCapacity, 0.0f) {}
    InputTap(const InputTap&) = delete;
    InputTap& operator=(const InputTap&) = delete;

    // Whether the capture side copies into the ring at all. Any thread.
    void set_enabled(bool on) { enabled_.store(on, std::memory_order_release); }
    bool enabled() const { return enabled_.load(std::memory_order_acquire); }

    // The sample rate of what is written; set by the capture start (UI thread)
    // before audio runs. Any thread reads it.
    void set_sample_rate(std::int32_t rate) { rate_.store(rate, std::memory_order_release); }
    std::int32_t sample_rate() const { return rate_.load(std::memory_order_acquire); }

    // Writes `frames` interleaved frames of `channels` (1 or 2) samples,
    // scaled by `scale` and mixed to mono. Does nothing while disabled. Audio
    // thread only.
    void write(const float* in, int frames, int channels, float scale) {
        if (!enabled_.load(std::memory_order_relaxed) || frames <= 0) return;
        const auto w = write_.load(std::memory_order_relaxed);
        const auto r = read_.load(std::memory_order_acquire);
        if ((w - r) + static_cast<std::uint64_t>(frames) > kCapacity) {
            dropped_.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed);
            return;
        }
        const float s = channels == 1 ? scale : 0.5f * scale;
        for (int i = 0; i < frames; ++i) {
            float v = in[static_cast<std::ptrdiff_t>(i) * channels];
            if (channels != 1) v += in[static_cast<std::ptrdiff_t>(i) * channels + 1];
            buf_[(w + static_cast<std::uint64_t>(i)) & kMask] = v * s;
        }
        write_.store(w + static_cast<std::uint64_t>(frames), std::memory_order_release);
    }

    // Takes up to `n` samples into `out`; returns how many. Reader thread only.
    std::size_t read(float* out, std::size_t n) {
        const auto r = read_.load(std::memory_order_relaxed);
        const auto w = write_.load(std::memory_order_acquire);
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, w - r));
        for (std::size_t i = 0; i < take; ++i) out[i] = buf_[(r + i) & kMask];
        read_.store(r + take, std::memory_order_release);
        return take;
    }

    // Discards whatever waits. Reader thread only.
    void discard() { read_.store(write_.load(std::memory_order_acquire), std::memory_order_release); }

    // Samples dropped because the reader fell behind. Any thread.
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    static constexpr std::uint64_t kMask = kCapacity - 1;
    std::vector<float> buf_;
    std::atomic<bool> enabled_{false};
    std::atomic<std::int32_t> rate_{48000};
    std::atomic<std::uint64_t> dropped_{0};
    alignas(64) std::atomic<std::uint64_t> write_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
};

}  // namespace tw
