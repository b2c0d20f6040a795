// The band-pass design shared by the equaliser bands and the multiband
// distortion, at the fixed design rate of 48000 Hz.
#pragma once

#include "fx/dsp/biquad.h"

namespace tw {

using BandPassCoefs = dsp::BiquadCoefs<double>;

// For centre F and width W in Hz: lo = (F - W/2)/48000, hi = (F + W/2)/48000,
// U = cos(pi(hi-lo))/sin(pi(hi-lo)), V = cos(pi(hi+lo))/cos(pi(hi-lo)),
// a0 = U + 1, a1 = -2VU, a2 = U - 1. A degenerate band (sin or cos of the
// half-width 0) gives a filter that passes practically nothing rather than a
// division by zero. Any thread.
BandPassCoefs band_pass_design(double centre_hz, double width_hz);

// One band-pass state and step: y = (x - x[n-2] - a1*y[n-1] - a2*y[n-2]) / a0
// (the shared two-pole step). Audio thread (or any, on the caller's own state).
using BandPassState = dsp::BiquadState<float>;

inline float band_pass_step(const BandPassCoefs& c, BandPassState& s, float x) { return dsp::band_pass_step(c, s, x); }

}  // namespace tw
