// Distortion (Soft/Hard) (kind 6): each channel is split into a low and a high
// band by a one-pole low-pass; both bands go through the same smooth two-slope
// transfer curve and are added again.
#pragma once

#include <cstdint>

#include "fx/distortion1_kernel.h"
#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// Distortion1Kernel's, fed through KernelHost::params.
class TDistortion1_form : public EffectForm, public KernelHost<Distortion1Kernel> {
public:
    // Builds the window's controls and sets the creation values. UI thread.
    TDistortion1_form();

    // Controls (designer names). Left column: Drive, Level, Tone 1, Color (R);
    // right column: Tone 2, Smooth, Color (L).
    ui::Label Label_Gain_In;
    ui::ScrollBar ScrollBar_Gain_In;
    ui::Label Label_Gain_Out;
    ui::ScrollBar ScrollBar_Gain_Out;
    ui::Label Label_Tone1_k4;
    ui::ScrollBar ScrollBar_Tone1_k4;
    ui::Label Label_Color_N;
    ui::ScrollBar ScrollBar_Color_N;
    ui::Label Label_Tone2_k3;
    ui::ScrollBar ScrollBar_Tone2_k3;
    ui::Label Label_Smooth_k2;
    ui::ScrollBar ScrollBar_Smooth_k2;
    ui::Label Label_Color_M;
    ui::ScrollBar ScrollBar_Color_M;

    // Handlers. UI thread.
    void ScrollBar_Gain_InChange();
    void ScrollBar_Gain_OutChange();
    void ScrollBar_Tone1_k4Change();
    void ScrollBar_Tone2_k3Change();
    void ScrollBar_Smooth_k2Change();
    void ScrollBar_Color_MChange();
    void ScrollBar_Color_NChange();

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (44 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);
};

// Kind 6: name, entries and stored fields. Any thread.
KindDecl distortion1_kind();

}  // namespace tw
