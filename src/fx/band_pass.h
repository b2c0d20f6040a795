// The band-pass design shared by the equaliser bands and the multiband
// distortion, at the fixed design rate of 48000 Hz.
#pragma once

namespace tw {

struct BandPassCoefs {
    double a0 = 1.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

// For centre F and width W in Hz: lo = (F - W/2)/48000, hi = (F + W/2)/48000,
// U = cos(pi(hi-lo))/sin(pi(hi-lo)), V = cos(pi(hi+lo))/cos(pi(hi-lo)),
// a0 = U + 1, a1 = -2VU, a2 = U - 1. A degenerate band (sin or cos of the
// half-width 0) gives a filter that passes practically nothing rather than a
// division by zero. Any thread.
BandPassCoefs band_pass_design(double centre_hz, double width_hz);

// One band-pass state: y = (x - x[n-2] - a1*y[n-1] - a2*y[n-2]) / a0.
struct BandPassState {
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
};

// Filters one sample. Audio thread (or any, on the caller's own state).
inline float band_pass_step(const BandPassCoefs& c, BandPassState& s, float x) {
    const float y = static_cast<float>((x - s.x2 - c.a1 * s.y1 - c.a2 * s.y2) / c.a0);
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

}  // namespace tw
