#include "fx/delays.h"
#include "fx/unit_texts.h"

#include <algorithm>

#include "fx/fields.h"

namespace tw {

namespace {
constexpr ui::BarRange kTimeBar{0, 100, 25, 1, 1};
constexpr ui::BarRange kDecayBar{0, 100, 40, 1, 1};
constexpr ui::BarRange kGainBar{0, 100, 60, 1, 1};
constexpr ui::BarRange kEchoGainBar{1, 100, 45, 1, 1};

constexpr float f32(double v) { return static_cast<float>(v); }
constexpr std::int32_t kMaxDelay = kTimeBar.max * TDelay_form::kSamplesPerStep;

// One channel's line and drift, as the echo loop works on them.
struct EchoChannel {
    std::array<float, TDelay_form::kLineLen>& line;
    std::int32_t& write;
    std::int32_t& drift;
    std::int32_t& count;
    std::int32_t& dir;
};

// Position p modulo L for |p| < 2L.
inline std::int32_t wrap_line(std::int32_t p) {
    constexpr std::int32_t L = TDelay_form::kLineLen;
    if (p < 0) return p + L;
    if (p >= L) return p - L;
    return p;
}

// The echo over `n` work samples. Tap k reads `offset[k]` samples after the
// write position (plus the drift when drifting); offsets are negative.
void echo(float* work, int n, EchoChannel ch, const std::array<std::int32_t, TDelay_form::kTaps>& offset,
          bool drifting, const std::array<float, TDelay_form::kTaps>& gain, float out_gain) {
    constexpr std::int32_t L = TDelay_form::kLineLen;
    float* line = ch.line.data();
    std::int32_t w = ch.write, d = ch.drift, c = ch.count, g = ch.dir;
    if (w < 0 || w >= L) w = 0;
    for (int s = 0; s < n; ++s) {
        const float x = work[s];
        line[w] = x;
        float sum = x;
        if (++c >= TDelay_form::kDriftEvery) {
            c = 0;
            d += g;
        }
        if (d > TDelay_form::kDriftTop) g = -1;
        if (d < 0) g = +1;
        const std::int32_t base = drifting ? w + d : w;
        for (int k = 0; k < TDelay_form::kTaps; ++k) sum = line[wrap_line(base + offset[k])] * gain[k] + sum;
        work[s] = out_gain * sum;
        if (++w >= L) w = 0;
    }
    ch.write = w;
    ch.drift = d;
    ch.count = c;
    ch.dir = g;
}
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

