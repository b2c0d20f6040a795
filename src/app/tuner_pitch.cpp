#include "app/tuner_pitch.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tw {

namespace {

// Sum of a[i] * b[i]; eight partial sums let the compiler use vector lanes.
float dot(const float* a, const float* b, int n) {
    float acc[8] = {};
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int k = 0; k < 8; ++k) acc[k] += a[i + k] * b[i + k];
    float s = 0.0f;
    for (; i < n; ++i) s += a[i] * b[i];
    for (float v : acc) s += v;
    return s;
}

}  // namespace

void PitchDetector::configure(float rate, int window) {
    rate_ = rate;
    window_ = window;
    max_lag_ = std::min(window - 3, static_cast<int>(std::ceil(rate / kSearchLowHz)) + 1);
    nsdf_.assign(static_cast<std::size_t>(max_lag_ + 2), 0.0f);
}

PitchEstimate PitchDetector::estimate(const float* x) {
    PitchEstimate e;
    const int w = window_;
    if (w <= 0) return e;
    double energy = 0.0;
    for (int j = 0; j < w; ++j) energy += static_cast<double>(x[j]) * x[j];
    e.rms = static_cast<float>(std::sqrt(energy / w));
    if (e.rms < kSilenceRms) return e;

    // m(tau) = sum over the overlap of x[j]^2 + x[j+tau]^2, shrunk one sample
    // at each end per lag.
    double m = 2.0 * energy;
    for (int tau = 1; tau <= max_lag_ + 1; ++tau) {
        m -= static_cast<double>(x[tau - 1]) * x[tau - 1] + static_cast<double>(x[w - tau]) * x[w - tau];
        const float r = dot(x, x + tau, w - tau);
        nsdf_[static_cast<std::size_t>(tau)] = m > 1e-9 ? static_cast<float>(2.0 * r / m) : 0.0f;
    }

    // Key maxima: the highest point of each positive lobe after the first
    // negative-going zero crossing.
    int keys[64];
    int nkeys = 0;
    float highest = 0.0f;
    bool started = false;
    int best = -1;
    for (int tau = 1; tau <= max_lag_; ++tau) {
        const float v = nsdf_[static_cast<std::size_t>(tau)];
        if (!started) {
            started = v < 0.0f;
            continue;
        }
        if (v > 0.0f) {
            if (best < 0 || v > nsdf_[static_cast<std::size_t>(best)]) best = tau;
        } else if (best >= 0) {
            if (nkeys < 64) keys[nkeys++] = best;
            highest = std::max(highest, nsdf_[static_cast<std::size_t>(best)]);
            best = -1;
        }
    }
    // A lobe still open at the end counts only if it peaked inside the range.
    if (best >= 0 && best < max_lag_ && nkeys < 64) {
        keys[nkeys++] = best;
        highest = std::max(highest, nsdf_[static_cast<std::size_t>(best)]);
    }
    if (nkeys == 0) return e;
    int tau = keys[0];
    for (int i = 0; i < nkeys; ++i)
        if (nsdf_[static_cast<std::size_t>(keys[i])] >= kPeakShare * highest) {
            tau = keys[i];
            break;
        }
    if (tau < 2 || tau >= max_lag_) return e;

    // Parabola through the three lags around the peak, then the exact vertex
    // of a sampled cosine: a parabola places it at tan(w d) / (2 tan(w/2)).
    const float a = nsdf_[static_cast<std::size_t>(tau - 1)];
    const float b = nsdf_[static_cast<std::size_t>(tau)];
    const float c = nsdf_[static_cast<std::size_t>(tau + 1)];
    const float den = a - 2.0f * b + c;
    double shift = den < 0.0f ? 0.5 * (a - c) / den : 0.0;
    shift = std::clamp(shift, -0.5, 0.5);
    const double omega = 2.0 * std::numbers::pi / (tau + shift);
    shift = std::atan(2.0 * shift * std::tan(omega / 2.0)) / omega;
    const double period = tau + shift;
    e.clarity = static_cast<float>(b - 0.25 * (a - c) * shift);
    if (e.clarity < kMinClarity) return e;
    const double hz = rate_ / period;
    if (hz < kLowestHz || hz > kHighestHz) return e;
    e.hz = static_cast<float>(hz);
    return e;
}

}  // namespace tw
