// Noise gate (kind 1): an envelope follower opens the gate quickly once the
// level has stayed above an opening threshold for a few samples and closes it
// slowly to a settable floor once the level has stayed below a closing
// threshold for a long stretch. Input and output volumes sit around the gate.
#pragma once

#include <atomic>
#include <cstdint>

#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class Tnoise_gate_form : public EffectForm {
public:
    // Fixed gate constants: no control changes them.
    static constexpr float release = 0.01f;    // step while the factor falls (or holds)
    static constexpr float attack = 0.1f;      // step while the factor rises
    static constexpr float open_hold = 10.0f;  // above_count must exceed this to open
    static constexpr float close_hold = 1000.0f;  // below_count must exceed this to close
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

    // Input level, gate, output level over one buffer in place. In stereo one
    // envelope and one gate serve both channels and every count advances once
    // per interleaved sample. Audio thread.
    void noise_gate(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        noise_gate(frames, sample_rate, channels, samples);
    }
    // The gate proper over `count` consecutive samples in place. Audio thread.
    void noise_gate_0(std::int64_t count, std::int32_t sample_rate, float* samples);

    // Parameter record (20 bytes: five bar positions). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole.
    std::atomic<float> gain_in{1.0f};
    std::atomic<float> gain_out{1.0f};
    std::atomic<float> open_level{1000.0f};
    std::atomic<float> close_level{100.0f};
    std::atomic<float> floor{0.1f};

    // Gate state, touched by the audio thread alone (carried between buffers,
    // never reset by a control or a record).
    std::int32_t above_count = 10;
    std::int32_t below_count = 100;
    float gate_gain = 1.0f;
    float envelope = 0.0f;
    float target = 0.0f;
};

// Kind 1: name, entries and stored fields. Any thread.
KindDecl noise_gate_kind();

}  // namespace tw
