// wah (kind 10): an automatic wah. A resonant four-pole low-pass whose
// cut-off sweeps up and down between two limits by a constant factor per
// sample, then an output level. In stereo the right channel follows the
// left channel's sweep with a cut-off 1.1 times higher.
#pragma once

#include <atomic>
#include <cstdint>

#include "fx/dsp/four_pole.h"
#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class Twah_form : public EffectForm {
public:
    // Cut-off factor of the right channel relative to the left.
    static constexpr double kRightFactor = 1.1;
    // Highest cut-off factor the right channel's filter is run with: above
    // about 1.166 the filter turns unstable at the strongest resonance, which
    // the Stop bar's top positions would otherwise reach on that channel.
    static constexpr double kMaxStableF = 1.16;

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

    // Swept filter and level over one buffer in place; in stereo the right
    // channel first takes the left's cut-off value and sweep factor. The
    // sample rate is not used. Audio thread.
    void wah(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        wah(frames, sample_rate, channels, samples);
    }

    // Parameter record (16 bytes: four bar positions). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole.
    std::atomic<float> out_level{1.0f};
    std::atomic<double> wah_res{3.0};
    std::atomic<bool> sweep_on{true};
    std::atomic<float> sweep_low{0.05f};
    std::atomic<float> sweep_high{0.25f};
    std::atomic<float> sweep_up{1.0001f};
    std::atomic<float> sweep_down{static_cast<float>(1.0 / 1.0001f)};

    // Audio-thread state: cut-off values, sweep factors, filter memories
    // (left is also mono).
    double wah_fc_l = 0.1;
    double wah_fc_r = 0.1;
    float sweep_mult_l = 1.0001f;
    float sweep_mult_r = 1.0001f;
    dsp::FourPoleState wah_state_l;
    dsp::FourPoleState wah_state_r;
};

// Kind 10: name, entries and stored fields. Any thread.
KindDecl wah_kind();

}  // namespace tw
