// Mends for values copied verbatim from a parameter record. A preset file is
// untrusted, but what it stores is what the user saved: a stored value is
// kept as it is unless it would cause a fault (not finite, a division by
// zero, an index outside a line or ring, a feedback or filter that grows
// without bound, a length past a fixed capacity). Only then is it mended, by
// the smallest change: clamped to the nearest safe value, or replaced by what
// the stored bar position gives. Any thread.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "fx/curves.h"

namespace tw {

// Lowest and highest factor of the gain curve (positions 0 and 100), as the
// 32-bit floats the curve gives.
inline constexpr float kGainCurveMin = static_cast<float>(1.0 / 11.0);
inline constexpr float kGainCurveMax = 11.0f;

// Largest size of a stored factor (a gain, level or slope applied to every
// sample). A chain holds sixteen slots of up to three factors each: with
// every factor at 11 a full-scale sample stays finite (11^32 * 32768 is
// below the float range), at 12 it overflows to infinity.
inline constexpr float kFactorMax = kGainCurveMax;

// Largest size of a stored loop gain (comb or ring feedback): at 1 or more
// the loop grows without bound.
inline constexpr float kLoopGainMax = 0.999f;

// Lowest stored coefficient g of a one-pole smoother (state = g * state +
// (1 - g) * x): at -1 or below it grows without bound. Any g up to 1 is
// bounded (1 holds the state).
inline constexpr float kPoleMin = -0.999f;

// True if v is finite and lo <= v <= hi.
inline bool finite_within(float v, float lo, float hi) { return std::isfinite(v) && v >= lo && v <= hi; }

// Clamps a stored integer into [lo, hi].
inline std::int32_t clamp_i32(std::int32_t v, std::int32_t lo, std::int32_t hi) { return std::clamp(v, lo, hi); }

// A stored factor: kept if its size is at most kFactorMax (negative and zero
// factors included); a larger one, infinities included, clamped to
// +-kFactorMax; a NaN gives `fallback`.
inline float kept_factor(float stored, float fallback) {
    if (std::isnan(stored)) return fallback;  // not finite
    return std::clamp(stored, -kFactorMax, kFactorMax);  // overflow to infinity along the chain
}

// A stored gain-curve factor: as kept_factor, a NaN giving the curve of the
// stored position (clamped into 0 .. 100).
inline float kept_curve_gain(float stored, std::int32_t position) {
    return kept_factor(stored, *gain_curve(static_cast<float>(clamp_i32(position, 0, 100))));
}

// A stored loop gain: a NaN gives `fallback`, a size past kLoopGainMax is
// clamped to it.
inline float kept_loop_gain(float stored, float fallback) {
    if (std::isnan(stored)) return fallback;  // not finite
    return std::clamp(stored, -kLoopGainMax, kLoopGainMax);  // a loop gain of 1 or more grows without bound
}

// A stored one-pole coefficient: a NaN gives `fallback`, the rest is clamped
// into [kPoleMin, 1].
inline float kept_pole(float stored, float fallback) {
    if (std::isnan(stored)) return fallback;  // not finite
    return std::clamp(stored, kPoleMin, 1.0f);  // outside (-1, 1] the smoother grows without bound
}

// A stored value that only has to be finite: kept, or `fallback`.
inline float kept_finite(float stored, float fallback) {
    return std::isfinite(stored) ? stored : fallback;  // not finite
}

}  // namespace tw
