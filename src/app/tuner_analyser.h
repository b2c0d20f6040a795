// The tuner's signal path: the captured input (any rate, 16-bit scale) is
// high-passed against DC, low-passed at 2 kHz and decimated to about 24 kHz;
// every 10 ms the last 64 ms go to the pitch detector, and a tracker turns
// the estimates into the shown frequency: a new note shows once two
// estimates in a row agree, a held note shows the mean of its last eight
// estimates, and three misses in a row show "no note".
//
// Threads: one object is used by one thread (the tuner thread); tests drive it
// directly.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "app/tuner_pitch.h"

namespace tw {

class TunerAnalyser {
public:
    static constexpr double kWindowSeconds = 0.064;
    static constexpr double kHopSeconds = 0.010;
    static constexpr int kMeanOf = 8;
    static constexpr int kMissesToClear = 3;
    static constexpr double kSameNoteCents = 30.0;

    // Prepares for input at `rate` Hz and forgets everything (allocates).
    // Tuner thread.
    void configure(int rate);
    int input_rate() const { return rate_; }

    // Feeds input samples; runs the detector at each hop. Tuner thread.
    void feed(const float* x, std::size_t n);

    // The shown frequency in Hz, 0 for "no note". Tuner thread.
    double frequency() const { return shown_hz_; }
    // The last raw estimate (for diagnosis and tests). Tuner thread.
    const PitchEstimate& last_estimate() const { return last_; }

private:
    struct Biquad {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
        double step(double x) {
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };
    void analyse();
    void track(double hz);

    int rate_ = 0;
    int decimation_ = 1;
    int phase_ = 0;
    int hop_ = 240;
    int since_hop_ = 0;
    std::array<Biquad, 3> filters_{};  // high-pass, then two low-pass sections
    std::vector<float> window_;        // the last window() decimated samples, oldest first
    std::vector<float> scratch_;       // the samples of the hop in progress
    PitchDetector detector_;
    PitchEstimate last_;

    std::array<double, kMeanOf> history_{};
    int count_ = 0;   // estimates of the current note held in history_
    int next_ = 0;    // where the next one goes
    int misses_ = 0;
    double shown_hz_ = 0.0;
};

}  // namespace tw
