// EQ (8 bands) + Filters (kind 2): a graphic equaliser of nine parallel
// band-pass filters whose weighted outputs are summed, smoothed by a one-pole
// treble filter and scaled by a master gain (a second band set serves the
// right channel in stereo), followed by five switchable side filters:
// resonant hi-pass, resonant four-pole low-pass, hi-pass shelf, speaker
// simulator low-pass and (mono only) a low cut.
#pragma once

#include <array>
#include <cstdint>

#include "fx/effect_form.h"
#include "fx/eq8_bands.h"
#include "fx/eq8_filters.h"
#include "fx/eq8_kernel.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "ui/button.h"
#include "ui/check_box.h"
#include "ui/control_family.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// Eq8Kernel's, fed through KernelHost::params.
class TEQ8_form : public EffectForm, public KernelHost<Eq8Kernel> {
public:
    static constexpr int kBandBars = 8;   // bands 1 .. 8 have bars; band 0 keeps gain 10

    // Builds the window's controls, sets the creation values and designs both
    // band sets for 48000 Hz. UI thread.
    TEQ8_form();

    // ---- Controls (designer names).
    ui::CheckBox CheckRadioBox_EQ8_OnOff;
    ui::CheckBox Gang;
    // Left set: master, bands 1 .. 8, smoothing.
    ui::ScrollBar ScrollBar_EQ8G;
    ui::ScrollBar ScrollBar_EQ8_125, ScrollBar_EQ8_250, ScrollBar_EQ8_450, ScrollBar_EQ8_850;
    ui::ScrollBar ScrollBar_EQ8_17, ScrollBar_EQ8_34, ScrollBar_EQ8_50, ScrollBar_EQ8_80;
    ui::ScrollBar ScrollBar_EQ8_FNC_LM;
    // Right set.
    ui::ScrollBar ScrollBar_EQ8GR;
    ui::ScrollBar ScrollBar_EQ8_125s, ScrollBar_EQ8_250s, ScrollBar_EQ8_450s, ScrollBar_EQ8_850s;
    ui::ScrollBar ScrollBar_EQ8_17s, ScrollBar_EQ8_34s, ScrollBar_EQ8_50s, ScrollBar_EQ8_80s;
    ui::ScrollBar ScrollBar_EQ8_FNC_R;
    ui::ControlFamily<ui::Label, 10> Label_Left;    // "G", "0.1" .. "8.0", "H" under the left bars
    ui::ControlFamily<ui::Label, 10> Label_Right;
    ui::Button Reset_Left, Reset_Right, Copy_Left_to_Right, Copy_Right_to_Left;
    // Side filters.
    ui::CheckBox CheckRadioBox_FVC_OnOff;
    ui::Label Label_LPF_1;
    ui::ScrollBar ScrollBar_LPF_1;
    ui::Label Label_Q;
    ui::ScrollBar ScrollBar_Q;
    ui::CheckBox CheckRadioBox_FNC_OnOff;
    ui::Label Label_fnc_FC;
    ui::ScrollBar ScrollBar_fnc_FC;
    ui::Label Label_fnc_res;
    ui::ScrollBar ScrollBar_fnc_res;
    ui::CheckBox CheckRadioBox_Shelf;
    ui::Label Label_Shelf_fvc_F;
    ui::ScrollBar ScrollBar_Shelf_fvc_F;
    ui::Label Label_Shelf_fvc_G;
    ui::ScrollBar ScrollBar_Shelf_fvc_G;
    ui::CheckBox CheckRadioBox_fnc_2000_OnOff;
    ui::Label Label_fnc_2000;
    ui::ScrollBar ScrollBar_fnc_2000;
    ui::CheckBox CheckRadioBox_Filter_Notch;

    // The ten bars of each side in twin order: G, bands 1 .. 8, H. UI thread.
    std::array<ui::ScrollBar*, 10> left_bars();
    std::array<ui::ScrollBar*, 10> right_bars();

    // ---- Handlers. UI thread.
    void ScrollBar_EQ8GChange();
    void left_band_change(int band);    // the eight left band bars (ScrollBar_EQ8_125Change ...)
    void ScrollBar_EQ8_FNC_LMChange();
    void ScrollBar_EQ8GRChange();
    void right_band_change(int band);   // the eight right band bars (ScrollBar_EQ8_125sChange ...)
    void ScrollBar_EQ8_FNC_RChange();
    void CheckRadioBox_EQ8_OnOffClick();
    void Reset_LeftClick();
    void Reset_RightClick();
    void Copy_Left_to_RightClick();
    void Copy_Right_to_LeftClick();
    void ScrollBar_LPF_1Change();
    void ScrollBar_QChange();
    void CheckRadioBox_FVC_OnOffClick();
    void ScrollBar_fnc_FCChange();
    void ScrollBar_fnc_resChange();
    void CheckRadioBox_FNC_OnOffClick();
    void ScrollBar_Shelf_fvc_FChange();
    void ScrollBar_Shelf_fvc_GChange();
    void CheckRadioBox_ShelfClick();
    void ScrollBar_fnc_2000Change();
    void CheckRadioBox_fnc_2000_OnOffClick();
    void CheckRadioBox_Filter_NotchClick();

    // ---- Setup. UI thread.
    void init_pre_EQ_dsp(float rate);
    void init_post_EQ_dsp(float rate);
    void pre_EQ_setup(int band, int a);
    void post_EQ_setup(int band, int a);
    // Hi-pass coefficients for `frequency` at `rate`, with hp_r.
    void recalc_a_fvc_1(float rate, float frequency);
    // Shelf damping 1.41, then shelf coefficients for shelf_freq at `rate`.
    void recalc_a_fvcs_1(float rate);

    // ---- Processing: equaliser, then the switched side filters. Audio thread.
    void EQ8_dsp(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        EQ8_dsp(frames, sample_rate, channels, samples);
    }

    // ---- Parameter record (128 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // ---- Values the designs start from (the kernel sees only the
    // coefficients). UI thread.
    float hp_freq = 100.0f;
    float hp_r = 1.41f;
    float shelf_freq = 2500.0f;
    float shelf_r = 1.41f;
};

// Kind 2: name, entries and stored fields. Any thread.
KindDecl eq8_kind();

}  // namespace tw
