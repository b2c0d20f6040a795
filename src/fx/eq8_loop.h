// The equaliser's per-sample work, written once and compiled twice: for AVX2
// (eq8_kernel_avx2.cpp, built with -mavx2) and for the baseline processor
// (eq8_kernel.cpp). Only those two files include it; everything with code is in an
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
// The loop reads the call's parameters and the kernel's memories directly:
// each stage takes its memories into locals when the call starts and puts
// them back when it ends.
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
#include "fx/eq8_kernel.h"

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
// The AVX2 build of run_kernel (eq8_kernel_avx2.cpp); call it only when the
// processor has AVX2.
void run_kernel_avx2(const Eq8Kernel::Params& p, Eq8Memories& m, int stages, float* samples, std::int64_t frames,
                     bool stereo);

namespace {

// Rounds every lane to a 32-bit float (kept in doubles).
[[gnu::always_inline]] inline double f32(double v) { return static_cast<float>(v); }
[[gnu::always_inline]] inline D2 f32(D2 v) { return __builtin_convertvector(__builtin_convertvector(v, F2), D2); }
[[gnu::always_inline]] inline D4 f32(D4 v) { return __builtin_convertvector(__builtin_convertvector(v, F4), D4); }

// Stage memories held in locals: T is double (mono, the left value only)
// or D2 (left, right).
template <class T>
[[gnu::always_inline]] inline T lanes(double left, double right) {
    if constexpr (sizeof(T) == sizeof(double)) return left;
    else return D2{left, right};
}
template <class T, class U>
[[gnu::always_inline]] inline void put_lanes(U& left, U& right, T t) {
    if constexpr (sizeof(T) == sizeof(double)) {
        left = static_cast<U>(t);
    } else {
        left = static_cast<U>(t[0]);
        right = static_cast<U>(t[1]);
    }
}

template <class T>
struct TwoPoleLocal {
    T a0, a1, a2, x1, x2, y1, y2;
    using Coefs = dsp::BiquadCoefs<float>;
    using State = dsp::BiquadState<float>;
    [[gnu::always_inline]] void load(const Coefs& c, const State& l, const State& r) {
        a0 = lanes<T>(c.a0, c.a0), a1 = lanes<T>(c.a1, c.a1), a2 = lanes<T>(c.a2, c.a2);
        x1 = lanes<T>(l.x1, r.x1), x2 = lanes<T>(l.x2, r.x2), y1 = lanes<T>(l.y1, r.y1), y2 = lanes<T>(l.y2, r.y2);
    }
    // The memories hold 32-bit values, so the round trip is exact.
    [[gnu::always_inline]] void save(State& l, State& r) const {
        put_lanes(l.x1, r.x1, x1), put_lanes(l.x2, r.x2, x2), put_lanes(l.y1, r.y1, y1), put_lanes(l.y2, r.y2, y2);
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
    using State = dsp::FourPoleState;
    // Cut-off factor lp_fc * 1.16, feedback (1 - 0.15 f^2) * lp_res.
    [[gnu::always_inline]] void load(const Eq8Kernel::Params& p, const State& l, const State& r) {
        const double f = p.lp_fc * 1.16;
        fb = (1.0 - 0.15 * f * f) * p.lp_res;
        k = (f * f) * 0.35013 * (f * f);
        one_minus_f = 1.0 - f;
        input = lanes<T>(l.input, r.input);
        out1 = lanes<T>(l.out1, r.out1), out2 = lanes<T>(l.out2, r.out2);
        out3 = lanes<T>(l.out3, r.out3), out4 = lanes<T>(l.out4, r.out4);
        in1 = lanes<T>(l.in1, r.in1), in2 = lanes<T>(l.in2, r.in2), in3 = lanes<T>(l.in3, r.in3), in4 = lanes<T>(l.in4, r.in4);
    }
    [[gnu::always_inline]] void save(State& l, State& r) const {
        put_lanes(l.input, r.input, input);
        put_lanes(l.out1, r.out1, out1), put_lanes(l.out2, r.out2, out2);
        put_lanes(l.out3, r.out3, out3), put_lanes(l.out4, r.out4, out4);
        put_lanes(l.in1, r.in1, in1), put_lanes(l.in2, r.in2, in2), put_lanes(l.in3, r.in3, in3), put_lanes(l.in4, r.in4, in4);
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
    [[gnu::always_inline]] void load(const FifthOrderState& l, const FifthOrderState& r) {
        x0 = lanes<T>(l.x[0], r.x[0]), x1 = lanes<T>(l.x[1], r.x[1]), x2 = lanes<T>(l.x[2], r.x[2]);
        x3 = lanes<T>(l.x[3], r.x[3]), x4 = lanes<T>(l.x[4], r.x[4]), x5 = lanes<T>(l.x[5], r.x[5]);
        y0 = lanes<T>(l.y[0], r.y[0]), y1 = lanes<T>(l.y[1], r.y[1]), y2 = lanes<T>(l.y[2], r.y[2]);
        y3 = lanes<T>(l.y[3], r.y[3]), y4 = lanes<T>(l.y[4], r.y[4]), y5 = lanes<T>(l.y[5], r.y[5]);
    }
    [[gnu::always_inline]] void save(FifthOrderState& l, FifthOrderState& r) const {
        put_lanes(l.x[0], r.x[0], x0), put_lanes(l.x[1], r.x[1], x1), put_lanes(l.x[2], r.x[2], x2);
        put_lanes(l.x[3], r.x[3], x3), put_lanes(l.x[4], r.x[4], x4), put_lanes(l.x[5], r.x[5], x5);
        put_lanes(l.y[0], r.y[0], y0), put_lanes(l.y[1], r.y[1], y1), put_lanes(l.y[2], r.y[2], y2);
        put_lanes(l.y[3], r.y[3], y3), put_lanes(l.y[4], r.y[4], y4), put_lanes(l.y[5], r.y[5], y5);
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

    // Lane i of vector k: band b of set c (mono: band k * width + i of the
    // first set; stereo: the sets alternate band by band). Lanes past the
    // table are padding: a harmless step (a0 1) with gain 0.
    static constexpr int set_of(int k, int i) { return Stereo ? (k * width + i) % 2 : 0; }
    static constexpr int band_of(int k, int i) { return Stereo ? (k * width + i) / 2 : k * width + i; }
    static_assert((Stereo ? (lanes - 1) / 2 : lanes - 1) < EqBandMemory::kLanes, "every lane has its memories");

    [[gnu::always_inline]] void load(const Eq8Kernel::Params& p, const Eq8Memories& m) {
        for (int k = 0; k < nv; ++k) {
            for (int i = 0; i < width; ++i) {
                const EqBandSet& s = set_of(k, i) == 0 ? p.pre_eq : p.post_eq;
                const EqBandMemory& mem = set_of(k, i) == 0 ? m.pre_eq : m.post_eq;
                const int b = band_of(k, i);
                const bool table = b < EqBandSet::kLanes;
                a0[k][i] = table ? s.a0[b] : 1.0;
                a1[k][i] = table ? s.a1[b] : 0.0;
                a2[k][i] = table ? s.a2[b] : 0.0;
                g[k][i] = b < EqBandSet::kBands ? static_cast<double>(s.band_gain[b]) : 0.0;
                x1[k][i] = mem.x1[b], x2[k][i] = mem.x2[b], y1[k][i] = mem.y1[b], y2[k][i] = mem.y2[b];
            }
        }
        if constexpr (Stereo) {
            const double hl = p.hcut_l, hr = p.hcut_r;
            h = D2{hl, hr}, one_minus_h = D2{1.0 - hl, 1.0 - hr};
            band_sum = D2{m.pre_eq.band_sum, m.post_eq.band_sum}, h_state = D2{m.hcut_state_l, m.hcut_state_r};
            master = F2{p.pre_eq.master_gain, p.post_eq.master_gain};
        } else {
            const double hm = p.hcut_m;
            h = hm, one_minus_h = 1.0 - hm, band_sum = m.pre_eq.band_sum, h_state = m.hcut_state_m;
            master = p.pre_eq.master_gain;
        }
    }
    [[gnu::always_inline]] void save(Eq8Memories& m) const {
        for (int k = 0; k < nv; ++k) {
            for (int i = 0; i < width; ++i) {
                EqBandMemory& mem = set_of(k, i) == 0 ? m.pre_eq : m.post_eq;
                const int b = band_of(k, i);
                mem.x1[b] = x1[k][i], mem.x2[b] = x2[k][i], mem.y1[b] = y1[k][i], mem.y2[b] = y2[k][i];
            }
        }
        if constexpr (Stereo) {
            m.pre_eq.band_sum = band_sum[0], m.post_eq.band_sum = band_sum[1];
            m.hcut_state_l = static_cast<float>(h_state[0]), m.hcut_state_r = static_cast<float>(h_state[1]);
        } else {
            m.pre_eq.band_sum = band_sum, m.hcut_state_m = static_cast<float>(h_state);
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

    // Stereo left takes the b memories of the two-pole stages; mono and
    // stereo right the a ones. The others keep a for mono and left.
    [[gnu::always_inline]] void load(const Eq8Kernel::Params& p, const Eq8Memories& m) {
        if constexpr ((Stages & kEq) != 0) eq.load(p, m);
        if constexpr ((Stages & kHp) != 0) hp.load(p.hp_coefs, Stereo ? m.hp_state_b : m.hp_state_a, m.hp_state_a);
        if constexpr ((Stages & kLp) != 0) lp.load(p, m.lp_state_a, m.lp_state_b);
        if constexpr ((Stages & kShelf) != 0) {
            shelf.load(p.shelf_coefs, Stereo ? m.shelf_state_b : m.shelf_state_a, m.shelf_state_a);
            shelf_gain = p.shelf_gain;
        }
        if constexpr ((Stages & kSpeaker) != 0) {
            spk_gain = p.spk_gain;
            for (int i = 0; i < 5; ++i) spk_c[i] = p.spk_coef[i];
            spk.load(m.spk_a, m.spk_b);
        }
        if constexpr ((Stages & kLowCut) != 0) cut.load(m.lowcut, m.lowcut);
    }
    [[gnu::always_inline]] void save(Eq8Memories& m) const {
        if constexpr ((Stages & kEq) != 0) eq.save(m);
        if constexpr ((Stages & kHp) != 0) hp.save(Stereo ? m.hp_state_b : m.hp_state_a, m.hp_state_a);
        if constexpr ((Stages & kLp) != 0) lp.save(m.lp_state_a, m.lp_state_b);
        if constexpr ((Stages & kShelf) != 0) shelf.save(Stereo ? m.shelf_state_b : m.shelf_state_a, m.shelf_state_a);
        if constexpr ((Stages & kSpeaker) != 0) spk.save(m.spk_a, m.spk_b);
        if constexpr ((Stages & kLowCut) != 0) cut.save(m.lowcut, m.lowcut);
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
void run_frames(const Eq8Kernel::Params& prm, Eq8Memories& m, float* s, std::int64_t frames) {
    if constexpr (Stages == 0) return;
    Pipeline<Stages, Stereo> p;
    p.load(prm, m);
    constexpr int n = Pipeline<Stages, Stereo>::n;
    constexpr auto ks = std::make_integer_sequence<int, n>{};
    // Steps 0 .. n - 2 fill the pipeline, the last n - 1 drain it.
    std::int64_t j = 0;
    for (; j < n - 1 && j < frames + n - 1; ++j) p.template run_step<false>(s, j, frames, ks);
    for (; j < frames; ++j) p.template run_step<true>(s, j, frames, ks);
    for (; j < frames + n - 1; ++j) p.template run_step<false>(s, j, frames, ks);
    p.save(m);
}

// The loop for `stages` (the low cut only in mono).
template <bool Stereo, int... S>
[[gnu::always_inline]] inline void dispatch(const Eq8Kernel::Params& p, Eq8Memories& m, int stages, float* s,
                                            std::int64_t frames, std::integer_sequence<int, S...>) {
    if (Stereo) stages &= ~kLowCut;
    (void)((stages == S ? (run_frames<S, Stereo>(p, m, s, frames), true) : false) || ...);
}

// Runs the stages in `stages` (kEq ...) over the frames in place.
[[gnu::always_inline]] inline void run_kernel(const Eq8Kernel::Params& p, Eq8Memories& m, int stages, float* samples,
                                              std::int64_t frames, bool stereo) {
    if (stereo) dispatch<true>(p, m, stages, samples, frames, std::make_integer_sequence<int, kLowCut>{});
    else dispatch<false>(p, m, stages, samples, frames, std::make_integer_sequence<int, 2 * kLowCut>{});
}

}  // namespace
}  // namespace tw::eq8
