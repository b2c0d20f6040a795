// Flanger / Chorus (kind 9): a swept short delay mixed into the dry signal,
// with feedback, and a "Chorus" line of a settable length after it; left and
// right have their own sweep speeds, optionally ganged. The processing is
// FlangerKernel's (flanger_kernel.h).
#pragma once

#include <cstdint>

#include "fx/effect_form.h"
#include "fx/flanger_kernel.h"
#include "fx/kernel_host.h"
#include "fx/kind_decl.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

// The window: controls, handlers and the parameter record; the processing is
// FlangerKernel's, fed through KernelHost::params. The two sweep steps are not
// in the params: the audio thread negates them when a sweep turns, so they
// are atomics the kernel owns and the handlers set there.
class Tflanger_form : public EffectForm, public KernelHost<FlangerKernel> {
public:
    static constexpr std::int32_t kMarker = 117117;

    // Builds the window's controls and sets the creation values. UI thread.
    Tflanger_form();

    // Controls (designer names).
    ui::Label Label_Flanger_Level;
    ui::ScrollBar ScrollBar_Flanger_Level;
    ui::Label Label_Flanger_Speed;
    ui::ScrollBar ScrollBar_Flanger_Speed;
    ui::Label Label_Flanger_Speed_R;
    ui::ScrollBar ScrollBar_Flanger_Speed_R;
    ui::CheckBox CheckRadioBox_Gang;
    ui::Label Label_Flanger_Tone;
    ui::ScrollBar ScrollBar_Flanger_Tone;
    ui::Label Label_ChorusTone;
    ui::ScrollBar ScrollBar_ChorusTone;
    ui::CheckBox RadioBox_Chorus;

    // Handlers. UI thread.
    void ScrollBar_Flanger_LevelChange();
    void ScrollBar_Flanger_SpeedChange();
    void ScrollBar_Flanger_Speed_RChange();
    void ScrollBar_Flanger_ToneChange();
    void CheckRadioBox_GangClick();
    void ScrollBar_ChorusToneChange();
    void RadioBox_ChorusClick();

    // Flanges a buffer in place. Audio thread.
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        run_kernel({frames, sample_rate, channels, samples});
    }

    // Parameter record (48 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);
};

// Kind 9: name, entries and stored fields. Any thread.
KindDecl flanger_kind();

}  // namespace tw
