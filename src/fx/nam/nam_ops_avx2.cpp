// The model loops for processors with AVX2 and FMA.
#include <immintrin.h>

#include "fx/nam/nam_ops.h"

namespace tw::nam::avx2 {
struct V {
    using T = __m256;
    static constexpr int kLanes = 8;
    static T load(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, T v) { _mm256_storeu_ps(p, v); }
    static T set1(float x) { return _mm256_set1_ps(x); }
    static T zero() { return _mm256_setzero_ps(); }
    static T add(T a, T b) { return _mm256_add_ps(a, b); }
    static T mul(T a, T b) { return _mm256_mul_ps(a, b); }
    static T madd(T a, T b, T c) { return _mm256_fmadd_ps(a, b, c); }
    static T div(T a, T b) { return _mm256_div_ps(a, b); }
    static T abs(T a) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a); }
    static T min(T a, T b) { return _mm256_min_ps(a, b); }
    static T max(T a, T b) { return _mm256_max_ps(a, b); }
};
}  // namespace tw::nam::avx2

#define NAM_OPS_NS avx2
#include "fx/nam/nam_ops_impl.h"

namespace tw::nam {
const Ops& avx2_ops() { return avx2::kOps; }
}  // namespace tw::nam
