// Reverberator (kind 7): the input feeds parallel feedback comb filters, each
// with a one-pole low-pass in its feedback path; their sum, scaled by 0.2, is
// darkened by a one-pole low-pass ("Brightness"), delayed by a short output
// delay, multiplied by a gain and added to the dry signal. Mono runs twelve
// combs; in stereo each channel runs eight of its own.
#pragma once

#include <cstdint>

#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "fx/reverb_kernel.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// ReverbKernel's, fed through KernelHost::params.
class Treverb_form : public EffectForm, public KernelHost<ReverbKernel> {
public:
    // Builds the window's controls and sets the creation values. UI thread.
    Treverb_form();

    // Controls (designer names); each row is Mono, Left, Right.
    ui::Label Label_Gain_Mono, Label_Gain_Left, Label_Gain_Right;
    ui::ScrollBar ScrollBar_Gain_Mono, ScrollBar_Gain_Left, ScrollBar_Gain_Right;
    ui::Label Label_Mono_Delay, Label_Left_Delay, Label_Right_Delay;
    ui::ScrollBar ScrollBar_Mono_Delay, ScrollBar_Left_Delay, ScrollBar_Right_Delay;
    ui::Label Label_Mono_Decay, Label_Left_Decay, Label_Right_Decay;
    ui::ScrollBar ScrollBar_Mono_Decay, ScrollBar_Left_Decay, ScrollBar_Right_Decay;
    ui::Label Label_Mono_Brightness, Label_Left_Brightness, Label_Right_Brightness;
    ui::ScrollBar ScrollBar_Mono_Brightness, ScrollBar_Left_Brightness, ScrollBar_Right_Brightness;

    // Handlers. UI thread. The Mono handlers also move the Left and Right bars.
    void ScrollBar_Gain_MonoChange();
    void ScrollBar_Gain_LeftChange();
    void ScrollBar_Gain_RightChange();
    void ScrollBar_Mono_DelayChange();
    void ScrollBar_Left_DelayChange();
    void ScrollBar_Right_DelayChange();
    void ScrollBar_Mono_DecayChange();
    void ScrollBar_Left_DecayChange();
    void ScrollBar_Right_DecayChange();
    void ScrollBar_Mono_BrightnessChange();
    void ScrollBar_Left_BrightnessChange();
    void ScrollBar_Right_BrightnessChange();   // the hidden bar: does nothing

    // Adds the reverberation to a buffer in place, in passes of
    // ReverbKernel::kPass frames. Audio thread.
    void rever(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        rever(frames, sample_rate, channels, samples);
    }

    // Parameter record (96 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Stored, never processed (mono runs with the left decay). UI thread.
    float decay_m = 0.75f;
};

// Kind 7: name, entries and stored fields. Any thread.
KindDecl reverb_kind();

}  // namespace tw
