// Shared control curves and the one-pole smoother.
#pragma once

#include <optional>

namespace tw {

// Maps a control position to a factor: 0 -> 1/11, 50 -> 1, 100 -> 11, rounded
// to a 32-bit float. Only 0 <= x < 101 is accepted (x is taken as a 32-bit
// float); anything else gives nullopt and the caller keeps its value. Any thread.
std::optional<float> gain_curve(float x);

// Maps a position to a one-pole coefficient: sqrt(p / 100) as a 32-bit float,
// limited to 0.001 .. 0.999 (100 -> 0.999, 0 -> 0.001). Any thread.
float colour_curve(float p);

// The one-pole smoother over a block: state = g*state + (1-g)*sample, and the
// sample becomes the new state (32-bit floats). Audio thread (or any, on the
// caller's own state).
void FNC(float* samples, int count, float g, float& state);

}  // namespace tw
