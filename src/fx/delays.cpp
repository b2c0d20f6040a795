#include "fx/delays.h"
#include "fx/unit_texts.h"

#include "fx/fields.h"

namespace tw {

namespace {
constexpr ui::BarRange kTimeBar{0, 100, 25, 1, 1};
constexpr ui::BarRange kDecayBar{0, 100, 40, 1, 1};
constexpr ui::BarRange kGainBar{0, 100, 60, 1, 1};
constexpr ui::BarRange kEchoGainBar{1, 100, 45, 1, 1};

constexpr float f32(double v) { return static_cast<float>(v); }
static_assert(kTimeBar.max * TDelay_form::kSamplesPerStep == DelayKernel::kMaxDelay,
              "the kernel clamps the delay time to the Time bar's top");
}  // namespace

// The parameter record (20 bytes).
constexpr FieldBinding<TDelay_form> kDelayFields[] = {
    TW_FIELD(TDelay_form, ScrollBar_Delay_Time).at(0).bar(kTimeBar),
    TW_FIELD(TDelay_form, ScrollBar_Delay_Decay).at(4).bar(kDecayBar),
    TW_FIELD(TDelay_form, ScrollBar_Delay_Gain).at(8).bar(kGainBar),
    TW_FIELD(TDelay_form, ScrollBar_Delay_I_Gain).at(12).bar(kEchoGainBar),
    TW_FIELD(TDelay_form, CheckRadioBox_Small_Flanger).at(16),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kDelayFields, name); }
}  // namespace

// Layout: 266 x 245 client pixels, each label above its bar.
TDelay_form::TDelay_form()
    : EffectForm(ui::FormModel("TDelay_form", "Delay", 266, 245)),
      Label_Delay_Time("Label_Delay_Time", {16, 10, 234, 14}, "Delay "),
      ScrollBar_Delay_Time("ScrollBar_Delay_Time", {16, 28, 234, 18}, kTimeBar),
      Label_Delay_Decay("Label_Delay_Decay", {16, 60, 234, 14}, "Decay "),
      ScrollBar_Delay_Decay("ScrollBar_Delay_Decay", {16, 78, 234, 18}, kDecayBar),
      Label_Delay_Gain("Label_Delay_Gain", {16, 110, 234, 14}, "Gain  "),
      ScrollBar_Delay_Gain("ScrollBar_Delay_Gain", {16, 128, 234, 18}, kGainBar),
      Label_Delay_I_Gain("Label_Delay_I_Gain", {16, 160, 234, 14}, "Echo Gain  "),
      ScrollBar_Delay_I_Gain("ScrollBar_Delay_I_Gain", {16, 178, 234, 18}, kEchoGainBar),
      CheckRadioBox_Small_Flanger("CheckRadioBox_Small_Flanger", {16, 212, 234, 20}, "  Ping pong", false) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Label_Delay_Time, &ScrollBar_Delay_Time, &Label_Delay_Decay, &ScrollBar_Delay_Decay, &Label_Delay_Gain,
             &ScrollBar_Delay_Gain, &Label_Delay_I_Gain, &ScrollBar_Delay_I_Gain, &CheckRadioBox_Small_Flanger}) {
        form().add(*c);
    }
    ScrollBar_Delay_Time.on_change = [this] { ScrollBar_Delay_TimeChange(); };
    ScrollBar_Delay_Decay.on_change = [this] { ScrollBar_Delay_DecayChange(); };
    ScrollBar_Delay_Gain.on_change = [this] { ScrollBar_Delay_GainChange(); };
    ScrollBar_Delay_I_Gain.on_change = [this] { ScrollBar_Delay_I_GainChange(); };
    CheckRadioBox_Small_Flanger.on_click = [this] { CheckRadioBox_Small_FlangerClick(); };
    // The tooltips' values: the echo time (at 48 kHz) and the three gains.
    ScrollBar_Delay_Time.unit_text = [](int p) { return samples_ms_text(double(p) * kSamplesPerStep); };
    const auto factor = [](int p) { return gain_text(p / 100.0); };
    ScrollBar_Delay_Decay.unit_text = factor;
    ScrollBar_Delay_Gain.unit_text = factor;
    ScrollBar_Delay_I_Gain.unit_text = factor;

    // DelayKernel::Params holds the first creation values (time 6000, decay
    // 0.5, output gain 0.33, echo gain 0); moving the bars away from their
    // start positions runs every handler, which sets the final ones.
    ScrollBar_Delay_Time.set_position(75);
    ScrollBar_Delay_Decay.set_position(45);
    ScrollBar_Delay_Gain.set_position(65);
    ScrollBar_Delay_I_Gain.set_position(85);
    publish();
}

void TDelay_form::ScrollBar_Delay_TimeChange() {
    params.delay_samples = ScrollBar_Delay_Time.position() * kSamplesPerStep;
    publish();
}

void TDelay_form::set_tap_gains() {
    const float in_gain = f32(ScrollBar_Delay_I_Gain.position() / 100.0);
    const float decay = f32(ScrollBar_Delay_Decay.position() / 100.0);
    params.echo_in_gain = in_gain;
    params.echo_decay = decay;
    float g = 1.0f;
    for (int k = 0; k <= kTaps; ++k) {
        params.tap_gain[k] = g * in_gain;
        g = g * decay;
    }
    publish();
}

void TDelay_form::ScrollBar_Delay_DecayChange() { set_tap_gains(); }
void TDelay_form::ScrollBar_Delay_I_GainChange() { set_tap_gains(); }

void TDelay_form::ScrollBar_Delay_GainChange() {
    params.echo_out_gain = f32(ScrollBar_Delay_Gain.position() / 100.0);
    publish();
}

void TDelay_form::CheckRadioBox_Small_FlangerClick() {
    params.drift_on = CheckRadioBox_Small_Flanger.checked() ? 1 : 0;
    publish();
}

void TDelay_form::get_parameters(ParamRecord& r) { write_fields(*this, kDelayFields, r); }

void TDelay_form::put_parameters(const ParamRecord& r) {
    // Positions only: the bars clamp them and their handlers recompute the
    // parameters, which reach the audio thread as one set.
    PublishBatch batch(*this);
    ScrollBar_Delay_Time.set_position(rec_get_i32(r, field("ScrollBar_Delay_Time")));
    ScrollBar_Delay_Decay.set_position(rec_get_i32(r, field("ScrollBar_Delay_Decay")));
    ScrollBar_Delay_Gain.set_position(rec_get_i32(r, field("ScrollBar_Delay_Gain")));
    ScrollBar_Delay_I_Gain.set_position(rec_get_i32(r, field("ScrollBar_Delay_I_Gain")));
    CheckRadioBox_Small_Flanger.set_checked(rec_get_flag(r, field("CheckRadioBox_Small_Flanger")));
}

KindDecl delay_kind() { return declare_kind<kDelayFields>(kKindDelay, "Delay"); }

}  // namespace tw
