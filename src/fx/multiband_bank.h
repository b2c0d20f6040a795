// The sixteen-band filter bank of the multiband distortion: sixteen
// band-passes (designed at 48000 Hz whatever the stream's rate), a fold-back
// shaper and a soft clipper per band, an optional second band filter, and the
// weighted sum of the bands.
//
// Arithmetic: coefficients, memories and band signals are 32-bit floats; each
// step is computed in double and rounded to 32 bits where it is stored; the
// sum of the weighted bands (`acc`) is a double, rounded to 32 bits as the
// output sample.
#pragma once

#include <array>
#include <cstdint>

#include "fx/multiband_work.h"

namespace tw {

inline constexpr int kBandCount = 16;
using BandArray = std::array<float, kBandCount>;

// One bank: its design and its memories. The left bank serves mono.
struct BandBank {
    // Centres 100 * b + 50 Hz, widths 50 Hz (band 0) and 180 Hz (the others);
    // every memory 0. UI thread.
    BandBank();

    // Designs the first band-pass of every band into a0, a1, a2. UI thread.
    void init_mb_dsp();
    // Designs the second filters (twice the centre, twice the width) into
    // c0, c1, c2. Only the left bank has them. UI thread.
    void init_EQ_dsp();

    std::int32_t band_count = kBandCount;
    float fold_level = 200.0f;        // fold-back level F of the shaper
    double design_rate = 48000.0;     // the filters are always designed for this rate
    BandArray centre{}, width{};
    BandArray a0{}, a1{}, a2{};       // first filter
    BandArray c0{}, c1{}, c2{};       // second filter (left bank)

    // The bank in the loop's lanes: the memories (kept only here) and the
    // block buffers. Each run writes the coefficients and settings into it
    // first. Audio thread, or the thread that owns the bank.
    multiband::Work work{};

    // The memories as 32-bit values, band by band. Any thread that owns the bank.
    BandArray x1() const;             // first filter's input one and two samples back
    BandArray x2() const;
    BandArray y1() const;             // and its output
    BandArray y2() const;
    BandArray band_out() const;       // band signal after the shaper
    BandArray p1() const;             // second filter's input memories
    BandArray p2() const;
    BandArray q1() const;             // and its output memories
    BandArray q2() const;
    BandArray band_out2() const;      // band signal after the second filter
    double acc() const { return work.acc; }   // weighted sum of the last sample
};

// The editor's settings as one pass over a bank uses them.
struct BandSettings {
    bool fold_on = false;
    bool soft_clip_on = false;
    bool filter2_on = false;
    float soft_slope = 0.01f;
    BandArray clip_thr{};
    BandArray gain{};
};

enum class BankSide {
    Left,   // its own second filters
    Right,  // second stage of band b uses the first filter of band b + 1; bands 14 and 15 have none
};

enum class BankKernel {
    Fastest,    // AVX2 when the processor has it
    Baseline,   // the build for any x86-64 processor (the same results)
};

// Runs `bank` over `count` samples of one channel in place. Per sample: the
// sixteen first filters, the shaper, with Filter 2 the second stage, and the
// sum of the bands weighted by `settings.gain`. Four bands are computed at a
// time, each with exactly its own scalar steps; the sum is added pairwise,
// which can move an output sample by one 32-bit rounding step at most
// (memories and band signals are exact).
// Audio thread (or any thread on its own bank): no allocation.
void run_band_bank(BandBank& bank, BankSide side, const BandSettings& settings, float* samples, int count,
                   BankKernel kernel = BankKernel::Fastest);

// One bank's share of a paired run.
struct BankRun {
    BandBank* bank;
    BankSide side;
    const BandSettings* settings;   // fold, clip and Filter 2 are taken from the first run's
    float* samples;
};

// Runs two banks over `count` samples each, side by side (their filter
// recursions overlap in time): the same results as two run_band_bank calls.
// Audio thread: no allocation.
void run_band_bank_pair(const BankRun& first, const BankRun& second, int count,
                        BankKernel kernel = BankKernel::Fastest);

// True when run_band_bank's fastest kernel is the AVX2 one. Any thread.
bool band_bank_uses_avx2();

}  // namespace tw
