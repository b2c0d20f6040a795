// The multiband distortion's processing: Drive, the sixteen-band banks (the
// left one for mono and the second sample of each stereo frame, the right
// one for the first), Level.
#pragma once

#include <array>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/multiband_bank.h"

namespace tw {

class MultiTortionKernel {
public:
    static constexpr int kBands = kBandCount;
    static constexpr int kStereoBufLen = 1026;   // frames per pass in stereo
    static constexpr float soft_slope = 0.01f;

    // What the audio thread reads, one set per block.
    struct Params {
        float gain_in = 1.0f;
        float gain_out = 1.0f;
        bool fold_on = false;
        bool soft_clip_on = false;
        std::int32_t filter2_on = 0;   // Filter 2 runs exactly when this is 1
        BandArray clip_thr = filled(200.0f);
        BandArray band_gain_l = filled(1.0f);
        BandArray band_gain_r = filled(1.0f);
    };

    // Both banks designed (at 48000 Hz), every memory 0. UI thread.
    MultiTortionKernel();

    // Processes the block in place: mono through the left bank; stereo with
    // the first sample of each frame through the right bank and the second
    // through the left bank. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // The left bank (weighted by band_gain_l) and the right bank
    // (band_gain_r) over `count` mono samples in place, without Drive and
    // Level. Audio thread.
    void mb_dsp(const Params& p, float* buffer, int count);
    void mb_dsp_1(const Params& p, float* buffer, int count);

    // The banks: designs and memories. Any thread that owns the kernel.
    const BandBank& bank_l() const { return bank_l_; }
    const BandBank& bank_r() const { return bank_r_; }

private:
    static constexpr BandArray filled(float v) {
        BandArray a{};
        for (float& x : a) x = v;
        return a;
    }
    // The settings of one bank for one block. Audio thread.
    static BandSettings settings_for(const Params& p, const BandArray& gains);

    BandBank bank_l_;
    BandBank bank_r_;
    std::array<float, kStereoBufLen> stereo_buf_{};
};

}  // namespace tw
