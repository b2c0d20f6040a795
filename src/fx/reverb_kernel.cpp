#include "fx/reverb_kernel.h"

#include <algorithm>
#include <utility>

#include "fx/curves.h"

namespace tw {

namespace {

// The comb bank over `n` samples in place: each sample becomes 0.2 × the sum
// of the combs' outputs (added in comb order). Runs in stretches in which no
// comb line wraps, so the inner loop has no position checks. A comb's
// position is a slot of its line; it wraps at the comb's length.
template <int N>
void comb_bank(float* work, int n, std::array<ReverbKernel::CombLine, ReverbKernel::kCombs>& lines,
               std::array<float, ReverbKernel::kCombs>& store, std::array<std::int32_t, ReverbKernel::kCombs>& pos,
               const std::array<std::int32_t, ReverbKernel::kCombs>& len, float decay, float damp, float damp_inv) {
    float st[N];
    std::int32_t at[N];
    for (int k = 0; k < N; ++k) {
        st[k] = store[k];
        at[k] = (pos[k] >= 0 && pos[k] < len[k]) ? pos[k] : 0;
    }
    int done = 0;
    while (done < n) {
        int run = n - done;
        float* line[N];
        for (int k = 0; k < N; ++k) {
            run = std::min(run, len[k] - at[k]);
            line[k] = &lines[k].at(at[k]);   // slots at[k] .. len[k] - 1 follow it
        }
        float* w = work + done;
        for (int t = 0; t < run; ++t) {
            const float x = w[t];
            float sum = 0.0f;
            for (int k = 0; k < N; ++k) {
                const float out = line[k][t];
                st[k] = out * damp_inv + st[k] * damp;
                line[k][t] = st[k] * decay + x;
                sum = sum + out;
            }
            w[t] = 0.2f * sum;
        }
        for (int k = 0; k < N; ++k) {
            at[k] += run;
            if (at[k] >= len[k]) at[k] = 0;
        }
        done += run;
    }
    for (int k = 0; k < N; ++k) {
        store[k] = st[k];
        pos[k] = at[k];
    }
}

// Delays `n` samples in place by `length` (at least one sample): each sample
// is swapped with slot `position` of the line, which then advances and wraps
// at `length`.
void output_delay(float* work, int n, std::int32_t length, std::int32_t& position, ReverbKernel::PreLine& line) {
    length = std::clamp(length, 0, ReverbKernel::kPreRoom);
    std::int32_t p = position;
    for (int t = 0; t < n; ++t) {
        if (p < 0 || p >= ReverbKernel::kPreRoom) p = 0;
        std::swap(work[t], line.at(p));
        if (++p >= length) p = 0;
    }
    position = p;
}

}  // namespace

void ReverbKernel::run_channel(float* samples, int stride, int count, int combs, float decay, float tone, float gain,
                               std::int32_t pre_len, float damp, float damp_inv, const Channel& c) {
    float* work = c.work.data();
    for (int i = 0; i < count; ++i) work[i] = samples[i * stride];
    if (combs == kCombs) {
        comb_bank<kCombs>(work, count, c.lines, c.store, c.pos, c.len, decay, damp, damp_inv);
    } else {
        comb_bank<kStereoCombs>(work, count, c.lines, c.store, c.pos, c.len, decay, damp, damp_inv);
    }
    FNC(work, count, tone, c.tone_state);
    output_delay(work, count, pre_len, c.pre_pos, c.pre_line);
    for (int i = 0; i < count; ++i) samples[i * stride] = work[i] * gain + samples[i * stride];
}

void ReverbKernel::process(const AudioBlock& b, const Params& p) {
    if (b.frames <= 0 || b.samples == nullptr) return;
    float* samples = b.samples;
    const std::int32_t frames = b.frames;
    const Channel left{comb_store_l_, comb_l_,      comb_pos_l_, kCombLenL,
                       tone_state_l_, pre_line_l_, pre_pos_l_,  rv_work_l_};
    // Mono reads decay_l (the Mono Decay bar moves the Left one).
    if (b.mono()) {
        for (std::int64_t done = 0; done < frames; done += kPass)
            run_channel(samples + done, 1, static_cast<int>(std::min<std::int64_t>(kPass, frames - done)), kCombs,
                        p.decay_l, p.tone_m, p.rv_gain_m, p.pre_len_m, p.comb_damp, p.comb_damp_inv, left);
        return;
    }
    const Channel right{comb_store_r_, comb_r_,      comb_pos_r_, kCombLenR,
                        tone_state_r_, pre_line_r_, pre_pos_r_,  rv_work_r_};
    // Each channel's output depends only on its own past, so passes give the
    // same result as one long run.
    for (std::int64_t done = 0; done < frames; done += kPass) {
        const int n = static_cast<int>(std::min<std::int64_t>(kPass, frames - done));
        run_channel(samples + 2 * done, 2, n, kStereoCombs, p.decay_l, p.tone_l, p.rv_gain_l, p.pre_len_l, p.comb_damp,
                    p.comb_damp_inv, left);
        run_channel(samples + 2 * done + 1, 2, n, kStereoCombs, p.decay_r, p.tone_r, p.rv_gain_r, p.pre_len_r,
                    p.comb_damp, p.comb_damp_inv, right);
    }
}

}  // namespace tw
