// Fuzzes the knob page's title messages: any title text goes through the
// number reading and the effect's title handler. Whatever the title, a
// value read is a whole number 0..100 whose key is in the title, and the
// handler keeps every knob position, threshold, gain and colour inside what
// the page can produce.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fx/knob_titles.h"
#include "fx/limiter_form.h"

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string title(reinterpret_cast<const char*>(data), size);
    for (std::string_view key : {"porog =", "gain =", "color =", "colorl =", "colorr ="}) {
        if (auto v = tw::knob_title_value(title, key)) {
            check(*v >= 0 && *v <= 100);
            check(std::string_view(title).substr(0, tw::kMaxTitleChars).find(key) != std::string_view::npos);
        }
    }
    static tw::Tlimiter_form* form = new tw::Tlimiter_form();
    form->WebBrowser1.title_changed(title);
    for (const auto* k : {&form->knob_porog, &form->knob_gain, &form->knob_color, &form->knob_colorl,
                          &form->knob_colorr}) {
        check(k->load() >= 0 && k->load() <= 100);
    }
    const float t = form->params.threshold;
    check(t == 500.0f || (t >= 0.0f && t <= 1000.0f));
    const float g = form->params.out_gain;
    check(std::isfinite(g) && g >= 1.0f / 11.0f - 1e-6f && g <= 11.0f);
    for (const float c : {form->params.color_mono, form->params.color_l, form->params.color_r})
        check(c >= 0.001f && c <= 0.999f);
    return 0;
}
