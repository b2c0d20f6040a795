// The noise gate's processing: an envelope follower opens the gate quickly
// once the level has stayed above an opening threshold for a few samples and
// closes it slowly to a settable floor once the level has stayed below a
// closing threshold for a long stretch; input and output volumes sit around
// the gate.
#pragma once

#include <cstdint>

#include "fx/audio_block.h"

namespace tw {

class NoiseGateKernel {
public:
    // What the audio thread reads, one set per block.
    struct Params {
        float gain_in = 1.0f;
        float gain_out = 1.0f;
        float open_level = 1000.0f;   // the envelope must exceed this to count towards opening
        float close_level = 100.0f;   // below this it counts towards closing
        float floor = 0.1f;           // the factor a closed gate falls to
    };

    // The gate's memory, carried from block to block (never reset by a
    // control or a record).
    struct State {
        std::int32_t above_count = 10;
        std::int32_t below_count = 100;
        float gate_gain = 1.0f;
        float envelope = 0.0f;
        float target = 0.0f;
    };

    // Fixed gate constants: no control changes them.
    static constexpr float release = 0.01f;       // step while the factor falls (or holds)
    static constexpr float attack = 0.1f;         // step while the factor rises
    static constexpr float open_hold = 10.0f;     // above_count must exceed this to open
    static constexpr float close_hold = 1000.0f;  // below_count must exceed this to close

    // Input level, gate, output level over the block in place. In stereo one
    // envelope and one gate serve both channels and every count advances
    // once per interleaved sample. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // The gate proper over `count` consecutive samples in place. Audio thread.
    void gate(std::int64_t count, float* samples, const Params& p);

    // The gate's memory. Any thread that owns the kernel.
    const State& state() const { return state_; }
    // Puts the gate's memory in a given state. Any thread that owns the
    // kernel (the UI thread only while the instance is in no live chain).
    void set_state(const State& s) { state_ = s; }

private:
    State state_;
};

}  // namespace tw
