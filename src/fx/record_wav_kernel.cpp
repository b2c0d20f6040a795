#include "fx/record_wav_kernel.h"

#include <cmath>

namespace tw {

std::int16_t record_sample(float v) {
    if (v >= 32000.0f) v = 32000.0f;
    if (!(v > -32000.0f)) v = -32000.0f;   // also NaN
    return static_cast<std::int16_t>(std::nearbyint(v));   // default rounding: ties to even
}

void RecordWavKernel::reset() {
    rec_count_.store(0, std::memory_order_relaxed);
    signal_seen_.store(0, std::memory_order_relaxed);
    last_rate_.store(0, std::memory_order_relaxed);
    rec_channels_.store(1, std::memory_order_relaxed);
    rec_rate_.store(48000, std::memory_order_relaxed);
}

void RecordWavKernel::note_signal(const AudioBlock& b) {
    // A buffer of any channel count other than 1 is stereo, and is recorded
    // (and described in the file) as two channels.
    rec_channels_.store(b.mono() ? 1 : 2, std::memory_order_relaxed);
    rec_rate_.store(b.sample_rate, std::memory_order_relaxed);
    last_rate_.store(b.sample_rate, std::memory_order_relaxed);
    signal_seen_.store(1, std::memory_order_relaxed);
}

void RecordWavKernel::process(const AudioBlock& b, const Params& p) {
    note_signal(b);
    if (!p.recording || b.frames <= 0 || b.samples == nullptr || p.rec_buffer == nullptr) return;
    std::int16_t* out = p.rec_buffer;
    const std::int32_t cap = p.rec_capacity;
    const float* samples = b.samples;
    const std::int32_t frames = b.frames;
    std::int32_t n = rec_count_.load(std::memory_order_relaxed);
    if (b.mono()) {
        for (std::int32_t i = 0; i < frames; ++i)
            if (n < cap - 2) out[n++] = record_sample(samples[i]);
    } else {
        for (std::int32_t i = 0; i < frames; ++i) {
            if (n < cap - 4) {
                out[n] = record_sample(samples[2 * i]);
                out[n + 1] = record_sample(samples[2 * i + 1]);
                n += 2;
            }
        }
    }
    // Release: the take's writer thread reads the samples this count covers.
    rec_count_.store(n, std::memory_order_release);
}

}  // namespace tw
