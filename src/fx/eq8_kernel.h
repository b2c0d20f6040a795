// The equaliser's per-sample work, written once and compiled twice: for AVX2
// (eq8_kernel_avx2.cpp, built with -mavx2) and for the baseline processor
// (eq8.cpp). Only those two files include it; everything with code is in an
// anonymous namespace, so neither build's functions can stand in for the
// other's.
//
// One loop over the frames runs the band set and every switched-on side
// filter, each channel through the stages in the usual order. The loop is
// skewed: in step j stage k takes frame j - k, fed by what stage k - 1 gave
// in the step before, so the stages of one step are independent and the
// processor overlaps their recursions (each a chain through a division)
// instead of paying for each in turn. The loop is built for every
// combination of switches (chosen once per call), so it holds exactly the
// memories it uses.
//
// Bands travel two (baseline) or four (AVX2) to a vector of doubles; stereo
// pairs the channels band by band, mono takes the bands in order. The
// divisions bound the band set, so only the nine weighted bands are worked
// in stereo. The side filters carry left and right in one vector of two
// doubles. Every operation is lane by lane in the order of the scalar steps,
// and the weighted band sum is added in band order, so each output is
// exactly the scalar one. Neither build fuses multiplies and adds.
//
// Audio thread: no allocation.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "fx/eq8_filters.h"   // only for kLowCutGain: no function of it is used here

// The vector helpers below are always inlined and never cross a call
// boundary, so the note about 32-byte vector arguments does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace tw::eq8 {

typedef double D4 __attribute__((vector_size(32)));
typedef float F4 __attribute__((vector_size(16)));
typedef double D2 __attribute__((vector_size(16)));
typedef float F2 __attribute__((vector_size(8)));

// Stages of one call.
inline constexpr int kEq = 1, kHp = 2, kLp = 4, kShelf = 8, kSpeaker = 16, kLowCut = 32;
// Band lanes: stereo interleaves the channels band by band (left 0, right 0,
// left 1, ...); mono takes the first ten, and two more of padding.
inline constexpr int kBandLanes = 20;
constexpr int band_lane(bool stereo, int channel, int band) { return stereo ? 2 * band + channel : band; }

// Two-pole memories and coefficients (32-bit values in doubles); lanes left
// and right, mono in lane 0.
struct TwoPoleWork {
    D2 a0, a1, a2;
    D2 x1, x2, y1, y2;
};

// A call's working copy of the equaliser: settings and memories.
struct Work {
    int stages = 0;
    // Band set (32-bit values in doubles; padding lanes a0 1, gain 0), lane
    // band_lane(stereo, c, b) for band b of channel c.
    alignas(32) double a0[kBandLanes], a1[kBandLanes], a2[kBandLanes], gain[kBandLanes];
    alignas(32) double x1[kBandLanes], x2[kBandLanes], y1[kBandLanes], y2[kBandLanes];
    // Smoother and master gain, and the latest band sum, per channel.
    double h[2], one_minus_h[2];
    float h_state[2], master[2];
    double band_sum[2];
    // Side filters.
    TwoPoleWork hp, shelf;
    double shelf_gain;
    double lp_f, lp_fb;
    D2 lp_input, lp_out[4], lp_in[4];
    double spk_gain, spk_c[5];
    D2 spk_x[6], spk_y[6];
    double lowcut_x[6], lowcut_y[6];   // mono only
};

// The AVX2 build of run_kernel (eq8_kernel_avx2.cpp); call it only when the
// processor has AVX2.
void run_kernel_avx2(Work& w, float* samples, std::int64_t frames, bool stereo);

