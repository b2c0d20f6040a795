// The reverberator's processing: parallel feedback combs, each with a
// one-pole low-pass in its feedback path; their sum, scaled by 0.2, is
// darkened by a one-pole low-pass, delayed by a short output delay,
// multiplied by a gain and added to the dry signal. Mono runs twelve combs;
// in stereo each channel runs eight of its own.
#pragma once

#include <array>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/dsp/delay_line.h"

namespace tw {

class ReverbKernel {
public:
    static constexpr int kCombs = 12;
    static constexpr int kStereoCombs = 8;
    static constexpr int kCombRoom = 2501;      // entries of each comb line
    static constexpr int kPreRoom = 5000;       // entries of each output delay line
    static constexpr int kWorkLen = 2501;
    static constexpr int kPass = 2048;          // frames per pass over one channel
    static constexpr std::array<std::int32_t, kCombs> kCombLenL{1116, 1188, 1277, 1356, 1422, 1491,
                                                                 1557, 1617, 1669, 1747, 1811, 1901};
    static constexpr std::array<std::int32_t, kCombs> kCombLenR{1117, 1187, 1279, 1327, 1423, 1489,
                                                                 1559, 1613, 1693, 1741, 1823, 1889};

    // What the audio thread reads, one set per block.
    struct Params {
        float comb_damp = 0.05f;
        float comb_damp_inv = 0.95f;
        float tone_m = 0.75f, tone_l = 0.75f, tone_r = 0.0f;
        std::int32_t pre_len_m = 10, pre_len_l = 10, pre_len_r = 10;
        float rv_gain_m = 1.0f, rv_gain_l = 1.0f, rv_gain_r = 1.0f;
        float decay_l = 0.75f, decay_r = 0.75f;   // mono runs with decay_l
    };

    using CombLine = dsp::DelayLine<float, kCombRoom>;
    using PreLine = dsp::DelayLine<float, kPreRoom>;

    // Adds the reverberation to the block in place, in passes of kPass
    // frames. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // The left (and mono) combs' feedback low-pass memories. Any thread that
    // owns the kernel.
    const std::array<float, kCombs>& comb_store_l() const { return comb_store_l_; }

private:
    // One channel's memories.
    struct Channel {
        std::array<float, kCombs>& store;
        std::array<CombLine, kCombs>& lines;
        std::array<std::int32_t, kCombs>& pos;
        const std::array<std::int32_t, kCombs>& len;
        float& tone_state;
        PreLine& pre_line;
        std::int32_t& pre_pos;
        std::array<float, kWorkLen>& work;
    };
    // One channel, `count` <= kPass samples every `stride` apart: combs, tone
    // low-pass, output delay, wet added to dry. Audio thread.
    void run_channel(float* samples, int stride, int count, int combs, float decay, float tone, float gain,
                     std::int32_t pre_len, float damp, float damp_inv, const Channel& c);

    std::array<float, kCombs> comb_store_l_{}, comb_store_r_{};
    std::array<CombLine, kCombs> comb_l_{}, comb_r_{};
    std::array<std::int32_t, kCombs> comb_pos_l_{}, comb_pos_r_{};
    float tone_state_l_ = 0.0f, tone_state_r_ = 0.0f;
    PreLine pre_line_l_{}, pre_line_r_{};
    std::int32_t pre_pos_l_ = 0, pre_pos_r_ = 0;
    std::array<float, kWorkLen> rv_work_l_{}, rv_work_r_{};
};

}  // namespace tw
