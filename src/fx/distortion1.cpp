#include "fx/distortion1.h"

#include "fx/curves.h"
#include "fx/fx_limits.h"
#include "fx/fields.h"
#include "fx/unit_texts.h"

namespace tw {

namespace {
constexpr ui::BarRange kGainBar{0, 100, 50, 1, 1};
constexpr ui::BarRange kTone1Bar{5000, 30000, 15000, 1, 1};
constexpr ui::BarRange kTone2Bar{50, 1000, 500, 1, 1};
constexpr ui::BarRange kSmoothBar{1, 40, 10, 1, 1};
constexpr ui::BarRange kColorBar{1, 100, 70, 1, 1};


constexpr float kCreationLevel = 0.49f;

constexpr float smooth_of_position(int p) { return static_cast<float>(1.0 / p * 0.2); }

// A stored knee input level A: the curve divides by A and by 32767 - A, so
// 0 becomes 1 and 32767 becomes 32766 (a division by zero); any other is kept.
constexpr std::int32_t knee_in_without_pole(std::int32_t a) {
    if (a == 0) return 1;            // division by zero in B / A
    if (a == 32767) return 32766;    // division by zero in (32767 - B) / (32767 - A)
    return a;
}
}  // namespace

// The parameter record (44 bytes).
constexpr FieldBinding<TDistortion1_form> kDistortion1Fields[] = {
    TW_PARAM(TDistortion1_form, level).at(0).range(0.0, 1.0),
    TW_PARAM(TDistortion1_form, smooth_k).at(4)
        .range(smooth_of_position(kSmoothBar.max), smooth_of_position(kSmoothBar.min))
        .mirrors("ScrollBar_Smooth_k2"),
    TW_PARAM(TDistortion1_form, knee_in).at(8).bar(kTone2Bar).mirrors("ScrollBar_Tone2_k3"),
    TW_PARAM(TDistortion1_form, knee_out).at(12).bar(kTone1Bar).mirrors("ScrollBar_Tone1_k4"),
    TW_PARAM(TDistortion1_form, gain_in).at(16).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_In"),
    TW_PARAM(TDistortion1_form, gain_out).at(20).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_Out"),
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
    // The creation values (Distortion1Kernel::Params' own) differ from what
    // the start positions give; they hold until a bar moves or a record
    // changes one.
    publish();
}

void TDistortion1_form::ScrollBar_Gain_InChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_In.position()))) {
        params.gain_in = *g;
        publish();
    }
}

void TDistortion1_form::ScrollBar_Gain_OutChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_Out.position()))) {
        params.gain_out = *g;
        publish();
    }
}

void TDistortion1_form::ScrollBar_Tone1_k4Change() {
    params.knee_out = ScrollBar_Tone1_k4.position();
    publish();
}

void TDistortion1_form::ScrollBar_Tone2_k3Change() {
    params.knee_in = ScrollBar_Tone2_k3.position();
    publish();
}

void TDistortion1_form::ScrollBar_Smooth_k2Change() {
    params.smooth_k = smooth_of_position(ScrollBar_Smooth_k2.position());
    publish();
}

void TDistortion1_form::ScrollBar_Color_MChange() {
    params.color_l = colour_curve(static_cast<float>(ScrollBar_Color_M.position()));
    publish();
}

void TDistortion1_form::ScrollBar_Color_NChange() {
    params.color_r = colour_curve(static_cast<float>(ScrollBar_Color_N.position()));
    publish();
}

void TDistortion1_form::get_parameters(ParamRecord& r) { write_fields(*this, kDistortion1Fields, r); }

void TDistortion1_form::put_parameters(const ParamRecord& r) {
    // The whole record, with what the moved bars' handlers recompute, reaches
    // the audio thread as one set.
    PublishBatch batch(*this);
    // The stored values are copied first, as stored unless one would cause
    // a fault.
    params.level = kept_factor(rec_get_f32(r, field("level")), kCreationLevel);  // NaN, overflow (see kept_factor)
    const std::int32_t smooth_pos = clamp_i32(rec_get_i32(r, field("ScrollBar_Smooth_k2")), kSmoothBar.min, kSmoothBar.max);
    // An infinite steepness times a zero distance from the knee is a NaN.
    params.smooth_k = kept_finite(rec_get_f32(r, field("smooth_k")), smooth_of_position(smooth_pos));
    params.knee_in = knee_in_without_pole(rec_get_i32(r, field("knee_in")));
    params.knee_out = rec_get_i32(r, field("knee_out"));
    params.gain_in = kept_curve_gain(rec_get_f32(r, field("gain_in")), rec_get_i32(r, field("ScrollBar_Gain_In")));
    params.gain_out = kept_curve_gain(rec_get_f32(r, field("gain_out")), rec_get_i32(r, field("ScrollBar_Gain_Out")));
    publish();
    ScrollBar_Smooth_k2.set_position(rec_get_i32(r, field("ScrollBar_Smooth_k2")));
    ScrollBar_Tone2_k3.set_position(rec_get_i32(r, field("ScrollBar_Tone2_k3")));
    ScrollBar_Tone1_k4.set_position(rec_get_i32(r, field("ScrollBar_Tone1_k4")));
    ScrollBar_Gain_In.set_position(rec_get_i32(r, field("ScrollBar_Gain_In")));
    ScrollBar_Gain_Out.set_position(rec_get_i32(r, field("ScrollBar_Gain_Out")));
}

KindDecl distortion1_kind() { return declare_kind<kDistortion1Fields>(kKindDistortion1, "Distortion (Soft/Hard)"); }

}  // namespace tw
