#include "fx/limiter_kernel.h"

#include <algorithm>
#include <cmath>

#include "fx/dsp/one_pole.h"
#include "fx/vec_math.h"

namespace tw {

namespace {
// Soft limiter constants.
constexpr double kKnee = 500.0;          // knee voltage
constexpr double kResistance = 100000.0;
constexpr double kBaseCurrent = kKnee / kResistance;
constexpr double kVoltageLimit = 50000.0;
}  // namespace

void LimiterKernel::reset() {
    lp_state_ = 0.0f;
    lp_state_l_ = 0.0f;
    lp_state_r_ = 0.0f;
    smooth_low_state_ = 0.0f;
    smooth_high_state_ = 0.0f;
    v_cap_ = 0.0;
    cap_c_ = 1.0e-7;
    step_dt_ = 1.0 / 44100.0;
}

float LimiterKernel::Rotalumis(float x) {
    cap_c_ = 1.0e-7;
    step_dt_ = 1.0 / 44100.0;
    v_cap_ = std::clamp(v_cap_, -kVoltageLimit, kVoltageLimit);
    const double vr = std::clamp(static_cast<double>(x) - v_cap_, -kVoltageLimit, kVoltageLimit);
    const float y = static_cast<float>(vr);
    const double a = std::fabs(vr);
    double i = vr / kResistance;
    if (a >= kKnee) {
        const double m = std::pow(a - kKnee, 1.85) / kResistance + kBaseCurrent;
        i = vr < 0.0 ? -m : m;
    }
    double step = i * step_dt_ / cap_c_;
    // The explicit step overshoots once the conductor's current is large
    // (|vr| above about 2200): the capacitor would jump past the input and
    // ring. It is held at the input instead; smaller steps are unchanged.
    if (std::fabs(step) > a) step = vr;
    v_cap_ = std::clamp(v_cap_ + step, -kVoltageLimit, kVoltageLimit);
    return y;
}

void LimiterKernel::limiter_mono(float* s, std::int32_t frames, const Params& p) {
    if (p.mode == 1) {
        for (std::int32_t n = 0; n < frames; ++n) s[n] = Rotalumis(s[n]);
        return;
    }
    if (p.mode == 2) {
        for (std::int32_t done = 0; done < frames; done += kWorkLen)
            power_law_mono(s + done, std::min<std::int32_t>(kWorkLen, frames - done), p);
        return;
    }
    const float g = p.color_mono;
    const float one_minus_g = 1.0f - g;
    const float h = p.threshold;
    const float slope = p.clip_slope;
    const float gl = p.smooth_low_coef;
    const float gh = p.smooth_high_coef;
    const float one_minus_gl = 1.0f - gl;
    const float one_minus_gh = 1.0f - gh;
    float lp = lp_state_, sl = smooth_low_state_, sh = smooth_high_state_;
    for (std::int32_t n = 0; n < frames; ++n) {
        const float x = s[n];
        lp = lp * g + one_minus_g * x;
        float low = lp;
        float high = x - low;
        if (low >= h) low = (low - h) * slope + h;
        if (low <= -h) low = (low + h) * slope - h;
        if (high >= h) high = (high - h) * slope + h;
        if (high <= -h) high = (high + h) * slope - h;
        sl = sl * gl + one_minus_gl * low;
        sh = sh * gh + one_minus_gh * high;
        s[n] = sl + sh;
    }
    lp_state_ = lp;
    smooth_low_state_ = sl;
    smooth_high_state_ = sh;
}

void LimiterKernel::power_law_mono(float* s, int count, const Params& p) {
    const float g = p.color_mono;
    const float one_minus_g = 1.0f - g;
    const float gl = p.smooth_low_coef;
    const float gh = p.smooth_high_coef;
    const float one_minus_gl = 1.0f - gl;
    const float one_minus_gh = 1.0f - gh;
    float lp = lp_state_;
    for (int n = 0; n < count; ++n) {
        lp = lp * g + one_minus_g * s[n];
        low_buf_[n] = lp;
        high_buf_[n] = s[n] - lp;
    }
    lp_state_ = lp;
    vec::signed_power_block(low_buf_.data(), count, 0.85f);
    vec::signed_power_block(high_buf_.data(), count, 0.85f);
    float sl = smooth_low_state_, sh = smooth_high_state_;
    for (int n = 0; n < count; ++n) {
        sl = sl * gl + one_minus_gl * low_buf_[n];
        sh = sh * gh + one_minus_gh * high_buf_[n];
        s[n] = sl + sh;
    }
    smooth_low_state_ = sl;
    smooth_high_state_ = sh;
}

void LimiterKernel::power_law_stereo(float* s, int frames, const Params& p) {
    const float gl = p.color_l, gr = p.color_r;
    const float one_minus_gl = 1.0f - gl, one_minus_gr = 1.0f - gr;
    // Both channels' low cuts side by side, their memories in registers.
    float lp_l = lp_state_l_, lp_r = lp_state_r_;
    const int count = 2 * frames;
    for (int i = 0; i < count; i += 2) {
        dsp::one_pole_step(lp_l, gl, one_minus_gl, s[i]);
        dsp::one_pole_step(lp_r, gr, one_minus_gr, s[i + 1]);
        low_buf_[i] = lp_l;
        low_buf_[i + 1] = lp_r;
        high_buf_[i] = s[i] - lp_l;
        high_buf_[i + 1] = s[i + 1] - lp_r;
    }
    lp_state_l_ = lp_l;
    lp_state_r_ = lp_r;
    vec::signed_power_block(low_buf_.data(), count, 0.707f);
    vec::signed_power_block(high_buf_.data(), count, 0.707f);
    for (int i = 0; i < count; ++i) s[i] = low_buf_[i] + high_buf_[i];
}

void LimiterKernel::limiter_stereo(float* s, std::int64_t frames, const Params& p) {
    if (p.mode == 1) {
        constexpr std::int64_t kRun = kWorkLen / 2;
        for (std::int64_t done = 0; done < frames; done += kRun)
            power_law_stereo(s + 2 * done, static_cast<int>(std::min(kRun, frames - done)), p);
        return;
    }
    const float gl = p.color_l;
    const float gr = p.color_r;
    const float h = p.threshold;
    const float gs[2] = {gl, gr};
    const float one_minus[2] = {1.0f - gl, 1.0f - gr};
    float state[2] = {lp_state_l_, lp_state_r_};
    for (std::int64_t f = 0; f < frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            float& x = s[2 * f + c];
            state[c] = state[c] * gs[c] + one_minus[c] * x;
            float low = state[c];
            float high = x - low;
            low = std::clamp(low, -h, h);
            high = std::clamp(high, -h, h);
            x = low + high;
        }
    }
    lp_state_l_ = state[0];
    lp_state_r_ = state[1];
}

void LimiterKernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    std::int64_t count = b.frames;
    if (b.mono()) {
        limiter_mono(b.samples, b.frames, p);
    } else {
        limiter_stereo(b.samples, b.frames, p);
        count *= 2;
    }
    const float g = p.out_gain;
    for (std::int64_t i = 0; i < count; ++i) b.samples[i] = b.samples[i] * g;
}

}  // namespace tw
