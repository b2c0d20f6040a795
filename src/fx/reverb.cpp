#include "fx/reverb.h"
#include "fx/unit_texts.h"

#include <algorithm>
#include <cmath>

#include "fx/curves.h"
#include "fx/fields.h"
#include "fx/fx_limits.h"

namespace tw {

namespace {
constexpr ui::BarRange kGainBar{0, 100, 50, 1, 1};
constexpr ui::BarRange kDelayBar{10, 4999, 10, 1, 1};
constexpr ui::BarRange kDecayBar{5, 99, 75, 1, 1};
constexpr ui::BarRange kMonoBrightBar{1, 100, 75, 1, 1};
constexpr ui::BarRange kBrightBar{0, 100, 75, 1, 1};

constexpr float f32(double v) { return static_cast<float>(v); }
constexpr float decay_of_position(int p) { return f32(p / 100.0); }
float root_of_position(int p) { return f32(std::sqrt(p / 100.0)); }

constexpr float kDecayMin = decay_of_position(kDecayBar.min);
constexpr float kDecayMax = decay_of_position(kDecayBar.max);

}  // namespace

// The parameter record (96 bytes).
constexpr FieldBinding<Treverb_form> kReverbFields[] = {
    TW_PARAM(Treverb_form, rv_gain_m).at(0).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_Mono"),
    TW_PARAM(Treverb_form, rv_gain_l).at(4).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_Left"),
    TW_PARAM(Treverb_form, rv_gain_r).at(8).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_Right"),
    TW_FIELD(Treverb_form, ScrollBar_Gain_Mono).at(12).bar(kGainBar),
    TW_FIELD(Treverb_form, ScrollBar_Gain_Left).at(16).bar(kGainBar),
    TW_FIELD(Treverb_form, ScrollBar_Gain_Right).at(20).bar(kGainBar),
    TW_FIELD(Treverb_form, decay_m).at(24).range(kDecayMin, kDecayMax).mirrors("ScrollBar_Mono_Decay"),
    TW_PARAM(Treverb_form, decay_l).at(28).range(kDecayMin, kDecayMax).mirrors("ScrollBar_Left_Decay"),
    TW_PARAM(Treverb_form, decay_r).at(32).range(kDecayMin, kDecayMax).mirrors("ScrollBar_Right_Decay"),
    TW_FIELD(Treverb_form, ScrollBar_Mono_Decay).at(36).bar(kDecayBar),
    TW_FIELD(Treverb_form, ScrollBar_Left_Decay).at(40).bar(kDecayBar),
    TW_FIELD(Treverb_form, ScrollBar_Right_Decay).at(44).bar(kDecayBar),
    // 0 is the right channel's creation value (no filtering).
    TW_PARAM(Treverb_form, tone_m).at(48).range(0, 1).mirrors("ScrollBar_Mono_Brightness"),
    TW_PARAM(Treverb_form, tone_l).at(52).range(0, 1).mirrors("ScrollBar_Mono_Brightness"),
    TW_PARAM(Treverb_form, tone_r).at(56).range(0, 1).mirrors("ScrollBar_Mono_Brightness"),
    TW_FIELD(Treverb_form, ScrollBar_Mono_Brightness).at(60).bar(kMonoBrightBar),
    TW_FIELD(Treverb_form, ScrollBar_Left_Brightness).at(64).bar(kBrightBar),
    TW_FIELD(Treverb_form, ScrollBar_Right_Brightness).at(68).bar(kBrightBar),
    TW_PARAM(Treverb_form, pre_len_m).at(72).range(kDelayBar.min, kDelayBar.max).mirrors("ScrollBar_Mono_Delay"),
    TW_PARAM(Treverb_form, pre_len_l).at(76).range(kDelayBar.min, kDelayBar.max).mirrors("ScrollBar_Left_Delay"),
    TW_PARAM(Treverb_form, pre_len_r).at(80).range(kDelayBar.min, kDelayBar.max).mirrors("ScrollBar_Right_Delay"),
    TW_FIELD(Treverb_form, ScrollBar_Mono_Delay).at(84).bar(kDelayBar),
    TW_FIELD(Treverb_form, ScrollBar_Left_Delay).at(88).bar(kDelayBar),
    TW_FIELD(Treverb_form, ScrollBar_Right_Delay).at(92).bar(kDelayBar),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kReverbFields, name); }

