// Distortion (Simple) (kind 4): each channel is split by a one-pole low-pass
// into a low band and the rest; both bands are clipped at a threshold (or
// bent by a power law), mono smooths each band again, and the bands are added
// and scaled. In mono a third mode, the soft limiter, runs a capacitor
// feeding a non-linear conductor instead. Its editor is a knob page shown in
// an embedded web view; the page reports each knob movement in its document
// title, which WebBrowser1TitleChange reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "fx/limiter_kernel.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/web_view.h"

namespace tw {

// The window: controls, the knob page, handlers and the parameter record; the
// processing is LimiterKernel's, fed through KernelHost::params.
class Tlimiter_form : public EffectForm, public KernelHost<LimiterKernel> {
public:
    // Where the knob page lies beside the program.
    static constexpr std::string_view kPagePath = "html/limiter1.htm";
    // Client size the window takes on its first show.
    static constexpr int kShownWidth = 327;
    static constexpr int kShownHeight = 302;

    // Builds the window's controls and sets the creation values. UI thread.
    Tlimiter_form();

    // The knob page, filling the window.
    ui::WebView WebBrowser1;
    // Standard controls outside the visible client area (the mouse cannot
    // reach them; a stored setting or a test can move them).
    ui::ScrollBar ScrollBar_Limiter_Porog;
    ui::ScrollBar ScrollBar_Koeff;
    ui::ScrollBar ScrollBar_koeff_R;
    ui::CheckBox CheckBox_soft_limiter;
    ui::ScrollBar ScrollBar_FNC_1;
    ui::ScrollBar ScrollBar_FNC_2;

    // Handlers. UI thread.
    void ScrollBar_Limiter_PorogChange();
    void ScrollBar_KoeffChange();
    void ScrollBar_koeff_RChange();
    void CheckBox_soft_limiterClick();
    void ScrollBar_FNC_1Change();
    void ScrollBar_FNC_2Change();
    // The page's knob protocol: reads each key's number from the title.
    void WebBrowser1TitleChange(const std::string& title);

    // The page address with the current knob positions in its query part
    // (each concatenation cut to 255 characters). UI thread.
    std::string page_address() const;

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (48 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Last knob positions the page reported (UI thread only; atomic words so
    // the record and tools read them like every other field).
    std::atomic<std::int32_t> knob_porog{0};
    std::atomic<std::int32_t> knob_gain{0};
    std::atomic<std::int32_t> knob_color{0};
    std::atomic<std::int32_t> knob_colorl{0};
    std::atomic<std::int32_t> knob_colorr{0};

protected:
    // First show: loads the page with the knob positions and takes the
    // shown client size. UI thread.
    void first_show() override;
};

// Kind 4: name, entries and stored fields. Any thread.
KindDecl limiter_kind();

}  // namespace tw
