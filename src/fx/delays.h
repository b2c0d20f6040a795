// Delay (kind 8): a five-tap echo without feedback. Each output sample is the
// input plus five earlier input samples at one to five times the delay time,
// with geometrically falling gains, all scaled by an output gain. "Ping pong"
// makes the tap positions drift slowly back and forth over 603 positions;
// without it the right channel's taps sit half a delay time earlier.
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

class TDelay_form : public EffectForm {
public:
    static constexpr int kLineLen = 268000;     // L: holds five times the longest delay time
    static constexpr int kWorkLen = 2049;
    static constexpr int kPass = kWorkLen - 1;  // frames per pass over one channel
    static constexpr int kTaps = 5;
    static constexpr int kSamplesPerStep = 520; // delay time per Time bar step
    static constexpr int kDriftEvery = 128;     // samples per drift step
    static constexpr int kDriftTop = 600;       // the drift turns once it passes this

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

    // Echoes a buffer in place (mono: left line; stereo: each channel its own
    // line), in passes of kPass frames through the work buffers. Audio thread.
    void Delay(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        Delay(frames, sample_rate, channels, samples);
    }
    // The echo over the first `count` samples of work_l (left line, left
    // drift) / work_r (right line, right drift) with delay time T. Audio thread.
    void Delay_RT(int count, std::int32_t T);
    void Delay_RT1(int count, std::int32_t T);

    // Parameter record (20 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole.
    std::array<std::atomic<float>, kTaps + 1> tap_gain{};   // entry 5 is computed, not used
    std::atomic<std::int32_t> drift_on{0};
    std::atomic<float> echo_out_gain{0.33f};
    std::atomic<std::int32_t> delay_samples{6000};
    std::atomic<float> echo_decay{0.5f};
    std::atomic<float> echo_in_gain{0.0f};

    // Audio-thread state: lines of input samples, write positions, drifts.
    std::array<float, kLineLen> line_l{};
    std::int32_t write_l = 0;
    std::int32_t drift_l = 0;
    std::int32_t drift_count_l = 0;   // samples since the last drift step, 0 .. 127
    std::int32_t drift_dir_l = 1;
    std::array<float, kWorkLen> work_l{};
    std::array<float, kLineLen> line_r{};
    std::int32_t write_r = 0;
    std::int32_t drift_r = 0;
    std::int32_t drift_count_r = 0;
    std::int32_t drift_dir_r = 1;
    std::array<float, kWorkLen> work_r{};

private:
    // Both handlers of the tap gains share this rule.
    void set_tap_gains();
};

// Kind 8: name, entries and stored fields. Any thread.
KindDecl delay_kind();

}  // namespace tw
