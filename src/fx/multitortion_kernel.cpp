#include "fx/multitortion_kernel.h"

#include <algorithm>

namespace tw {

MultiTortionKernel::MultiTortionKernel() {
    bank_l_.init_mb_dsp();
    bank_r_.init_mb_dsp();
    bank_l_.init_EQ_dsp();
}

BandSettings MultiTortionKernel::settings_for(const Params& p, const BandArray& gains) {
    BandSettings s;
    s.fold_on = p.fold_on;
    s.soft_clip_on = p.soft_clip_on;
    s.filter2_on = p.filter2_on == 1;
    s.soft_slope = soft_slope;
    s.clip_thr = p.clip_thr;
    s.gain = gains;
    return s;
}

void MultiTortionKernel::mb_dsp(const Params& p, float* buffer, int count) {
    run_band_bank(bank_l_, BankSide::Left, settings_for(p, p.band_gain_l), buffer, count);
}

void MultiTortionKernel::mb_dsp_1(const Params& p, float* buffer, int count) {
    run_band_bank(bank_r_, BankSide::Right, settings_for(p, p.band_gain_r), buffer, count);
}

void MultiTortionKernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    float* samples = b.samples;
    const std::int32_t frames = b.frames;
    const float gin = p.gain_in;
    const float gout = p.gain_out;
    if (b.mono()) {
        for (std::int32_t i = 0; i < frames; ++i) samples[i] = samples[i] * gin;
        mb_dsp(p, samples, frames);
        for (std::int32_t i = 0; i < frames; ++i) samples[i] = samples[i] * gout;
        return;
    }
    // Stereo, in passes that fit the work buffer: its first half takes the
    // first sample of each frame (through the bank labelled right), its second
    // half the second sample (through the left bank). The two banks run side
    // by side, which gives the same results as one after the other.
    const BandSettings set_l = settings_for(p, p.band_gain_l);
    const BandSettings set_r = settings_for(p, p.band_gain_r);
    constexpr int kHalf = kStereoBufLen / 2;
    float* first = stereo_buf_.data();
    float* second = stereo_buf_.data() + kHalf;
    for (std::int64_t done = 0; done < frames; done += kHalf) {
        const int n = static_cast<int>(std::min<std::int64_t>(kHalf, frames - done));
        float* s = samples + 2 * done;
        for (int i = 0; i < n; ++i) {
            first[i] = s[2 * i] * gin;
            second[i] = s[2 * i + 1] * gin;
        }
        run_band_bank_pair({&bank_r_, BankSide::Right, &set_r, first}, {&bank_l_, BankSide::Left, &set_l, second}, n);
        for (int i = 0; i < n; ++i) {
            s[2 * i] = first[i] * gout;
            s[2 * i + 1] = second[i] * gout;
        }
    }
}

}  // namespace tw
