// One buffer as a kernel sees it: interleaved 32-bit floats on the 16-bit
// scale, `frames` frames of `channels` samples (1 = mono, any other value is
// treated as stereo), left first, processed in place.
#pragma once

#include <cstdint>

namespace tw {

struct AudioBlock {
    std::int32_t frames = 0;
    std::int32_t sample_rate = 0;
    std::int32_t channels = 2;
    float* samples = nullptr;

    bool mono() const { return channels == 1; }
    // Samples in the buffer: frames, or frames * 2 for stereo.
    std::int64_t sample_count() const { return static_cast<std::int64_t>(frames) * (mono() ? 1 : 2); }
};

}  // namespace tw
