// The tuner's pitch detector: one window of mono samples in, the fundamental
// frequency out. It uses the normalised square difference function (a
// normalised autocorrelation, robust to a decaying note), takes the first
// peak that comes close to the highest one (so the period, not a multiple
// or a half of it, is found), and places the peak between lags with a
// parabola corrected for the curvature of a sinusoid, which keeps the error
// well under a cent up to the 24th fret of the high E string.
//
// Threads: one object is used by one thread (the tuner thread); no locks.
#pragma once

#include <vector>

namespace tw {

struct PitchEstimate {
    float hz = 0.0f;       // 0 = no periodic signal found
    float clarity = 0.0f;  // height of the chosen peak, 0..1
    float rms = 0.0f;      // level of the window on the 16-bit scale
};

class PitchDetector {
public:
    // Frequencies a guitar tuner reports; the lag search reaches lower
    // (kSearchLowHz) so that mains hum is recognised as hum.
    static constexpr float kLowestHz = 63.0f;
    static constexpr float kHighestHz = 1600.0f;
    static constexpr float kSearchLowHz = 40.0f;
    // Below this RMS (16-bit scale, about -60 dBFS) the window is silence.
    static constexpr float kSilenceRms = 30.0f;
    // A peak lower than this is noise rather than a note.
    static constexpr float kMinClarity = 0.8f;
    // The first peak at least this share of the highest is the period.
    static constexpr float kPeakShare = 0.9f;

    // Sets the analysis rate and the window length (samples) and allocates.
    // Tuner thread (never the audio thread).
    void configure(float rate, int window);
    int window() const { return window_; }

    // Analyses `window()` samples at the configured rate. Tuner thread.
    PitchEstimate estimate(const float* x);

private:
    float rate_ = 24000.0f;
    int window_ = 0;
    int max_lag_ = 2;
    std::vector<float> nsdf_;
};

}  // namespace tw
