// The last step before a 16-bit device: TPDF dither (the sum of two
// independent uniform values of one step each, so the rounding error is
// independent of the signal), rounding to the nearest step and the clip at
// full scale.
//
// Threads: one instance per thread (the output thread that owns it).
#pragma once

#include <cmath>
#include <cstdint>

namespace tw::audio {

class TpdfDither {
public:
    explicit TpdfDither(std::uint32_t seed = 0x9E3779B9u) : state_(seed != 0 ? seed : 1u) {}

    // `v` on the float scale (full scale 1.0) as a dithered 16-bit sample.
    // NaN gives 0. No allocation, no system call.
    std::int16_t to_int16(float v) {
        if (!(v == v)) return 0;
        const float dithered = v * 32768.0f + (uniform() - uniform());
        const float r = std::nearbyint(dithered);
        if (r >= 32767.0f) return 32767;
        if (r <= -32768.0f) return -32768;
        return static_cast<std::int16_t>(r);
    }

private:
    // Uniform in [0, 1) from a 32-bit xorshift.
    float uniform() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<float>(state_ >> 8) * (1.0f / 16777216.0f);
    }

    std::uint32_t state_;
};

}  // namespace tw::audio
