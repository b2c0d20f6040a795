#include "fx/distortion1.h"

#include <algorithm>
#include <cmath>

#include "fx/curves.h"
#include "fx/dsp/one_pole.h"
#include "fx/fx_limits.h"
#include "fx/fields.h"
#include "fx/unit_texts.h"
#include "fx/vec_math.h"

namespace tw {

namespace {
constexpr ui::BarRange kGainBar{0, 100, 50, 1, 1};
constexpr ui::BarRange kTone1Bar{5000, 30000, 15000, 1, 1};
constexpr ui::BarRange kTone2Bar{50, 1000, 500, 1, 1};
constexpr ui::BarRange kSmoothBar{1, 40, 10, 1, 1};
constexpr ui::BarRange kColorBar{1, 100, 70, 1, 1};


constexpr float kCreationLevel = 0.49f;

constexpr float smooth_of_position(int p) { return static_cast<float>(1.0 / p * 0.2); }

inline float f32(double v) { return static_cast<float>(v); }
}  // namespace

// The parameter record (44 bytes).
constexpr FieldBinding<TDistortion1_form> kDistortion1Fields[] = {
    TW_FIELD(TDistortion1_form, level).at(0).range(0.0, 1.0),
    TW_FIELD(TDistortion1_form, smooth_k).at(4)
        .range(smooth_of_position(kSmoothBar.max), smooth_of_position(kSmoothBar.min))
        .mirrors("ScrollBar_Smooth_k2"),
    TW_FIELD(TDistortion1_form, knee_in).at(8).bar(kTone2Bar).mirrors("ScrollBar_Tone2_k3"),
    TW_FIELD(TDistortion1_form, knee_out).at(12).bar(kTone1Bar).mirrors("ScrollBar_Tone1_k4"),
    TW_FIELD(TDistortion1_form, gain_in).at(16).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_In"),
    TW_FIELD(TDistortion1_form, gain_out).at(20).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_Out"),
    TW_FIELD(TDistortion1_form, ScrollBar_Smooth_k2).at(24).bar(kSmoothBar),
    TW_FIELD(TDistortion1_form, ScrollBar_Tone2_k3).at(28).bar(kTone2Bar),
    TW_FIELD(TDistortion1_form, ScrollBar_Tone1_k4).at(32).bar(kTone1Bar),
    TW_FIELD(TDistortion1_form, ScrollBar_Gain_In).at(36).bar(kGainBar),
    TW_FIELD(TDistortion1_form, ScrollBar_Gain_Out).at(40).bar(kGainBar),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kDistortion1Fields, name); }
}  // namespace

// Layout: 380 x 191 client pixels, two columns, each label above its bar.
TDistortion1_form::TDistortion1_form()
    : EffectForm(ui::FormModel("TDistortion1_form", "Distortion", 380, 191)),
      Label_Gain_In("Label_Gain_In", {12, 8, 170, 14}, "Drive"),
      ScrollBar_Gain_In("ScrollBar_Gain_In", {12, 24, 170, 16}, kGainBar),
      Label_Gain_Out("Label_Gain_Out", {12, 52, 170, 14}, "Level"),
      ScrollBar_Gain_Out("ScrollBar_Gain_Out", {12, 68, 170, 16}, kGainBar),
      Label_Tone1_k4("Label_Tone1_k4", {12, 96, 170, 14}, "Tone 1 "),
      ScrollBar_Tone1_k4("ScrollBar_Tone1_k4", {12, 112, 170, 16}, kTone1Bar),
      Label_Color_N("Label_Color_N", {12, 140, 170, 14}, "Color (R)  "),
      ScrollBar_Color_N("ScrollBar_Color_N", {12, 156, 170, 16}, kColorBar),
      Label_Tone2_k3("Label_Tone2_k3", {198, 8, 170, 14}, "Tone 2 "),
      ScrollBar_Tone2_k3("ScrollBar_Tone2_k3", {198, 24, 170, 16}, kTone2Bar),
      Label_Smooth_k2("Label_Smooth_k2", {198, 52, 170, 14}, "Smooth "),
      ScrollBar_Smooth_k2("ScrollBar_Smooth_k2", {198, 68, 170, 16}, kSmoothBar),
      Label_Color_M("Label_Color_M", {198, 96, 170, 14}, "Color (L)  "),
      ScrollBar_Color_M("ScrollBar_Color_M", {198, 112, 170, 16}, kColorBar) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Label_Gain_In, &ScrollBar_Gain_In, &Label_Gain_Out, &ScrollBar_Gain_Out, &Label_Tone1_k4,
             &ScrollBar_Tone1_k4, &Label_Color_N, &ScrollBar_Color_N, &Label_Tone2_k3, &ScrollBar_Tone2_k3,
             &Label_Smooth_k2, &ScrollBar_Smooth_k2, &Label_Color_M, &ScrollBar_Color_M}) {
        form().add(*c);
    }
    ScrollBar_Gain_In.on_change = [this] { ScrollBar_Gain_InChange(); };
    ScrollBar_Gain_Out.on_change = [this] { ScrollBar_Gain_OutChange(); };
    ScrollBar_Tone1_k4.on_change = [this] { ScrollBar_Tone1_k4Change(); };
    ScrollBar_Tone2_k3.on_change = [this] { ScrollBar_Tone2_k3Change(); };
    ScrollBar_Smooth_k2.on_change = [this] { ScrollBar_Smooth_k2Change(); };
    ScrollBar_Color_M.on_change = [this] { ScrollBar_Color_MChange(); };
    ScrollBar_Color_N.on_change = [this] { ScrollBar_Color_NChange(); };
    // The tooltips' values: the levels as factors, the colours as the
    // frequency where each channel is split into the two bands distorted apart.
    ScrollBar_Gain_In.unit_text = volume_text;
    ScrollBar_Gain_Out.unit_text = volume_text;
    ScrollBar_Color_M.unit_text = colour_corner_text;
    ScrollBar_Color_N.unit_text = colour_corner_text;
    // The creation values (member initialisers) differ from what the start
    // positions give; they hold until a bar moves or a record changes one.
}