// Column x of the three bar columns (Mono, Left, Right), row y of the four rows.
ui::Rect label_at(int column, int row) { return {12 + 170 * column, 12 + 46 * row, 158, 14}; }
ui::Rect bar_at(int column, int row) { return {12 + 170 * column, 28 + 46 * row, 158, 18}; }
}  // namespace

Treverb_form::Treverb_form()
    : EffectForm(ui::FormModel("Treverb_form", "Reverberator", 522, 200)),
      Label_Gain_Mono("Label_Gain_Mono", label_at(0, 0), "Mono Gain"),
      Label_Gain_Left("Label_Gain_Left", label_at(1, 0), "Left Gain"),
      Label_Gain_Right("Label_Gain_Right", label_at(2, 0), "Right Gain"),
      ScrollBar_Gain_Mono("ScrollBar_Gain_Mono", bar_at(0, 0), kGainBar),
      ScrollBar_Gain_Left("ScrollBar_Gain_Left", bar_at(1, 0), kGainBar),
      ScrollBar_Gain_Right("ScrollBar_Gain_Right", bar_at(2, 0), kGainBar),
      Label_Mono_Delay("Label_Mono_Delay", label_at(0, 1), "Mono Delay"),
      Label_Left_Delay("Label_Left_Delay", label_at(1, 1), "Left Delay"),
      Label_Right_Delay("Label_Right_Delay", label_at(2, 1), "Right Delay"),
      ScrollBar_Mono_Delay("ScrollBar_Mono_Delay", bar_at(0, 1), kDelayBar),
      ScrollBar_Left_Delay("ScrollBar_Left_Delay", bar_at(1, 1), kDelayBar),
      ScrollBar_Right_Delay("ScrollBar_Right_Delay", bar_at(2, 1), kDelayBar),
      Label_Mono_Decay("Label_Mono_Decay", label_at(0, 2), "Mono Decay"),
      Label_Left_Decay("Label_Left_Decay", label_at(1, 2), "Left Decay"),
      Label_Right_Decay("Label_Right_Decay", label_at(2, 2), "Right Decay"),
      ScrollBar_Mono_Decay("ScrollBar_Mono_Decay", bar_at(0, 2), kDecayBar),
      ScrollBar_Left_Decay("ScrollBar_Left_Decay", bar_at(1, 2), kDecayBar),
      ScrollBar_Right_Decay("ScrollBar_Right_Decay", bar_at(2, 2), kDecayBar),
      Label_Mono_Brightness("Label_Mono_Brightness", label_at(0, 3), "Brightness"),
      Label_Left_Brightness("Label_Left_Brightness", label_at(1, 3), "Brightness"),
      Label_Right_Brightness("Label_Right_Brightness", label_at(2, 3), "Brightness"),
      ScrollBar_Mono_Brightness("ScrollBar_Mono_Brightness", bar_at(0, 3), kMonoBrightBar),
      ScrollBar_Left_Brightness("ScrollBar_Left_Brightness", bar_at(1, 3), kBrightBar),
      ScrollBar_Right_Brightness("ScrollBar_Right_Brightness", bar_at(2, 3), kBrightBar) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Label_Gain_Mono, &Label_Gain_Left, &Label_Gain_Right, &ScrollBar_Gain_Mono, &ScrollBar_Gain_Left,
             &ScrollBar_Gain_Right, &Label_Mono_Delay, &Label_Left_Delay, &Label_Right_Delay, &ScrollBar_Mono_Delay,
             &ScrollBar_Left_Delay, &ScrollBar_Right_Delay, &Label_Mono_Decay, &Label_Left_Decay, &Label_Right_Decay,
             &ScrollBar_Mono_Decay, &ScrollBar_Left_Decay, &ScrollBar_Right_Decay, &Label_Mono_Brightness,
             &Label_Left_Brightness, &Label_Right_Brightness, &ScrollBar_Mono_Brightness, &ScrollBar_Left_Brightness,
             &ScrollBar_Right_Brightness}) {
        form().add(*c);
    }
    // The right brightness bar and its label are hidden.
    Label_Right_Brightness.set_visible(false);
    ScrollBar_Right_Brightness.set_visible(false);

    ScrollBar_Gain_Mono.on_change = [this] { ScrollBar_Gain_MonoChange(); };
    ScrollBar_Gain_Left.on_change = [this] { ScrollBar_Gain_LeftChange(); };
    ScrollBar_Gain_Right.on_change = [this] { ScrollBar_Gain_RightChange(); };
    const auto volume = volume_text;
    ScrollBar_Gain_Mono.unit_text = volume;
    ScrollBar_Gain_Left.unit_text = volume;
    ScrollBar_Gain_Right.unit_text = volume;
    ScrollBar_Mono_Delay.on_change = [this] { ScrollBar_Mono_DelayChange(); };
    ScrollBar_Left_Delay.on_change = [this] { ScrollBar_Left_DelayChange(); };
    ScrollBar_Right_Delay.on_change = [this] { ScrollBar_Right_DelayChange(); };
    ScrollBar_Mono_Decay.on_change = [this] { ScrollBar_Mono_DecayChange(); };
    ScrollBar_Left_Decay.on_change = [this] { ScrollBar_Left_DecayChange(); };
    ScrollBar_Right_Decay.on_change = [this] { ScrollBar_Right_DecayChange(); };
    // Pre-delays are lengths in samples (ms at 48 kHz); decays are the combs'
    // feedback factors.
    for (ui::ScrollBar* b : {&ScrollBar_Mono_Delay, &ScrollBar_Left_Delay, &ScrollBar_Right_Delay})
        b->unit_text = [](int p) { return samples_ms_text(p); };
    for (ui::ScrollBar* b : {&ScrollBar_Mono_Decay, &ScrollBar_Left_Decay, &ScrollBar_Right_Decay})
        b->unit_text = [](int p) { return gain_text(decay_of_position(p)); };
    ScrollBar_Mono_Brightness.on_change = [this] { ScrollBar_Mono_BrightnessChange(); };
    ScrollBar_Left_Brightness.on_change = [this] { ScrollBar_Left_BrightnessChange(); };
    ScrollBar_Right_Brightness.on_change = [this] { ScrollBar_Right_BrightnessChange(); };
    // Creation values are ReverbKernel::Params' own: comb damping 0.05 and the
    // output low-pass 0.75 / 0.75 / 0 are not what the bars' start positions give.
    publish();
}

