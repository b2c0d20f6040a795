#include "fx/flangers.h"
#include "fx/unit_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "fx/curves.h"
#include "fx/fields.h"
#include "fx/fx_limits.h"

namespace tw {

namespace {
constexpr ui::BarRange kLevelBar{1, 100, 25, 1, 1};
constexpr ui::BarRange kSpeedBar{1, 100, 10, 1, 1};
constexpr ui::BarRange kToneBar{0, 48, 25, 1, 1};
constexpr ui::BarRange kChorusToneBar{1, 100, 50, 1, 1};

constexpr float f32(double v) { return static_cast<float>(v); }
constexpr float level_of_position(int p) { return f32(p / 50.0); }
constexpr float speed_of_position(int p) { return f32(p * 0.0002); }
constexpr float feedback_of_position(int p) { return f32(p / 50.0); }

constexpr float kLevelMin = level_of_position(kLevelBar.min);
constexpr float kLevelMax = level_of_position(kLevelBar.max);
constexpr float kSpeedMin = speed_of_position(kSpeedBar.min);
constexpr float kSpeedMax = speed_of_position(kSpeedBar.max);
constexpr float kFeedbackMax = feedback_of_position(kToneBar.max);

// The field of a sweep step, which the kernel keeps (side 0 left, 1 right).
template <int Side>
constexpr FieldBinding<Tflanger_form> speed_field(const char* name) {
    FieldBinding<Tflanger_form> b;
    b.decl.name = name;
    b.decl.type = FieldType::Float;
    b.read = [](const void* form, int) -> double { return static_cast<const Tflanger_form*>(form)->kernel().speed(Side); };
    return b;
}
}  // namespace

// The parameter record (48 bytes).
constexpr FieldBinding<Tflanger_form> kFlangerFields[] = {
    TW_PARAM(Tflanger_form, fl_level).at(0).range(kLevelMin, kLevelMax).mirrors("ScrollBar_Flanger_Level"),
    speed_field<0>("fl_speed_l").at(4).range(-kSpeedMax, kSpeedMax).mirrors("ScrollBar_Flanger_Speed"),
    speed_field<1>("fl_speed_r").at(8).range(-kSpeedMax, kSpeedMax).mirrors("ScrollBar_Flanger_Speed_R"),
    TW_PARAM(Tflanger_form, fl_feedback_l).at(12).range(0, kFeedbackMax).mirrors("ScrollBar_Flanger_Tone"),
    TW_PARAM(Tflanger_form, fl_feedback_r).at(16).range(0, kFeedbackMax).mirrors("ScrollBar_Flanger_Tone"),
    marker_field<Tflanger_form>(20, Tflanger_form::kMarker),
    TW_FIELD(Tflanger_form, ScrollBar_ChorusTone).at(24).bar(kChorusToneBar),
    TW_FIELD(Tflanger_form, RadioBox_Chorus).at(28),
    TW_FIELD(Tflanger_form, ScrollBar_Flanger_Level).at(32).bar(kLevelBar),
    TW_FIELD(Tflanger_form, ScrollBar_Flanger_Speed).at(36).bar(kSpeedBar),
    TW_FIELD(Tflanger_form, ScrollBar_Flanger_Speed_R).at(40).bar(kSpeedBar),
    TW_FIELD(Tflanger_form, ScrollBar_Flanger_Tone).at(44).bar(kToneBar),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kFlangerFields, name); }

float level_at(int p) { return level_of_position(p); }
float speed_at(int p) { return speed_of_position(p); }
float feedback_at(int p) { return feedback_of_position(p); }

// What a stored position gives through `of_position` (clamped into the bar).
float at_position(std::int32_t position, const ui::BarRange& bar, float (*of_position)(int)) {
    return of_position(clamp_i32(position, bar.min, bar.max));
}

// Largest size of a stored sweep step: the read position moves by 1 + step a
// sample and wraps once, so a larger step would carry it outside the ring.
constexpr float kStepMax = static_cast<float>(FlangerKernel::kRingLen - 2);

// A stored signed sweep step (0 keeps the sweep still).
float kept_speed(float stored, std::int32_t position) {
    if (std::isnan(stored)) return at_position(position, kSpeedBar, speed_at);  // not finite
    return std::clamp(stored, -kStepMax, kStepMax);  // an index outside the ring
}
}  // namespace

