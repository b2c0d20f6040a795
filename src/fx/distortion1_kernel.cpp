#include "fx/distortion1_kernel.h"

#include <algorithm>
#include <cmath>

#include "fx/curves.h"
#include "fx/dsp/one_pole.h"

namespace tw {

namespace {
inline float f32(double v) { return static_cast<float>(v); }
}  // namespace

void Distortion1Kernel::reset() {
    lp_state_l_ = 0.0f;
    lp_state_r_ = 0.0f;
}

vec::CurveCoeffs Distortion1Kernel::curve_coeffs(std::int32_t knee_in_v, std::int32_t knee_out_v, float level_v,
                                                 float k) {
    // Every coefficient is rounded to a 32-bit float when stored; arithmetic
    // between stores runs in double.
    // The two knee inputs whose slopes divide by zero move by one.
    const double A = knee_in_v == 0 ? 1.0 : knee_in_v == 32767 ? 32766.0 : static_cast<double>(knee_in_v);
    const double B = knee_out_v;
    const float s1 = f32(B / A);
    const float s2 = f32((32767.0 - B) / (32767.0 - A));
    const float c2 = f32(B - (32767.0 - B) * A / (32767.0 - A));
    const double ds = static_cast<double>(s1) - s2;  // s1 - s2
    const float wt = f32((std::atan((32768.0 - A) * k) / 1.5707963267945 + 1.0) * 0.5);
    const float top = f32((s1 - ds * wt) * 32767.0 + static_cast<double>(c2) * wt);
    const float w0 = f32((std::atan((0.0 - A) * k) / 1.5707963267945 + 1.0) * 0.5);
    const float bottom = f32((s1 - ds * w0) * 0.0 + static_cast<double>(c2) * w0);
    float scale = f32(static_cast<double>(level_v) * 32767.0 / (static_cast<double>(top) - bottom));
    if (!std::isfinite(scale)) scale = 0.0f;  // flat curve (top == bottom): silence rather than NaN
    const float offset = f32(static_cast<double>(bottom) * scale);
    return vec::CurveCoeffs{A, static_cast<double>(k), s1, ds, c2, scale, offset};
}

void Distortion1Kernel::distortion(std::int32_t knee_in_v, std::int32_t knee_out_v, float level_v, float k,
                                   int count, float* buf) {
    // The per-sample curve (one arctangent each) runs over the whole block.
    vec::curve_block(curve_coeffs(knee_in_v, knee_out_v, level_v, k), buf, count);
}

void Distortion1Kernel::run_channel(const dsp::ChannelPass& pass, float color, float& lp_state, const Params& p) {
    for (int i = 0; i < pass.count; ++i) {
        pass[i] = pass[i] * p.gain_in;
        low_buf_[i] = pass[i];
    }
    FNC(low_buf_.data(), pass.count, color, lp_state);
    // A NaN or infinity that came in would stay in the filter memory for
    // good; it starts afresh instead (one test per pass; finite input never
    // takes this branch, so its output is unchanged).
    if (!std::isfinite(lp_state)) lp_state = 0.0f;
    for (int i = 0; i < pass.count; ++i) high_buf_[i] = pass[i] - low_buf_[i];
    distortion(p.knee_in, p.knee_out, p.level, p.smooth_k, pass.count, high_buf_.data());
    distortion(p.knee_in, p.knee_out, p.level, p.smooth_k, pass.count, low_buf_.data());
    for (int i = 0; i < pass.count; ++i) pass[i] = f32((static_cast<double>(high_buf_[i]) + low_buf_[i]) * p.gain_out);
}

void Distortion1Kernel::run_stereo(float* samples, int n, const Params& p) {
    // Left in [0, n) and right in [n, 2n) of each work buffer; the low cuts
    // of both channels step side by side (each reads only its own samples
    // and memory, so the result is the channel-by-channel one), then each
    // curve runs once over both channels.
    float* high = high_buf_.data();
    float* low = low_buf_.data();
    const float gl = p.color_l, gr = p.color_r;
    const float one_minus_gl = 1.0f - gl, one_minus_gr = 1.0f - gr;
    float lp_l = lp_state_l_, lp_r = lp_state_r_;
    for (int i = 0; i < n; ++i) {
        const float xl = samples[2 * i] * p.gain_in;
        const float xr = samples[2 * i + 1] * p.gain_in;
        dsp::one_pole_step(lp_l, gl, one_minus_gl, xl);
        dsp::one_pole_step(lp_r, gr, one_minus_gr, xr);
        low[i] = lp_l;
        low[n + i] = lp_r;
        high[i] = xl - lp_l;
        high[n + i] = xr - lp_r;
    }
    // A NaN or infinity that came in would stay in a filter memory for good.
    lp_state_l_ = std::isfinite(lp_l) ? lp_l : 0.0f;
    lp_state_r_ = std::isfinite(lp_r) ? lp_r : 0.0f;
    distortion(p.knee_in, p.knee_out, p.level, p.smooth_k, 2 * n, high);
    distortion(p.knee_in, p.knee_out, p.level, p.smooth_k, 2 * n, low);
    for (int i = 0; i < n; ++i) {
        samples[2 * i] = f32((static_cast<double>(high[i]) + low[i]) * p.gain_out);
        samples[2 * i + 1] = f32((static_cast<double>(high[n + i]) + low[n + i]) * p.gain_out);
    }
}

void Distortion1Kernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    if (!b.mono()) {
        // Stereo: both channels together, in runs that fill the work buffers.
        constexpr std::int64_t kRun = (kWorkLen - 1) / 2;
        for (std::int64_t done = 0; done < b.frames; done += kRun)
            run_stereo(b.samples + 2 * done, static_cast<int>(std::min(kRun, std::int64_t{b.frames} - done)), p);
        return;
    }
    // Mono in passes of kPass frames (the output depends only on the
    // channel's own past, so passes give the same result as one long run).
    const dsp::InterleavedBlock block(b.samples, b.frames, b.channels);
    block.for_each_pass(0, [&](const dsp::ChannelPass& pass) { run_channel(pass, p.color_l, lp_state_l_, p); });
}

}  // namespace tw
