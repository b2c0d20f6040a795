// Gain (kind 13): one volume in mono, left and right volumes in stereo, plus
// "Air" (right channel polarity inverted) and "Simple Chorus" (right channel
// delayed by a settable number of samples).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "ui/check_box.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class Tgain_form : public EffectForm {
public:
    static constexpr int kRingSize = 15001;
    static constexpr int kRingWrap = 14000;   // only slots 0 .. 13999 are reached
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

    // Processes a buffer in place (mono: one factor; stereo: left/right factors,
    // Air, Simple Chorus). Audio thread.
    void gain(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        gain(frames, sample_rate, channels, samples);
    }
    // Passes one sample through the Simple Chorus ring and returns the sample
    // that left it. Audio thread.
    float delay_d(float sample);

    // Parameter record (40 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole.
    std::atomic<float> mono_gain{1.0f};
    std::atomic<float> left_gain{1.0f};
    std::atomic<float> right_gain{1.0f};
    std::atomic<float> air{1.0f};
    std::atomic<std::int32_t> delay_len{1800};
    std::atomic<bool> chorus_on{false};

    // Audio-thread state: the ring and its position.
    std::array<float, kRingSize> delay_buf{};
    std::int32_t delay_pos = 1;
};

// Kind 13: name, entries and stored fields. Any thread.
KindDecl gain_kind();

}  // namespace tw
