// Flanger / Chorus (kind 9): each channel writes its input plus feedback into a
// 4096-sample ring and reads it back at a fractional position whose distance
// behind the write position sweeps in a triangle between about 1 and 301
// samples; the interpolated delayed sample is mixed into the dry signal.
// "Chorus" sends the delayed sample through a further fixed delay of 167 to
// 19800 samples. Left and right have their own sweep speeds, optionally ganged.
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

class Tflanger_form : public EffectForm {
public:
    static constexpr int kRingLen = 4096;      // R
    static constexpr float kSweepTop = 300.0f;  // the sweep accumulator turns above this
    static constexpr int kWorkLen = 2049;
    static constexpr int kPass = kWorkLen - 1;  // stereo frames per pass
    static constexpr int kChorusRoom = 20001;   // entries of each chorus line
    static constexpr int kChorusPrimed = 15000; // entries holding 1.0 at creation
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

    // Flanges a buffer in place: mono directly, stereo one channel at a time
    // through fl_work in passes of kPass frames. Audio thread.
    void flanger(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        flanger(frames, sample_rate, channels, samples);
    }
    // The flanger step over `count` contiguous samples with the left (chorus
    // line 0) / right (chorus line 1) state. Audio thread.
    void Flanger_RT(int count, float* buffer);
    void Flanger_RT1(int count, float* buffer);
    // Passes one sample through chorus line `line` (0 or 1) and returns the
    // sample stored there chorus_len samples ago. Audio thread.
    float delay_d(int line, float value);

    // Parameter record (48 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole. The audio
    // thread negates a speed when its sweep turns.
    std::atomic<float> fl_level{0.5f};
    std::atomic<float> fl_speed_l{0.0075f};
    std::atomic<float> fl_speed_r{0.0075f};
    std::atomic<float> fl_feedback_l{0.5f};
    std::atomic<float> fl_feedback_r{0.5f};
    std::array<std::atomic<std::int32_t>, 2> chorus_len{1800, 1800};
    std::atomic<bool> fl_chorus_on{false};

    // Audio-thread state, left (and mono) then right.
    float fl_read_l = 0.0f;
    float fl_last_l = 0.0f;
    std::int32_t fl_write_l = 301;
    std::int32_t fl_index_l = 1;
    std::int32_t fl_next_l = 0;
    std::array<float, kRingLen> fl_ring_l{};
    float fl_sweep_l = 0.001f;
    float fl_read_r = 0.0f;
    float fl_last_r = 0.0f;
    std::int32_t fl_write_r = 301;
    std::int32_t fl_index_r = 1;
    std::int32_t fl_next_r = 0;
    std::array<float, kRingLen> fl_ring_r{};
    float fl_sweep_r = 0.001f;
    std::array<float, kWorkLen> fl_work{};
    std::array<std::array<float, kChorusRoom>, 2> chorus_line{};
    std::array<std::int32_t, 2> chorus_pos{1, 1};
};

// Kind 9: name, entries and stored fields. Any thread.
KindDecl flanger_kind();

}  // namespace tw
