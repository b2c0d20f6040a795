// The Gain's processing: one volume in mono; left and right volumes in
// stereo, "Air" (right channel polarity inverted) and "Simple Chorus" (the
// right channel passed through a ring of a settable length).
#pragma once

#include <cstdint>

#include "fx/audio_block.h"
#include "fx/dsp/delay_line.h"

namespace tw {

class GainKernel {
public:
    // What the audio thread reads, one set per block.
    struct Params {
        float mono_gain = 1.0f;
        float left_gain = 1.0f;
        float right_gain = 1.0f;
        bool air = true;                 // right channel inverted
        bool chorus_on = false;          // right channel through the ring
        std::int32_t delay_len = 1800;   // ring positions used by the chorus
    };

    static constexpr int kRingSize = 15001;
    static constexpr int kRingWrap = 14000;   // only slots 0 .. 13999 are reached

    GainKernel() { reset(); }

    // Back to the creation state: the ring holds 1.0 in slots 0 .. 14999
    // (slot 15000 is never used), position 1. UI thread, or audio thread.
    void reset();

    // Processes the block in place. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // Passes one sample through the Simple Chorus ring of `len` positions and
    // returns the sample that left it. Audio thread.
    float delay_d(float sample, std::int32_t len);

    // The chorus ring's next position. Any thread that owns the kernel.
    std::int32_t position() const { return pos_; }
    // What ring slot i holds. Any thread that owns the kernel.
    float ring_at(std::int32_t i) const { return ring_.at(i); }

private:
    dsp::DelayLine<float, kRingSize> ring_;
    std::int32_t pos_ = 1;
};

}  // namespace tw
