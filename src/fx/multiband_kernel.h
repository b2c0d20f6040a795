// The per-sample work of one multiband bank, written once and compiled
// twice: for AVX2 (multiband_kernel_avx2.cpp, built with -mavx2) and for the
// baseline processor (multiband_bank.cpp). Only those two files include it.
//
// Four bands travel together in one vector of doubles; every operation is
// lane by lane in the order of the per-band steps, so each band's result is
// exactly the scalar one (only the final sum is added in another order).
// Neither build fuses multiplies and adds.
//
// A pass runs in blocks of kBlock samples, each in four stages over a small
// block buffer (so the two filter recursions run with their memories in
// registers): first filters, shaper, second stage, weighted sum.
//
// Audio thread: no allocation.
#pragma once

#include "fx/multiband_work.h"

#if defined(__AVX__)
#include <immintrin.h>
#endif

// The vector helpers below are always inlined and never cross a call
// boundary, so the note about 32-byte vector arguments does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace tw::multiband {

// Runs `banks` (1 or 2) banks over `count` samples each: w[k] over x[k].
void run_kernel_avx2(Work* const* w, float* const* x, int banks, int flags, int count);
void run_kernel_baseline(Work* const* w, float* const* x, int banks, int flags, int count);

namespace {

[[gnu::always_inline]] inline D4 splat(double v) { return D4{v, v, v, v}; }

// Rounds four doubles to 32-bit values.
[[gnu::always_inline]] inline D4 to_f32(D4 v) {
#if defined(__AVX__)
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(v));
#else
    return __builtin_convertvector(__builtin_convertvector(v, F4), D4);
#endif
}

// Stage 1: y = (x - x[n-2] - a1*y[n-1] - a2*y[n-2]) / a0 for every band of
// each of the B banks, into the block buffers. With two banks the two
// recursions run side by side.
template <int B>
[[gnu::always_inline]] inline void first_filters(Work* const* w, float* const* x, int at, int n) {
    // y[n-1] stays in registers; y[n-2] is read back from the block buffer,
    // whose rows 0 and 1 hold the two outputs before the block.
    D4 y1[B][kVectors];
    double x1[B], x2[B];
    for (int k = 0; k < B; ++k) {
        for (int j = 0; j < kVectors; ++j) {
            y1[k][j] = w[k]->y1[j];
            w[k]->raw[0][j] = w[k]->y2[j];
            w[k]->raw[1][j] = w[k]->y1[j];
        }
        x1[k] = w[k]->x1;
        x2[k] = w[k]->x2;
    }
    for (int i = 0; i < n; ++i) {
#pragma GCC unroll 2
        for (int k = 0; k < B; ++k) {
            const double xs = x[k][at + i];
            const D4 d = splat(xs - x2[k]);
            x2[k] = x1[k];
            x1[k] = xs;
            Work& wk = *w[k];
#pragma GCC unroll 4
            for (int j = 0; j < kVectors; ++j) {
                const D4 y = to_f32(((d - wk.a1[j] * y1[k][j]) - wk.a2[j] * wk.raw[i][j]) / wk.a0[j]);
                y1[k][j] = y;
                wk.raw[i + 2][j] = y;
            }
        }
    }
    for (int k = 0; k < B; ++k) {
        for (int j = 0; j < kVectors; ++j) {
            w[k]->y1[j] = w[k]->raw[n + 1][j];
            w[k]->y2[j] = w[k]->raw[n][j];
        }
        w[k]->x1 = x1[k];
        w[k]->x2 = x2[k];
    }
}

// The sum of one sample's weighted bands, as a double: the products are
// exact (two 32-bit values), summed pairwise across the four vectors and
// then across lanes. That order differs from band order only by double
// rounding, far below the 32-bit rounding of the result.
[[gnu::always_inline]] inline double weighted_sum(const D4* s, const D4* gain) {
    const D4 g = (s[0] * gain[0] + s[1] * gain[1]) + (s[2] * gain[2] + s[3] * gain[3]);
    return (g[0] + g[2]) + (g[1] + g[3]);
}

// Stage 2: the shaper of every band signal in a block buffer: fold-back
// (beyond +-F towards 0, reaching 0 at +-16000, then growing again with slope
// t/2), then soft clip (slope k above the threshold h, which is positive).
// Without a second stage the weighted sum follows at once.
template <bool Fold, bool Clip, bool Sum>
[[gnu::always_inline]] inline void shape(Work& w, float* out, int n) {
    const D4 F = splat(w.fold_level), nF = -F, t = splat(w.fold_level / kFoldEnd);
    // (v - 16000) * 0.5 * t as one product: halving is exact.
    const D4 ht = splat(0.5 * (w.fold_level / kFoldEnd));
    const D4 end = splat(kFoldEnd), nend = -end;
    const D4 k = splat(w.k), k1 = splat(1.0 - w.k);
    for (int i = 0; i < n; ++i) {
        if constexpr (!(Fold || Clip)) {
            for (int j = 0; j < kVectors; ++j) w.band[i + 2][j] = w.raw[i + 2][j];
        } else {
#pragma GCC unroll 4
            for (int j = 0; j < kVectors; ++j) {
                D4 v = w.raw[i + 2][j];
                if constexpr (Fold) {
                    const D4 u = v >= end ? (v - end) * ht : (v >= F ? F - t * v : v);
                    v = u < nend ? (u + end) * ht : (u < nF ? nF - t * u : u);
                }
                if constexpr (Clip) {
                    const D4 h = w.thr[j];
                    const D4 up = k * v + k1 * h;
                    const D4 down = -(k * -v + k1 * h);
                    v = v >= h ? up : (-v > h ? down : v);
                }
                w.band[i + 2][j] = to_f32(v);
            }
        }
        if constexpr (Sum) {
            w.acc = weighted_sum(w.band[i + 2], w.gain);
            out[i] = static_cast<float>(w.acc);
        }
    }
}

