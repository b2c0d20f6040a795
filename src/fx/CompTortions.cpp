#include "fx/CompTortions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "fx/curves.h"
#include "fx/dsp/one_pole.h"
#include "fx/fx_limits.h"
#include "fx/fields.h"
#include "fx/unit_texts.h"
#include "fx/vec_math.h"

namespace tw {

namespace {
constexpr ui::BarRange kGainBar{0, 100, 50, 1, 1};
constexpr ui::BarRange kSharpBar{1, 50, 48, 1, 1};
constexpr ui::BarRange kDistortionBar{0, 100, 75, 1, 1};
constexpr ui::BarRange kSoftnessBar{0, 50, 43, 1, 1};
constexpr ui::BarRange kColorBar{1, 100, 70, 1, 1};


constexpr float f32(double v) { return static_cast<float>(v); }

constexpr float sharp_of_position(int p) { return f32((51 - p) * 1.0e7); }
constexpr float exp_of_position(int p) { return f32((100 - p) / 100.0 + 1.0); }

// Steps a ring index; anything past the end (or negative) wraps to 0.
inline void advance(std::int32_t& i) {
    if (static_cast<std::uint32_t>(++i) > static_cast<std::uint32_t>(TCompTortion_form::ring_last)) i = 0;
}

TCompTortion_form::RingIndices layout_for(std::int32_t w) {
    const std::int32_t s = TCompTortion_form::kWriteStart;
    return {s, s, s - (w - 1) / 2, s - w};
}
}  // namespace

// Colour coefficients of the Color bar's ends (colour_curve(1), colour_curve(100)).
constexpr float kColourMin = 0.1f;
constexpr float kColourMax = 0.999f;

// The parameter record (56 bytes).
constexpr FieldBinding<TCompTortion_form> kCompTortionFields[] = {
    TW_FIELD(TCompTortion_form, gain_in).at(0).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Drive"),
    TW_FIELD(TCompTortion_form, gain_out).at(4).range(kGainCurveMin, kGainCurveMax).mirrors("SkinScroll_Level"),
    TW_FIELD(TCompTortion_form, sharp_s).at(8)
        .range(sharp_of_position(kSharpBar.max), sharp_of_position(kSharpBar.min))
        .mirrors("ScrollBar_Sharp"),
    TW_FIELD(TCompTortion_form, dist_exp).at(12)
        .range(exp_of_position(kDistortionBar.max), exp_of_position(kDistortionBar.min))
        .mirrors("ScrollBar_Distortion"),
    TW_FIELD(TCompTortion_form, crunch).at(16).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Popravka"),
    TW_FIELD(TCompTortion_form, win_len).at(20).range(1, TCompTortion_form::kMaxWinLen).mirrors("ScrollBar_Softness2"),
    TW_FIELD(TCompTortion_form, color).at(24).range(kColourMin, kColourMax).mirrors("ScrollBar_Color"),
    TW_FIELD(TCompTortion_form, ScrollBar_Drive).at(28).bar(kGainBar),
    TW_FIELD(TCompTortion_form, SkinScroll_Level).at(32).bar(kGainBar),
    TW_FIELD(TCompTortion_form, ScrollBar_Sharp).at(36).bar(kSharpBar),
    TW_FIELD(TCompTortion_form, ScrollBar_Distortion).at(40).bar(kDistortionBar),
    TW_FIELD(TCompTortion_form, ScrollBar_Popravka).at(44).bar(kGainBar),
    TW_FIELD(TCompTortion_form, ScrollBar_Softness2).at(48).bar(kSoftnessBar),
    TW_FIELD(TCompTortion_form, ScrollBar_Color).at(52).bar(kColorBar),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kCompTortionFields, name); }
}  // namespace

