#include "fx/gain_form.h"
#include "fx/unit_texts.h"

#include <cmath>

#include "fx/curves.h"
#include "fx/fx_limits.h"
#include "fx/fields.h"
#include "fx/kind_decl.h"

namespace tw {

namespace {
constexpr ui::BarRange kVolumeBar{0, 100, 50, 5, 1};
}  // namespace

// The parameter record (40 bytes).
constexpr FieldBinding<Tgain_form> kGainFields[] = {
    TW_PARAM(Tgain_form, mono_gain).at(0).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_Mono"),
    TW_PARAM(Tgain_form, left_gain).at(4).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_Left"),
    TW_PARAM(Tgain_form, right_gain).at(8).range(kGainCurveMin, kGainCurveMax).mirrors("ScrollBar_Gain_Right"),
    marker_field<Tgain_form>(12, Tgain_form::kMarker),
    TW_FIELD(Tgain_form, RadioBox_SimpleChorus).at(16),
    TW_FIELD(Tgain_form, ScrollBar_SimpleChorus).at(20).bar(kVolumeBar),
    TW_FIELD(Tgain_form, ScrollBar_Gain_Mono).at(24).bar(kVolumeBar),
    TW_FIELD(Tgain_form, ScrollBar_Gain_Left).at(28).bar(kVolumeBar),
    TW_FIELD(Tgain_form, ScrollBar_Gain_Right).at(32).bar(kVolumeBar),
    TW_FIELD(Tgain_form, CheckRadioBox_Air).at(36),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kGainFields, name); }
}  // namespace

Tgain_form::Tgain_form()
    : EffectForm(ui::FormModel("Tgain_form", "Gain", 306, 230)),
      Label_Gain_Mono("Label_Gain_Mono", {12, 20, 120, 16}, "Mono Volume:"),
      ScrollBar_Gain_Mono("ScrollBar_Gain_Mono", {136, 18, 156, 18}, kVolumeBar),
      Label_Gain_Left("Label_Gain_Left", {12, 56, 120, 16}, "Left Chanel Volume:"),
      ScrollBar_Gain_Left("ScrollBar_Gain_Left", {136, 54, 156, 18}, kVolumeBar),
      Label_Gain_Right("Label_Gain_Right", {12, 92, 120, 16}, "Right Chanel Volume:"),
      ScrollBar_Gain_Right("ScrollBar_Gain_Right", {136, 90, 156, 18}, kVolumeBar),
      RadioBox_SimpleChorus("RadioBox_SimpleChorus", {12, 134, 120, 20}, " Simple Chorus", false),
      ScrollBar_SimpleChorus("ScrollBar_SimpleChorus", {136, 135, 156, 18}, kVolumeBar),
      CheckRadioBox_Air("CheckRadioBox_Air", {12, 190, 120, 20}, "   A i r", true) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Label_Gain_Mono, &ScrollBar_Gain_Mono, &Label_Gain_Left, &ScrollBar_Gain_Left, &Label_Gain_Right,
             &ScrollBar_Gain_Right, &RadioBox_SimpleChorus, &ScrollBar_SimpleChorus, &CheckRadioBox_Air}) {
        form().add(*c);
    }
    ScrollBar_Gain_Left.on_change = [this] { ScrollBar_Gain_LeftChange(); };
    ScrollBar_Gain_Right.on_change = [this] { ScrollBar_Gain_RightChange(); };
    ScrollBar_Gain_Mono.on_change = [this] { ScrollBar_Gain_MonoChange(); };
    RadioBox_SimpleChorus.on_click = [this] { RadioBox_SimpleChorusClick(); };
    ScrollBar_SimpleChorus.on_change = [this] { ScrollBar_SimpleChorusChange(); };
    CheckRadioBox_Air.on_click = [this] { CheckRadioBox_AirClick(); };
    // The tooltips' values: the three volumes through the gain curve, the
    // chorus delay as the ring length it gives (at 48 kHz).
    const auto volume = volume_text;
    ScrollBar_Gain_Mono.unit_text = volume;
    ScrollBar_Gain_Left.unit_text = volume;
    ScrollBar_Gain_Right.unit_text = volume;
    ScrollBar_SimpleChorus.unit_text = [](int p) {
        const auto g = gain_curve(static_cast<float>(p));
        return g ? samples_ms_text(std::nearbyint(static_cast<double>(*g) * 1800.0)) : std::string();
    };
    // The creation values are GainKernel::Params' own.
    publish();
}

void Tgain_form::ScrollBar_Gain_LeftChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_Left.position()))) {
        params.left_gain = *g;
        publish();
    }
}

void Tgain_form::ScrollBar_Gain_RightChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_Right.position()))) {
        params.right_gain = *g;
        publish();
    }
}

void Tgain_form::ScrollBar_Gain_MonoChange() {
    // One publication for the three volumes the bar sets.
    PublishBatch batch(*this);
    const int p = ScrollBar_Gain_Mono.position();
    ScrollBar_Gain_Left.set_position(p);
    ScrollBar_Gain_Right.set_position(p);
    if (auto g = gain_curve(static_cast<float>(p))) {
        params.mono_gain = *g;
        publish();
    }
}

void Tgain_form::RadioBox_SimpleChorusClick() {
    params.chorus_on = RadioBox_SimpleChorus.checked();
    publish();
}

void Tgain_form::ScrollBar_SimpleChorusChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_SimpleChorus.position()))) {
        // Nearest integer, ties to even (the default rounding mode).
        params.delay_len = static_cast<std::int32_t>(std::nearbyint(static_cast<double>(*g) * 1800.0));
        publish();
    }
}

void Tgain_form::CheckRadioBox_AirClick() {
    params.air = CheckRadioBox_Air.checked();
    publish();
}

void Tgain_form::get_parameters(ParamRecord& r) { write_fields(*this, kGainFields, r); }

void Tgain_form::put_parameters(const ParamRecord& r) {
    // The whole record reaches the audio thread as one set.
    PublishBatch batch(*this);
    // The stored gains are kept; kept_curve_gain mends a NaN (from the stored
    // position) and a size past 11 (overflow along the chain).
    params.mono_gain = kept_curve_gain(rec_get_f32(r, field("mono_gain")), rec_get_i32(r, field("ScrollBar_Gain_Mono")));
    params.left_gain = kept_curve_gain(rec_get_f32(r, field("left_gain")), rec_get_i32(r, field("ScrollBar_Gain_Left")));
    params.right_gain =
        kept_curve_gain(rec_get_f32(r, field("right_gain")), rec_get_i32(r, field("ScrollBar_Gain_Right")));
    publish();
    ScrollBar_Gain_Mono.set_position(rec_get_i32(r, field("ScrollBar_Gain_Mono")));
    ScrollBar_Gain_Left.set_position(rec_get_i32(r, field("ScrollBar_Gain_Left")));
    ScrollBar_Gain_Right.set_position(rec_get_i32(r, field("ScrollBar_Gain_Right")));
    if (rec_get_i32(r, field("marker")) == Tgain_form::kMarker) {
        ScrollBar_SimpleChorus.set_position(rec_get_i32(r, field("ScrollBar_SimpleChorus")));
        RadioBox_SimpleChorus.set_checked(rec_get_flag(r, field("RadioBox_SimpleChorus")));
        CheckRadioBox_Air.set_checked(rec_get_flag(r, field("CheckRadioBox_Air")));
    }
}

KindDecl gain_kind() { return declare_kind<kGainFields>(kKindGain, "Gain"); }

}  // namespace tw
