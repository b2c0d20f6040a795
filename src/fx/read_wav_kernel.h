// The Playback wav file's processing: mixes 16-bit samples that the window
// has loaded, looped without end, into the live signal. A stereo file plays
// into a stereo buffer channel by channel and into a mono one as the sum of
// its first two samples times 0.707; a mono file plays into both channels of
// a stereo buffer. The window may hand copies of the file made for other
// stream rates: a block at one of their rates plays that copy.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/audio_block.h"

namespace tw {

class ReadWavKernel {
public:
    // What the audio thread reads, one set per block.
    struct Params {
        float play_gain = 1.0f;
        // The samples, interleaved, in memory the window owns and keeps until
        // no buffer can still read it; null: nothing plays.
        const std::int16_t* samples = nullptr;
        std::int32_t frame_count = 0;
        std::int32_t file_channels = 0;
        // The same file resampled for other stream rates (rate 0: unused).
        struct Copy {
            const std::int16_t* samples = nullptr;
            std::int32_t frame_count = 0;
            std::int32_t rate = 0;
        };
        std::array<Copy, 4> copies{};
        // Raised by the window for each file it loads: a value the kernel has
        // not seen yet plays from the first frame.
        std::uint32_t start = 0;
    };

    // Back to the creation state: the first frame next, no start seen. UI
    // thread while no run can use the kernel, or audio thread.
    void reset() {
        play_pos_.store(0, std::memory_order_relaxed);
        start_seen_ = 0;
    }

    // Adds the file's samples at the play position to the block and moves
    // the position on, wrapping at the end of the file. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // The frame to play next, as the last block left it. Any thread.
    std::int32_t play_position() const { return play_pos_.load(std::memory_order_relaxed); }

private:
    std::atomic<std::int32_t> play_pos_{0};   // written by the audio thread only
    std::uint32_t start_seen_ = 0;
};

}  // namespace tw
