// The few loops a model's forward pass spends its time in, built twice: for
// any x86-64 (SSE2, separate multiply and add) and for AVX2 with FMA, chosen
// at run time. Every loop works lane by lane over time (or over a layer's
// rows), each output element summed in the same order in both builds, so an
// output never depends on how a signal is cut into blocks; the two builds
// differ by the rounding of the fused multiply-add only.
#pragma once

#include <cstddef>

#include "fx/nam/nam_model.h"

namespace tw::nam {

// Time columns every WaveNet loop works in: runs are padded up to this.
inline constexpr int kTimeLanes = 16;
// Row padding of the LSTM's gate blocks.
inline constexpr int kRowLanes = 8;

struct Ops {
    // out[o][t] = add[o][t] + (bias[o] + sum over r of W[o][r] * rows[r][t])
    // for o < Z, t < n (n a multiple of kTimeLanes); `bias` and `add` may be
    // null. W is packed by pack_rows. Audio thread.
    void (*gemm)(const float* w_packed, const float* bias, int Z, int R, const float* const* rows, float* out,
                 std::ptrdiff_t out_stride, const float* add, std::ptrdiff_t add_stride, int n);
    // x = f(x) for n values (n a multiple of kTimeLanes). Audio thread.
    void (*activate)(const Activation& a, bool fast_tanh, float* x, int n);
    // One LSTM layer's step: gates = b + W . [u; h] (W column by column, 4 blocks
    // of Hp rows: i, f, g, o), then c and h updated in place (Hp values each).
    // `in` is scratch of I + H values, `gates` of 4 Hp. Audio thread.
    void (*lstm_step)(const float* w_cols, const float* b, const float* u, int I, float* h, float* c, int H, int Hp,
                      bool fast_tanh, float* in, float* gates);
};

enum class Isa { Plain, Avx2 };

// The loops built for `isa`. Any thread.
const Ops& ops_for(Isa isa);
// The fastest build this processor runs (TONEWARP_NAM_ISA=plain forces the
// plain one). Any thread.
Isa best_isa();
// "avx2-fma" or "sse2". Any thread.
const char* isa_name(Isa isa);

// W (Z x R, row-major) in the order the gemm reads it: row tiles of four.
// UI thread.
void pack_rows(const float* w, int Z, int R, float* packed);

// The rational tanh approximation models are played with, one value. Any thread.
float fast_tanh(float x);

}  // namespace tw::nam
