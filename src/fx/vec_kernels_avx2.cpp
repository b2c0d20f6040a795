// The block kernels with AVX2 (this file is compiled with -mavx2 -mfma; it
// runs only when the processor has both). The arctangent, exp and log come
// from xsimd, inlined here: in four double lanes they measured about twice
// (atan) and 1.2 times (pow) as fast as SLEEF's AVX2 functions, which are calls
// into the shared library, and their error (a few units of the 64-bit result)
// is far below the 32-bit rounding that follows. The float power laws use
// SLEEF's powf in eight lanes: xsimd's float pow is 13 ulp off libm's powf,
// SLEEF's at most 1 (bench/vecmath_bench). This is the only file that includes
// xsimd, so no inline function built for AVX2 can stand in for plain code.
#include <immintrin.h>

#include <sleef.h>

#include <xsimd/xsimd.hpp>

#include "fx/vec_kernels.h"

namespace tw::vec {

namespace {
struct Avx2Lanes {
    using V = __m256d;
    static constexpr int N = 4;
    static V load(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
    static void store(float* p, V v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
    static V set1(double x) { return _mm256_set1_pd(x); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V div(V a, V b) { return _mm256_div_pd(a, b); }
    static V abs(V a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static V neg(V a) { return _mm256_xor_pd(_mm256_set1_pd(-0.0), a); }
    static V round_f32(V a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }
    static V ge_zero(V a) { return _mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_GE_OQ); }
    static V select(V mask, V a, V b) { return _mm256_blendv_pd(b, a, mask); }
    using B = xsimd::batch<double, xsimd::avx2>;
    static V atan(V a) { return xsimd::atan(B(a)); }
    // a^b for a >= 0 (or NaN) and b > 0, the only powers the effects take:
    // exp(b * log(a)), as xsimd::pow computes it, without its sign and
    // integer-exponent checks (log(0) = -inf gives exp(-inf) = 0). exp's
    // argument is held within +-1000 (exp is 0 or inf there already): its
    // range reduction converts to integers, which an infinity or NaN must not
    // reach; a NaN lane keeps its NaN.
    static V pow(V a, V b) {
        const V x = B(b) * xsimd::log(B(a));
        const V nan = _mm256_cmp_pd(x, x, _CMP_UNORD_Q);
        const V held = _mm256_min_pd(_mm256_max_pd(x, _mm256_set1_pd(-1000.0)), _mm256_set1_pd(1000.0));
        return _mm256_blendv_pd(xsimd::exp(B(held)), x, nan);
    }
};
using K = Kernels<Avx2Lanes>;

// |v|^e with v's sign in eight float lanes, as the scalar code computes it
// in floats (std::pow on floats); a zero-padded copy takes the tail.
void signed_power_f8(float* buf, int count, float e) {
    const __m256 ve = _mm256_set1_ps(e);
    const __m256 sign = _mm256_set1_ps(-0.0f);
    auto group = [&](float* p) {
        const __m256 v = _mm256_loadu_ps(p);
        const __m256 m = Sleef_powf8_u10avx2(_mm256_andnot_ps(sign, v), ve);
        const __m256 neg = _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_LT_OQ);
        _mm256_storeu_ps(p, _mm256_blendv_ps(m, _mm256_xor_ps(m, sign), neg));
    };
    int i = 0;
    for (; i + 8 <= count; i += 8) group(buf + i);
    if (i < count) {
        float tail[8] = {};
        for (int j = 0; i + j < count; ++j) tail[j] = buf[i + j];
        group(tail);
        for (int j = 0; i + j < count; ++j) buf[i + j] = tail[j];
    }
}
}  // namespace

namespace avx2 {
void curve_block(const CurveCoeffs& c, float* buf, int count) { K::curve(c, buf, count); }
void comp_gain_block(const float* base, float* v, int count, float e, float S, float gain_out) {
    K::comp_gain(base, v, count, e, S, gain_out);
}
void signed_power_block(float* buf, int count, float e) {
    if (!(e > 0.0f)) return signed_power_scalar(buf, count, e);
    signed_power_f8(buf, count, e);
}
}  // namespace avx2

}  // namespace tw::vec