// Stage 3: the second band filter, w = (o - p2 - c1*q1 - c2*q2) / c0 (bands
// without one give 0 and keep their memories), then the weighted sum; the B
// banks side by side.
template <int B>
[[gnu::always_inline]] inline void second_stage(Work* const* w, float* const* x, int at, int n) {
    D4 q1[B][kVectors], q2[B][kVectors];
    for (int k = 0; k < B; ++k) {
        for (int j = 0; j < kVectors; ++j) {
            q1[k][j] = w[k]->q1[j];
            q2[k][j] = w[k]->q2[j];
        }
    }
    for (int i = 0; i < n; ++i) {
#pragma GCC unroll 2
        for (int k = 0; k < B; ++k) {
            Work& wk = *w[k];
#pragma GCC unroll 4
            for (int j = 0; j < kVectors; ++j) {
                const D4 o = wk.band[i + 2][j];
                const D4 z = to_f32((((o - wk.band[i][j]) - wk.c1[j] * q1[k][j]) - wk.c2[j] * q2[k][j]) / wk.c0[j]);
                q2[k][j] = q1[k][j];
                q1[k][j] = z;
                wk.band2[i][j] = z * wk.live2[j];
            }
            wk.acc = weighted_sum(wk.band2[i], wk.gain);
            x[k][at + i] = static_cast<float>(wk.acc);
        }
    }
    for (int k = 0; k < B; ++k) {
        for (int j = 0; j < kVectors; ++j) {
            const auto live = w[k]->live2[j] != splat(0.0);
            w[k]->q1[j] = live ? q1[k][j] : w[k]->q1[j];
            w[k]->q2[j] = live ? q2[k][j] : w[k]->q2[j];
        }
    }
}

// One pass of `count` samples through B banks, each over its own samples.
template <int B, bool Fold, bool Clip, bool Filter2>
[[gnu::always_inline]] inline void run_pass(Work* const* w, float* const* x, int count) {
    if constexpr (Filter2) {
        for (int k = 0; k < B; ++k) {
            for (int j = 0; j < kVectors; ++j) {
                w[k]->band[0][j] = w[k]->p2[j];
                w[k]->band[1][j] = w[k]->p1[j];
            }
        }
    }
    for (int done = 0; done < count; done += kBlock) {
        const int n = count - done < kBlock ? count - done : kBlock;
        first_filters<B>(w, x, done, n);
        for (int k = 0; k < B; ++k) shape<Fold, Clip, !Filter2>(*w[k], x[k] + done, n);
        if constexpr (Filter2) second_stage<B>(w, x, done, n);
        for (int k = 0; k < B; ++k) {
            Work& wk = *w[k];
            for (int j = 0; j < kVectors; ++j) {
                wk.out[j] = wk.band[n + 1][j];
                if constexpr (Filter2) {
                    wk.out2[j] = wk.band2[n - 1][j];
                    wk.band[0][j] = wk.band[n][j];
                    wk.band[1][j] = wk.band[n + 1][j];
                }
            }
        }
    }
    if constexpr (Filter2) {
        // Bands without a second stage keep their input memories.
        for (int k = 0; k < B; ++k) {
            for (int j = 0; j < kVectors; ++j) {
                const auto live = w[k]->live2[j] != splat(0.0);
                w[k]->p2[j] = live ? w[k]->band[0][j] : w[k]->p2[j];
                w[k]->p1[j] = live ? w[k]->band[1][j] : w[k]->p1[j];
            }
        }
    }
}

template <int B>
[[gnu::always_inline]] inline void run_flags(Work* const* w, float* const* x, int flags, int count) {
    switch (flags & 7) {
        case 0: run_pass<B, false, false, false>(w, x, count); break;
        case kFold: run_pass<B, true, false, false>(w, x, count); break;
        case kClip: run_pass<B, false, true, false>(w, x, count); break;
        case kFold | kClip: run_pass<B, true, true, false>(w, x, count); break;
        case kFilter2: run_pass<B, false, false, true>(w, x, count); break;
        case kFold | kFilter2: run_pass<B, true, false, true>(w, x, count); break;
        case kClip | kFilter2: run_pass<B, false, true, true>(w, x, count); break;
        default: run_pass<B, true, true, true>(w, x, count); break;
    }
}

// Runs one bank, or two side by side (their own samples, the same flags).
[[gnu::always_inline]] inline void run_banks(Work* const* w, float* const* x, int banks, int flags, int count) {
    if (banks == 2) run_flags<2>(w, x, flags, count);
    else run_flags<1>(w, x, flags, count);
}

}  // namespace
}  // namespace tw::multiband