// Layout: 291 x 304 client pixels, each label above its bar.
Tflanger_form::Tflanger_form()
    : EffectForm(ui::FormModel("Tflanger_form", "Flanger", 291, 304)),
      Label_Flanger_Level("Label_Flanger_Level", {16, 10, 259, 14}, "Level "),
      ScrollBar_Flanger_Level("ScrollBar_Flanger_Level", {16, 28, 259, 18}, kLevelBar),
      Label_Flanger_Speed("Label_Flanger_Speed", {16, 58, 259, 14}, "Swep Speed (mono / Left)   "),
      ScrollBar_Flanger_Speed("ScrollBar_Flanger_Speed", {16, 76, 259, 18}, kSpeedBar),
      Label_Flanger_Speed_R("Label_Flanger_Speed_R", {16, 106, 259, 14}, "Sweep Speed (Right)   "),
      ScrollBar_Flanger_Speed_R("ScrollBar_Flanger_Speed_R", {16, 124, 200, 18}, kSpeedBar),
      CheckRadioBox_Gang("CheckRadioBox_Gang", {222, 122, 60, 20}, "  Gang", true),
      Label_Flanger_Tone("Label_Flanger_Tone", {16, 154, 259, 14}, "Flanger Tone "),
      ScrollBar_Flanger_Tone("ScrollBar_Flanger_Tone", {16, 172, 259, 18}, kToneBar),
      Label_ChorusTone("Label_ChorusTone", {16, 202, 259, 14}, "Chorus Tone   "),
      ScrollBar_ChorusTone("ScrollBar_ChorusTone", {16, 220, 259, 18}, kChorusToneBar),
      RadioBox_Chorus("RadioBox_Chorus", {16, 256, 259, 20}, "  Chorus", false) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Label_Flanger_Level, &ScrollBar_Flanger_Level, &Label_Flanger_Speed, &ScrollBar_Flanger_Speed,
             &Label_Flanger_Speed_R, &ScrollBar_Flanger_Speed_R, &CheckRadioBox_Gang, &Label_Flanger_Tone,
             &ScrollBar_Flanger_Tone, &Label_ChorusTone, &ScrollBar_ChorusTone, &RadioBox_Chorus}) {
        form().add(*c);
    }
    ScrollBar_Flanger_Level.on_change = [this] { ScrollBar_Flanger_LevelChange(); };
    ScrollBar_Flanger_Speed.on_change = [this] { ScrollBar_Flanger_SpeedChange(); };
    ScrollBar_Flanger_Speed_R.on_change = [this] { ScrollBar_Flanger_Speed_RChange(); };
    ScrollBar_Flanger_Tone.on_change = [this] { ScrollBar_Flanger_ToneChange(); };
    CheckRadioBox_Gang.on_click = [this] { CheckRadioBox_GangClick(); };
    ScrollBar_ChorusTone.on_change = [this] { ScrollBar_ChorusToneChange(); };
    // The tooltips' values: the level as a factor, the chorus delay in ms (at 48 kHz).
    ScrollBar_Flanger_Level.unit_text = [](int p) { return gain_text(level_of_position(p)); };
    // The speed as how fast the delay sweeps (ms per second at 48 kHz), the
    // feedback as its factor.
    const auto sweep = [](int p) {
        char text[48];
        std::snprintf(text, sizeof text, "%.1f ms/s", static_cast<double>(speed_of_position(p)) * 1000.0);
        return std::string(text);
    };
    ScrollBar_Flanger_Speed.unit_text = sweep;
    ScrollBar_Flanger_Speed_R.unit_text = sweep;
    ScrollBar_Flanger_Tone.unit_text = [](int p) { return gain_text(feedback_of_position(p)); };
    ScrollBar_ChorusTone.unit_text = [](int p) {
        const auto g = gain_curve(static_cast<float>(p));
        return g ? samples_ms_text(std::nearbyint(static_cast<double>(*g) * 1800.0)) : std::string();
    };
    RadioBox_Chorus.on_click = [this] { RadioBox_ChorusClick(); };

    // The creation values are FlangerKernel's own (the sweep steps, 0.0075,
    // match no bar position).
    publish();
}

