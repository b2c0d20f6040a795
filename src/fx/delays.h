// Delay (kind 8): a five-tap echo without feedback. Each output sample is the
// input plus five earlier input samples at one to five times the delay time,
// with geometrically falling gains, all scaled by an output gain. "Ping pong"
// makes the tap positions drift slowly back and forth over 603 positions;
// without it the right channel's taps sit half a delay time earlier.
#pragma once

#include <cstdint>

#include "fx/delay_kernel.h"
#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// DelayKernel's, fed through KernelHost::params.
class TDelay_form : public EffectForm, public KernelHost<DelayKernel> {
public:
    static constexpr int kTaps = DelayKernel::kTaps;
    static constexpr int kSamplesPerStep = 520;  // delay time per Time bar step

    // Builds the window's controls and sets the creation values (the four
    // bars are moved to 75, 45, 65, 85 so that their handlers run). UI thread.
    TDelay_form();

    // Controls (designer names).
    ui::Label Label_Delay_Time;
    ui::ScrollBar ScrollBar_Delay_Time;
    ui::Label Label_Delay_Decay;
    ui::ScrollBar ScrollBar_Delay_Decay;
    ui::Label Label_Delay_Gain;
    ui::ScrollBar ScrollBar_Delay_Gain;
    ui::Label Label_Delay_I_Gain;
    ui::ScrollBar ScrollBar_Delay_I_Gain;
    ui::CheckBox CheckRadioBox_Small_Flanger;

    // Handlers. UI thread.
    void ScrollBar_Delay_TimeChange();
    void ScrollBar_Delay_DecayChange();
    void ScrollBar_Delay_GainChange();
    void ScrollBar_Delay_I_GainChange();
    void CheckRadioBox_Small_FlangerClick();

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (20 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

private:
    // Both handlers of the tap gains share this rule. UI thread.
    void set_tap_gains();
};

// Kind 8: name, entries and stored fields. Any thread.
KindDecl delay_kind();

}  // namespace tw
