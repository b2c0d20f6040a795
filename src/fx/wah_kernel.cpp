#include "fx/wah_kernel.h"

#include <algorithm>

namespace tw {

namespace {
// One block's view of the parameters.
struct Sweep {
    bool on;
    double low, high;
    float up, down;
    double res;
    float level;
};

// Step 1 of the swept filter: move the cut-off value by the factor and turn
// at the limits (the upper test wins when both hold).
inline void sweep_step(const Sweep& s, double& fc, float& m) {
    if (!s.on) return;
    fc = fc * m;
    if (fc < s.low) m = s.up;
    if (fc > s.high) m = s.down;
}

// Steps 2 to 9 for one sample with cut-off factor f.
inline float wah_sample(dsp::FourPoleState& st, float x, double f, const Sweep& s) {
    const double fb = (1.0 - 0.15 * f * f) * s.res;
    return static_cast<float>(dsp::four_pole_step(st, x, f, fb) * s.level);
}
}  // namespace

void WahKernel::process(const AudioBlock& b, const Params& p) {
    const Sweep s{p.sweep_on, p.sweep_low, p.sweep_high, p.sweep_up, p.sweep_down, p.wah_res, p.out_level};
    State& st = state_;
    const std::int32_t frames = b.frames;
    float* samples = b.samples;
    if (b.mono()) {
        if (frames <= 0 || samples == nullptr) return;
        for (std::int64_t i = 0; i < frames; ++i) {
            sweep_step(s, st.wah_fc_l, st.sweep_mult_l);
            samples[i] = wah_sample(st.wah_state_l, samples[i], st.wah_fc_l * 1.16, s);
        }
        return;
    }
    st.wah_fc_r = st.wah_fc_l;
    st.sweep_mult_r = st.sweep_mult_l;
    if (frames <= 0 || samples == nullptr) return;
    // The right channel starts from the left's cut-off value and factor and
    // sweeps with the same settings, so both follow one sweep: it is worked
    // out once per frame and the two channels' filters run side by side.
    for (std::int64_t i = 0; i < frames; ++i) {
        sweep_step(s, st.wah_fc_l, st.sweep_mult_l);
        samples[2 * i] = wah_sample(st.wah_state_l, samples[2 * i], st.wah_fc_l * 1.16, s);
        const double fr = std::min(st.wah_fc_l * 1.16 * kRightFactor, kMaxStableF);
        samples[2 * i + 1] = wah_sample(st.wah_state_r, samples[2 * i + 1], fr, s);
    }
    st.wah_fc_r = st.wah_fc_l;
    st.sweep_mult_r = st.sweep_mult_l;
}

}  // namespace tw