void Treverb_form::ScrollBar_Gain_MonoChange() {
    // One publication for the three gains the bar sets.
    PublishBatch batch(*this);
    const int p = ScrollBar_Gain_Mono.position();
    if (auto g = gain_curve(static_cast<float>(p))) {
        params.rv_gain_m = *g;
        publish();
    }
    ScrollBar_Gain_Left.set_position(p);
    ScrollBar_Gain_Right.set_position(p);
}

void Treverb_form::ScrollBar_Gain_LeftChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_Left.position()))) {
        params.rv_gain_l = *g;
        publish();
    }
}

void Treverb_form::ScrollBar_Gain_RightChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_Right.position()))) {
        params.rv_gain_r = *g;
        publish();
    }
}

void Treverb_form::ScrollBar_Mono_DelayChange() {
    PublishBatch batch(*this);
    const int p = ScrollBar_Mono_Delay.position();
    params.pre_len_m = p;
    publish();
    ScrollBar_Left_Delay.set_position(p);
    ScrollBar_Right_Delay.set_position(p);
}

void Treverb_form::ScrollBar_Left_DelayChange() {
    params.pre_len_l = ScrollBar_Left_Delay.position();
    publish();
}

void Treverb_form::ScrollBar_Right_DelayChange() {
    params.pre_len_r = ScrollBar_Right_Delay.position();
    publish();
}

void Treverb_form::ScrollBar_Mono_DecayChange() {
    PublishBatch batch(*this);
    const int p = ScrollBar_Mono_Decay.position();
    decay_m = decay_of_position(p);
    ScrollBar_Left_Decay.set_position(p);
    ScrollBar_Right_Decay.set_position(p);
}

void Treverb_form::ScrollBar_Left_DecayChange() {
    params.decay_l = decay_of_position(ScrollBar_Left_Decay.position());
    publish();
}

void Treverb_form::ScrollBar_Right_DecayChange() {
    params.decay_r = decay_of_position(ScrollBar_Right_Decay.position());
    publish();
}

void Treverb_form::ScrollBar_Mono_BrightnessChange() {
    const float t = root_of_position(ScrollBar_Mono_Brightness.position());
    params.tone_m = t;
    params.tone_l = t;
    params.tone_r = t;
    publish();
}

void Treverb_form::ScrollBar_Left_BrightnessChange() {
    const float d = root_of_position(ScrollBar_Left_Brightness.position());
    params.comb_damp = d;
    params.comb_damp_inv = 1.0f - d;
    publish();
}

