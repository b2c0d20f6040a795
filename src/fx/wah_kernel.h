// The wah's processing: a resonant four-pole low-pass whose cut-off sweeps
// up and down between two limits by a constant factor per sample, then an
// output level. In stereo the right channel follows the left channel's sweep
// with a cut-off 1.1 times higher.
#pragma once

#include <cstdint>

#include "fx/audio_block.h"
#include "fx/dsp/four_pole.h"

namespace tw {

class WahKernel {
public:
    // What the audio thread reads, one set per block.
    struct Params {
        float out_level = 1.0f;
        double wah_res = 3.0;
        bool sweep_on = true;
        float sweep_low = 0.05f;    // the cut-off value turns upwards below this
        float sweep_high = 0.25f;   // and downwards above this
        float sweep_up = 1.0001f;   // factor per sample while rising
        float sweep_down = static_cast<float>(1.0 / 1.0001f);
    };

    // The sweep and filter memories, carried from block to block (left is
    // also mono).
    struct State {
        double wah_fc_l = 0.1;
        double wah_fc_r = 0.1;
        float sweep_mult_l = 1.0001f;
        float sweep_mult_r = 1.0001f;
        dsp::FourPoleState wah_state_l;
        dsp::FourPoleState wah_state_r;
    };

    // Cut-off factor of the right channel relative to the left.
    static constexpr double kRightFactor = 1.1;
    // Highest cut-off factor the right channel's filter is run with: above
    // about 1.166 the filter turns unstable at the strongest resonance, which
    // the Stop bar's top positions would otherwise reach on that channel.
    static constexpr double kMaxStableF = 1.16;

    // Swept filter and level over the block in place; in stereo the right
    // channel first takes the left's cut-off value and sweep factor. The
    // sample rate is not used. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // The sweep and filter memories. Any thread that owns the kernel.
    const State& state() const { return state_; }
    // Puts the memories in a given state. Any thread that owns the kernel
    // (the UI thread only while the instance is in no live chain).
    void set_state(const State& s) { state_ = s; }

private:
    State state_;
};

}  // namespace tw