// Layout: 481 x 218 client pixels, two columns, each label above its bar.
TCompTortion_form::TCompTortion_form()
    : EffectForm(ui::FormModel("TCompTortion_form", "Compressor-Distortion", 481, 218)),
      Label_Drive("Label_Drive", {16, 10, 212, 14}, "Drive "),
      ScrollBar_Drive("ScrollBar_Drive", {16, 28, 212, 18}, kGainBar),
      Label_Sharp("Label_Sharp", {16, 60, 212, 14}, "Sharp "),
      ScrollBar_Sharp("ScrollBar_Sharp", {16, 78, 212, 18}, kSharpBar),
      Label_Distortion("Label_Distortion", {16, 110, 212, 14}, "Distortion "),
      ScrollBar_Distortion("ScrollBar_Distortion", {16, 128, 212, 18}, kDistortionBar),
      Label_Color("Label_Color", {16, 160, 212, 14}, "Color  "),
      ScrollBar_Color("ScrollBar_Color", {16, 178, 212, 18}, kColorBar),
      Label_Popravka("Label_Popravka", {253, 10, 212, 14}, "Crunch "),
      ScrollBar_Popravka("ScrollBar_Popravka", {253, 28, 212, 18}, kGainBar),
      Label_Softness2("Label_Softness2", {253, 60, 212, 14}, "Softness "),
      ScrollBar_Softness2("ScrollBar_Softness2", {253, 78, 212, 18}, kSoftnessBar),
      Label_Level("Label_Level", {253, 110, 212, 14}, "Level "),
      SkinScroll_Level("SkinScroll_Level", {253, 128, 212, 18}, kGainBar) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Label_Drive, &ScrollBar_Drive, &Label_Sharp, &ScrollBar_Sharp, &Label_Distortion,
             &ScrollBar_Distortion, &Label_Color, &ScrollBar_Color, &Label_Popravka, &ScrollBar_Popravka,
             &Label_Softness2, &ScrollBar_Softness2, &Label_Level, &SkinScroll_Level}) {
        form().add(*c);
    }
    ScrollBar_Drive.on_change = [this] { ScrollBar_DriveChange(); };
    ScrollBar_Sharp.on_change = [this] { ScrollBar_SharpChange(); };
    ScrollBar_Distortion.on_change = [this] { ScrollBar_DistortionChange(); };
    SkinScroll_Level.on_change = [this] { SkinScroll_LevelChange(); };
    ScrollBar_Popravka.on_change = [this] { ScrollBar_PopravkaChange(); };
    ScrollBar_Softness2.on_change = [this] { ScrollBar_Softness2Change(); };
    ScrollBar_Color.on_change = [this] { ScrollBar_ColorChange(); };
    // The tooltips' values: the three levels as factors, the averaging window
    // in ms at 48 kHz, the colour as the corner of the low part taken away.
    ScrollBar_Drive.unit_text = volume_text;
    SkinScroll_Level.unit_text = volume_text;
    ScrollBar_Popravka.unit_text = volume_text;
    ScrollBar_Softness2.unit_text = [](int p) { return samples_ms_text(100 - 2 * p + 1); };
    ScrollBar_Color.unit_text = colour_corner_text;
    // Creation values are the member initialisers: sharp_s 6.0e7 and color
    // 0.98 differ from what the Sharp (48) and Color (70) start positions give.
}

void TCompTortion_form::ScrollBar_DriveChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Drive.position())))
        gain_in.store(*g, std::memory_order_relaxed);
}

void TCompTortion_form::ScrollBar_SharpChange() {
    sharp_s.store(sharp_of_position(ScrollBar_Sharp.position()), std::memory_order_relaxed);
}

void TCompTortion_form::ScrollBar_DistortionChange() {
    dist_exp.store(exp_of_position(ScrollBar_Distortion.position()), std::memory_order_relaxed);
}

void TCompTortion_form::SkinScroll_LevelChange() {
    if (auto g = gain_curve(static_cast<float>(SkinScroll_Level.position())))
        gain_out.store(*g, std::memory_order_relaxed);
}

void TCompTortion_form::ScrollBar_PopravkaChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Popravka.position())))
        crunch.store(*g, std::memory_order_relaxed);
}

