// Noise gate (kind 1): an envelope follower opens the gate quickly once the
// level has stayed above an opening threshold for a few samples and closes it
// slowly to a settable floor once the level has stayed below a closing
// threshold for a long stretch. Input and output volumes sit around the gate.
#pragma once

#include <cstdint>

#include "fx/effect_form.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "fx/noise_gate_kernel.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// NoiseGateKernel's, fed through KernelHost::params.
class Tnoise_gate_form : public EffectForm, public KernelHost<NoiseGateKernel> {
public:
    // The two level bars map p to e^((p - 1) * kLevelStep): 1 .. 32768.
    static constexpr double kLevelStep = 0.1050223;

    // Builds the window's controls and sets the creation values. UI thread.
    Tnoise_gate_form();

    // Controls (designer names), top to bottom.
    ui::Label Label_Gain_In;
    ui::ScrollBar ScrollBar_Gain_In;
    ui::Label Label_Porog_Max;
    ui::ScrollBar ScrollBar_Porog_Max;
    ui::Label Label_porog_min;
    ui::ScrollBar ScrollBar_min_porog;
    ui::Label Label_Supress;
    ui::ScrollBar ScrollBar_Supress;
    ui::Label Label_Gain_Out;
    ui::ScrollBar ScrollBar_Gain_Out;

    // Handlers. UI thread.
    void ScrollBar_Gain_InChange();
    void ScrollBar_Porog_MaxChange();
    void ScrollBar_min_porogChange();
    void ScrollBar_SupressChange();
    void ScrollBar_Gain_OutChange();

    // Processes a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (20 bytes: five bar positions). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);
};

// Kind 1: name, entries and stored fields. Any thread.
KindDecl noise_gate_kind();

}  // namespace tw
