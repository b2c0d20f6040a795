// The Distortion (Simple)'s processing: each channel is split by a one-pole
// low-pass into a low band and the rest; both bands are clipped at a
// threshold (or bent by a power law), mono smooths each band again, and the
// bands are added and scaled. In mono a third mode, the soft limiter, runs a
// capacitor feeding a non-linear conductor instead.
#pragma once

#include <array>
#include <cstdint>

#include "fx/audio_block.h"

namespace tw {

class LimiterKernel {
public:
    // What the audio thread reads, one set per block.
    struct Params {
        float threshold = 500.0f;
        float out_gain = 1.0f;
        float color_mono = 0.98f;
        float clip_slope = 0.0f;         // slope beyond the threshold (mono clip)
        float color_l = 0.98f;
        float color_r = 0.98f;
        float smooth_low_coef = 0.1f;    // mono smoothers of the two bands
        float smooth_high_coef = 0.71f;
        std::int32_t mode = 0;           // 0 clip, 1 soft limiter, 2 power law
    };

    // Work buffers of the power-law modes: the low and high bands of one run.
    static constexpr int kWorkLen = 2048;

    // Back to the creation state: every memory cleared. UI thread, or audio thread.
    void reset();

    // Processes the block in place. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // One step of the soft limiter (64-bit arithmetic); returns the output
    // sample. Audio thread.
    float Rotalumis(float x);

    // The capacitor's voltage. Any thread that owns the kernel.
    double v_cap() const { return v_cap_; }
    // The low cut memories (mono, left, right) and the mono smoothers'.
    // Any thread that owns the kernel.
    float lp_state() const { return lp_state_; }
    float lp_state_l() const { return lp_state_l_; }
    float lp_state_r() const { return lp_state_r_; }
    float smooth_low_state() const { return smooth_low_state_; }
    float smooth_high_state() const { return smooth_high_state_; }

private:
    void limiter_mono(float* samples, std::int32_t frames, const Params& p);
    void limiter_stereo(float* samples, std::int64_t frames, const Params& p);
    // The power-law paths over one run (mono: count <= kWorkLen samples;
    // stereo: frames <= kWorkLen / 2): bands into the work buffers, the
    // powers over each whole buffer, then the sum.
    void power_law_mono(float* samples, int count, const Params& p);
    void power_law_stereo(float* samples, int frames, const Params& p);

    float lp_state_ = 0.0f;
    float lp_state_l_ = 0.0f;
    float lp_state_r_ = 0.0f;
    float smooth_low_state_ = 0.0f;
    float smooth_high_state_ = 0.0f;
    double v_cap_ = 0.0;
    double cap_c_ = 1.0e-7;
    double step_dt_ = 1.0 / 44100.0;
    std::array<float, kWorkLen> low_buf_{};
    std::array<float, kWorkLen> high_buf_{};
};

}  // namespace tw
