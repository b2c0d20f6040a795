// Moving a host's block between its separate channel buffers and the
// engine's interleaved buffer on the engine's scale (full scale 32768), as
// tonewarp-render does around the chain: a sample that is not finite enters
// and leaves as silence. Audio thread (no allocation).
#pragma once

#include <cmath>
#include <cstdint>

namespace tw::lv2 {

inline constexpr float kEngineScale = 32768.0f;

// frames x channels from in[c][first ..] into buf (interleaved). Audio thread.
inline void interleave_in(const float* const* in, int channels, std::uint32_t first, std::uint32_t frames, float* buf) {
    for (std::uint32_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            const float x = in[c][first + f] * kEngineScale;
            buf[f * channels + c] = std::isfinite(x) ? x : 0.0f;
        }
}

// The processed frames back to out[c][first ..]. Audio thread.
inline void interleave_out(const float* buf, int channels, std::uint32_t first, std::uint32_t frames, float* const* out) {
    constexpr float kToHost = 1.0f / kEngineScale;  // a power of two: scaling is exact
    for (std::uint32_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            const float y = buf[f * channels + c];
            out[c][first + f] = std::isfinite(y) ? y * kToHost : 0.0f;
        }
}

// Flush-to-zero for the length of a run, as the program's audio thread has
// it; the host's own mode comes back afterwards. Audio thread.
class FlushToZeroScope {
public:
    FlushToZeroScope();
    ~FlushToZeroScope();
    FlushToZeroScope(const FlushToZeroScope&) = delete;
    FlushToZeroScope& operator=(const FlushToZeroScope&) = delete;

private:
    unsigned saved_ = 0;
};

}  // namespace tw::lv2
