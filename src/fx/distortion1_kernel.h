// The Distortion (Soft/Hard)'s processing: each channel is split into a low
// and a high band by a one-pole low-pass; both bands go through the same
// smooth two-slope transfer curve and are added again.
#pragma once

#include <array>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/dsp/channel_passes.h"
#include "fx/vec_math.h"

namespace tw {

class Distortion1Kernel {
public:
    // Work buffers hold one channel of up to kWorkLen - 1 frames per pass;
    // longer calls are processed in passes of that size.
    static constexpr int kWorkLen = dsp::kWorkBufferLen;
    static constexpr int kPass = dsp::kWorkPass;

    // What the audio thread reads, one set per block.
    struct Params {
        float level = 0.49f;           // output peak of the curve, x 32767
        float smooth_k = 0.1f;         // steepness of the blend between the slopes
        std::int32_t knee_in = 1000;   // the knee: input ...
        std::int32_t knee_out = 10000; // ... and output level
        float gain_in = 1.0f;          // drive
        float gain_out = 1.0f;         // level
        float color_l = 0.98f;         // low-pass coefficients of the band split
        float color_r = 0.98f;
    };

    // Back to the creation state: filter memories cleared. UI thread, or audio thread.
    void reset();

    // Drive, band split, transfer curve on both bands, sum, level; in place.
    // Mono uses color_l and the left filter memory only; stereo runs the left
    // samples with color_l, the right ones with color_r. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // The transfer curve with knee (knee_in, knee_out), output peak level x
    // 32767 and blend steepness smooth_k, in place over count samples. A knee
    // input of 0 runs as 1 and one of 32767 as 32766, so the slopes stay
    // finite. Any thread.
    static void distortion(std::int32_t knee_in, std::int32_t knee_out, float level, float smooth_k, int count,
                           float* buffer);
    // The curve's coefficients for those settings, as distortion uses them.
    // Any thread.
    static vec::CurveCoeffs curve_coeffs(std::int32_t knee_in, std::int32_t knee_out, float level, float smooth_k);

    // The left (or mono) and right filter memories. Any thread that owns the kernel.
    float lp_state_l() const { return lp_state_l_; }
    float lp_state_r() const { return lp_state_r_; }

private:
    // One channel's pass (count <= kPass) through the bands.
    void run_channel(const dsp::ChannelPass& pass, float color, float& lp_state, const Params& p);
    // Both channels of n <= (kWorkLen - 1) / 2 interleaved frames.
    void run_stereo(float* samples, int n, const Params& p);

    float lp_state_l_ = 0.0f;
    float lp_state_r_ = 0.0f;
    std::array<float, kWorkLen> high_buf_{};
    std::array<float, kWorkLen> low_buf_{};
};

}  // namespace tw