    // The member initialisers hold the first creation values (time 6000,
    // decay 0.5, output gain 0.33, echo gain 0); moving the bars away from
    // their start positions runs every handler, which sets the final ones.
    ScrollBar_Delay_Time.set_position(75);
    ScrollBar_Delay_Decay.set_position(45);
    ScrollBar_Delay_Gain.set_position(65);
    ScrollBar_Delay_I_Gain.set_position(85);
}

void TDelay_form::ScrollBar_Delay_TimeChange() {
    delay_samples.store(ScrollBar_Delay_Time.position() * kSamplesPerStep, std::memory_order_relaxed);
}

void TDelay_form::set_tap_gains() {
    const float in_gain = f32(ScrollBar_Delay_I_Gain.position() / 100.0);
    const float decay = f32(ScrollBar_Delay_Decay.position() / 100.0);
    echo_in_gain.store(in_gain, std::memory_order_relaxed);
    echo_decay.store(decay, std::memory_order_relaxed);
    float g = 1.0f;
    for (int k = 0; k <= kTaps; ++k) {
        tap_gain[k].store(g * in_gain, std::memory_order_relaxed);
        g = g * decay;
    }
}

void TDelay_form::ScrollBar_Delay_DecayChange() { set_tap_gains(); }
void TDelay_form::ScrollBar_Delay_I_GainChange() { set_tap_gains(); }

void TDelay_form::ScrollBar_Delay_GainChange() {
    echo_out_gain.store(f32(ScrollBar_Delay_Gain.position() / 100.0), std::memory_order_relaxed);
}

void TDelay_form::CheckRadioBox_Small_FlangerClick() {
    drift_on.store(CheckRadioBox_Small_Flanger.checked() ? 1 : 0, std::memory_order_relaxed);
}

void TDelay_form::Delay_RT(int count, std::int32_t T) {
    T = std::clamp(T, 0, kMaxDelay);
    std::array<std::int32_t, kTaps> offset{};
    for (int k = 0; k < kTaps; ++k) offset[k] = -(k + 1) * T;
    std::array<float, kTaps> gain{};
    for (int k = 0; k < kTaps; ++k) gain[k] = tap_gain[k].load(std::memory_order_relaxed);
    echo(work_l.data(), std::min(count, kWorkLen), {line_l, write_l, drift_l, drift_count_l, drift_dir_l}, offset,
         drift_on.load(std::memory_order_relaxed) == 1, gain, echo_out_gain.load(std::memory_order_relaxed));
}

void TDelay_form::Delay_RT1(int count, std::int32_t T) {
    T = std::clamp(T, 0, kMaxDelay);
    const bool drifting = drift_on.load(std::memory_order_relaxed) == 1;
    std::array<std::int32_t, kTaps> offset{};
    // Without the drift the right taps sit half a delay time earlier.
    for (int k = 0; k < kTaps; ++k) offset[k] = drifting ? -(k + 1) * T : -k * T - T / 2;
    std::array<float, kTaps> gain{};
    for (int k = 0; k < kTaps; ++k) gain[k] = tap_gain[k].load(std::memory_order_relaxed);
    echo(work_r.data(), std::min(count, kWorkLen), {line_r, write_r, drift_r, drift_count_r, drift_dir_r}, offset,
         drifting, gain, echo_out_gain.load(std::memory_order_relaxed));
}

void TDelay_form::Delay(std::int32_t frames, std::int32_t, std::int32_t channels, float* samples) {
    if (frames <= 0 || samples == nullptr) return;
    const std::int32_t T = delay_samples.load(std::memory_order_relaxed);
    const int stride = channels == 1 ? 1 : 2;
    // Each channel's output depends only on its own past, so passes give the
    // same result as one long run.
    for (std::int64_t done = 0; done < frames; done += kPass) {
        const int n = static_cast<int>(std::min<std::int64_t>(kPass, frames - done));
        float* base = samples + done * stride;
        for (int i = 0; i < n; ++i) work_l[i] = base[i * stride];
        Delay_RT(n, T);
        for (int i = 0; i < n; ++i) base[i * stride] = work_l[i];
        if (stride == 1) continue;
        for (int i = 0; i < n; ++i) work_r[i] = base[i * 2 + 1];
        Delay_RT1(n, T);
        for (int i = 0; i < n; ++i) base[i * 2 + 1] = work_r[i];
    }
}

void TDelay_form::get_parameters(ParamRecord& r) { write_fields(*this, kDelayFields, r); }

void TDelay_form::put_parameters(const ParamRecord& r) {
    // Positions only: the bars clamp them and their handlers recompute the state.
    ScrollBar_Delay_Time.set_position(rec_get_i32(r, field("ScrollBar_Delay_Time")));
    ScrollBar_Delay_Decay.set_position(rec_get_i32(r, field("ScrollBar_Delay_Decay")));
    ScrollBar_Delay_Gain.set_position(rec_get_i32(r, field("ScrollBar_Delay_Gain")));
    ScrollBar_Delay_I_Gain.set_position(rec_get_i32(r, field("ScrollBar_Delay_I_Gain")));
    CheckRadioBox_Small_Flanger.set_checked(rec_get_flag(r, field("CheckRadioBox_Small_Flanger")));
}

KindDecl delay_kind() { return declare_kind<kDelayFields>(kKindDelay, "Delay"); }

}  // namespace tw
