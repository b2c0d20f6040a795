#include "fx/nam/nam_ops.h"

#include <cstdlib>
#include <cstring>

namespace tw::nam {

const Ops& plain_ops();
const Ops& avx2_ops();

const Ops& ops_for(Isa isa) { return isa == Isa::Avx2 ? avx2_ops() : plain_ops(); }

Isa best_isa() {
    const char* forced = std::getenv("TONEWARP_NAM_ISA");
    if (forced != nullptr && std::strcmp(forced, "plain") == 0) return Isa::Plain;
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? Isa::Avx2 : Isa::Plain;
}

const char* isa_name(Isa isa) { return isa == Isa::Avx2 ? "avx2-fma" : "sse2"; }

void pack_rows(const float* w, int Z, int R, float* packed) {
    for (int o0 = 0; o0 < Z; o0 += 4) {
        const int m = Z - o0 < 4 ? Z - o0 : 4;
        float* dst = packed + static_cast<std::ptrdiff_t>(o0) * R;
        for (int r = 0; r < R; ++r)
            for (int k = 0; k < m; ++k) dst[r * m + k] = w[static_cast<std::ptrdiff_t>(o0 + k) * R + r];
    }
}

float fast_tanh(float x) {
    constexpr float kA = 2.45550750702956f, kB = 0.893229853513558f, kG = 0.821226666969744f, kD = 2.44506634652299f,
                    kE = 0.814642734961073f;
    const float ax = x < 0 ? -x : x;
    const float x2 = x * x;
    const float inner = (kG * ax + kB) * x2 + (kA * ax + kA);
    const float e = kE * x * ax + x;
    return x * inner / ((kD + x2) * (e < 0 ? -e : e) + kD);
}

}  // namespace tw::nam
