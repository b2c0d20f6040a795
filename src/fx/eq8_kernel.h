// The equaliser's processing: the band set (a second one for the right
// channel in stereo) with its smoother and master gain, then the switched
// side filters: resonant hi-pass, resonant four-pole low-pass, hi-pass
// shelf, speaker simulator and (mono only) the low cut. The per-sample loop
// is eq8_loop.h, built for the baseline processor and for AVX2.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "fx/audio_block.h"
#include "fx/dsp/biquad.h"
#include "fx/dsp/four_pole.h"
#include "fx/eq8_bands.h"
#include "fx/eq8_filters.h"

namespace tw {

// True when the processor can run the equaliser's AVX2 build (never with
// TW_PLAIN_MATH=1). Any thread.
bool eq8_kernel_uses_avx2();

// The equaliser's memories, kept only here. Each stage's memories are
// named for the channels that use them.
struct Eq8Memories {
    EqBandMemory pre_eq;    // mono and stereo left
    EqBandMemory post_eq;   // stereo right
    float hcut_state_m = 0.0f, hcut_state_l = 0.0f, hcut_state_r = 0.0f;
    dsp::BiquadState<float> hp_state_a, hp_state_b;         // a: mono and stereo right; b: stereo left
    dsp::BiquadState<float> shelf_state_a, shelf_state_b;   // a: mono and stereo right; b: stereo left
    dsp::FourPoleState lp_state_a, lp_state_b;              // a: mono and stereo left; b: stereo right
    FifthOrderState spk_a, spk_b;                           // a: mono and stereo left; b: stereo right
    FifthOrderState lowcut;                                 // mono only
};

class Eq8Kernel {
public:
    // What the audio thread reads, one set per block.
    struct Params {
        bool eq_on = true;
        EqBandSet pre_eq;    // mono and stereo left
        EqBandSet post_eq;   // stereo right
        float hcut_m = 0.0f, hcut_l = 0.0f, hcut_r = 0.0f;   // smoothing of mono, left, right
        bool hp_on = false;
        dsp::BiquadCoefs<float> hp_coefs;
        bool lp_on = false;
        double lp_fc = 0.1;
        double lp_res = 3.0;
        bool shelf_on = false;
        dsp::BiquadCoefs<float> shelf_coefs;
        float shelf_gain = 1.0f;
        bool spk_on = false;
        double spk_gain = 0.0;
        std::array<double, 5> spk_coef{};
        bool lowcut_on = false;   // runs in mono only
    };

    // Runs the equaliser and the switched-on side filters over the block in
    // place, and notes the block's rate. Audio thread.
    void process(const AudioBlock& block, const Params& p);

    // Every memory back to zero. UI thread while no run can use the kernel.
    void reset() { mem_ = Eq8Memories{}; }

    // Chooses the AVX2 build (only where eq8_kernel_uses_avx2()) or the
    // baseline one; both give the same bits. UI thread while no run can use
    // the kernel.
    void set_use_avx2(bool on) { use_avx2_ = on; }
    bool uses_avx2() const { return use_avx2_; }

    // The rate of the latest block, 48000 before the first. Any thread.
    float last_rate() const { return last_rate_.load(std::memory_order_relaxed); }
    // Sets the rate the hi-pass design uses until the next block. UI thread.
    void set_last_rate(float rate) { last_rate_.store(rate, std::memory_order_relaxed); }

    // The memories. Any thread that owns the kernel.
    const Eq8Memories& memories() const { return mem_; }

private:
    Eq8Memories mem_;
    bool use_avx2_ = eq8_kernel_uses_avx2();
    std::atomic<float> last_rate_{48000.0f};
};

}  // namespace tw
