#include "fx/limiter_form.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "fx/curves.h"
#include "fx/fields.h"
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

// Appends, then cuts the text to 255 characters (texts are held that long).
void append_cut(std::string& s, std::string_view part) {
    s.append(part);
    if (s.size() > 255) s.resize(255);
}
}  // namespace

// The parameter record (48 bytes).
constexpr FieldBinding<Tlimiter_form> kLimiterFields[] = {
    TW_PARAM(Tlimiter_form, threshold).at(0).range(0.0, kThresholdMax).mirrors("ScrollBar_Limiter_Porog"),
    TW_PARAM(Tlimiter_form, out_gain).at(4).range(kGainCurveMin, kGainCurveMax),
    TW_PARAM(Tlimiter_form, color_mono).at(8).range(kColourMin, kColourMax).mirrors("ScrollBar_Koeff"),
    TW_PARAM(Tlimiter_form, clip_slope).at(12).range(0.0, kSlopeMax).mirrors("ScrollBar_koeff_R"),
    TW_PARAM(Tlimiter_form, color_l).at(16).range(kColourMin, kColourMax).mirrors("ScrollBar_Koeff"),
    TW_PARAM(Tlimiter_form, color_r).at(20).range(kColourMin, kColourMax).mirrors("ScrollBar_koeff_R"),
    TW_PARAM(Tlimiter_form, mode).at(24).range(0, 2).mirrors("CheckBox_soft_limiter"),
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
    // The creation values (LimiterKernel::Params' own) differ from what the
    // start positions give; they hold until a control moves or a record is
    // applied.
    publish();
}

void Tlimiter_form::ScrollBar_Limiter_PorogChange() {
    params.threshold = static_cast<float>(ScrollBar_Limiter_Porog.position());
    publish();
}

void Tlimiter_form::ScrollBar_KoeffChange() {
    const float x = colour_curve(static_cast<float>(ScrollBar_Koeff.position()));
    params.color_mono = x;
    params.color_l = x;
    publish();
}

void Tlimiter_form::ScrollBar_koeff_RChange() {
    const float x = colour_curve(static_cast<float>(ScrollBar_koeff_R.position()));
    params.color_r = x;
    params.clip_slope = static_cast<float>(0.2 * static_cast<double>(x));
    publish();
}

void Tlimiter_form::CheckBox_soft_limiterClick() {
    params.mode = CheckBox_soft_limiter.checked() ? 1 : 0;
    publish();
}

void Tlimiter_form::ScrollBar_FNC_1Change() {
    params.smooth_low_coef = colour_curve(static_cast<float>(ScrollBar_FNC_1.position()));
    publish();
}

void Tlimiter_form::ScrollBar_FNC_2Change() {
    params.smooth_high_coef = colour_curve(static_cast<float>(ScrollBar_FNC_2.position()));
    publish();
}

void Tlimiter_form::WebBrowser1TitleChange(const std::string& title) {
    // One title may move several knobs: the audio thread sees them as one set.
    PublishBatch batch(*this);
    // Every key is tried, in this order.
    if (auto v = knob_title_value(title, "porog =")) {
        knob_porog.store(*v, std::memory_order_relaxed);
        const double d = *v;
        params.threshold = static_cast<float>(std::nearbyint(d * std::sqrt(d)));
        publish();
    }
    if (auto v = knob_title_value(title, "gain =")) {
        knob_gain.store(*v, std::memory_order_relaxed);
        if (auto g = gain_curve(static_cast<float>(100 - *v))) {
            params.out_gain = *g;
            publish();
        }
    }
    if (auto v = knob_title_value(title, "color =")) {
        knob_color.store(*v, std::memory_order_relaxed);
        float c = static_cast<float>(*v / 100.0);
        if (c > kColourMax) c = kColourMax;
        if (c < kColourMin) c = kColourMin;
        params.color_mono = c;
        publish();
    }
    if (auto v = knob_title_value(title, "colorl =")) {
        knob_colorl.store(*v, std::memory_order_relaxed);
        params.color_l = colour_curve(static_cast<float>(*v));
        publish();
    }
    if (auto v = knob_title_value(title, "colorr =")) {
        knob_colorr.store(*v, std::memory_order_relaxed);
        params.color_r = colour_curve(static_cast<float>(*v));
        publish();
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

void Tlimiter_form::get_parameters(ParamRecord& r) { write_fields(*this, kLimiterFields, r); }

void Tlimiter_form::put_parameters(const ParamRecord& r) {
    // Copied back as stored unless a value would cause a fault; the page is
    // not updated.
    params.threshold = kept_finite(rec_get_f32(r, field("threshold")), 500.0f);
    params.out_gain = kept_factor(rec_get_f32(r, field("out_gain")), 1.0f);  // NaN, overflow (see kept_factor)
    params.color_mono = kept_pole(rec_get_f32(r, field("color_mono")), 0.98f);
    params.clip_slope = kept_factor(rec_get_f32(r, field("clip_slope")), 0.0f);  // NaN, overflow (see kept_factor)
    params.color_l = kept_pole(rec_get_f32(r, field("color_l")), 0.98f);
    params.color_r = kept_pole(rec_get_f32(r, field("color_r")), 0.98f);
    // Every mode other than 1 and 2 runs as the clip.
    params.mode = rec_get_i32(r, field("mode"));
    // The whole record reaches the audio thread as one set.
    publish();
    // The knob positions only go into the page's address (as numbers).
    knob_porog.store(rec_get_i32(r, field("knob_porog")), std::memory_order_relaxed);
    knob_gain.store(rec_get_i32(r, field("knob_gain")), std::memory_order_relaxed);
    knob_color.store(rec_get_i32(r, field("knob_color")), std::memory_order_relaxed);
    knob_colorl.store(rec_get_i32(r, field("knob_colorl")), std::memory_order_relaxed);
    knob_colorr.store(rec_get_i32(r, field("knob_colorr")), std::memory_order_relaxed);
}

KindDecl limiter_kind() { return declare_kind<kLimiterFields>(kKindLimiter, "Distortion (Simple)"); }

}  // namespace tw
