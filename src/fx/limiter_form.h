// Distortion (Simple) (kind 4): each channel is split by a one-pole low-pass
// into a low band and the rest; both bands are clipped at a threshold (or
// bent by a power law), mono smooths each band again, and the bands are added
// and scaled. In mono a third mode, the soft limiter, runs a capacitor
// feeding a non-linear conductor instead. Its editor is a knob page shown in
// an embedded web view; the page reports each knob movement in its document
// title, which WebBrowser1TitleChange reads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/web_view.h"

namespace tw {

class Tlimiter_form : public EffectForm {
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
    void limiter(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        limiter(frames, sample_rate, channels, samples);
    }
    // One step of the soft limiter (64-bit arithmetic); returns the output
    // sample. Audio thread.
    float Rotalumis(float x);

    // Parameter record (48 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole.
    std::atomic<float> threshold{500.0f};
    std::atomic<float> out_gain{1.0f};
    std::atomic<float> color_mono{0.98f};
    std::atomic<float> clip_slope{0.0f};
    std::atomic<float> color_l{0.98f};
    std::atomic<float> color_r{0.98f};
    std::atomic<float> smooth_low_coef{0.1f};
    std::atomic<float> smooth_high_coef{0.71f};
    std::atomic<std::int32_t> mode{0};   // 0 clip, 1 soft limiter, 2 power law
    // Last knob positions the page reported (UI thread only; atomic words so
    // the record and tools read them like every other field).
    std::atomic<std::int32_t> knob_porog{0};
    std::atomic<std::int32_t> knob_gain{0};
    std::atomic<std::int32_t> knob_color{0};
    std::atomic<std::int32_t> knob_colorl{0};
    std::atomic<std::int32_t> knob_colorr{0};

    // Audio-thread state: filter, smoother and capacitor memories.
    float lp_state = 0.0f;
    float lp_state_l = 0.0f;
    float lp_state_r = 0.0f;
    float smooth_low_state = 0.0f;
    float smooth_high_state = 0.0f;
    double v_cap = 0.0;
    double cap_c = 1.0e-7;
    double step_dt = 1.0 / 44100.0;

    // Work buffers of the power-law modes: the low and high bands of one run
    // (audio thread only).
    static constexpr int kWorkLen = 2048;
    std::array<float, kWorkLen> low_buf{};
    std::array<float, kWorkLen> high_buf{};

protected:
    // First show: loads the page with the knob positions and takes the
    // shown client size. UI thread.
    void first_show() override;

private:
    void limiter_mono(float* samples, std::int32_t frames, std::int32_t mode_now);
    void limiter_stereo(float* samples, std::int64_t frames, std::int32_t mode_now);
    // The power-law paths over one run (mono: count <= kWorkLen samples;
    // stereo: frames <= kWorkLen / 2): bands into the work buffers, the
    // powers over each whole buffer, then the sum.
    void power_law_mono(float* samples, int count);
    void power_law_stereo(float* samples, int frames);
};

// Kind 4: name, entries and stored fields. Any thread.
KindDecl limiter_kind();

}  // namespace tw
