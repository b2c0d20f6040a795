// Checks for values copied verbatim from a parameter record. A preset file is
// untrusted: a stored value is kept only if the window's controls could have
// produced it, otherwise the caller falls back to what the stored bar
// position gives (or to a creation value). Any thread.
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
inline float gain_curve_min() { return kGainCurveMin; }
inline float gain_curve_max() { return kGainCurveMax; }

// True if v is finite and lo <= v <= hi.
inline bool finite_within(float v, float lo, float hi) { return std::isfinite(v) && v >= lo && v <= hi; }

// Clamps a stored integer into [lo, hi].
inline std::int32_t clamp_i32(std::int32_t v, std::int32_t lo, std::int32_t hi) { return std::clamp(v, lo, hi); }

// A stored gain-curve factor: kept if a bar of range 0 .. 100 could have set
// it, else the curve of the stored position (clamped into 0 .. 100).
inline float sane_curve_gain(float stored, std::int32_t position) {
    if (finite_within(stored, gain_curve_min(), gain_curve_max())) return stored;
    return *gain_curve(static_cast<float>(clamp_i32(position, 0, 100)));
}

}  // namespace tw
