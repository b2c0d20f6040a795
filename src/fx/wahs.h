// wah (kind 10): an automatic wah. A resonant four-pole low-pass whose
// cut-off sweeps up and down between two limits by a constant factor per
// sample, then an output level. In stereo the right channel follows the
// left channel's sweep with a cut-off 1.1 times higher.
#pragma once

#include <cstdint>

#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "fx/wah_kernel.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// WahKernel's, fed through KernelHost::params.
class Twah_form : public EffectForm, public KernelHost<WahKernel> {
public:
    // Builds the window's controls and sets the creation values. UI thread.
    Twah_form();

    // Controls (designer names), top to bottom.
    ui::Label Label_Fc;
    ui::ScrollBar ScrollBar_Fc;
    ui::Label Label_res;
    ui::ScrollBar ScrollBar_res;
    ui::CheckBox CheckRadioBox_Sweep_OnOff;
    ui::Label Label_deviation;
    ui::ScrollBar ScrollBar_deviation;
    ui::Label Label_Speed;
    ui::ScrollBar ScrollBar_Speed;
    ui::Label Label_Level;
    ui::ScrollBar ScrollBar_Level;

    // Handlers. UI thread.
    void ScrollBar_FcChange();
    void ScrollBar_resChange();
    void CheckRadioBox_Sweep_OnOffClick();
    void ScrollBar_deviationChange();
    void ScrollBar_SpeedChange();
    void ScrollBar_LevelChange();

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (16 bytes: four bar positions). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);
};

// Kind 10: name, entries and stored fields. Any thread.
KindDecl wah_kind();

}  // namespace tw