void Tflanger_form::ScrollBar_Flanger_LevelChange() {
    params.fl_level = level_of_position(ScrollBar_Flanger_Level.position());
    publish();
}

void Tflanger_form::ScrollBar_Flanger_SpeedChange() {
    const int p = ScrollBar_Flanger_Speed.position();
    const bool ganged = CheckRadioBox_Gang.checked();
    if (ganged) ScrollBar_Flanger_Speed_R.set_position(p);
    kernel().set_speed(0, speed_of_position(p));
    if (ganged) kernel().set_speed(1, kernel().speed(0));
}

void Tflanger_form::ScrollBar_Flanger_Speed_RChange() {
    if (CheckRadioBox_Gang.checked()) {
        kernel().set_speed(1, kernel().speed(0));
    } else {
        kernel().set_speed(1, speed_of_position(ScrollBar_Flanger_Speed_R.position()));
    }
}

void Tflanger_form::ScrollBar_Flanger_ToneChange() {
    const float k = feedback_of_position(ScrollBar_Flanger_Tone.position());
    params.fl_feedback_l = k;
    params.fl_feedback_r = k;
    publish();
}

void Tflanger_form::CheckRadioBox_GangClick() {
    if (CheckRadioBox_Gang.checked()) kernel().set_speed(1, kernel().speed(0));
}

void Tflanger_form::ScrollBar_ChorusToneChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_ChorusTone.position()))) {
        params.chorus_len = static_cast<std::int32_t>(std::nearbyint(static_cast<double>(*g) * 1800.0));
        publish();
    }
}

void Tflanger_form::RadioBox_ChorusClick() {
    params.chorus_on = RadioBox_Chorus.checked();
    publish();
}

void Tflanger_form::get_parameters(ParamRecord& r) { write_fields(*this, kFlangerFields, r); }

void Tflanger_form::put_parameters(const ParamRecord& r) {
    // The whole record reaches the audio thread as one set (the sweep steps,
    // which the kernel keeps, are set at once).
    PublishBatch batch(*this);
    // The stored values are kept unless one would cause a fault.
    params.fl_level = kept_factor(rec_get_f32(r, field("fl_level")),  // NaN, overflow (see kept_factor)
                                  at_position(rec_get_i32(r, field("ScrollBar_Flanger_Level")), kLevelBar, level_at));
    kernel().set_speed(0, kept_speed(rec_get_f32(r, field("fl_speed_l")), rec_get_i32(r, field("ScrollBar_Flanger_Speed"))));
    kernel().set_speed(
        1, kept_speed(rec_get_f32(r, field("fl_speed_r")), rec_get_i32(r, field("ScrollBar_Flanger_Speed_R"))));
    const float tone = at_position(rec_get_i32(r, field("ScrollBar_Flanger_Tone")), kToneBar, feedback_at);
    // The feedback runs round the ring: NaN, growth without bound (see kept_loop_gain).
    params.fl_feedback_l = kept_loop_gain(rec_get_f32(r, field("fl_feedback_l")), tone);
    params.fl_feedback_r = kept_loop_gain(rec_get_f32(r, field("fl_feedback_r")), tone);
    publish();
    ScrollBar_Flanger_Level.set_position(rec_get_i32(r, field("ScrollBar_Flanger_Level")));
    ScrollBar_Flanger_Speed.set_position(rec_get_i32(r, field("ScrollBar_Flanger_Speed")));
    ScrollBar_Flanger_Speed_R.set_position(rec_get_i32(r, field("ScrollBar_Flanger_Speed_R")));
    ScrollBar_Flanger_Tone.set_position(rec_get_i32(r, field("ScrollBar_Flanger_Tone")));
    if (rec_get_i32(r, field("marker")) == kMarker) {
        ScrollBar_ChorusTone.set_position(rec_get_i32(r, field("ScrollBar_ChorusTone")));
        RadioBox_Chorus.set_checked(rec_get_flag(r, field("RadioBox_Chorus")));
    }
}

KindDecl flanger_kind() { return declare_kind<kFlangerFields>(kKindFlanger, "Flanger / Chorus"); }

}  // namespace tw
