#include "fx/CompTortions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "fx/curves.h"
#include "fx/fx_limits.h"
#include "fx/fields.h"
#include "fx/unit_texts.h"

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

}  // namespace

// Colour coefficients of the Color bar's ends (colour_curve(1), colour_curve(100)).
constexpr float kColourMin = 0.1f;
constexpr float kColourMax = 0.999f;

// The parameter record (56 bytes).
constexpr FieldBinding<TCompTortion_form> kCompTortionFields[] = {
    TW_PARAM(TCompTortion_form, gain_in).at(0).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Drive"),
    TW_PARAM(TCompTortion_form, gain_out).at(4).range(kGainCurveMin, kGainCurveMax).mirrors("SkinScroll_Level"),
    TW_PARAM(TCompTortion_form, sharp_s).at(8)
        .range(sharp_of_position(kSharpBar.max), sharp_of_position(kSharpBar.min))
        .mirrors("ScrollBar_Sharp"),
    TW_PARAM(TCompTortion_form, dist_exp).at(12)
        .range(exp_of_position(kDistortionBar.max), exp_of_position(kDistortionBar.min))
        .mirrors("ScrollBar_Distortion"),
    TW_PARAM(TCompTortion_form, crunch).at(16).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Popravka"),
    TW_PARAM(TCompTortion_form, win_len).at(20).range(1, TCompTortion_form::kMaxWinLen).mirrors("ScrollBar_Softness2"),
    TW_PARAM(TCompTortion_form, color).at(24).range(kColourMin, kColourMax).mirrors("ScrollBar_Color"),
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
    // The creation values are CompTortionKernel::Params' own: sharp_s 6.0e7
    // and color 0.98 differ from what the Sharp (48) and Color (70) start
    // positions give.
    publish();
}

void TCompTortion_form::ScrollBar_DriveChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Drive.position()))) {
        params.gain_in = *g;
        publish();
    }
}

void TCompTortion_form::ScrollBar_SharpChange() {
    params.sharp_s = sharp_of_position(ScrollBar_Sharp.position());
    publish();
}

void TCompTortion_form::ScrollBar_DistortionChange() {
    params.dist_exp = exp_of_position(ScrollBar_Distortion.position());
    publish();
}

void TCompTortion_form::SkinScroll_LevelChange() {
    if (auto g = gain_curve(static_cast<float>(SkinScroll_Level.position()))) {
        params.gain_out = *g;
        publish();
    }
}

void TCompTortion_form::ScrollBar_PopravkaChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Popravka.position()))) {
        params.crunch = *g;
        publish();
    }
}

void TCompTortion_form::ScrollBar_Softness2Change() {
    // The new length and the re-layout it needs travel in one set, so the
    // audio thread never runs a window laid out for another length; it
    // re-lays both channels before the block that first sees the set.
    const std::int32_t w = 100 - 2 * ScrollBar_Softness2.position() + 1;
    params.win_len = w;
    params.layout_len = w;
    ++params.relayout;
    publish();
}

void TCompTortion_form::ScrollBar_ColorChange() {
    params.color = colour_curve(static_cast<float>(ScrollBar_Color.position()));
    publish();
}

void TCompTortion_form::get_parameters(ParamRecord& r) { write_fields(*this, kCompTortionFields, r); }

void TCompTortion_form::put_parameters(const ParamRecord& r) {
    // The whole record, with what the moved bars' handlers recompute (a
    // re-layout included), reaches the audio thread as one set.
    PublishBatch batch(*this);
    // The stored values are copied first, as stored unless one would cause
    // a fault; a NaN takes what the stored position gives.
    auto pos = [&r](const FieldDecl& f, const ui::BarRange& bar) {
        return clamp_i32(rec_get_i32(r, f), bar.min, bar.max);
    };
    // Gains and crunch: NaN, overflow (see kept_factor).
    params.gain_in = kept_curve_gain(rec_get_f32(r, field("gain_in")), rec_get_i32(r, field("ScrollBar_Drive")));
    params.gain_out = kept_curve_gain(rec_get_f32(r, field("gain_out")), rec_get_i32(r, field("SkinScroll_Level")));
    const float stored_sharp = rec_get_f32(r, field("sharp_s"));
    // S of 0 or below divides by zero where u^2 + S is 0.
    params.sharp_s = std::isfinite(stored_sharp) && stored_sharp > 0.0f
                         ? stored_sharp
                         : sharp_of_position(pos(field("ScrollBar_Sharp"), kSharpBar));
    const float stored_exp = rec_get_f32(r, field("dist_exp"));
    // Below 0 a zero base gives an infinite power; above 2 the gain rises
    // with the level without bound.
    params.dist_exp = std::isnan(stored_exp) ? exp_of_position(pos(field("ScrollBar_Distortion"), kDistortionBar))
                                             : std::clamp(stored_exp, 0.0f, 2.0f);
    params.crunch = kept_curve_gain(rec_get_f32(r, field("crunch")), rec_get_i32(r, field("ScrollBar_Popravka")));
    // The window's mean divides by its length: below 1 a division by zero
    // (or a negative base of the power).
    params.win_len = std::max(rec_get_i32(r, field("win_len")), 1);
    params.color = kept_pole(rec_get_f32(r, field("color")),
                             colour_curve(static_cast<float>(pos(field("ScrollBar_Color"), kColorBar))));
    publish();
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
