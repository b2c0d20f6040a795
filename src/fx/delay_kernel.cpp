#include "fx/delay_kernel.h"

#include <algorithm>

namespace tw {

namespace {
// Position p modulo L for |p| < 2L.
inline std::int32_t wrap_line(std::int32_t p) {
    constexpr std::int32_t L = DelayKernel::kLineLen;
    if (p < 0) return p + L;
    if (p >= L) return p - L;
    return p;
}

// One channel's line and drift, as the echo loop works on them.
struct EchoChannel {
    DelayKernel::Line& line;
    std::int32_t& write;
    std::int32_t& drift;
    std::int32_t& count;
    std::int32_t& dir;
};

// The echo over `n` work samples. Tap k reads `offset[k]` samples after the
// write position (plus the drift when drifting); offsets are negative.
void echo(float* work, int n, EchoChannel ch, const std::array<std::int32_t, DelayKernel::kTaps>& offset,
          bool drifting, const std::array<float, DelayKernel::kTaps>& gain, float out_gain) {
    constexpr std::int32_t L = DelayKernel::kLineLen;
    DelayKernel::Line& line = ch.line;
    std::int32_t w = ch.write, d = ch.drift, c = ch.count, g = ch.dir;
    if (w < 0 || w >= L) w = 0;
    for (int s = 0; s < n; ++s) {
        const float x = work[s];
        line.at(w) = x;
        float sum = x;
        if (++c >= DelayKernel::kDriftEvery) {
            c = 0;
            d += g;
        }
        if (d > DelayKernel::kDriftTop) g = -1;
        if (d < 0) g = +1;
        const std::int32_t base = drifting ? w + d : w;
        for (int k = 0; k < DelayKernel::kTaps; ++k) sum = line.at(wrap_line(base + offset[k])) * gain[k] + sum;
        work[s] = out_gain * sum;
        if (++w >= L) w = 0;
    }
    ch.write = w;
    ch.drift = d;
    ch.count = c;
    ch.dir = g;
}
}  // namespace

void DelayKernel::echo_left(int count, std::int32_t T, const Params& p) {
    T = std::clamp(T, 0, kMaxDelay);
    std::array<std::int32_t, kTaps> offset{};
    for (int k = 0; k < kTaps; ++k) offset[k] = -(k + 1) * T;
    std::array<float, kTaps> gain{};
    for (int k = 0; k < kTaps; ++k) gain[k] = p.tap_gain[k];
    Channel& ch = left_;
    echo(ch.work.data(), std::min(count, kWorkLen), {ch.line, ch.write, ch.drift, ch.drift_count, ch.drift_dir},
         offset, p.drift_on == 1, gain, p.echo_out_gain);
}

void DelayKernel::echo_right(int count, std::int32_t T, const Params& p) {
    T = std::clamp(T, 0, kMaxDelay);
    const bool drifting = p.drift_on == 1;
    std::array<std::int32_t, kTaps> offset{};
    // Without the drift the right taps sit half a delay time earlier.
    for (int k = 0; k < kTaps; ++k) offset[k] = drifting ? -(k + 1) * T : -k * T - T / 2;
    std::array<float, kTaps> gain{};
    for (int k = 0; k < kTaps; ++k) gain[k] = p.tap_gain[k];
    Channel& ch = right_;
    echo(ch.work.data(), std::min(count, kWorkLen), {ch.line, ch.write, ch.drift, ch.drift_count, ch.drift_dir},
         offset, drifting, gain, p.echo_out_gain);
}

void DelayKernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    const std::int32_t frames = b.frames;
    const std::int32_t T = p.delay_samples;
    const int stride = b.mono() ? 1 : 2;
    float* work_l = left_.work.data();
    float* work_r = right_.work.data();
    // Each channel's output depends only on its own past, so passes give the
    // same result as one long run.
    for (std::int64_t done = 0; done < frames; done += kPass) {
        const int n = static_cast<int>(std::min<std::int64_t>(kPass, frames - done));
        float* base = b.samples + done * stride;
        for (int i = 0; i < n; ++i) work_l[i] = base[i * stride];
        echo_left(n, T, p);
        for (int i = 0; i < n; ++i) base[i * stride] = work_l[i];
        if (stride == 1) continue;
        for (int i = 0; i < n; ++i) work_r[i] = base[i * 2 + 1];
        echo_right(n, T, p);
        for (int i = 0; i < n; ++i) base[i * 2 + 1] = work_r[i];
    }
}

}  // namespace tw
