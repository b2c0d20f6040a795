// Distortion (Soft/Hard) (kind 6): each channel is split into a low and a high
// band by a one-pole low-pass; both bands go through the same smooth two-slope
// transfer curve and are added again.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/dsp/channel_passes.h"
#include "fx/effect_form.h"
#include "fx/kind_decl.h"
#include "fx/vec_math.h"
#include "ui/scroll_bar.h"
#include "ui/text_controls.h"

namespace tw {

class TDistortion1_form : public EffectForm {
public:
    // Work buffers hold one channel of up to kWorkLen - 1 frames per pass;
    // longer calls are processed in passes of that size.
    static constexpr int kWorkLen = dsp::kWorkBufferLen;
    static constexpr int kPass = dsp::kWorkPass;

    // Builds the window's controls and sets the creation values. UI thread.
    TDistortion1_form();

    // Controls (designer names). Left column: Drive, Level, Tone 1, Color (R);
    // right column: Tone 2, Smooth, Color (L).
    ui::Label Label_Gain_In;
    ui::ScrollBar ScrollBar_Gain_In;
    ui::Label Label_Gain_Out;
    ui::ScrollBar ScrollBar_Gain_Out;
    ui::Label Label_Tone1_k4;
    ui::ScrollBar ScrollBar_Tone1_k4;
    ui::Label Label_Color_N;
    ui::ScrollBar ScrollBar_Color_N;
    ui::Label Label_Tone2_k3;
    ui::ScrollBar ScrollBar_Tone2_k3;
    ui::Label Label_Smooth_k2;
    ui::ScrollBar ScrollBar_Smooth_k2;
    ui::Label Label_Color_M;
    ui::ScrollBar ScrollBar_Color_M;

    // Handlers. UI thread.
    void ScrollBar_Gain_InChange();
    void ScrollBar_Gain_OutChange();
    void ScrollBar_Tone1_k4Change();
    void ScrollBar_Tone2_k3Change();
    void ScrollBar_Smooth_k2Change();
    void ScrollBar_Color_MChange();
    void ScrollBar_Color_NChange();

    // Drive, band split, transfer curve on both bands, sum, level; in place.
    // Mono uses color_l/lp_state_l only; stereo runs the left samples with
    // color_l/lp_state_l, then the right with color_r/lp_state_r. Audio thread.
    void distortion1(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples);
    void process(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels, float* samples) {
        distortion1(frames, sample_rate, channels, samples);
    }
    // The transfer curve with knee (knee_in, knee_out), output peak level x
    // 32767 and blend steepness smooth_k, in place over count samples. Knees
    // outside 1 .. 32766 are clamped so the slopes stay finite. Any thread.
    static void distortion(std::int32_t knee_in, std::int32_t knee_out, float level, float smooth_k, int count,
                           float* buffer);
    // The curve's coefficients for those settings, as distortion uses them.
    // Any thread.
    static vec::CurveCoeffs curve_coeffs(std::int32_t knee_in, std::int32_t knee_out, float level, float smooth_k);

    // Parameter record (44 bytes). UI thread.
    void get_parameters(ParamRecord& record);
    void put_parameters(const ParamRecord& record);

    // Shared with the audio thread: single words, written whole.
    std::atomic<float> level{0.49f};
    std::atomic<float> smooth_k{0.1f};
    std::atomic<std::int32_t> knee_in{1000};
    std::atomic<std::int32_t> knee_out{10000};
    std::atomic<float> gain_in{1.0f};
    std::atomic<float> gain_out{1.0f};
    std::atomic<float> color_l{0.98f};
    std::atomic<float> color_r{0.98f};

    // Audio-thread state: the filter memories and the two work buffers.
    float lp_state_l = 0.0f;
    float lp_state_r = 0.0f;
    std::array<float, kWorkLen> high_buf{};
    std::array<float, kWorkLen> low_buf{};

private:
    struct Settings {
        float gain_in, gain_out, level, smooth_k;
        std::int32_t knee_in, knee_out;
    };
    // One channel's pass (count <= kPass) through the bands.
    void run_channel(const dsp::ChannelPass& pass, float color, float& lp_state, const Settings& s);
    // Both channels of n <= (kWorkLen - 1) / 2 interleaved frames.
    void run_stereo(float* samples, int n, float color_l_now, float color_r_now, const Settings& s);
};

// Kind 6: name, entries and stored fields. Any thread.
KindDecl distortion1_kind();

}  // namespace tw