void TCompTortion_form::ScrollBar_Softness2Change() {
    // Waits for a buffer in progress to finish; meanwhile and during the
    // re-layout the audio thread skips buffers, so it never sees a half
    // re-laid window.
    updating.relayout([this] {
        const std::int32_t w = 100 - 2 * ScrollBar_Softness2.position() + 1;
        win_len.store(w, std::memory_order_relaxed);
        idx_l = layout_for(w);
        idx_r = layout_for(w);
        env_l = 0.001f;
        env_r = 0.001f;
    });
}

void TCompTortion_form::ScrollBar_ColorChange() {
    color.store(colour_curve(static_cast<float>(ScrollBar_Color.position())), std::memory_order_relaxed);
}

float TCompTortion_form::comp_gain(float u, float e, float S) {
    const double du = u;
    return f32((std::pow(du, static_cast<double>(e)) + S) / (du * du + S));
}

TCompTortion_form::Settings TCompTortion_form::settings() const {
    Settings s{gain_in.load(std::memory_order_relaxed),  gain_out.load(std::memory_order_relaxed),
               sharp_s.load(std::memory_order_relaxed),  dist_exp.load(std::memory_order_relaxed),
               crunch.load(std::memory_order_relaxed),   win_len.load(std::memory_order_relaxed)};
    s.win_len = std::clamp(s.win_len, 1, kMaxWinLen);  // never a division by zero
    return s;
}

void TCompTortion_form::Comp_Tortion(int count, float* x, std::array<float, kRingLen>& ring, float& envelope,
                                     RingIndices& idx, const Settings& s) {
    // In runs of at most kWorkLen samples, so the powers' bases fit base_buf.
    while (count > kWorkLen) {
        comp_tortion_run(kWorkLen, x, ring, envelope, idx, s);
        x += kWorkLen;
        count -= kWorkLen;
    }
    comp_tortion_run(count, x, ring, envelope, idx, s);
}

namespace {
// One sample of the window walk: the ring takes the input, the running sum
// adds the newest magnitude and drops the oldest, and the power's base (the
// window mean, or the centre sample's magnitude for a one-sample window)
// goes to *base, the centre sample to *x. The gains follow over the whole
// run.
inline void window_step(float* ring, float& envelope, TCompTortion_form::RingIndices& idx,
                        const TCompTortion_form::Settings& s, double w, float* x, float* base) {
    advance(idx.i_write);
    advance(idx.i_add);
    advance(idx.i_out);
    advance(idx.i_sub);
    ring[idx.i_write] = *x * s.gain_in;
    envelope = f32((std::fabs(static_cast<double>(ring[idx.i_add])) + envelope) -
                   std::fabs(static_cast<double>(ring[idx.i_sub])));
    if (envelope < TCompTortion_form::kEnvFloor) envelope = TCompTortion_form::kEnvFloor;
    const float v = ring[idx.i_out];
    *base = s.win_len > 1 ? f32(envelope / w * s.crunch) : std::fabs(v);
    *x = v;
}
}  // namespace

void TCompTortion_form::comp_tortion_run(int count, float* x, std::array<float, kRingLen>& ring, float& envelope,
                                         RingIndices& idx, const Settings& s) {
    float* base = base_buf.data();
    float env = envelope < kEnvFloor ? kEnvFloor : envelope;
    RingIndices at = idx;
    const double w = s.win_len;
    for (int i = 0; i < count; ++i) window_step(ring.data(), env, at, s, w, x + i, base + i);
    envelope = env;
    idx = at;
    vec::comp_gain_block(base, x, count, s.dist_exp, s.sharp_s, s.gain_out);
}

