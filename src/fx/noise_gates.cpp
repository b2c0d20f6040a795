#include "fx/noise_gates.h"

#include "fx/unit_texts.h"

#include <cmath>
#include <string>

#include "fx/curves.h"
#include "fx/fields.h"
#include "fx/unit_texts.h"

namespace tw {

namespace {
constexpr ui::BarRange kVolumeBar{0, 100, 50, 1, 1};
constexpr ui::BarRange kOpenBar{4, 100, 67, 1, 1};
constexpr ui::BarRange kCloseBar{4, 100, 45, 1, 1};

// Record offsets: five bar positions.
constexpr int kOffGainInPos = 0;
constexpr int kOffOpenPos = 4;
constexpr int kOffClosePos = 8;
constexpr int kOffSupressPos = 12;
constexpr int kOffGainOutPos = 16;

float level_of_position(int p) {
    return static_cast<float>(std::exp(static_cast<double>(p - 1) * Tnoise_gate_form::kLevelStep));
}

std::string open_label_text(int p) { return "Pass signals greater than " + std::to_string(p - 100) + " dB  "; }
std::string close_label_text(int p) { return "Supress noise smaller than " + std::to_string(p - 100) + " dB  "; }
}  // namespace

// The parameter record (20 bytes: five bar positions).
constexpr FieldBinding<Tnoise_gate_form> kNoiseGateFields[] = {
    TW_FIELD(Tnoise_gate_form, ScrollBar_Gain_In).at(0).bar(kVolumeBar),
    TW_FIELD(Tnoise_gate_form, ScrollBar_Porog_Max).at(4).bar(kOpenBar),
    TW_FIELD(Tnoise_gate_form, ScrollBar_min_porog).at(8).bar(kCloseBar),
    TW_FIELD(Tnoise_gate_form, ScrollBar_Supress).at(12).bar(kVolumeBar),
    TW_FIELD(Tnoise_gate_form, ScrollBar_Gain_Out).at(16).bar(kVolumeBar),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kNoiseGateFields, name); }
}  // namespace

// Layout: 279 x 326 client pixels, each label above its bar.
Tnoise_gate_form::Tnoise_gate_form()
    : EffectForm(ui::FormModel("Tnoise_gate_form", "Noise Gate", 279, 326)),
      Label_Gain_In("Label_Gain_In", {16, 14, 247, 16}, "Input Level  "),
      ScrollBar_Gain_In("ScrollBar_Gain_In", {16, 34, 247, 18}, kVolumeBar),
      Label_Porog_Max("Label_Porog_Max", {16, 76, 247, 16}, "Pass signals greater than -33 dB    "),
      ScrollBar_Porog_Max("ScrollBar_Porog_Max", {16, 96, 247, 18}, kOpenBar),
      Label_porog_min("Label_porog_min", {16, 138, 247, 16}, "Supress noise smaller than -55 dB  "),
      ScrollBar_min_porog("ScrollBar_min_porog", {16, 158, 247, 18}, kCloseBar),
      Label_Supress("Label_Supress", {16, 200, 247, 16}, "Noise Supression  "),
      ScrollBar_Supress("ScrollBar_Supress", {16, 220, 247, 18}, kVolumeBar),
      Label_Gain_Out("Label_Gain_Out", {16, 262, 247, 16}, "Output Level  "),
      ScrollBar_Gain_Out("ScrollBar_Gain_Out", {16, 282, 247, 18}, kVolumeBar) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{
             &Label_Gain_In, &ScrollBar_Gain_In, &Label_Porog_Max, &ScrollBar_Porog_Max, &Label_porog_min,
             &ScrollBar_min_porog, &Label_Supress, &ScrollBar_Supress, &Label_Gain_Out, &ScrollBar_Gain_Out}) {
        form().add(*c);
    }
    ScrollBar_Gain_In.on_change = [this] { ScrollBar_Gain_InChange(); };
    ScrollBar_Porog_Max.on_change = [this] { ScrollBar_Porog_MaxChange(); };
    ScrollBar_min_porog.on_change = [this] { ScrollBar_min_porogChange(); };
    ScrollBar_Supress.on_change = [this] { ScrollBar_SupressChange(); };
    ScrollBar_Gain_Out.on_change = [this] { ScrollBar_Gain_OutChange(); };
    // The tooltips' values: the levels through the gain curve, the
    // thresholds in dB as their labels give them, the floor as its factor.
    const auto volume = volume_text;
    ScrollBar_Gain_In.unit_text = volume;
    ScrollBar_Gain_Out.unit_text = volume;
    ScrollBar_Porog_Max.unit_text = [](int p) { return std::to_string(p - 100) + " dB"; };
    ScrollBar_min_porog.unit_text = [](int p) { return std::to_string(p - 100) + " dB"; };
    ScrollBar_Supress.unit_text = [](int p) {
        const auto g = gain_curve(static_cast<float>(100 - p));
        return g ? gain_text(0.1 * static_cast<double>(*g)) : std::string();
    };
    // The creation values are NoiseGateKernel::Params' own; the bars' start
    // positions run no handler, so the levels stay 1000 and 100 until moved.
    publish();
}

void Tnoise_gate_form::ScrollBar_Gain_InChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_In.position()))) {
        params.gain_in = *g;
        publish();
    }
}

void Tnoise_gate_form::ScrollBar_Porog_MaxChange() {
    const int p = ScrollBar_Porog_Max.position();
    params.open_level = level_of_position(p);
    publish();
    Label_Porog_Max.set_caption(open_label_text(p));
}

void Tnoise_gate_form::ScrollBar_min_porogChange() {
    const int p = ScrollBar_min_porog.position();
    params.close_level = level_of_position(p);
    publish();
    Label_porog_min.set_caption(close_label_text(p));
}

void Tnoise_gate_form::ScrollBar_SupressChange() {
    if (auto g = gain_curve(static_cast<float>(100 - ScrollBar_Supress.position()))) {
        params.floor = static_cast<float>(0.1 * static_cast<double>(*g));
        publish();
    }
}

void Tnoise_gate_form::ScrollBar_Gain_OutChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_Gain_Out.position()))) {
        params.gain_out = *g;
        publish();
    }
}

void Tnoise_gate_form::get_parameters(ParamRecord& r) { write_fields(*this, kNoiseGateFields, r); }

void Tnoise_gate_form::put_parameters(const ParamRecord& r) {
    // The whole record reaches the audio thread as one set. Setting a
    // position clamps it into the bar's range; only a changed position runs
    // its handler.
    PublishBatch batch(*this);
    ScrollBar_Gain_In.set_position(rec_get_i32(r, field("ScrollBar_Gain_In")));
    ScrollBar_Porog_Max.set_position(rec_get_i32(r, field("ScrollBar_Porog_Max")));
    ScrollBar_min_porog.set_position(rec_get_i32(r, field("ScrollBar_min_porog")));
    ScrollBar_Supress.set_position(rec_get_i32(r, field("ScrollBar_Supress")));
    ScrollBar_Gain_Out.set_position(rec_get_i32(r, field("ScrollBar_Gain_Out")));
}

KindDecl noise_gate_kind() { return declare_kind<kNoiseGateFields>(kKindNoiseGate, "noise gate"); }

}  // namespace tw
