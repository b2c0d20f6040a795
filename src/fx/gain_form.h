// Gain (kind 13): one volume in mono, left and right volumes in stereo, plus
// "Air" (right channel polarity inverted) and "Simple Chorus" (right channel
// delayed by a settable number of samples).
#pragma once

#include <cstdint>

#include "fx/effect_form.h"
#include "fx/gain_kernel.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// GainKernel's, fed through KernelHost::params.
class Tgain_form : public EffectForm, public KernelHost<GainKernel> {
public:
    static constexpr std::int32_t kMarker = 117117;

    // Builds the window's controls and sets the creation values. UI thread.
    Tgain_form();

    // Controls (designer names).
    ui::Label Label_Gain_Mono;
    ui::ScrollBar ScrollBar_Gain_Mono;
    ui::Label Label_Gain_Left;
    ui::ScrollBar ScrollBar_Gain_Left;
    ui::Label Label_Gain_Right;
    ui::ScrollBar ScrollBar_Gain_Right;
    ui::CheckBox RadioBox_SimpleChorus;
    ui::ScrollBar ScrollBar_SimpleChorus;
    ui::CheckBox CheckRadioBox_Air;

    // Handlers. UI thread.
    void ScrollBar_Gain_LeftChange();
    void ScrollBar_Gain_RightChange();
    void ScrollBar_Gain_MonoChange();
    void RadioBox_SimpleChorusClick();
    void ScrollBar_SimpleChorusChange();
    void CheckRadioBox_AirClick();

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (40 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);
};

// Kind 13: name, entries and stored fields. Any thread.
KindDecl gain_kind();

}  // namespace tw