void Treverb_form::ScrollBar_Right_BrightnessChange() {}

void Treverb_form::get_parameters(ParamRecord& r) { write_fields(*this, kReverbFields, r); }

namespace {
// A stored output delay length: lengths up to the line's 5000 entries are
// kept (0, 1 and below all delay by one sample).
std::int32_t kept_pre_len(std::int32_t stored) {
    return std::min(stored, ReverbKernel::kPreRoom);  // a length past the line's capacity
}
}  // namespace

void Treverb_form::put_parameters(const ParamRecord& r) {
    // Each group: the stored values (kept as stored unless one would cause
    // a fault), then the bars, whose handlers override a value when their
    // position changes.
    // The whole record reaches the audio thread as one set.
    PublishBatch batch(*this);
    const auto pos = [&r](FieldDecl f) { return rec_get_i32(r, f); };
    // Gains: NaN, overflow (see kept_factor).
    params.rv_gain_m = kept_curve_gain(rec_get_f32(r, field("rv_gain_m")), pos(field("ScrollBar_Gain_Mono")));
    params.rv_gain_l = kept_curve_gain(rec_get_f32(r, field("rv_gain_l")), pos(field("ScrollBar_Gain_Left")));
    params.rv_gain_r = kept_curve_gain(rec_get_f32(r, field("rv_gain_r")), pos(field("ScrollBar_Gain_Right")));
    publish();
    ScrollBar_Gain_Mono.set_position(pos(field("ScrollBar_Gain_Mono")));
    ScrollBar_Gain_Left.set_position(pos(field("ScrollBar_Gain_Left")));
    ScrollBar_Gain_Right.set_position(pos(field("ScrollBar_Gain_Right")));
    const auto decay_at = [&](FieldDecl f) { return decay_of_position(clamp_i32(pos(f), kDecayBar.min, kDecayBar.max)); };
    // No processing reads decay_m: it is kept whatever it holds.
    decay_m = rec_get_f32(r, field("decay_m"));
    // The decays are the combs' loop gains: NaN, growth without bound (see kept_loop_gain).
    params.decay_l = kept_loop_gain(rec_get_f32(r, field("decay_l")), decay_at(field("ScrollBar_Left_Decay")));
    params.decay_r = kept_loop_gain(rec_get_f32(r, field("decay_r")), decay_at(field("ScrollBar_Right_Decay")));
    publish();
    ScrollBar_Mono_Decay.set_position(pos(field("ScrollBar_Mono_Decay")));
    ScrollBar_Left_Decay.set_position(pos(field("ScrollBar_Left_Decay")));
    ScrollBar_Right_Decay.set_position(pos(field("ScrollBar_Right_Decay")));
    const float tone_at =
        root_of_position(clamp_i32(pos(field("ScrollBar_Mono_Brightness")), kMonoBrightBar.min, kMonoBrightBar.max));
    // The tones are one-pole coefficients: NaN, growth without bound (see kept_pole).
    params.tone_m = kept_pole(rec_get_f32(r, field("tone_m")), tone_at);
    params.tone_l = kept_pole(rec_get_f32(r, field("tone_l")), tone_at);
    params.tone_r = kept_pole(rec_get_f32(r, field("tone_r")), tone_at);
    publish();
    ScrollBar_Mono_Brightness.set_position(pos(field("ScrollBar_Mono_Brightness")));
    ScrollBar_Left_Brightness.set_position(pos(field("ScrollBar_Left_Brightness")));
    ScrollBar_Right_Brightness.set_position(pos(field("ScrollBar_Right_Brightness")));
    params.pre_len_m = kept_pre_len(rec_get_i32(r, field("pre_len_m")));
    params.pre_len_l = kept_pre_len(rec_get_i32(r, field("pre_len_l")));
    params.pre_len_r = kept_pre_len(rec_get_i32(r, field("pre_len_r")));
    publish();
    ScrollBar_Mono_Delay.set_position(pos(field("ScrollBar_Mono_Delay")));
    ScrollBar_Left_Delay.set_position(pos(field("ScrollBar_Left_Delay")));
    ScrollBar_Right_Delay.set_position(pos(field("ScrollBar_Right_Delay")));
}

KindDecl reverb_kind() { return declare_kind<kReverbFields>(kKindReverb, "Reverberator"); }

}  // namespace tw
