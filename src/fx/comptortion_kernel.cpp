#include "fx/comptortion_kernel.h"

#include <algorithm>
#include <cmath>

#include "fx/curves.h"
#include "fx/dsp/one_pole.h"
#include "fx/vec_math.h"

namespace tw {

namespace {
constexpr float f32(double v) { return static_cast<float>(v); }

// Steps a ring index; anything past the end (or negative) wraps to 0.
inline void advance(std::int32_t& i) {
    if (static_cast<std::uint32_t>(++i) > static_cast<std::uint32_t>(CompTortionKernel::kRingLast)) i = 0;
}
}  // namespace

CompTortionKernel::RingIndices CompTortionKernel::layout_for(std::int32_t w) {
    const std::int32_t s = kWriteStart;
    return {s, s, s - (w - 1) / 2, s - w};
}

void CompTortionKernel::reset() {
    left_ = Channel{};
    right_ = Channel{};
}

float CompTortionKernel::comp_gain(float u, float e, float S) {
    const double du = u;
    return f32((std::pow(du, static_cast<double>(e)) + S) / (du * du + S));
}

CompTortionKernel::Settings CompTortionKernel::settings_of(const Params& p) {
    Settings s{p.gain_in, p.gain_out, p.sharp_s, p.dist_exp, p.crunch, p.win_len};
    s.win_len = std::max(s.win_len, 1);  // never a division by zero
    return s;
}

void CompTortionKernel::take_layout(const Params& p) {
    // The windows are re-laid for the new length; the rings keep their
    // samples and the running sums start again from almost nothing.
    if (p.relayout == relayout_seen_) return;
    relayout_seen_ = p.relayout;
    left_.idx = layout_for(p.layout_len);
    right_.idx = layout_for(p.layout_len);
    left_.env = kRelayoutEnvelope;
    right_.env = kRelayoutEnvelope;
}

void CompTortionKernel::gain_computer(int channel, int count, float* x, const Params& p) {
    take_layout(p);
    comp_tortion(count, x, channel == 1 ? right_ : left_, settings_of(p));
}

void CompTortionKernel::comp_tortion(int count, float* x, Channel& ch, const Settings& s) {
    // In runs of at most kWorkLen samples, so the powers' bases fit base_buf_.
    while (count > kWorkLen) {
        comp_tortion_run(kWorkLen, x, ch, s);
        x += kWorkLen;
        count -= kWorkLen;
    }
    comp_tortion_run(count, x, ch, s);
}

namespace {
// One sample of the window walk: the ring takes the input, the running sum
// adds the newest magnitude and drops the oldest, and the power's base (the
// window mean, or the centre sample's magnitude for a one-sample window)
// goes to *base, the centre sample to *x. The gains follow over the whole
// run.
template <class Settings>
inline void window_step(float* ring, float& envelope, CompTortionKernel::RingIndices& idx, const Settings& s,
                        double w, float* x, float* base) {
    advance(idx.i_write);
    advance(idx.i_add);
    advance(idx.i_out);
    advance(idx.i_sub);
    ring[idx.i_write] = *x * s.gain_in;
    envelope = f32((std::fabs(static_cast<double>(ring[idx.i_add])) + envelope) -
                   std::fabs(static_cast<double>(ring[idx.i_sub])));
    if (envelope < CompTortionKernel::kEnvFloor) envelope = CompTortionKernel::kEnvFloor;
    const float v = ring[idx.i_out];
    *base = s.win_len > 1 ? f32(envelope / w * s.crunch) : std::fabs(v);
    *x = v;
}
}  // namespace

void CompTortionKernel::comp_tortion_run(int count, float* x, Channel& ch, const Settings& s) {
    float* base = base_buf_.data();
    float env = ch.env < kEnvFloor ? kEnvFloor : ch.env;
    RingIndices at = ch.idx;
    const double w = s.win_len;
    for (int i = 0; i < count; ++i) window_step(ch.ring.data(), env, at, s, w, x + i, base + i);
    ch.env = env;
    ch.idx = at;
    vec::comp_gain_block(base, x, count, s.dist_exp, s.sharp_s, s.gain_out);
}

void CompTortionKernel::run_stereo_pass(float* samples, int n, float colour, const Settings& s) {
    // Both channels step by step in one loop: each reads only its own
    // samples and state, so the result is the channel-by-channel one while
    // the two channels' recursions (low cut, running sum) overlap.
    float* high_l = high_buf_.data();
    float* high_r = low_buf_.data();
    const float g = colour;
    const float one_minus_g = 1.0f - g;
    float lp_l = left_.lp_state, lp_r = right_.lp_state;
    for (int i = 0; i < n; ++i) {
        const float xl = samples[2 * i], xr = samples[2 * i + 1];
        dsp::one_pole_step(lp_l, g, one_minus_g, xl);
        dsp::one_pole_step(lp_r, g, one_minus_g, xr);
        high_l[i] = xl - lp_l;
        high_r[i] = xr - lp_r;
    }
    left_.lp_state = lp_l;
    right_.lp_state = lp_r;
    float* base_l = base_buf_.data();
    float* base_r = base_buf_r_.data();
    float el = left_.env < kEnvFloor ? kEnvFloor : left_.env;
    float er = right_.env < kEnvFloor ? kEnvFloor : right_.env;
    RingIndices il = left_.idx, ir = right_.idx;
    const double w = s.win_len;
    for (int i = 0; i < n; ++i) {
        window_step(left_.ring.data(), el, il, s, w, high_l + i, base_l + i);
        window_step(right_.ring.data(), er, ir, s, w, high_r + i, base_r + i);
    }
    left_.env = el;
    right_.env = er;
    left_.idx = il;
    right_.idx = ir;
    vec::comp_gain_block(base_l, high_l, n, s.dist_exp, s.sharp_s, s.gain_out);
    vec::comp_gain_block(base_r, high_r, n, s.dist_exp, s.sharp_s, s.gain_out);
    for (int i = 0; i < n; ++i) {
        samples[2 * i] = high_l[i];
        samples[2 * i + 1] = high_r[i];
    }
    if (!std::isfinite(left_.lp_state) || !std::isfinite(left_.env)) recover_channel(left_);
    if (!std::isfinite(right_.lp_state) || !std::isfinite(right_.env)) recover_channel(right_);
}

void CompTortionKernel::run_channel(const dsp::ChannelPass& pass, float colour, Channel& ch, const Settings& s) {
    pass.copy_to(low_buf_.data());
    FNC(low_buf_.data(), pass.count, colour, ch.lp_state);
    for (int i = 0; i < pass.count; ++i) high_buf_[i] = pass[i] - low_buf_[i];
    comp_tortion(pass.count, high_buf_.data(), ch, s);
    pass.copy_from(high_buf_.data());
    // A NaN or infinity that came in would stay in the filter memory and the
    // running sum for good; one test per pass (never true for finite input,
    // whose output is unchanged) sends it to the rare repair.
    if (!std::isfinite(ch.lp_state) || !std::isfinite(ch.env)) recover_channel(ch);
}

void CompTortionKernel::recover_channel(Channel& ch) {
    if (!std::isfinite(ch.lp_state)) ch.lp_state = 0.0f;
    for (float& v : ch.ring)
        if (!std::isfinite(v)) v = 0.0f;
    // The running sum again: the floor plus the magnitudes between i_sub
    // (excluded) and i_add (included), as it is kept sample by sample.
    double sum = kEnvFloor;
    std::int32_t j = ch.idx.i_sub;
    for (int k = 0; k < kRingLen && j != ch.idx.i_add; ++k) {
        advance(j);
        sum += std::fabs(static_cast<double>(ch.ring[static_cast<std::size_t>(j)]));
    }
    ch.env = std::isfinite(sum) ? f32(sum) : kEnvFloor;
}

void CompTortionKernel::process(const AudioBlock& b, const Params& p) {
    take_layout(p);
    if (b.frames <= 0 || b.samples == nullptr) return;
    const Settings s = settings_of(p);
    const float c = p.color;
    if (!b.mono()) {
        // Stereo: both channels together, in runs of kPass frames.
        for (std::int64_t done = 0; done < b.frames; done += kPass) {
            const int n = static_cast<int>(std::min<std::int64_t>(kPass, b.frames - done));
            run_stereo_pass(b.samples + 2 * done, n, c, s);
        }
        return;
    }
    const dsp::InterleavedBlock block(b.samples, b.frames, b.channels);
    block.for_each_pass(0, [&](const dsp::ChannelPass& pass) { run_channel(pass, c, left_, s); });
}

}  // namespace tw
