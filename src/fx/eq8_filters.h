// The equaliser's side filters: the two-pole design shared by the hi-pass and
// the shelf, the speaker simulator's six coefficient sets, and the two
// fifth-order steps (speaker simulator low-pass, low cut).
//
// Audio-thread steps work on the caller's state: no allocation.
#pragma once

#include <array>

#include "fx/dsp/biquad.h"

namespace tw {

// Two-pole design with rate fs, corner f and damping r: t = tan(pi f / fs),
// a0 = t^2 + r t + 1, a1 = -(2 - t^2), a2 = t^2 - r t + 1, each rounded to a
// 32-bit float. Any thread.
dsp::BiquadCoefs<float> two_pole_design(double fs, double f, double r);

// One speaker-simulator coefficient set: input divisor and feedback c0..c4.
struct SpeakerSet {
    double gain;
    std::array<double, 5> c;
};
inline constexpr int kSpeakerSets = 6;
// Set p (0 .. 5) of the speaker simulator. Any thread.
const SpeakerSet& speaker_set(int p);

// Six-entry input and output histories of a fifth-order filter (oldest first).
struct FifthOrderState {
    std::array<double, 6> x{};
    std::array<double, 6> y{};

    // Shifts both histories one place and appends input `in`.
    void shift_in(double in) {
        for (int i = 0; i < 5; ++i) x[i] = x[i + 1];
        for (int i = 0; i < 5; ++i) y[i] = y[i + 1];
        x[5] = in;
    }
};

// One speaker-simulator sample: a fifth-order low-pass with numerator
// 1 5 10 10 5 1 and unity gain at DC. Audio thread.
inline float speaker_step(FifthOrderState& h, const SpeakerSet& set, float s) {
    h.shift_in(s / set.gain);
    const auto& x = h.x;
    const auto& y = h.y;
    h.y[5] = (x[0] + x[5]) + 5.0 * (x[1] + x[4]) + 10.0 * (x[2] + x[3]) + set.c[0] * y[0] + set.c[1] * y[1] +
             set.c[2] * y[2] + set.c[3] * y[3] + set.c[4] * y[4];
    return static_cast<float>(h.y[5]);
}

// The low cut's input divisor, set again by every call.
inline constexpr double kLowCutGain = 1.019684607;
// One low-cut sample: a fifth-order high-pass with unity gain at half the
// sample rate and its -3 dB point at 0.00158 of the sample rate. Audio thread.
inline float low_cut_step(FifthOrderState& h, double gain, float s) {
    h.shift_in(s / gain);
    const auto& x = h.x;
    const auto& y = h.y;
    h.y[5] = (x[5] - x[0]) + 5.0 * (x[1] - x[4]) + 10.0 * (x[3] - x[2]) + 0.961746123 * y[0] - 4.8462783871 * y[1] +
             9.7683493471 * y[2] - 9.8448479614 * y[3] + 4.961030878 * y[4];
    return static_cast<float>(h.y[5]);
}

}  // namespace tw