namespace {

// Rounds every lane to a 32-bit float (kept in doubles).
[[gnu::always_inline]] inline double f32(double v) { return static_cast<float>(v); }
[[gnu::always_inline]] inline D2 f32(D2 v) { return __builtin_convertvector(__builtin_convertvector(v, F2), D2); }
[[gnu::always_inline]] inline D4 f32(D4 v) { return __builtin_convertvector(__builtin_convertvector(v, F4), D4); }

// Stage memories held in locals: T is double (mono) or D2 (left, right).
template <class T>
[[gnu::always_inline]] inline T lanes(D2 v) {
    if constexpr (sizeof(T) == sizeof(double)) return v[0];
    else return v;
}
template <class T>
[[gnu::always_inline]] inline void put_lanes(D2& v, T t) {
    if constexpr (sizeof(T) == sizeof(double)) v[0] = t;
    else v = t;
}

template <class T>
struct TwoPoleLocal {
    T a0, a1, a2, x1, x2, y1, y2;
    [[gnu::always_inline]] void load(const TwoPoleWork& w) {
        a0 = lanes<T>(w.a0), a1 = lanes<T>(w.a1), a2 = lanes<T>(w.a2);
        x1 = lanes<T>(w.x1), x2 = lanes<T>(w.x2), y1 = lanes<T>(w.y1), y2 = lanes<T>(w.y2);
    }
    [[gnu::always_inline]] void save(TwoPoleWork& w) const {
        put_lanes(w.x1, x1), put_lanes(w.x2, x2), put_lanes(w.y1, y1), put_lanes(w.y2, y2);
    }
    // The high-pass step: ((x - 2 x1) + x2 - (a1 y1 + a2 y2)) / a0, rounded.
    [[gnu::always_inline]] T step(T x) {
        const T num = ((x - (x1 + x1)) + x2) - (a1 * y1 + a2 * y2);
        const T y = f32(num / a0);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

template <class T>
struct FourPoleLocal {
    double k, one_minus_f, fb;
    T input, out1, out2, out3, out4, in1, in2, in3, in4;
    [[gnu::always_inline]] void load(const Work& w) {
        const double f = w.lp_f;
        k = (f * f) * 0.35013 * (f * f);
        one_minus_f = 1.0 - f;
        fb = w.lp_fb;
        input = lanes<T>(w.lp_input);
        out1 = lanes<T>(w.lp_out[0]), out2 = lanes<T>(w.lp_out[1]);
        out3 = lanes<T>(w.lp_out[2]), out4 = lanes<T>(w.lp_out[3]);
        in1 = lanes<T>(w.lp_in[0]), in2 = lanes<T>(w.lp_in[1]), in3 = lanes<T>(w.lp_in[2]), in4 = lanes<T>(w.lp_in[3]);
    }
    [[gnu::always_inline]] void save(Work& w) const {
        put_lanes(w.lp_input, input);
        put_lanes(w.lp_out[0], out1), put_lanes(w.lp_out[1], out2);
        put_lanes(w.lp_out[2], out3), put_lanes(w.lp_out[3], out4);
        put_lanes(w.lp_in[0], in1), put_lanes(w.lp_in[1], in2), put_lanes(w.lp_in[2], in3), put_lanes(w.lp_in[3], in4);
    }
    // Four one-pole stages with a zero each, fed back from the last.
    [[gnu::always_inline]] T step(T x) {
        input = k * (x - out4 * fb);
        out1 = 0.3 * in1 + input + one_minus_f * out1;
        in1 = input;
        out2 = 0.3 * in2 + out1 + one_minus_f * out2;
        in2 = out1;
        out3 = 0.3 * in3 + out2 + one_minus_f * out3;
        in3 = out2;
        out4 = 0.3 * in4 + out3 + one_minus_f * out4;
        in4 = out3;
        return f32(out4);
    }
};

// Fifth-order histories, oldest first.
template <class T>
struct FifthOrderLocal {
    T x0, x1, x2, x3, x4, x5, y0, y1, y2, y3, y4, y5;
    [[gnu::always_inline]] void load(const T* x, const T* y) {
        x0 = x[0], x1 = x[1], x2 = x[2], x3 = x[3], x4 = x[4], x5 = x[5];
        y0 = y[0], y1 = y[1], y2 = y[2], y3 = y[3], y4 = y[4], y5 = y[5];
    }
    [[gnu::always_inline]] void save(T* x, T* y) const {
        x[0] = x0, x[1] = x1, x[2] = x2, x[3] = x3, x[4] = x4, x[5] = x5;
        y[0] = y0, y[1] = y1, y[2] = y2, y[3] = y3, y[4] = y4, y[5] = y5;
    }
    [[gnu::always_inline]] void shift_in(T in) {
        x0 = x1, x1 = x2, x2 = x3, x3 = x4, x4 = x5, x5 = in;
        y0 = y1, y1 = y2, y2 = y3, y3 = y4, y4 = y5;
    }
    // Speaker simulator: numerator 1 5 10 10 5 1, feedback c.
    [[gnu::always_inline]] T speaker(T s, double gain, const double* c) {
        shift_in(s / gain);
        y5 = (x0 + x5) + 5.0 * (x1 + x4) + 10.0 * (x2 + x3) + c[0] * y0 + c[1] * y1 + c[2] * y2 + c[3] * y3 +
             c[4] * y4;
        return f32(y5);
    }
    // Low cut: a fifth-order high-pass.
    [[gnu::always_inline]] T low_cut(T s) {
        shift_in(s / kLowCutGain);
        y5 = (x5 - x0) + 5.0 * (x1 - x4) + 10.0 * (x3 - x2) + 0.961746123 * y0 - 4.8462783871 * y1 +
             9.7683493471 * y2 - 9.8448479614 * y3 + 4.961030878 * y4;
        return f32(y5);
    }
};

// The band set, smoother and master gain of one or two channels, in vectors
// of four doubles (AVX2 build) or two (baseline build): stereo has a left and
// right pair of lanes per band, mono the bands in order.
#if defined(__AVX__)
using BandVec = D4;
#else
using BandVec = D2;
#endif
template <bool Stereo>
struct EqLocal {
    using T = std::conditional_t<Stereo, D2, double>;
    static constexpr int width = sizeof(BandVec) / sizeof(double);
    // The nine bands' lanes rounded up to whole vectors (the tenth band is
    // padding, never weighted).
    static constexpr int lanes = ((Stereo ? 18 : 9) + width - 1) / width * width;
    static constexpr int nv = lanes / width;
    BandVec a0[nv], a1[nv], a2[nv], g[nv], x1[nv], x2[nv], y1[nv], y2[nv];
    T h, one_minus_h, band_sum, h_state;
    std::conditional_t<Stereo, F2, float> master;

    [[gnu::always_inline]] static BandVec get(const double* p, int k) {
        BandVec v;
        __builtin_memcpy(&v, p + k * width, sizeof v);
        return v;
    }
    [[gnu::always_inline]] static void put(double* p, int k, BandVec v) { __builtin_memcpy(p + k * width, &v, sizeof v); }

    [[gnu::always_inline]] void load(const Work& w) {
        for (int k = 0; k < nv; ++k) {
            a0[k] = get(w.a0, k), a1[k] = get(w.a1, k), a2[k] = get(w.a2, k), g[k] = get(w.gain, k);
            x1[k] = get(w.x1, k), x2[k] = get(w.x2, k), y1[k] = get(w.y1, k), y2[k] = get(w.y2, k);
        }
        if constexpr (Stereo) {
            h = D2{w.h[0], w.h[1]}, one_minus_h = D2{w.one_minus_h[0], w.one_minus_h[1]};
            band_sum = D2{w.band_sum[0], w.band_sum[1]}, h_state = D2{w.h_state[0], w.h_state[1]};
            master = F2{w.master[0], w.master[1]};
        } else {
            h = w.h[0], one_minus_h = w.one_minus_h[0], band_sum = w.band_sum[0], h_state = w.h_state[0];
            master = w.master[0];
        }
    }
    [[gnu::always_inline]] void save(Work& w) const {
        for (int k = 0; k < nv; ++k) put(w.x1, k, x1[k]), put(w.x2, k, x2[k]), put(w.y1, k, y1[k]), put(w.y2, k, y2[k]);
        for (int c = 0; c < (Stereo ? 2 : 1); ++c) {
            if constexpr (Stereo) w.band_sum[c] = band_sum[c], w.h_state[c] = static_cast<float>(h_state[c]);
            else w.band_sum[c] = band_sum, w.h_state[c] = static_cast<float>(h_state);
        }
    }
    // Band pair b (left, right) of the products.
    [[gnu::always_inline]] static D2 pair(const BandVec* p, int b) {
#if defined(__AVX__)
        if (b % 2 == 0) return __builtin_shufflevector(p[b / 2], p[b / 2], 0, 1);
        return __builtin_shufflevector(p[b / 2], p[b / 2], 2, 3);
#else
        return p[b];
#endif
    }
    // Every band: (x - x2 - a1 y1 - a2 y2) / a0, rounded; then the weighted
    // sum in band order, the smoother and the master gain.
    [[gnu::always_inline]] T step(T x) {
        BandVec in;
        if constexpr (!Stereo) {
            for (int i = 0; i < width; ++i) in[i] = x;
        } else {
            for (int i = 0; i < width; ++i) in[i] = x[i % 2];
        }
        BandVec p[nv];
        for (int k = 0; k < nv; ++k) {
            const BandVec y = f32((((in - x2[k]) - a1[k] * y1[k]) - a2[k] * y2[k]) / a0[k]);
            y2[k] = y1[k];
            y1[k] = y;
            x2[k] = x1[k];
            x1[k] = in;
            p[k] = y * g[k];
        }
        T sum = T{};
        for (int b = 0; b < 9; ++b) {
            if constexpr (Stereo) sum = pair(p, b) + sum;
            else sum = p[b / width][b % width] + sum;
        }
        band_sum = sum;
        h_state = f32(h_state * h + one_minus_h * sum);
        if constexpr (Stereo) return __builtin_convertvector(__builtin_convertvector(h_state, F2) * master, D2);
        else return static_cast<float>(h_state) * master;
    }
};

// The stages of a call in processing order.
constexpr int kOrder[] = {kEq, kHp, kLp, kShelf, kSpeaker, kLowCut};
constexpr int stage_count(int stages) {
    int n = 0;
    for (int b : kOrder) n += (stages & b) != 0;
    return n;
}
// The k-th stage that runs.
constexpr int nth_stage(int stages, int k) {
    for (int b : kOrder)
        if ((stages & b) != 0 && k-- == 0) return b;
    return 0;
}

template <int Stages, bool Stereo>
struct Pipeline {
    using T = std::conditional_t<Stereo, D2, double>;
    static constexpr int n = stage_count(Stages);
    static constexpr int nch = Stereo ? 2 : 1;

    EqLocal<Stereo> eq;
    TwoPoleLocal<T> hp, shelf;
    FourPoleLocal<T> lp;
    FifthOrderLocal<T> spk;
    FifthOrderLocal<double> cut;
    double shelf_gain, spk_gain, spk_c[5];
    // out[k]: stage k's latest output.
    T out[n > 0 ? n : 1] = {};

    [[gnu::always_inline]] void load(const Work& w) {
        if constexpr ((Stages & kEq) != 0) eq.load(w);
        if constexpr ((Stages & kHp) != 0) hp.load(w.hp);
        if constexpr ((Stages & kLp) != 0) lp.load(w);
        if constexpr ((Stages & kShelf) != 0) shelf.load(w.shelf), shelf_gain = w.shelf_gain;
        if constexpr ((Stages & kSpeaker) != 0) {
            spk_gain = w.spk_gain;
            for (int i = 0; i < 5; ++i) spk_c[i] = w.spk_c[i];
            if constexpr (Stereo) {
                spk.load(w.spk_x, w.spk_y);
            } else {
                double x[6], y[6];
                for (int i = 0; i < 6; ++i) x[i] = w.spk_x[i][0], y[i] = w.spk_y[i][0];
                spk.load(x, y);
            }
        }
        if constexpr ((Stages & kLowCut) != 0) cut.load(w.lowcut_x, w.lowcut_y);
    }
    [[gnu::always_inline]] void save(Work& w) const {
        if constexpr ((Stages & kEq) != 0) eq.save(w);
        if constexpr ((Stages & kHp) != 0) hp.save(w.hp);
        if constexpr ((Stages & kLp) != 0) lp.save(w);
        if constexpr ((Stages & kShelf) != 0) shelf.save(w.shelf);
        if constexpr ((Stages & kSpeaker) != 0) {
            if constexpr (Stereo) {
                spk.save(w.spk_x, w.spk_y);
            } else {
                double x[6], y[6];
                spk.save(x, y);
                for (int i = 0; i < 6; ++i) w.spk_x[i][0] = x[i], w.spk_y[i][0] = y[i];
            }
        }
        if constexpr ((Stages & kLowCut) != 0) cut.save(w.lowcut_x, w.lowcut_y);
    }

    template <int K>
    [[gnu::always_inline]] T step(T x) {
        constexpr int stage = nth_stage(Stages, K);
        if constexpr (stage == kEq) return eq.step(x);
        else if constexpr (stage == kHp) return hp.step(x);
        else if constexpr (stage == kLp) return lp.step(x);
        else if constexpr (stage == kShelf) return f32(x + shelf.step(x) * shelf_gain);
        else if constexpr (stage == kSpeaker) return spk.speaker(x, spk_gain, spk_c);
        else return cut.low_cut(x);
    }
    [[gnu::always_inline]] static T read(const float* s, std::int64_t f) {
        if constexpr (Stereo) return D2{s[2 * f], s[2 * f + 1]};
        else return s[f];
    }
    [[gnu::always_inline]] static void write(float* s, std::int64_t f, T x) {
        if constexpr (Stereo) s[2 * f] = static_cast<float>(x[0]), s[2 * f + 1] = static_cast<float>(x[1]);
        else s[f] = static_cast<float>(x);
    }

    // Step j: stage k takes frame j - k, fed by what stage k - 1 gave in
    // step j - 1, so the stages of one step do not wait for each other.
    // Stages run from the last down, each reading its input before the
    // stage before it replaces it. In a full step every stage has a frame.
    // Stage k on its next frame: the sample of frame j (k = 0) or what stage
    // k - 1 gave last.
    template <int K>
    [[gnu::always_inline]] void advance(const float* s, std::int64_t j) {
        if constexpr (K == 0) out[0] = step<0>(read(s, j));
        else out[K] = step<K>(out[K - 1]);
    }
    // Step j: stage k takes frame j - k, fed by what stage k - 1 gave in
    // step j - 1, so the stages of one step do not wait for each other (the
    // processor overlaps their recursions). Stages run from the last down,
    // each reading its input before the stage before it replaces it. In a
    // full step every stage has a frame; otherwise only those whose frame
    // is in the buffer run.
    template <bool Full, int... K>
    [[gnu::always_inline]] void run_step(float* s, std::int64_t j, std::int64_t frames,
                                         std::integer_sequence<int, K...>) {
        const auto has = [j, frames](int k) { return Full || (j - k >= 0 && j - k < frames); };
        ((has(n - 1 - K) ? advance<n - 1 - K>(s, j) : void()), ...);
        if (has(n - 1)) write(s, j - (n - 1), out[n - 1]);
    }
};

template <int Stages, bool Stereo>
void run_frames(Work& w, float* s, std::int64_t frames) {
    if constexpr (Stages == 0) return;
    Pipeline<Stages, Stereo> p;
    p.load(w);
    constexpr int n = Pipeline<Stages, Stereo>::n;
    constexpr auto ks = std::make_integer_sequence<int, n>{};
    // Steps 0 .. n - 2 fill the pipeline, the last n - 1 drain it.
    std::int64_t j = 0;
    for (; j < n - 1 && j < frames + n - 1; ++j) p.template run_step<false>(s, j, frames, ks);
    for (; j < frames; ++j) p.template run_step<true>(s, j, frames, ks);
    for (; j < frames + n - 1; ++j) p.template run_step<false>(s, j, frames, ks);
    p.save(w);
}

// The loop for w.stages (the low cut only in mono).
template <bool Stereo, int... S>
[[gnu::always_inline]] inline void dispatch(Work& w, float* s, std::int64_t frames, std::integer_sequence<int, S...>) {
    const int stages = Stereo ? (w.stages & ~kLowCut) : w.stages;
    (void)((stages == S ? (run_frames<S, Stereo>(w, s, frames), true) : false) || ...);
}

[[gnu::always_inline]] inline void run_kernel(Work& w, float* samples, std::int64_t frames, bool stereo) {
    if (stereo) dispatch<true>(w, samples, frames, std::make_integer_sequence<int, kLowCut>{});
    else dispatch<false>(w, samples, frames, std::make_integer_sequence<int, 2 * kLowCut>{});
}

}  // namespace
}  // namespace tw::eq8
