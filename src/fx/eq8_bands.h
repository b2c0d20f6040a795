// The equaliser's band set: nine band-pass filters at fixed centres, whose
// outputs are weighted by the band gains and summed (no dry path), and the
// curves that map the band and master bars to gains.
//
// The per-band memories and coefficients are laid out as lanes of equal
// arrays, padded to a whole number of vectors, so the compiler can run the
// nine bands of one sample side by side. Each band's arithmetic is the plain
// two-pole band-pass step (double arithmetic, every stored value a 32-bit
// float); only the padding lanes are extra, and they carry a zero gain.
#pragma once

#include <array>
#include <cstdint>

namespace tw {

struct EqBandSet {
    static constexpr int kBands = 9;
    static constexpr int kLanes = 10;   // bands padded to whole vectors of two doubles

    // Bands used (always nine).
    std::int32_t eq_bands = kBands;
    // Output gain of the set.
    float master_gain = 0.1f;
    // Gain of each band.
    std::array<float, kBands> band_gain{};

    // Band table and designed coefficients (32-bit values held in double
    // lanes; the padding lane is a harmless step whose output is never
    // weighted).
    std::array<float, kBands> centre_hz{};
    std::array<float, kBands> width_hz{};
    alignas(32) std::array<double, kLanes> a0{};
    alignas(32) std::array<double, kLanes> a1{};
    alignas(32) std::array<double, kLanes> a2{};

    // Sets every band gain to 10 and the master gain to 0.1, fills the band
    // table and designs every band for 48000 Hz. Any thread, on its own set.
    void init();

    // The gains in lanes (padding lanes 0). Any thread, on its own set.
    struct Gains {
        alignas(32) std::array<double, kLanes> band{};
        float master = 0.0f;
    };
    Gains snapshot() const;
};

// The memories of one band set: per band, input and output one and two
// samples back (32-bit values held in doubles), in lanes padded to whole
// vectors of four doubles, and the weighted band sum of the latest sample.
struct EqBandMemory {
    static constexpr int kLanes = 12;

    alignas(32) std::array<double, kLanes> x1{};
    alignas(32) std::array<double, kLanes> x2{};
    alignas(32) std::array<double, kLanes> y1{};
    alignas(32) std::array<double, kLanes> y2{};
    double band_sum = 0.0;

    // One input sample through every band of `set`; returns (and keeps)
    // band_sum, the gain-weighted sum in band order. The equaliser's loop
    // (eq8_loop.h) does the same arithmetic on several bands at once; this is
    // the one-sample form it is checked against. Any thread, on its own
    // memories.
    double step(const EqBandSet& set, const EqBandSet::Gains& g, float s) {
        alignas(32) std::array<double, EqBandSet::kLanes> y;
        for (int i = 0; i < EqBandSet::kLanes; ++i) {
            y[i] = static_cast<float>(((s - x2[i]) - set.a1[i] * y1[i] - set.a2[i] * y2[i]) / set.a0[i]);
            y2[i] = y1[i];
            y1[i] = y[i];
            x2[i] = x1[i];
            x1[i] = s;
        }
        double sum = 0.0;
        for (int i = 0; i < EqBandSet::kBands; ++i) sum = y[i] * g.band[i] + sum;
        band_sum = sum;
        return sum;
    }
};

// Band curve for a = 101 - p: a >= 50 gives ((a - 50) / 5 + 1) * 10, else
// 10 / (|a - 50| / 5 + 1); unity (10) at p = 51. Any thread.
float band_curve(int a);
// Master curve of v = 100 - p: v >= 50 gives ((v - 50) / 5 + 1) * 0.1, else
// 0.1 / (|v - 50| / 5 + 1). Any thread.
float master_curve(float v);

}  // namespace tw
