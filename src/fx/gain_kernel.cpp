#include "fx/gain_kernel.h"

namespace tw {

void GainKernel::reset() {
    ring_.fill(1.0f);
    ring_.at(kRingSize - 1) = 0.0f;
    pos_ = 1;
}

float GainKernel::delay_d(float sample, std::int32_t len) {
    if (pos_ >= kRingWrap || pos_ < 0) pos_ = 0;
    float& slot = ring_.at(pos_);
    const float out = slot;
    slot = sample;
    pos_ += 1;
    if (pos_ >= len) pos_ = 0;
    return out;
}

void GainKernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    float* s = b.samples;
    if (b.mono()) {
        for (std::int32_t i = 0; i < b.frames; ++i) s[i] = s[i] * p.mono_gain;
        return;
    }
    const std::int64_t n = b.sample_count();
    for (std::int64_t i = 0; i < n; i += 2) s[i] = s[i] * p.left_gain;
    if (p.air) {
        for (std::int64_t i = 1; i < n; i += 2) s[i] = -s[i] * p.right_gain;
    } else {
        for (std::int64_t i = 1; i < n; i += 2) s[i] = s[i] * p.right_gain;
    }
    if (p.chorus_on) {
        for (std::int64_t i = 1; i < n; i += 2) s[i] = delay_d(s[i], p.delay_len);
    }
}

}  // namespace tw