void TDistortion1_form::ScrollBar_Gain_InChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_In.position())))
        gain_in.store(*g, std::memory_order_relaxed);
}

void TDistortion1_form::ScrollBar_Gain_OutChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_Out.position())))
        gain_out.store(*g, std::memory_order_relaxed);
}

void TDistortion1_form::ScrollBar_Tone1_k4Change() {
    knee_out.store(ScrollBar_Tone1_k4.position(), std::memory_order_relaxed);
}

void TDistortion1_form::ScrollBar_Tone2_k3Change() {
    knee_in.store(ScrollBar_Tone2_k3.position(), std::memory_order_relaxed);
}

void TDistortion1_form::ScrollBar_Smooth_k2Change() {
    smooth_k.store(smooth_of_position(ScrollBar_Smooth_k2.position()), std::memory_order_relaxed);
}

void TDistortion1_form::ScrollBar_Color_MChange() {
    color_l.store(colour_curve(static_cast<float>(ScrollBar_Color_M.position())), std::memory_order_relaxed);
}

void TDistortion1_form::ScrollBar_Color_NChange() {
    color_r.store(colour_curve(static_cast<float>(ScrollBar_Color_N.position())), std::memory_order_relaxed);
}

vec::CurveCoeffs TDistortion1_form::curve_coeffs(std::int32_t knee_in_v, std::int32_t knee_out_v, float level_v,
                                                 float k) {
    // Every coefficient is rounded to a 32-bit float when stored; arithmetic
    // between stores runs in double.
    const double A = std::clamp(knee_in_v, 1, 32766);
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

void TDistortion1_form::distortion(std::int32_t knee_in_v, std::int32_t knee_out_v, float level_v, float k,
                                   int count, float* buf) {
    // The per-sample curve (one arctangent each) runs over the whole block.
    vec::curve_block(curve_coeffs(knee_in_v, knee_out_v, level_v, k), buf, count);
}

void TDistortion1_form::run_channel(const dsp::ChannelPass& p, float color, float& lp_state, const Settings& st) {
    for (int i = 0; i < p.count; ++i) {
        p[i] = p[i] * st.gain_in;
        low_buf[i] = p[i];
    }
    FNC(low_buf.data(), p.count, color, lp_state);
    // A NaN or infinity that came in would stay in the filter memory for
    // good; it starts afresh instead (one test per pass; finite input never
    // takes this branch, so its output is unchanged).
    if (!std::isfinite(lp_state)) lp_state = 0.0f;
    for (int i = 0; i < p.count; ++i) high_buf[i] = p[i] - low_buf[i];
    distortion(st.knee_in, st.knee_out, st.level, st.smooth_k, p.count, high_buf.data());
    distortion(st.knee_in, st.knee_out, st.level, st.smooth_k, p.count, low_buf.data());
    for (int i = 0; i < p.count; ++i) p[i] = f32((static_cast<double>(high_buf[i]) + low_buf[i]) * st.gain_out);
}

void TDistortion1_form::run_stereo(float* samples, int n, float color_l_now, float color_r_now, const Settings& st) {
    // Left in [0, n) and right in [n, 2n) of each work buffer; the low cuts
    // of both channels step side by side (each reads only its own samples
    // and memory, so the result is the channel-by-channel one), then each
    // curve runs once over both channels.
    float* high = high_buf.data();
    float* low = low_buf.data();
    const float gl = color_l_now, gr = color_r_now;
    const float one_minus_gl = 1.0f - gl, one_minus_gr = 1.0f - gr;
    float lp_l = lp_state_l, lp_r = lp_state_r;
    for (int i = 0; i < n; ++i) {
        const float xl = samples[2 * i] * st.gain_in;
        const float xr = samples[2 * i + 1] * st.gain_in;
        dsp::one_pole_step(lp_l, gl, one_minus_gl, xl);
        dsp::one_pole_step(lp_r, gr, one_minus_gr, xr);
        low[i] = lp_l;
        low[n + i] = lp_r;
        high[i] = xl - lp_l;
        high[n + i] = xr - lp_r;
    }
    // A NaN or infinity that came in would stay in a filter memory for good.
    lp_state_l = std::isfinite(lp_l) ? lp_l : 0.0f;
    lp_state_r = std::isfinite(lp_r) ? lp_r : 0.0f;
    distortion(st.knee_in, st.knee_out, st.level, st.smooth_k, 2 * n, high);
    distortion(st.knee_in, st.knee_out, st.level, st.smooth_k, 2 * n, low);
    for (int i = 0; i < n; ++i) {
        samples[2 * i] = f32((static_cast<double>(high[i]) + low[i]) * st.gain_out);
        samples[2 * i + 1] = f32((static_cast<double>(high[n + i]) + low[n + i]) * st.gain_out);
    }
}

void TDistortion1_form::distortion1(std::int32_t frames, std::int32_t, std::int32_t channels, float* samples) {
    if (frames <= 0 || samples == nullptr) return;
    const Settings st{gain_in.load(std::memory_order_relaxed),  gain_out.load(std::memory_order_relaxed),
                      level.load(std::memory_order_relaxed),    smooth_k.load(std::memory_order_relaxed),
                      knee_in.load(std::memory_order_relaxed),  knee_out.load(std::memory_order_relaxed)};
    // The left (or mono) samples, then the right, each in passes of kPass
    // frames (each channel's output depends only on its own past, so passes
    // give the same result as one long run).
    const float cl = color_l.load(std::memory_order_relaxed);
    if (channels != 1) {
        // Stereo: both channels together, in runs that fill the work buffers.
        const float cr = color_r.load(std::memory_order_relaxed);
        constexpr std::int64_t kRun = (kWorkLen - 1) / 2;
        for (std::int64_t done = 0; done < frames; done += kRun)
            run_stereo(samples + 2 * done, static_cast<int>(std::min(kRun, std::int64_t{frames} - done)), cl, cr, st);
        return;
    }
    const dsp::InterleavedBlock block(samples, frames, channels);
    block.for_each_pass(0, [&](const dsp::ChannelPass& p) { run_channel(p, cl, lp_state_l, st); });
}

void TDistortion1_form::get_parameters(ParamRecord& r) { write_fields(*this, kDistortion1Fields, r); }

void TDistortion1_form::put_parameters(const ParamRecord& r) {
    // The stored values are copied first, but only within what the bars could
    // produce: a damaged or hostile record must not give a zero or out-of-range
    // knee, an infinite gain or a NaN reaching the output.
    const float stored_level = rec_get_f32(r, field("level"));
    level.store(finite_within(stored_level, 0.0f, 1.0f) ? stored_level : kCreationLevel, std::memory_order_relaxed);
    const float stored_smooth = rec_get_f32(r, field("smooth_k"));
    const std::int32_t smooth_pos = clamp_i32(rec_get_i32(r, field("ScrollBar_Smooth_k2")), kSmoothBar.min, kSmoothBar.max);
    smooth_k.store(finite_within(stored_smooth, smooth_of_position(kSmoothBar.max), smooth_of_position(kSmoothBar.min))
                       ? stored_smooth
                       : smooth_of_position(smooth_pos),
                   std::memory_order_relaxed);
    knee_in.store(clamp_i32(rec_get_i32(r, field("knee_in")), kTone2Bar.min, kTone2Bar.max), std::memory_order_relaxed);
    knee_out.store(clamp_i32(rec_get_i32(r, field("knee_out")), kTone1Bar.min, kTone1Bar.max), std::memory_order_relaxed);
    gain_in.store(sane_curve_gain(rec_get_f32(r, field("gain_in")), rec_get_i32(r, field("ScrollBar_Gain_In"))),
                  std::memory_order_relaxed);
    gain_out.store(sane_curve_gain(rec_get_f32(r, field("gain_out")), rec_get_i32(r, field("ScrollBar_Gain_Out"))),
                   std::memory_order_relaxed);
    ScrollBar_Smooth_k2.set_position(rec_get_i32(r, field("ScrollBar_Smooth_k2")));
    ScrollBar_Tone2_k3.set_position(rec_get_i32(r, field("ScrollBar_Tone2_k3")));
    ScrollBar_Tone1_k4.set_position(rec_get_i32(r, field("ScrollBar_Tone1_k4")));
    ScrollBar_Gain_In.set_position(rec_get_i32(r, field("ScrollBar_Gain_In")));
    ScrollBar_Gain_Out.set_position(rec_get_i32(r, field("ScrollBar_Gain_Out")));
}

KindDecl distortion1_kind() { return declare_kind<kDistortion1Fields>(kKindDistortion1, "Distortion (Soft/Hard)"); }

}  // namespace tw
