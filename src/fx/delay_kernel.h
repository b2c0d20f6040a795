// The Delay's processing: a five-tap echo without feedback. Each output
// sample is the input plus five earlier input samples at one to five times
// the delay time, with geometrically falling gains, all scaled by an output
// gain. "Ping pong" makes the tap positions drift slowly back and forth over
// 603 positions; without it the right channel's taps sit half a delay time
// earlier.
#pragma once

#include <array>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/dsp/delay_line.h"

namespace tw {

class DelayKernel {
public:
    static constexpr int kLineLen = 268000;     // L: holds five times the longest delay time
    static constexpr int kWorkLen = 2049;
    static constexpr int kPass = kWorkLen - 1;  // frames per pass over one channel
    static constexpr int kTaps = 5;
    static constexpr int kDriftEvery = 128;     // samples per drift step
    static constexpr int kDriftTop = 600;       // the drift turns once it passes this
    static constexpr std::int32_t kMaxDelay = 100 * 520;   // the Time bar's top

    // What the audio thread reads, one set per block.
    struct Params {
        std::array<float, kTaps + 1> tap_gain{};   // entry 5 is computed, not used
        std::int32_t drift_on = 0;                 // 1: the taps drift (ping pong)
        float echo_out_gain = 0.33f;
        std::int32_t delay_samples = 6000;
        float echo_decay = 0.5f;
        float echo_in_gain = 0.0f;
    };

    using Line = dsp::DelayLine<float, kLineLen>;

    // Echoes the block in place (mono: left line; stereo: each channel its
    // own line), in passes of kPass frames through the work buffers. Audio
    // thread.
    void process(const AudioBlock& block, const Params& p);

    // What slot i of a channel's line holds (0 left, 1 right). Any thread
    // that owns the kernel.
    float line_at(int channel, std::int32_t i) const { return channel_(channel).line.at(i); }
    // A channel's drift of its tap positions. Any thread that owns the kernel.
    std::int32_t drift(int channel) const { return channel_(channel).drift; }

private:
    // One channel's line of input samples, write position, drift and work buffer.
    struct Channel {
        Line line;
        std::int32_t write = 0;
        std::int32_t drift = 0;
        std::int32_t drift_count = 0;   // samples since the last drift step, 0 .. 127
        std::int32_t drift_dir = 1;
        std::array<float, kWorkLen> work{};
    };

    const Channel& channel_(int c) const { return c == 0 ? left_ : right_; }

    // The echo over the first `count` samples of the left / right work buffer
    // with delay time T. Audio thread.
    void echo_left(int count, std::int32_t T, const Params& p);
    void echo_right(int count, std::int32_t T, const Params& p);

    Channel left_;
    Channel right_;
};

}  // namespace tw
