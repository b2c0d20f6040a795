// The block kernels with AVX2 (this file is compiled with -mavx2 -mfma; it
// runs only when the processor has both). The arctangent comes from xsimd,
// inlined here: in four double lanes it measured about twice as fast as
// SLEEF's AVX2 function, a call into the shared library, and its error (a few
// units of the 64-bit result) is far below the 32-bit rounding that follows.
// The powers, both the compressor's and the float power laws, are
// exp(b * log(a)) in double lanes from vec_pow_avx2.h, made for positive
// bases: several times faster than xsimd's pow and SLEEF's powf, within one
// unit of the 32-bit result (bench/vecmath_bench). This is the only effect
// file that includes xsimd, so no inline function built for AVX2 can stand in
// for plain code.
#include <immintrin.h>

#include <xsimd/xsimd.hpp>

#include "fx/vec_kernels.h"
#include "fx/vec_pow_avx2.h"

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
    // a^b for a >= 0 (or NaN) and b > 0, the only powers the effects take.
    static V pow(V a, V b) { return pow_positive(a, b); }
    static V pow_exponent(V a, V b) { return vec::pow_exponent(a, b); }
    static V pow_from_exponent(V y, V a) { return vec::pow_from_exponent(y, a); }
    static V load_d(const double* p) { return _mm256_load_pd(p); }
    static void store_d(double* p, V v) { _mm256_store_pd(p, v); }
};
using K = Kernels<Avx2Lanes>;

// |v|^e with v's sign, as the scalar code computes it in floats (std::pow on
// floats): the power in double lanes, rounded once to 32 bits. Whole groups
// of four run in chunks, first every exponent, then the powers (see
// pow_exponent); a zero-padded copy takes the tail.
void signed_power_block_avx2(float* buf, int count, float e) {
    const __m256d ve = _mm256_set1_pd(e);
    const __m128 sign = _mm_set1_ps(-0.0f);
    auto magnitude = [sign](const float* p) { return _mm256_cvtps_pd(_mm_andnot_ps(sign, _mm_loadu_ps(p))); };
    auto finish = [sign](float* p, __m256d a, __m256d y) {
        const __m128 m = _mm256_cvtpd_ps(pow_from_exponent(y, a));
        const __m128 neg = _mm_cmplt_ps(_mm_loadu_ps(p), _mm_setzero_ps());
        _mm_storeu_ps(p, _mm_blendv_ps(m, _mm_xor_ps(m, sign), neg));
    };
    alignas(32) double y[K::kChunk];
    int i = 0;
    while (count - i >= 4) {
        const int n = (count - i < K::kChunk ? count - i : K::kChunk) / 4 * 4;
        for (int j = 0; j < n; j += 4) _mm256_store_pd(y + j, pow_exponent(magnitude(buf + i + j), ve));
        for (int j = 0; j < n; j += 4) finish(buf + i + j, magnitude(buf + i + j), _mm256_load_pd(y + j));
        i += n;
    }
    if (i < count) {
        float tail[4] = {};
        for (int j = 0; i + j < count; ++j) tail[j] = buf[i + j];
        const __m256d a = magnitude(tail);
        finish(tail, a, pow_exponent(a, ve));
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
    signed_power_block_avx2(buf, count, e);
}
}  // namespace avx2

}  // namespace tw::vec