void TCompTortion_form::run_stereo_pass(float* samples, int n, float colour, const Settings& s) {
    // Both channels step by step in one loop: each reads only its own
    // samples and state, so the result is the channel-by-channel one while
    // the two channels' recursions (low cut, running sum) overlap.
    float* high_l = high_buf.data();
    float* high_r = low_buf.data();
    const float g = colour;
    const float one_minus_g = 1.0f - g;
    float lp_l = lp_state_l, lp_r = lp_state_r;
    for (int i = 0; i < n; ++i) {
        const float xl = samples[2 * i], xr = samples[2 * i + 1];
        dsp::one_pole_step(lp_l, g, one_minus_g, xl);
        dsp::one_pole_step(lp_r, g, one_minus_g, xr);
        high_l[i] = xl - lp_l;
        high_r[i] = xr - lp_r;
    }
    lp_state_l = lp_l;
    lp_state_r = lp_r;
    float* base_l = base_buf.data();
    float* base_r = base_buf_r.data();
    float el = env_l < kEnvFloor ? kEnvFloor : env_l;
    float er = env_r < kEnvFloor ? kEnvFloor : env_r;
    RingIndices il = idx_l, ir = idx_r;
    const double w = s.win_len;
    for (int i = 0; i < n; ++i) {
        window_step(ring_l.data(), el, il, s, w, high_l + i, base_l + i);
        window_step(ring_r.data(), er, ir, s, w, high_r + i, base_r + i);
    }
    env_l = el;
    env_r = er;
    idx_l = il;
    idx_r = ir;
    vec::comp_gain_block(base_l, high_l, n, s.dist_exp, s.sharp_s, s.gain_out);
    vec::comp_gain_block(base_r, high_r, n, s.dist_exp, s.sharp_s, s.gain_out);
    for (int i = 0; i < n; ++i) {
        samples[2 * i] = high_l[i];
        samples[2 * i + 1] = high_r[i];
    }
    if (!std::isfinite(lp_state_l) || !std::isfinite(env_l)) recover_channel(lp_state_l, ring_l, env_l, idx_l);
    if (!std::isfinite(lp_state_r) || !std::isfinite(env_r)) recover_channel(lp_state_r, ring_r, env_r, idx_r);
}

void TCompTortion_form::run_channel(const dsp::ChannelPass& p, float colour, float& lp_state,
                                    std::array<float, kRingLen>& ring, float& envelope, RingIndices& idx,
                                    const Settings& s) {
    p.copy_to(low_buf.data());
    FNC(low_buf.data(), p.count, colour, lp_state);
    for (int i = 0; i < p.count; ++i) high_buf[i] = p[i] - low_buf[i];
    Comp_Tortion(p.count, high_buf.data(), ring, envelope, idx, s);
    p.copy_from(high_buf.data());
    // A NaN or infinity that came in would stay in the filter memory and the
    // running sum for good; one test per pass (never true for finite input,
    // whose output is unchanged) sends it to the rare repair.
    if (!std::isfinite(lp_state) || !std::isfinite(envelope)) recover_channel(lp_state, ring, envelope, idx);
}

void TCompTortion_form::recover_channel(float& lp_state, std::array<float, kRingLen>& ring, float& envelope,
                                        const RingIndices& idx) {
    if (!std::isfinite(lp_state)) lp_state = 0.0f;
    for (float& v : ring)
        if (!std::isfinite(v)) v = 0.0f;
    // The running sum again: the floor plus the magnitudes between i_sub
    // (excluded) and i_add (included), as it is kept sample by sample.
    double sum = kEnvFloor;
    std::int32_t j = idx.i_sub;
    for (int k = 0; k < kRingLen && j != idx.i_add; ++k) {
        advance(j);
        sum += std::fabs(static_cast<double>(ring[static_cast<std::size_t>(j)]));
    }
    envelope = std::isfinite(sum) ? f32(sum) : kEnvFloor;
}

