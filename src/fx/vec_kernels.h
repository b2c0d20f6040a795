// The double-lane block kernels of vec_math.h written over a lane type L
// (included by vec_kernels_avx2.cpp).
// L provides: V (N doubles), load (N floats widened), store (N doubles
// narrowed to floats), set1, add, sub, mul, div, abs, round_f32 (to the
// nearest float and back), ge_zero (mask v >= 0), select (mask ? a : b),
// neg, atan and pow (asked only for a >= 0 and b > 0; other exponents take
// the scalar path) with its two halves pow_exponent and pow_from_exponent,
// and load_d / store_d (N doubles, unchanged, 32-byte aligned).
//
// Built without fused multiply-add contraction: each product and sum is
// rounded as in the scalar code.
#pragma once

#include "fx/vec_math.h"

namespace tw::vec {

template <class L>
struct Kernels {
    using V = typename L::V;
    static constexpr int N = L::N;

    static void curve(const CurveCoeffs& c, float* buf, int count) {
        const V A = L::set1(c.A), k = L::set1(c.k), s1 = L::set1(c.s1), ds = L::set1(c.ds), c2 = L::set1(c.c2);
        const V scale = L::set1(c.scale), offset = L::set1(c.offset);
        const V inv_pi = L::set1(0.318309886183871), half = L::set1(0.5);
        // The weight (the arctangent) of N samples, then the curve's value.
        auto weight = [&](const float* p) {
            return L::round_f32(L::add(L::mul(L::atan(L::mul(L::sub(L::abs(L::load(p)), A), k)), inv_pi), half));
        };
        auto finish = [&](float* p, V w) {
            const V v = L::load(p);
            const V a = L::abs(v);
            const V y = L::round_f32(
                L::sub(L::mul(L::add(L::mul(L::sub(s1, L::mul(ds, w)), a), L::mul(c2, w)), scale), offset));
            L::store(p, L::select(L::ge_zero(v), y, L::neg(y)));
        };
        // Whole groups in chunks, every weight first (as the powers run).
        alignas(32) double w[kChunk];
        int i = 0;
        while (count - i >= N) {
            const int n = (count - i < kChunk ? count - i : kChunk) / N * N;
            for (int j = 0; j < n; j += N) L::store_d(w + j, weight(buf + i + j));
            for (int j = 0; j < n; j += N) finish(buf + i + j, L::load_d(w + j));
            i += n;
        }
        if (i < count) {
            float tail[N] = {};
            for (int j = 0; i + j < count; ++j) tail[j] = buf[i + j];
            finish(tail, weight(tail));
            for (int j = 0; i + j < count; ++j) buf[i + j] = tail[j];
        }
    }

    static void comp_gain(const float* base, float* v, int count, float e, float S, float gain_out) {
        if (!(e > 0.0f)) return comp_gain_scalar(base, v, count, e, S, gain_out);
        const V ve = L::set1(e), vs = L::set1(S), go = L::set1(gain_out);
        auto finish = [&](V u, V p, float* x) {
            const V g = L::round_f32(L::div(L::add(p, vs), L::add(L::mul(u, u), vs)));
            L::store(x, L::mul(L::mul(go, L::load(x)), g));
        };
        // Whole groups in chunks: first every power's exponent, then the
        // powers and gains (see L::pow_exponent).
        alignas(32) double y[kChunk];
        int i = 0;
        while (count - i >= N) {
            const int n = (count - i < kChunk ? count - i : kChunk) / N * N;
            for (int j = 0; j < n; j += N) L::store_d(y + j, L::pow_exponent(L::load(base + i + j), ve));
            for (int j = 0; j < n; j += N) {
                const V u = L::load(base + i + j);
                finish(u, L::pow_from_exponent(L::load_d(y + j), u), v + i + j);
            }
            i += n;
        }
        if (i < count) {
            float tb[N] = {}, tx[N] = {};
            for (int j = 0; i + j < count; ++j) {
                tb[j] = base[i + j];
                tx[j] = v[i + j];
            }
            const V u = L::load(tb);
            finish(u, L::pow(u, ve), tx);
            for (int j = 0; i + j < count; ++j) v[i + j] = tx[j];
        }
    }

    // Values per chunk of the two-pass kernels (a whole number of groups).
    static constexpr int kChunk = 256;
};

}  // namespace tw::vec
