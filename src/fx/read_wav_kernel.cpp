#include "fx/read_wav_kernel.h"

namespace tw {

namespace {
constexpr double kMonoMix = 0.707;   // the decimal constant, not 1/sqrt(2)
}  // namespace

void ReadWavKernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    std::int32_t pos = play_pos_.load(std::memory_order_relaxed);
    if (p.start != start_seen_) {
        start_seen_ = p.start;
        pos = 0;
    }
    std::int32_t count = p.frame_count;
    const std::int16_t* s = p.samples;
    for (const Params::Copy& c : p.copies) {
        if (c.rate == b.sample_rate && c.samples != nullptr && s != nullptr) {
            count = c.frame_count;
            s = c.samples;
            break;
        }
    }
    if (count <= 0 || s == nullptr) {
        play_pos_.store(pos, std::memory_order_relaxed);
        return;
    }
    const float g = p.play_gain;
    float* buf = b.samples;
    const std::int32_t frames = b.frames;
    if (pos < 0 || pos >= count) pos = 0;

    if (b.mono()) {
        if (p.file_channels == 1) {
            for (std::int32_t i = 0; i < frames; ++i) {
                buf[i] = buf[i] + static_cast<float>(s[pos]) * g;
                if (++pos >= count) pos = 0;
            }
        } else {
            for (std::int32_t i = 0; i < frames; ++i) {
                const int sum = static_cast<int>(s[2 * pos]) + static_cast<int>(s[2 * pos + 1]);
                buf[i] = static_cast<float>(buf[i] + sum * kMonoMix * g);
                if (++pos >= count) pos = 0;
            }
        }
    } else if (p.file_channels == 2) {
        for (std::int32_t i = 0; i < frames; ++i) {
            buf[2 * i] = buf[2 * i] + static_cast<float>(s[2 * pos]) * g;
            buf[2 * i + 1] = buf[2 * i + 1] + static_cast<float>(s[2 * pos + 1]) * g;
            if (++pos >= count) pos = 0;
        }
    } else {
        for (std::int32_t i = 0; i < frames; ++i) {
            const float v = static_cast<float>(s[pos]) * g;
            buf[2 * i] = buf[2 * i] + v;
            buf[2 * i + 1] = buf[2 * i + 1] + v;
            if (++pos >= count) pos = 0;
        }
    }
    play_pos_.store(pos, std::memory_order_relaxed);
}

}  // namespace tw
