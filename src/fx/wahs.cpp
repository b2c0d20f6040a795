#include "fx/wahs.h"
#include "fx/unit_texts.h"

#include <cmath>
#include <cstdio>

#include "fx/curves.h"
#include "fx/fields.h"

namespace tw {

namespace {
constexpr ui::BarRange kFcBar{1, 190, 10, 1, 1};
constexpr ui::BarRange kResBar{1, 39, 30, 1, 1};
constexpr ui::BarRange kDeviationBar{1, 190, 50, 1, 1};
constexpr ui::BarRange kSpeedBar{1, 199, 100, 1, 1};
constexpr ui::BarRange kLevelBar{1, 100, 50, 1, 1};

constexpr double kDesignRate = 48000.0;  // the rate the tooltips assume
}  // namespace

// The parameter record (16 bytes).
constexpr FieldBinding<Twah_form> kWahFields[] = {
    TW_FIELD(Twah_form, ScrollBar_Fc).at(0).bar(kFcBar),
    TW_FIELD(Twah_form, ScrollBar_deviation).at(4).bar(kDeviationBar),
    TW_FIELD(Twah_form, ScrollBar_Speed).at(8).bar(kSpeedBar),
    TW_FIELD(Twah_form, ScrollBar_Level).at(12).bar(kLevelBar),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kWahFields, name); }
}  // namespace

// Layout: 341 x 291 client pixels, each label above its bar.
Twah_form::Twah_form()
    : EffectForm(ui::FormModel("Twah_form", "wah", 341, 291)),
      Label_Fc("Label_Fc", {12, 8, 317, 14}, " Low Pass Filter  Cut Off Frequency Start  "),
      ScrollBar_Fc("ScrollBar_Fc", {12, 24, 317, 18}, kFcBar),
      Label_res("Label_res", {12, 52, 317, 14}, " Resonance for Low Pass Filter     "),
      ScrollBar_res("ScrollBar_res", {12, 68, 317, 18}, kResBar),
      CheckRadioBox_Sweep_OnOff("CheckRadioBox_Sweep_OnOff", {12, 96, 150, 20}, "Sweep On/Off", true),
      Label_deviation("Label_deviation", {12, 124, 317, 14}, " Low Pass Filter  Cut Off Frequency Stop  "),
      ScrollBar_deviation("ScrollBar_deviation", {12, 140, 317, 18}, kDeviationBar),
      Label_Speed("Label_Speed", {12, 168, 317, 14}, "  Wah Speed   "),
      ScrollBar_Speed("ScrollBar_Speed", {12, 184, 317, 18}, kSpeedBar),
      Label_Level("Label_Level", {12, 212, 317, 14}, "  Level    "),
      ScrollBar_Level("ScrollBar_Level", {12, 228, 317, 18}, kLevelBar) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Label_Fc, &ScrollBar_Fc, &Label_res, &ScrollBar_res, &CheckRadioBox_Sweep_OnOff, &Label_deviation,
             &ScrollBar_deviation, &Label_Speed, &ScrollBar_Speed, &Label_Level, &ScrollBar_Level}) {
        form().add(*c);
    }
    ScrollBar_Fc.on_change = [this] { ScrollBar_FcChange(); };
    ScrollBar_res.on_change = [this] { ScrollBar_resChange(); };
    CheckRadioBox_Sweep_OnOff.on_click = [this] { CheckRadioBox_Sweep_OnOffClick(); };
    ScrollBar_deviation.on_change = [this] { ScrollBar_deviationChange(); };
    ScrollBar_Speed.on_change = [this] { ScrollBar_SpeedChange(); };
    ScrollBar_Level.on_change = [this] { ScrollBar_LevelChange(); };
    ScrollBar_Level.unit_text = volume_text;
    // The sweep's ends as the four-pole filter's cut-off at 48 kHz (its factor
    // f is 1.16 * fc / (rate / 2)), the speed as octaves swept per second.
    const auto cut_off = [](int p) { return hz_text(p / 200.0 * (kDesignRate / 2.0) / 1.16); };
    ScrollBar_Fc.unit_text = cut_off;
    ScrollBar_deviation.unit_text = cut_off;
    ScrollBar_Speed.unit_text = [](int p) {
        char text[48];
        std::snprintf(text, sizeof text, "%.1f octaves/s", std::log2(1.0 + p * 0.000006) * kDesignRate);
        return std::string(text);
    };
    // The creation values are WahKernel's own; the sweep factor 1.0001
    // matches no position of the speed bar (its start, 100, gives 1.0006).
    publish();
}

void Twah_form::ScrollBar_FcChange() {
    params.sweep_low = static_cast<float>(ScrollBar_Fc.position() / 200.0);
    publish();
}

void Twah_form::ScrollBar_resChange() {
    params.wah_res = ScrollBar_res.position() / 10.0;
    publish();
}

void Twah_form::CheckRadioBox_Sweep_OnOffClick() {
    params.sweep_on = CheckRadioBox_Sweep_OnOff.checked();
    publish();
}

void Twah_form::ScrollBar_deviationChange() {
    params.sweep_high = static_cast<float>(ScrollBar_deviation.position() / 200.0);
    publish();
}

void Twah_form::ScrollBar_SpeedChange() {
    const float up = static_cast<float>(1.0 + ScrollBar_Speed.position() * 0.000006);
    params.sweep_up = up;
    params.sweep_down = static_cast<float>(1.0 / up);
    publish();
}

void Twah_form::ScrollBar_LevelChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Level.position()))) {
        params.out_level = *g;
        publish();
    }
}

void Twah_form::get_parameters(ParamRecord& r) { write_fields(*this, kWahFields, r); }

void Twah_form::put_parameters(const ParamRecord& r) {
    // Positions only: each bar clamps its position and its handler derives
    // the value, so a stored record cannot set anything the bars cannot. The
    // whole record reaches the audio thread as one set.
    PublishBatch batch(*this);
    ScrollBar_Fc.set_position(rec_get_position(r, field("ScrollBar_Fc")));
    ScrollBar_deviation.set_position(rec_get_position(r, field("ScrollBar_deviation")));
    ScrollBar_Speed.set_position(rec_get_position(r, field("ScrollBar_Speed")));
    ScrollBar_Level.set_position(rec_get_position(r, field("ScrollBar_Level")));
}

KindDecl wah_kind() { return declare_kind<kWahFields>(kKindWah, "wah"); }

}  // namespace tw
