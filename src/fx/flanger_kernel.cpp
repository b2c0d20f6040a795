#include "fx/flanger_kernel.h"

#include <algorithm>

namespace tw {

namespace {
inline std::int32_t wrap_ring(std::int32_t i) {
    constexpr std::int32_t R = FlangerKernel::kRingLen;
    if (i >= R) i -= R;
    if (i < 0) i += R;
    return static_cast<std::uint32_t>(i) < static_cast<std::uint32_t>(R) ? i : 0;
}
}  // namespace

void FlangerKernel::reset() {
    for (Channel& c : ch_) {
        c.ring.reset();
        c.read = 0.0f;
        c.last = 0.0f;
        c.write = 301;
        c.index = 1;
        c.next = 0;
        c.sweep = 0.001f;
    }
    for (auto& line : chorus_line_) {
        line.reset();
        for (std::int32_t i = 0; i < kChorusPrimed; ++i) line.at(i) = 1.0f;
    }
    chorus_pos_ = {1, 1};
    work_.fill(0.0f);
}

float FlangerKernel::delay_d(int line, float value, std::int32_t len) {
    std::int32_t& pos = chorus_pos_[line];
    if (pos < 0 || pos >= kChorusRoom) pos = 0;
    float& slot = chorus_line_[line].at(pos);
    const float out = slot;
    slot = value;
    pos += 1;
    if (pos >= len) pos = 0;
    return out;
}

// The flanger step over `count` samples of one channel. The step is read
// afresh every sample, so a step the window sets takes effect at once. At a
// turn the audio thread writes the negated step back only if the window has
// not replaced it meanwhile (else it carries on with the window's step, and
// the next sample judges the turn again), and it turns the sweep only towards
// the inside of 0 .. 300: a sweep above 300 always heads down and one below 0
// always up, so a step set just after a turn can neither freeze the sweep
// beyond its limit nor be lost.
void FlangerKernel::flange(int side, int count, float* buffer, float feedback, const Params& p) {
    constexpr std::int32_t R = kRingLen;
    Channel& ch = ch_[side];
    std::atomic<float>& speed = speed_[side];
    auto& ring = ch.ring;
    float r = ch.read, y = ch.last, a = ch.sweep;
    std::int32_t w = wrap_ring(ch.write), i = wrap_ring(ch.index), j = wrap_ring(ch.next);
    const float k = feedback;
    const float level = p.fl_level;
    const bool chorus = p.chorus_on;
    const std::int32_t chorus_len = p.chorus_len;
    // s = -s, unless the window wrote a step since it was read (then its step).
    auto turn = [&speed](float& s) {
        if (!speed.compare_exchange_strong(s, -s, std::memory_order_relaxed)) return;  // s holds the new step
        s = -s;
    };
    for (int n = 0; n < count; ++n) {
        const float x = buffer[n];
        ring.at(w) = k * y + x;
        const float frac = r - static_cast<float>(i);
        float d = (ring.at(j) - ring.at(i)) * frac + ring.at(i);
        if (chorus) d = delay_d(side, d, chorus_len);
        y = d;
        if (++w >= R) w -= R;
        float s = speed.load(std::memory_order_relaxed);
        a = a + s;
        if (a > kSweepTop && s > 0.0f) turn(s);
        if (a < 0.0f && s < 0.0f) turn(s);
        r = r + 1.0f + s;
        if (r >= static_cast<float>(R)) r -= static_cast<float>(R);
        if (r < 0.0f) r += static_cast<float>(R);
        if (!(r >= 0.0f && r < static_cast<float>(R))) r = 0.0f;   // never leave the ring
        i = wrap_ring(static_cast<std::int32_t>(r));
        j = wrap_ring(i + 1);
        buffer[n] = d * level + x;
    }
    ch.read = r;
    ch.last = y;
    ch.sweep = a;
    ch.write = w;
    ch.index = i;
    ch.next = j;
}

void FlangerKernel::Flanger_RT(int count, float* buffer, const Params& p) {
    flange(0, count, buffer, p.fl_feedback_l, p);
}

void FlangerKernel::Flanger_RT1(int count, float* buffer, const Params& p) {
    flange(1, count, buffer, p.fl_feedback_r, p);
}

void FlangerKernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    if (b.mono()) {
        Flanger_RT(b.frames, b.samples, p);
        return;
    }
    for (std::int64_t done = 0; done < b.frames; done += kPass) {
        const int n = static_cast<int>(std::min<std::int64_t>(kPass, b.frames - done));
        float* base = b.samples + 2 * done;
        for (int side = 0; side < 2; ++side) {
            for (int i = 0; i < n; ++i) work_[i] = base[2 * i + side];
            if (side == 0) {
                Flanger_RT(n, work_.data(), p);
            } else {
                Flanger_RT1(n, work_.data(), p);
            }
            for (int i = 0; i < n; ++i) base[2 * i + side] = work_[i];
        }
    }
}

}  // namespace tw
