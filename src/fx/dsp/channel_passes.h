// One channel of an interleaved buffer, handed out in passes that fit the
// effects' work buffers (2049 samples, 2048 usable). Mono is channels = 1;
// every other value is stereo, left first, as the engine treats it.
//
// Audio thread: no allocation.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tw::dsp {

inline constexpr int kWorkBufferLen = 2049;             // samples in an effect's work buffer
inline constexpr int kWorkPass = kWorkBufferLen - 1;    // frames per pass over one channel

// `count` samples of one channel: sample i is data[i * stride].
struct ChannelPass {
    float* data;
    int stride;
    int count;

    float& operator[](int i) const { return data[static_cast<std::int64_t>(i) * stride]; }
    // Copies the pass into / back from a contiguous work buffer of at least `count` samples.
    void copy_to(float* work) const {
        for (int i = 0; i < count; ++i) work[i] = (*this)[i];
    }
    void copy_from(const float* work) const {
        for (int i = 0; i < count; ++i) (*this)[i] = work[i];
    }
};

class InterleavedBlock {
public:
    InterleavedBlock(float* samples, std::int32_t frames, std::int32_t channels)
        : samples_(samples), frames_(samples == nullptr ? 0 : std::max<std::int32_t>(frames, 0)),
          channels_(channels == 1 ? 1 : 2) {}

    int channels() const { return channels_; }
    std::int32_t frames() const { return frames_; }

    // Calls pass(ChannelPass) for channel `channel` (0 = mono/left,
    // 1 = right) over all frames, in consecutive passes of at most
    // `max_pass` frames.
    template <class F>
    void for_each_pass(int channel, F&& pass, int max_pass = kWorkPass) const {
        if (channel < 0 || channel >= channels_ || max_pass < 1) return;
        for (std::int64_t done = 0; done < frames_; done += max_pass) {
            const int n = static_cast<int>(std::min<std::int64_t>(max_pass, frames_ - done));
            pass(ChannelPass{samples_ + channels_ * done + channel, channels_, n});
        }
    }

private:
    float* samples_;
    std::int32_t frames_;
    int channels_;
};

}  // namespace tw::dsp
