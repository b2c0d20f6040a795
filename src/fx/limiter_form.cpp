#include "fx/limiter_form.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "fx/curves.h"
#include "fx/dsp/one_pole.h"
#include "fx/fields.h"
#include "fx/vec_math.h"
#include "fx/fx_limits.h"
#include "fx/knob_titles.h"
#include "platform/program_files.h"

namespace tw {

namespace {
constexpr ui::BarRange kPorogBar{1, 5000, 500, 1, 1};
constexpr ui::BarRange kColourBar{0, 100, 0, 1, 1};
constexpr ui::BarRange kFnc2Bar{1, 100, 1, 1, 1};

// What the colour curve and the "color =" knob can give.
constexpr float kColourMin = 0.001f;
constexpr float kColourMax = 0.999f;
constexpr float kSlopeMax = static_cast<float>(0.2 * static_cast<double>(kColourMax));
// The threshold bar gives 1..5000, the page's knob 0..1000.
constexpr float kThresholdMax = 5000.0f;

// Soft limiter constants.
constexpr double kKnee = 500.0;          // knee voltage
constexpr double kResistance = 100000.0;
constexpr double kBaseCurrent = kKnee / kResistance;
constexpr double kVoltageLimit = 50000.0;

// A float copied from a record: non-finite gives the fallback, the rest is
// clamped into what the controls can produce.
float stored_float(float v, float lo, float hi, float fallback) {
    if (!std::isfinite(v)) return fallback;
    return std::clamp(v, lo, hi);
}

// Appends, then cuts the text to 255 characters (texts are held that long).
void append_cut(std::string& s, std::string_view part) {
    s.append(part);
    if (s.size() > 255) s.resize(255);
}
}  // namespace

// The parameter record (48 bytes).
constexpr FieldBinding<Tlimiter_form> kLimiterFields[] = {
    TW_FIELD(Tlimiter_form, threshold).at(0).range(0.0, kThresholdMax).mirrors("ScrollBar_Limiter_Porog"),
    TW_FIELD(Tlimiter_form, out_gain).at(4).range(kGainCurveMin, kGainCurveMax),
    TW_FIELD(Tlimiter_form, color_mono).at(8).range(kColourMin, kColourMax).mirrors("ScrollBar_Koeff"),
    TW_FIELD(Tlimiter_form, clip_slope).at(12).range(0.0, kSlopeMax).mirrors("ScrollBar_koeff_R"),
    TW_FIELD(Tlimiter_form, color_l).at(16).range(kColourMin, kColourMax).mirrors("ScrollBar_Koeff"),
    TW_FIELD(Tlimiter_form, color_r).at(20).range(kColourMin, kColourMax).mirrors("ScrollBar_koeff_R"),
    TW_FIELD(Tlimiter_form, mode).at(24).range(0, 2).mirrors("CheckBox_soft_limiter"),
    TW_FIELD(Tlimiter_form, knob_porog).at(28).range(0, 100),
    TW_FIELD(Tlimiter_form, knob_gain).at(32).range(0, 100),
    TW_FIELD(Tlimiter_form, knob_color).at(36).range(0, 100),
    TW_FIELD(Tlimiter_form, knob_colorl).at(40).range(0, 100),
    TW_FIELD(Tlimiter_form, knob_colorr).at(44).range(0, 100),
};

namespace {
// A field of the record above, by name (a wrong name does not compile).
consteval FieldDecl field(std::string_view name) { return field_of(kLimiterFields, name); }
}  // namespace

// Layout: the page fills the window; the standard controls sit to the right
// of the visible client area.
Tlimiter_form::Tlimiter_form()
    : EffectForm(ui::FormModel("Tlimiter_form", " Distortion ", 346, 335)),
      WebBrowser1("WebBrowser1", {0, 0, 350, 350}),
      ScrollBar_Limiter_Porog("ScrollBar_Limiter_Porog", {400, 8, 120, 16}, kPorogBar),
      ScrollBar_Koeff("ScrollBar_Koeff", {400, 32, 120, 16}, kColourBar),
      ScrollBar_koeff_R("ScrollBar_koeff_R", {400, 56, 120, 16}, kColourBar),
      CheckBox_soft_limiter("CheckBox_soft_limiter", {400, 80, 120, 20}, "Soft Limiter", false),
      ScrollBar_FNC_1("ScrollBar_FNC_1", {400, 104, 120, 16}, kColourBar),
      ScrollBar_FNC_2("ScrollBar_FNC_2", {400, 128, 120, 16}, kFnc2Bar) {
    for (ui::Control* c : std::initializer_list<ui::Control*>{&WebBrowser1, &ScrollBar_Limiter_Porog, &ScrollBar_Koeff,
                                                              &ScrollBar_koeff_R, &CheckBox_soft_limiter,
                                                              &ScrollBar_FNC_1, &ScrollBar_FNC_2}) {
        form().add(*c);
    }
    WebBrowser1.set_knobs({{"elm12", "porog =", "Threshold"},
                           {"elm32", "gain =", "Gain"},
                           {"elm33", "color =", "Colour"},
                           {"elm34", "colorl =", "Colour L"},
                           {"elm35", "colorr =", "Colour R"}});
    WebBrowser1.on_title_change = [this](const std::string& t) { WebBrowser1TitleChange(t); };
    ScrollBar_Limiter_Porog.on_change = [this] { ScrollBar_Limiter_PorogChange(); };
    ScrollBar_Koeff.on_change = [this] { ScrollBar_KoeffChange(); };
    ScrollBar_koeff_R.on_change = [this] { ScrollBar_koeff_RChange(); };
    CheckBox_soft_limiter.on_click = [this] { CheckBox_soft_limiterClick(); };
    ScrollBar_FNC_1.on_change = [this] { ScrollBar_FNC_1Change(); };
    ScrollBar_FNC_2.on_change = [this] { ScrollBar_FNC_2Change(); };
    // The creation values (member initialisers) differ from what the start
    // positions give; they hold until a control moves or a record is applied.
}

void Tlimiter_form::ScrollBar_Limiter_PorogChange() {
    threshold.store(static_cast<float>(ScrollBar_Limiter_Porog.position()), std::memory_order_relaxed);
}

void Tlimiter_form::ScrollBar_KoeffChange() {
    const float x = colour_curve(static_cast<float>(ScrollBar_Koeff.position()));
    color_mono.store(x, std::memory_order_relaxed);
    color_l.store(x, std::memory_order_relaxed);
}

void Tlimiter_form::ScrollBar_koeff_RChange() {
    const float x = colour_curve(static_cast<float>(ScrollBar_koeff_R.position()));
    color_r.store(x, std::memory_order_relaxed);
    clip_slope.store(static_cast<float>(0.2 * static_cast<double>(x)), std::memory_order_relaxed);
}

void Tlimiter_form::CheckBox_soft_limiterClick() {
    mode.store(CheckBox_soft_limiter.checked() ? 1 : 0, std::memory_order_relaxed);
}

void Tlimiter_form::ScrollBar_FNC_1Change() {
    smooth_low_coef.store(colour_curve(static_cast<float>(ScrollBar_FNC_1.position())), std::memory_order_relaxed);
}

void Tlimiter_form::ScrollBar_FNC_2Change() {
    smooth_high_coef.store(colour_curve(static_cast<float>(ScrollBar_FNC_2.position())), std::memory_order_relaxed);
}

void Tlimiter_form::WebBrowser1TitleChange(const std::string& title) {
    // Every key is tried, in this order.
    if (auto v = knob_title_value(title, "porog =")) {
        knob_porog.store(*v, std::memory_order_relaxed);
        const double d = *v;
        threshold.store(static_cast<float>(std::nearbyint(d * std::sqrt(d))), std::memory_order_relaxed);
    }
    if (auto v = knob_title_value(title, "gain =")) {
        knob_gain.store(*v, std::memory_order_relaxed);
        if (auto g = gain_curve(static_cast<float>(100 - *v))) out_gain.store(*g, std::memory_order_relaxed);
    }
    if (auto v = knob_title_value(title, "color =")) {
        knob_color.store(*v, std::memory_order_relaxed);
        float c = static_cast<float>(*v / 100.0);
        if (c > kColourMax) c = kColourMax;
        if (c < kColourMin) c = kColourMin;
        color_mono.store(c, std::memory_order_relaxed);
    }
    if (auto v = knob_title_value(title, "colorl =")) {
        knob_colorl.store(*v, std::memory_order_relaxed);
        color_l.store(colour_curve(static_cast<float>(*v)), std::memory_order_relaxed);
    }
    if (auto v = knob_title_value(title, "colorr =")) {
        knob_colorr.store(*v, std::memory_order_relaxed);
        color_r.store(colour_curve(static_cast<float>(*v)), std::memory_order_relaxed);
    }
}

std::string Tlimiter_form::page_address() const {
    std::string a;
    append_cut(a, platform::program_folder());
    if (a.empty() || a.back() != '/') append_cut(a, "/");
    append_cut(a, kPagePath);
    append_cut(a, "?");
    const std::pair<const char*, std::int32_t> knobs[] = {
        {"elm12", knob_porog.load(std::memory_order_relaxed)},
        {"elm32", knob_gain.load(std::memory_order_relaxed)},
        {"elm33", knob_color.load(std::memory_order_relaxed)},
        {"elm34", knob_colorl.load(std::memory_order_relaxed)},
        {"elm35", knob_colorr.load(std::memory_order_relaxed)},
    };
    for (const auto& [element, position] : knobs) {
        append_cut(a, element);
        append_cut(a, ".setPos(0,");
        append_cut(a, std::to_string(position));
        append_cut(a, ",1);");
    }
    return a;
}

void Tlimiter_form::first_show() {
    WebBrowser1.navigate(page_address());
    form().set_client_size(kShownWidth, kShownHeight);
}

float Tlimiter_form::Rotalumis(float x) {
    cap_c = 1.0e-7;
    step_dt = 1.0 / 44100.0;
    v_cap = std::clamp(v_cap, -kVoltageLimit, kVoltageLimit);
    const double vr = std::clamp(static_cast<double>(x) - v_cap, -kVoltageLimit, kVoltageLimit);
    const float y = static_cast<float>(vr);
    const double a = std::fabs(vr);
    double i = vr / kResistance;
    if (a >= kKnee) {
        const double m = std::pow(a - kKnee, 1.85) / kResistance + kBaseCurrent;
        i = vr < 0.0 ? -m : m;
    }
    double step = i * step_dt / cap_c;
    // The explicit step overshoots once the conductor's current is large
    // (|vr| above about 2200): the capacitor would jump past the input and
    // ring. It is held at the input instead; smaller steps are unchanged.
    if (std::fabs(step) > a) step = vr;
    v_cap = std::clamp(v_cap + step, -kVoltageLimit, kVoltageLimit);
    return y;
}

void Tlimiter_form::limiter_mono(float* s, std::int32_t frames, std::int32_t mode_now) {
    if (mode_now == 1) {
        for (std::int32_t n = 0; n < frames; ++n) s[n] = Rotalumis(s[n]);
        return;
    }
    if (mode_now == 2) {
        for (std::int32_t done = 0; done < frames; done += kWorkLen)
            power_law_mono(s + done, std::min<std::int32_t>(kWorkLen, frames - done));
        return;
    }
    const float g = color_mono.load(std::memory_order_relaxed);
    const float one_minus_g = 1.0f - g;
    const float h = threshold.load(std::memory_order_relaxed);
    const float slope = clip_slope.load(std::memory_order_relaxed);
    const float gl = smooth_low_coef.load(std::memory_order_relaxed);
    const float gh = smooth_high_coef.load(std::memory_order_relaxed);
    const float one_minus_gl = 1.0f - gl;
    const float one_minus_gh = 1.0f - gh;
    float lp = lp_state, sl = smooth_low_state, sh = smooth_high_state;
    for (std::int32_t n = 0; n < frames; ++n) {
        const float x = s[n];
        lp = lp * g + one_minus_g * x;
        float low = lp;
        float high = x - low;
        if (low >= h) low = (low - h) * slope + h;
        if (low <= -h) low = (low + h) * slope - h;
        if (high >= h) high = (high - h) * slope + h;
        if (high <= -h) high = (high + h) * slope - h;
        sl = sl * gl + one_minus_gl * low;
        sh = sh * gh + one_minus_gh * high;
        s[n] = sl + sh;
    }
    lp_state = lp;
    smooth_low_state = sl;
    smooth_high_state = sh;
}

void Tlimiter_form::power_law_mono(float* s, int count) {
    const float g = color_mono.load(std::memory_order_relaxed);
    const float one_minus_g = 1.0f - g;
    const float gl = smooth_low_coef.load(std::memory_order_relaxed);
    const float gh = smooth_high_coef.load(std::memory_order_relaxed);
    const float one_minus_gl = 1.0f - gl;
    const float one_minus_gh = 1.0f - gh;
    float lp = lp_state;
    for (int n = 0; n < count; ++n) {
        lp = lp * g + one_minus_g * s[n];
        low_buf[n] = lp;
        high_buf[n] = s[n] - lp;
    }
    lp_state = lp;
    vec::signed_power_block(low_buf.data(), count, 0.85f);
    vec::signed_power_block(high_buf.data(), count, 0.85f);
    float sl = smooth_low_state, sh = smooth_high_state;
    for (int n = 0; n < count; ++n) {
        sl = sl * gl + one_minus_gl * low_buf[n];
        sh = sh * gh + one_minus_gh * high_buf[n];
        s[n] = sl + sh;
    }
    smooth_low_state = sl;
    smooth_high_state = sh;
}

void Tlimiter_form::power_law_stereo(float* s, int frames) {
    const float gl = color_l.load(std::memory_order_relaxed), gr = color_r.load(std::memory_order_relaxed);
    const float one_minus_gl = 1.0f - gl, one_minus_gr = 1.0f - gr;
    // Both channels' low cuts side by side, their memories in registers.
    float lp_l = lp_state_l, lp_r = lp_state_r;
    const int count = 2 * frames;
    for (int i = 0; i < count; i += 2) {
        dsp::one_pole_step(lp_l, gl, one_minus_gl, s[i]);
        dsp::one_pole_step(lp_r, gr, one_minus_gr, s[i + 1]);
        low_buf[i] = lp_l;
        low_buf[i + 1] = lp_r;
        high_buf[i] = s[i] - lp_l;
        high_buf[i + 1] = s[i + 1] - lp_r;
    }
    lp_state_l = lp_l;
    lp_state_r = lp_r;
    vec::signed_power_block(low_buf.data(), count, 0.707f);
    vec::signed_power_block(high_buf.data(), count, 0.707f);
    for (int i = 0; i < count; ++i) s[i] = low_buf[i] + high_buf[i];
}

void Tlimiter_form::limiter_stereo(float* s, std::int64_t frames, std::int32_t mode_now) {
    if (mode_now == 1) {
        constexpr std::int64_t kRun = kWorkLen / 2;
        for (std::int64_t done = 0; done < frames; done += kRun)
            power_law_stereo(s + 2 * done, static_cast<int>(std::min(kRun, frames - done)));
        return;
    }
    const float gl = color_l.load(std::memory_order_relaxed);
    const float gr = color_r.load(std::memory_order_relaxed);
    const float h = threshold.load(std::memory_order_relaxed);
    const float gs[2] = {gl, gr};
    const float one_minus[2] = {1.0f - gl, 1.0f - gr};
    float state[2] = {lp_state_l, lp_state_r};
    for (std::int64_t f = 0; f < frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            float& x = s[2 * f + c];
            state[c] = state[c] * gs[c] + one_minus[c] * x;
            float low = state[c];
            float high = x - low;
            low = std::clamp(low, -h, h);
            high = std::clamp(high, -h, h);
            x = low + high;
        }
    }
    lp_state_l = state[0];
    lp_state_r = state[1];
}

