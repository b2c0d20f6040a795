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

// One channel's ring and sweep, as the flanger loop works on them.
struct FlangerChannel {
    std::array<float, Tflanger_form::kRingLen>& ring;
    float& read;
    float& last;
    std::int32_t& write;
    std::int32_t& index;
    std::int32_t& next;
    float& sweep;
    std::atomic<float>& speed;
    float feedback;
    int chorus;   // chorus line 0 or 1
};

inline std::int32_t wrap_ring(std::int32_t i) {
    constexpr std::int32_t R = Tflanger_form::kRingLen;
    if (i >= R) i -= R;
    if (i < 0) i += R;
    return static_cast<std::uint32_t>(i) < static_cast<std::uint32_t>(R) ? i : 0;
}
}  // namespace

// The parameter record (48 bytes).
constexpr FieldBinding<Tflanger_form> kFlangerFields[] = {
    TW_FIELD(Tflanger_form, fl_level).at(0).range(kLevelMin, kLevelMax).mirrors("ScrollBar_Flanger_Level"),
    TW_FIELD(Tflanger_form, fl_speed_l).at(4).range(-kSpeedMax, kSpeedMax).mirrors("ScrollBar_Flanger_Speed"),
    TW_FIELD(Tflanger_form, fl_speed_r).at(8).range(-kSpeedMax, kSpeedMax).mirrors("ScrollBar_Flanger_Speed_R"),
    TW_FIELD(Tflanger_form, fl_feedback_l).at(12).range(0, kFeedbackMax).mirrors("ScrollBar_Flanger_Tone"),
    TW_FIELD(Tflanger_form, fl_feedback_r).at(16).range(0, kFeedbackMax).mirrors("ScrollBar_Flanger_Tone"),
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

// A stored value kept if the bar could have produced it, else the value of
// the stored position (clamped into the bar's range).
float stored_or_position(float stored, float lo, float hi, std::int32_t position, const ui::BarRange& bar,
                         float (*of_position)(int)) {
    if (finite_within(stored, lo, hi)) return stored;
    return of_position(clamp_i32(position, bar.min, bar.max));
}
float level_at(int p) { return level_of_position(p); }
float speed_at(int p) { return speed_of_position(p); }
float feedback_at(int p) { return feedback_of_position(p); }

// A stored signed speed: its size must be one a speed bar gives.
float stored_speed(float stored, std::int32_t position) {
    if (std::isfinite(stored) && std::fabs(stored) >= kSpeedMin && std::fabs(stored) <= kSpeedMax) return stored;
    return speed_at(clamp_i32(position, kSpeedBar.min, kSpeedBar.max));
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

    // Creation values are the member initialisers (the speeds, 0.0075, match
    // no bar position); the chorus lines start with 1.0 in their first 15000
    // entries.
    for (auto& line : chorus_line) std::fill(line.begin(), line.begin() + kChorusPrimed, 1.0f);
}

void Tflanger_form::ScrollBar_Flanger_LevelChange() {
    fl_level.store(level_of_position(ScrollBar_Flanger_Level.position()), std::memory_order_relaxed);
}

void Tflanger_form::ScrollBar_Flanger_SpeedChange() {
    const int p = ScrollBar_Flanger_Speed.position();
    const bool ganged = CheckRadioBox_Gang.checked();
    if (ganged) ScrollBar_Flanger_Speed_R.set_position(p);
    fl_speed_l.store(speed_of_position(p), std::memory_order_relaxed);
    if (ganged) fl_speed_r.store(fl_speed_l.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void Tflanger_form::ScrollBar_Flanger_Speed_RChange() {
    if (CheckRadioBox_Gang.checked()) {
        fl_speed_r.store(fl_speed_l.load(std::memory_order_relaxed), std::memory_order_relaxed);
    } else {
        fl_speed_r.store(speed_of_position(ScrollBar_Flanger_Speed_R.position()), std::memory_order_relaxed);
    }
}

void Tflanger_form::ScrollBar_Flanger_ToneChange() {
    const float k = feedback_of_position(ScrollBar_Flanger_Tone.position());
    fl_feedback_l.store(k, std::memory_order_relaxed);
    fl_feedback_r.store(k, std::memory_order_relaxed);
}

void Tflanger_form::CheckRadioBox_GangClick() {
    if (CheckRadioBox_Gang.checked())
        fl_speed_r.store(fl_speed_l.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void Tflanger_form::ScrollBar_ChorusToneChange() {
    if (auto g = gain_curve(static_cast<float>(ScrollBar_ChorusTone.position()))) {
        const auto len = static_cast<std::int32_t>(std::nearbyint(static_cast<double>(*g) * 1800.0));
        for (auto& l : chorus_len) l.store(len, std::memory_order_relaxed);
    }
}

void Tflanger_form::RadioBox_ChorusClick() {
    fl_chorus_on.store(RadioBox_Chorus.checked(), std::memory_order_relaxed);
}

float Tflanger_form::delay_d(int line, float value) {
    std::int32_t& pos = chorus_pos[line];
    if (pos < 0 || pos >= kChorusRoom) pos = 0;
    const float out = chorus_line[line][pos];
    chorus_line[line][pos] = value;
    pos += 1;
    if (pos >= chorus_len[line].load(std::memory_order_relaxed)) pos = 0;
    return out;
}

namespace {
// The flanger step over `count` samples of one channel. The speed word is
// read once per call and written back only when the sweep turns, so a speed
// the window sets meanwhile wins from the next call on.
void flange(Tflanger_form& f, int count, float* buffer, FlangerChannel ch) {
    constexpr std::int32_t R = Tflanger_form::kRingLen;
    float* ring = ch.ring.data();
    float r = ch.read, y = ch.last, a = ch.sweep;
    std::int32_t w = wrap_ring(ch.write), i = wrap_ring(ch.index), j = wrap_ring(ch.next);
    float s = ch.speed.load(std::memory_order_relaxed);
    const float k = ch.feedback;
    const float level = f.fl_level.load(std::memory_order_relaxed);
    const bool chorus = f.fl_chorus_on.load(std::memory_order_relaxed);
    for (int n = 0; n < count; ++n) {
        const float x = buffer[n];
        ring[w] = k * y + x;
        const float frac = r - static_cast<float>(i);
        float d = (ring[j] - ring[i]) * frac + ring[i];
        if (chorus) d = f.delay_d(ch.chorus, d);
        y = d;
        if (++w >= R) w -= R;
        a = a + s;
        if (a > Tflanger_form::kSweepTop) {
            s = -s;
            ch.speed.store(s, std::memory_order_relaxed);
        }
        if (a < 0.0f) {
            s = -s;
            ch.speed.store(s, std::memory_order_relaxed);
        }
        r = r + 1.0f + s;
        if (r >= static_cast<float>(R)) r -= static_cast<float>(R);
        if (r < 0.0f) r += static_cast<float>(R);
        if (!(r >= 0.0f && r < static_cast<float>(R))) r = 0.0f;   // never leave the ring
        i = wrap_ring(static_cast<std::int32_t>(r));
        j = wrap_ring(i + 1);
        buffer[n] = d * level + x;
    }
    ch.read = r;
    ch.last = y;
    ch.sweep = a;
    ch.write = w;
    ch.index = i;
    ch.next = j;
}
}  // namespace

void Tflanger_form::Flanger_RT(int count, float* buffer) {
    flange(*this, count, buffer,
           {fl_ring_l, fl_read_l, fl_last_l, fl_write_l, fl_index_l, fl_next_l, fl_sweep_l, fl_speed_l,
            fl_feedback_l.load(std::memory_order_relaxed), 0});
}

void Tflanger_form::Flanger_RT1(int count, float* buffer) {
    flange(*this, count, buffer,
           {fl_ring_r, fl_read_r, fl_last_r, fl_write_r, fl_index_r, fl_next_r, fl_sweep_r, fl_speed_r,
            fl_feedback_r.load(std::memory_order_relaxed), 1});
}

void Tflanger_form::flanger(std::int32_t frames, std::int32_t, std::int32_t channels, float* samples) {
    if (frames <= 0 || samples == nullptr) return;
    if (channels == 1) {
        Flanger_RT(frames, samples);
        return;
    }
    for (std::int64_t done = 0; done < frames; done += kPass) {
        const int n = static_cast<int>(std::min<std::int64_t>(kPass, frames - done));
        float* base = samples + 2 * done;
        for (int side = 0; side < 2; ++side) {
            for (int i = 0; i < n; ++i) fl_work[i] = base[2 * i + side];
            if (side == 0) {
                Flanger_RT(n, fl_work.data());
            } else {
                Flanger_RT1(n, fl_work.data());
            }
            for (int i = 0; i < n; ++i) base[2 * i + side] = fl_work[i];
        }
    }
}

void Tflanger_form::get_parameters(ParamRecord& r) { write_fields(*this, kFlangerFields, r); }

void Tflanger_form::put_parameters(const ParamRecord& r) {
    // The stored values are kept only within what the bars could produce; a
    // damaged record falls back to what its stored positions give.
    fl_level.store(stored_or_position(rec_get_f32(r, field("fl_level")), kLevelMin, kLevelMax,
                                      rec_get_i32(r, field("ScrollBar_Flanger_Level")), kLevelBar, level_at),
                   std::memory_order_relaxed);
    fl_speed_l.store(stored_speed(rec_get_f32(r, field("fl_speed_l")), rec_get_i32(r, field("ScrollBar_Flanger_Speed"))),
                     std::memory_order_relaxed);
    fl_speed_r.store(
        stored_speed(rec_get_f32(r, field("fl_speed_r")), rec_get_i32(r, field("ScrollBar_Flanger_Speed_R"))),
        std::memory_order_relaxed);
    const std::int32_t tone = rec_get_i32(r, field("ScrollBar_Flanger_Tone"));
    fl_feedback_l.store(
        stored_or_position(rec_get_f32(r, field("fl_feedback_l")), 0.0f, kFeedbackMax, tone, kToneBar, feedback_at),
        std::memory_order_relaxed);
    fl_feedback_r.store(
        stored_or_position(rec_get_f32(r, field("fl_feedback_r")), 0.0f, kFeedbackMax, tone, kToneBar, feedback_at),
        std::memory_order_relaxed);
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
