// The loops of nam_ops.h over one vector type V. Included once per build, each
// inside its own namespace (NAM_OPS_NS), with V defined before.
//   V::T, V::kLanes, load, store, set1, zero, add, mul, madd (a*b + c), div,
//   abs, min, max.
#pragma once
#include <cmath>
#include <cstddef>

namespace tw::nam::NAM_OPS_NS {

constexpr float kA = 2.45550750702956f, kB = 0.893229853513558f, kG = 0.821226666969744f, kD = 2.44506634652299f,
                kE = 0.814642734961073f;

inline typename V::T vfast_tanh(typename V::T x) {
    const auto ax = V::abs(x);
    const auto x2 = V::mul(x, x);
    const auto inner = V::madd(V::madd(V::set1(kG), ax, V::set1(kB)), x2, V::madd(V::set1(kA), ax, V::set1(kA)));
    const auto den = V::madd(V::add(V::set1(kD), x2), V::abs(V::madd(V::mul(V::set1(kE), x), ax, x)), V::set1(kD));
    return V::div(V::mul(x, inner), den);
}

template <int M, int NV>
inline void gemm_tile(const float* wp, const float* bias, int R, const float* const* rows, float* out, std::ptrdiff_t os,
                      const float* add, std::ptrdiff_t as, int t0) {
    typename V::T acc[M][NV];
    for (int k = 0; k < M; ++k) {
        const auto b = bias != nullptr ? V::set1(bias[k]) : V::zero();
        for (int v = 0; v < NV; ++v) acc[k][v] = b;
    }
    for (int r = 0; r < R; ++r) {
        const float* x = rows[r] + t0;
        typename V::T xv[NV];
        for (int v = 0; v < NV; ++v) xv[v] = V::load(x + v * V::kLanes);
        const float* w = wp + r * M;
        for (int k = 0; k < M; ++k) {
            const auto wk = V::set1(w[k]);
            for (int v = 0; v < NV; ++v) acc[k][v] = V::madd(wk, xv[v], acc[k][v]);
        }
    }
    for (int k = 0; k < M; ++k)
        for (int v = 0; v < NV; ++v) {
            auto y = acc[k][v];
            if (add != nullptr) y = V::add(V::load(add + k * as + t0 + v * V::kLanes), y);
            V::store(out + k * os + t0 + v * V::kLanes, y);
        }
}

inline void gemm(const float* wp, const float* bias, int Z, int R, const float* const* rows, float* out, std::ptrdiff_t os,
                 const float* add, std::ptrdiff_t as, int n) {
    constexpr int NV = kTimeLanes / V::kLanes > 2 ? 2 : kTimeLanes / V::kLanes;
    constexpr int step = NV * V::kLanes;
    for (int t0 = 0; t0 < n; t0 += step) {
        for (int o0 = 0; o0 < Z; o0 += 4) {
            const int m = Z - o0 < 4 ? Z - o0 : 4;
            const float* w = wp + static_cast<std::ptrdiff_t>(o0) * R;
            const float* b = bias != nullptr ? bias + o0 : nullptr;
            float* y = out + o0 * os;
            const float* a = add != nullptr ? add + o0 * as : nullptr;
            switch (m) {
                case 4: gemm_tile<4, NV>(w, b, R, rows, y, os, a, as, t0); break;
                case 3: gemm_tile<3, NV>(w, b, R, rows, y, os, a, as, t0); break;
                case 2: gemm_tile<2, NV>(w, b, R, rows, y, os, a, as, t0); break;
                default: gemm_tile<1, NV>(w, b, R, rows, y, os, a, as, t0); break;
            }
        }
    }
}

inline float exact_sigmoid(float x) { return 1.0f / (1.0f + std::exp(-x)); }

inline float scalar_act(const Activation& a, float x) {
    switch (a.kind) {
        case Act::Tanh: return std::tanh(x);
        case Act::Sigmoid: return exact_sigmoid(x);
        case Act::SiLU: return x * exact_sigmoid(x);
        case Act::Hardswish: return x * std::fmin(std::fmax(x + 3.0f, 0.0f), 6.0f) / 6.0f;
        case Act::PReLU:
        case Act::LeakyReLU: return x < 0 ? a.negative_slope * x : x;
        case Act::LeakyHardtanh:
            if (x < a.min_val) return a.min_val + a.min_slope * (x - a.min_val);
            if (x > a.max_val) return a.max_val + a.max_slope * (x - a.max_val);
            return x;
        default: return x;
    }
}

inline void activate(const Activation& a, bool fast, float* x, int n) {
    const Act kind = (a.kind == Act::Tanh && fast) ? Act::FastTanh : a.kind;
    switch (kind) {
        case Act::FastTanh:
            for (int i = 0; i < n; i += V::kLanes) V::store(x + i, vfast_tanh(V::load(x + i)));
            return;
        case Act::Hardtanh:
            for (int i = 0; i < n; i += V::kLanes) V::store(x + i, V::min(V::max(V::load(x + i), V::set1(-1.0f)), V::set1(1.0f)));
            return;
        case Act::ReLU:
            for (int i = 0; i < n; i += V::kLanes) V::store(x + i, V::max(V::load(x + i), V::zero()));
            return;
        case Act::Softsign:
            for (int i = 0; i < n; i += V::kLanes) {
                const auto v = V::load(x + i);
                V::store(x + i, V::div(v, V::add(V::set1(1.0f), V::abs(v))));
            }
            return;
        default:
            for (int i = 0; i < n; ++i) x[i] = scalar_act(a, x[i]);
            return;
    }
}

template <int M>
inline void gate_tile(const float* w_cols, const float* b, const float* in, int cols, int rows4, float* gates, int g0) {
    typename V::T acc[M];
    for (int k = 0; k < M; ++k) acc[k] = V::load(b + g0 + k * V::kLanes);
    for (int col = 0; col < cols; ++col) {
        const auto xb = V::set1(in[col]);
        const float* w = w_cols + static_cast<std::ptrdiff_t>(col) * rows4 + g0;
        for (int k = 0; k < M; ++k) acc[k] = V::madd(V::load(w + k * V::kLanes), xb, acc[k]);
    }
    for (int k = 0; k < M; ++k) V::store(gates + g0 + k * V::kLanes, acc[k]);
}

inline void lstm_step(const float* w_cols, const float* b, const float* u, int I, float* h, float* c, int H, int Hp, bool fast,
                      float* in, float* gates) {
    for (int i = 0; i < I; ++i) in[i] = u[i];
    for (int i = 0; i < H; ++i) in[I + i] = h[i];
    const int cols = I + H, rows4 = 4 * Hp;
    constexpr int kTile = 12;
    const int vecs = rows4 / V::kLanes;
    for (int g = 0; g < vecs; g += kTile) {
        const int m = vecs - g < kTile ? vecs - g : kTile;
        const int g0 = g * V::kLanes;
        switch (m) {
            case 12: gate_tile<12>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 11: gate_tile<11>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 10: gate_tile<10>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 9: gate_tile<9>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 8: gate_tile<8>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 7: gate_tile<7>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 6: gate_tile<6>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 5: gate_tile<5>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 4: gate_tile<4>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 3: gate_tile<3>(w_cols, b, in, cols, rows4, gates, g0); break;
            case 2: gate_tile<2>(w_cols, b, in, cols, rows4, gates, g0); break;
            default: gate_tile<1>(w_cols, b, in, cols, rows4, gates, g0); break;
        }
    }
    const float* gi = gates;
    const float* gf = gates + Hp;
    const float* gg = gates + 2 * Hp;
    const float* go = gates + 3 * Hp;
    if (fast) {
        const auto half = V::set1(0.5f), one = V::set1(1.0f);
        const auto fsig = [&](typename V::T x) { return V::mul(half, V::add(vfast_tanh(V::mul(x, half)), one)); };
        for (int k = 0; k < Hp; k += V::kLanes) {
            const auto i = fsig(V::load(gi + k)), f = fsig(V::load(gf + k)), o = fsig(V::load(go + k));
            const auto g = vfast_tanh(V::load(gg + k));
            const auto cn = V::madd(f, V::load(c + k), V::mul(i, g));
            V::store(c + k, cn);
            V::store(h + k, V::mul(o, vfast_tanh(cn)));
        }
    } else {
        for (int k = 0; k < Hp; ++k) {
            const float cn = exact_sigmoid(gf[k]) * c[k] + exact_sigmoid(gi[k]) * std::tanh(gg[k]);
            c[k] = cn;
            h[k] = exact_sigmoid(go[k]) * std::tanh(cn);
        }
    }
}

inline const Ops kOps{gemm, activate, lstm_step};

}  // namespace tw::nam::NAM_OPS_NS
