// The Amp model's processing: the loaded neural model run on the signal
// (a stereo buffer runs it once on (L + R) / 2 and writes both channels),
// between an input and an output gain. A new model (or none: the signal
// passes dry) replaces the old one with a 256-sample crossfade.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/nam/nam_dsp.h"

namespace tw {

class AmpModelKernel {
public:
    struct Params {
        // Owned by the window, kept until the kernel has let it go
        // (released_below()); null: the signal passes dry.
        nam::Dsp* model = nullptr;
        std::uint32_t serial = 0;   // raised by the window for each model it hands over
        float in_gain = 1.0f;       // applied before the model
        float out_gain = 1.0f;      // after it (the output bar and the loudness normalization)
    };

    static constexpr int kFade = 256;
    static constexpr int kPass = 2048;

    // Back to the creation state (no model held). UI thread while no run can
    // use the kernel.
    void reset();
    // Processes the block in place. Audio thread.
    void process(const AudioBlock& block, const Params& p);
    // Every model handed over with a serial below this one is no longer read
    // by the audio thread and may be freed. Any thread.
    std::uint32_t released_below() const { return held_from_.load(std::memory_order_acquire); }

private:
    struct Source {
        nam::Dsp* model = nullptr;
        std::uint32_t serial = 0;
        float gain = 1.0f;
    };
    void render(Source& s, const float* x, float* y, int n);

    Source cur_, prev_;
    int fade_left_ = 0;
    bool gains_set_ = false;
    float in_gain_ = 1.0f;
    std::atomic<std::uint32_t> held_from_{0};
    alignas(64) std::array<float, kPass> dry_{};   // the input as it came (mono), for a missing model
    alignas(64) std::array<float, kPass> x_{};
    alignas(64) std::array<float, kPass> y_{};
    alignas(64) std::array<float, kPass> yp_{};
};

}  // namespace tw
