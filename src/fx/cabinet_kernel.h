// The Cabinet IR's processing: out = dry x (1 - mix) + wet x (x * h), with
// the IR set the window has built (cabinet_ir.h) at the block's rate. A new
// set (or none: the signal passes dry) replaces the old one with a 512-sample
// crossfade; the level and mix move in a ramp over the block.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/cabinet_ir.h"

namespace tw {

class CabinetKernel {
public:
    // What the audio thread reads, one set per block.
    struct Params {
        // Owned by the window, kept until the kernel has let it go
        // (released_below()); null: the signal passes dry.
        CabinetIrSet* set = nullptr;
        std::uint32_t serial = 0;   // raised by the window for each set it hands over
        float wet = 1.0f;           // ir_gain x mix
        float dry = 0.0f;           // 1 - mix
        bool normalize = true;
    };

    static constexpr int kFade = 512;
    static constexpr int kPass = 2048;

    // Back to the creation state (no set held). UI thread while no run can
    // use the kernel.
    void reset();

    // Processes the block in place. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // Every set the window handed over with a serial below this one is no
    // longer read by the audio thread and may be freed. Any thread.
    std::uint32_t released_below() const { return held_from_.load(std::memory_order_acquire); }

private:
    struct Source {
        CabinetIrSet* set = nullptr;
        std::uint32_t serial = 0;
    };
    // Writes the output of `src` for n frames of x (channel-split) into y.
    void render(const Source& src, int rate_index, int channels, int n, float g_dry0, float g_dry1, float g_wet0,
                float g_wet1);
    void restart(CabinetIrSet* set, int rate_index);

    Source cur_, prev_;
    int fade_left_ = 0;
    int rate_index_ = -1;
    bool gains_set_ = false;
    float dry_ = 0, wet_ = 0;
    float cur_norm_ = -1.0f;   // the normalization last applied (-1: none yet)
    std::atomic<std::uint32_t> held_from_{0};
    alignas(64) std::array<std::array<float, kPass>, 2> x_{};    // input, per channel
    alignas(64) std::array<std::array<float, kPass>, 2> y_{};    // current source's output
    alignas(64) std::array<std::array<float, kPass>, 2> yp_{};   // fading source's output
    alignas(64) std::array<float, kPass> w_{};                   // convolver output
};

}  // namespace tw
