// The model loops for any x86-64: SSE2, a multiply then an add.
#include <emmintrin.h>

#include "fx/nam/nam_ops.h"

namespace tw::nam::plain {
struct V {
    using T = __m128;
    static constexpr int kLanes = 4;
    static T load(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, T v) { _mm_storeu_ps(p, v); }
    static T set1(float x) { return _mm_set1_ps(x); }
    static T zero() { return _mm_setzero_ps(); }
    static T add(T a, T b) { return _mm_add_ps(a, b); }
    static T mul(T a, T b) { return _mm_mul_ps(a, b); }
    static T madd(T a, T b, T c) { return _mm_add_ps(_mm_mul_ps(a, b), c); }
    static T div(T a, T b) { return _mm_div_ps(a, b); }
    static T abs(T a) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), a); }
    static T min(T a, T b) { return _mm_min_ps(a, b); }
    static T max(T a, T b) { return _mm_max_ps(a, b); }
};
}  // namespace tw::nam::plain

#define NAM_OPS_NS plain
#include "fx/nam/nam_ops_impl.h"

namespace tw::nam {
const Ops& plain_ops() { return plain::kOps; }
}  // namespace tw::nam