void Tlimiter_form::limiter(std::int32_t frames, std::int32_t, std::int32_t channels, float* samples) {
    if (frames <= 0 || samples == nullptr) return;
    const std::int32_t mode_now = mode.load(std::memory_order_relaxed);
    std::int64_t count = frames;
    if (channels == 1) {
        limiter_mono(samples, frames, mode_now);
    } else {
        limiter_stereo(samples, frames, mode_now);
        count *= 2;
    }
    const float g = out_gain.load(std::memory_order_relaxed);
    for (std::int64_t i = 0; i < count; ++i) samples[i] = samples[i] * g;
}

void Tlimiter_form::get_parameters(ParamRecord& r) { write_fields(*this, kLimiterFields, r); }

void Tlimiter_form::put_parameters(const ParamRecord& r) {
    // Copied back as stored, but only within what the controls and the page
    // can produce: a damaged record must not give a NaN, a runaway gain or
    // colour, or a mode the processing does not know. The page is not updated.
    threshold.store(stored_float(rec_get_f32(r, field("threshold")), 0.0f, kThresholdMax, 500.0f),
                    std::memory_order_relaxed);
    out_gain.store(stored_float(rec_get_f32(r, field("out_gain")), kGainCurveMin, kGainCurveMax, 1.0f),
                   std::memory_order_relaxed);
    color_mono.store(stored_float(rec_get_f32(r, field("color_mono")), kColourMin, kColourMax, 0.98f),
                     std::memory_order_relaxed);
    clip_slope.store(stored_float(rec_get_f32(r, field("clip_slope")), 0.0f, kSlopeMax, 0.0f),
                     std::memory_order_relaxed);
    color_l.store(stored_float(rec_get_f32(r, field("color_l")), kColourMin, kColourMax, 0.98f),
                  std::memory_order_relaxed);
    color_r.store(stored_float(rec_get_f32(r, field("color_r")), kColourMin, kColourMax, 0.98f),
                  std::memory_order_relaxed);
    mode.store(clamp_i32(rec_get_i32(r, field("mode")), 0, 2), std::memory_order_relaxed);
    knob_porog.store(clamp_i32(rec_get_i32(r, field("knob_porog")), 0, 100), std::memory_order_relaxed);
    knob_gain.store(clamp_i32(rec_get_i32(r, field("knob_gain")), 0, 100), std::memory_order_relaxed);
    knob_color.store(clamp_i32(rec_get_i32(r, field("knob_color")), 0, 100), std::memory_order_relaxed);
    knob_colorl.store(clamp_i32(rec_get_i32(r, field("knob_colorl")), 0, 100), std::memory_order_relaxed);
    knob_colorr.store(clamp_i32(rec_get_i32(r, field("knob_colorr")), 0, 100), std::memory_order_relaxed);
}

KindDecl limiter_kind() { return declare_kind<kLimiterFields>(kKindLimiter, "Distortion (Simple)"); }

}  // namespace tw
