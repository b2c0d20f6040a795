#include "fx/noise_gate_kernel.h"

#include <cmath>
#include <limits>

namespace tw {

namespace {
constexpr std::int32_t kCountMax = std::numeric_limits<std::int32_t>::max();
}  // namespace

void NoiseGateKernel::gate(std::int64_t count, float* x, const Params& p) {
    const float open = p.open_level;
    const float close = p.close_level;
    const float closed_gain = p.floor;
    // The state is worked on in locals (the compiler cannot keep members in
    // registers across stores to x, which might alias them) and stored back.
    float env = state_.envelope, gain = state_.gate_gain, tgt = state_.target;
    auto above = state_.above_count, below = state_.below_count;
    // Each stored value is rounded to 32 bits; the arithmetic between stores
    // runs in double.
    for (std::int64_t i = 0; i < count; ++i) {
        env = static_cast<float>(0.1 * std::fabs(static_cast<double>(x[i])) + 0.9 * env);
        if (env > open) {
            if (above < kCountMax) above += 1;  // saturates instead of wrapping
        } else {
            above = 0;
        }
        if (env >= close) {
            below = 0;
        } else if (below < kCountMax) {
            below += 1;
        }
        if (static_cast<double>(above) > open_hold) tgt = 1.0f;
        if (static_cast<double>(below) > close_hold) tgt = closed_gain;  // wins over opening
        if (tgt > gain) {
            gain = static_cast<float>(static_cast<double>(gain) * (1.0 - attack) +
                                      static_cast<double>(tgt) * attack);
        }
        if (tgt <= gain) {
            gain = static_cast<float>(static_cast<double>(gain) * (1.0 - release) +
                                      static_cast<double>(tgt) * release);
        }
        x[i] = gain * x[i];
    }
    state_.envelope = env;
    state_.gate_gain = gain;
    state_.target = tgt;
    state_.above_count = above;
    state_.below_count = below;
}

void NoiseGateKernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    // Mono: frames samples; stereo: 2 x frames interleaved samples, all through one gate.
    const std::int64_t n = b.sample_count();
    float* samples = b.samples;
    const float gi = p.gain_in;
    for (std::int64_t i = 0; i < n; ++i) samples[i] = samples[i] * gi;
    gate(n, samples, p);
    const float go = p.gain_out;
    for (std::int64_t i = 0; i < n; ++i) samples[i] = samples[i] * go;
}

}  // namespace tw