void TCompTortion_form::CompTortion(std::int32_t frames, std::int32_t, std::int32_t channels, float* samples) {
    if (frames <= 0 || samples == nullptr) return;
    // Enter the guard without waiting: a buffer that finds the window being
    // re-laid passes unprocessed.
    const ProcessingScope scope(updating);
    if (!scope) return;
    const Settings s = settings();
    const float c = color.load(std::memory_order_relaxed);
    if (channels != 1) {
        // Stereo: both channels together, in runs of kPass frames.
        for (std::int64_t done = 0; done < frames; done += kPass) {
            const int n = static_cast<int>(std::min<std::int64_t>(kPass, frames - done));
            run_stereo_pass(samples + 2 * done, n, c, s);
        }
        return;
    }
    const dsp::InterleavedBlock block(samples, frames, channels);
    block.for_each_pass(0, [&](const dsp::ChannelPass& p) { run_channel(p, c, lp_state_l, ring_l, env_l, idx_l, s); });
}

void TCompTortion_form::get_parameters(ParamRecord& r) { write_fields(*this, kCompTortionFields, r); }

void TCompTortion_form::put_parameters(const ParamRecord& r) {
    // Stored values are copied first, each kept only within what its bar
    // could produce (else derived from the stored position), so a hostile
    // record can give neither a zero or oversized window nor a NaN or
    // infinite gain.
    auto pos = [&r](const FieldDecl& f, const ui::BarRange& bar) {
        return clamp_i32(rec_get_i32(r, f), bar.min, bar.max);
    };
    gain_in.store(sane_curve_gain(rec_get_f32(r, field("gain_in")), rec_get_i32(r, field("ScrollBar_Drive"))),
                  std::memory_order_relaxed);
    gain_out.store(sane_curve_gain(rec_get_f32(r, field("gain_out")), rec_get_i32(r, field("SkinScroll_Level"))),
                   std::memory_order_relaxed);
    const float stored_sharp = rec_get_f32(r, field("sharp_s"));
    sharp_s.store(finite_within(stored_sharp, sharp_of_position(kSharpBar.max), sharp_of_position(kSharpBar.min))
                      ? stored_sharp
                      : sharp_of_position(pos(field("ScrollBar_Sharp"), kSharpBar)),
                  std::memory_order_relaxed);
    const float stored_exp = rec_get_f32(r, field("dist_exp"));
    dist_exp.store(finite_within(stored_exp, exp_of_position(kDistortionBar.max), exp_of_position(kDistortionBar.min))
                       ? stored_exp
                       : exp_of_position(pos(field("ScrollBar_Distortion"), kDistortionBar)),
                   std::memory_order_relaxed);
    crunch.store(sane_curve_gain(rec_get_f32(r, field("crunch")), rec_get_i32(r, field("ScrollBar_Popravka"))),
                 std::memory_order_relaxed);
    win_len.store(clamp_i32(rec_get_i32(r, field("win_len")), 1, kMaxWinLen), std::memory_order_relaxed);
    const float stored_color = rec_get_f32(r, field("color"));
    const float colour_lo = colour_curve(static_cast<float>(kColorBar.min));
    const float colour_hi = colour_curve(static_cast<float>(kColorBar.max));
    color.store(finite_within(stored_color, colour_lo, colour_hi)
                    ? stored_color
                    : colour_curve(static_cast<float>(pos(field("ScrollBar_Color"), kColorBar))),
                std::memory_order_relaxed);
    ScrollBar_Drive.set_position(rec_get_i32(r, field("ScrollBar_Drive")));
    SkinScroll_Level.set_position(rec_get_i32(r, field("SkinScroll_Level")));
    ScrollBar_Sharp.set_position(rec_get_i32(r, field("ScrollBar_Sharp")));
    ScrollBar_Distortion.set_position(rec_get_i32(r, field("ScrollBar_Distortion")));
    ScrollBar_Popravka.set_position(rec_get_i32(r, field("ScrollBar_Popravka")));
    ScrollBar_Softness2.set_position(rec_get_i32(r, field("ScrollBar_Softness2")));
    ScrollBar_Color.set_position(rec_get_i32(r, field("ScrollBar_Color")));
}

KindDecl comptortion_kind() { return declare_kind<kCompTortionFields>(kKindCompTortion, "Distortion-Compresor"); }

}  // namespace tw
