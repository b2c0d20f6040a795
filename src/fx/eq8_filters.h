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
};

// The speaker simulator over `count` samples, every `stride`-th one, in place:
// a fifth-order low-pass with numerator 1 5 10 10 5 1 and unity gain at DC.
// Audio thread.
void speaker_process(FifthOrderState& st, const SpeakerSet& set, float* samples, int count, int stride);

// The low cut's input divisor, set again by every call.
inline constexpr double kLowCutGain = 1.019684607;
// The low cut over `count` consecutive samples in place: a fifth-order
// high-pass with unity gain at half the sample rate. Audio thread.
void low_cut_process(FifthOrderState& st, float* samples, int count);

}  // namespace tw
