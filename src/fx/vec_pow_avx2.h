// a^b in four double lanes with AVX2 and FMA, for the distortions' powers
// (a >= 0 or NaN, b > 0): exp(b * log(a)) with a logarithm and an
// exponential made for this one use. Their relative error is about 1e-14,
// far below the 32-bit rounding that follows every power here, and they
// take a fraction of the general library functions' time (bench/vecmath_bench).
//
// Only files built with -mavx2 -mfma include this; everything here has
// internal linkage, so no code built for AVX2 can stand in for plain code.
#pragma once

#include <immintrin.h>

namespace tw::vec {
namespace {

// log(a) for a positive, finite and normal. a = m * 2^k with m in
// [sqrt(1/2), sqrt(2)); log(m) = 2 atanh(t) with t = (m - 1) / (m + 1),
// |t| <= 0.1716, as its odd series to t^17 (the next term is below 1e-16).
[[gnu::always_inline]] inline __m256d log_positive(__m256d a) {
    const __m256i bits = _mm256_castpd_si256(a);
    const __m256i mantissa = _mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi64x(0x000FFFFFFFFFFFFFLL)),
                                             _mm256_set1_epi64x(0x3FF0000000000000LL));
    __m256d m = _mm256_castsi256_pd(mantissa);
    // The exponent field as a double: 2^52 + field, less 2^52 + 1023.
    const __m256i field = _mm256_or_si256(_mm256_srli_epi64(bits, 52), _mm256_set1_epi64x(0x4330000000000000LL));
    __m256d k = _mm256_sub_pd(_mm256_castsi256_pd(field), _mm256_set1_pd(4503599627370496.0 + 1023.0));
    const __m256d above = _mm256_cmp_pd(m, _mm256_set1_pd(1.4142135623730951), _CMP_GT_OQ);
    m = _mm256_blendv_pd(m, _mm256_mul_pd(m, _mm256_set1_pd(0.5)), above);
    k = _mm256_add_pd(k, _mm256_and_pd(above, _mm256_set1_pd(1.0)));
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d t = _mm256_div_pd(_mm256_sub_pd(m, one), _mm256_add_pd(m, one));
    const __m256d s = _mm256_mul_pd(t, t);
    // p = 1/3 + s/5 + ... + s^7/17 in Estrin's order (pairs, then pairs of
    // pairs): a short dependency chain keeps many lanes' work in flight.
    const __m256d s2 = _mm256_mul_pd(s, s);
    const __m256d s4 = _mm256_mul_pd(s2, s2);
    const __m256d q01 = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 5.0), s, _mm256_set1_pd(1.0 / 3.0));
    const __m256d q23 = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 9.0), s, _mm256_set1_pd(1.0 / 7.0));
    const __m256d q45 = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 13.0), s, _mm256_set1_pd(1.0 / 11.0));
    const __m256d q67 = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 17.0), s, _mm256_set1_pd(1.0 / 15.0));
    const __m256d p = _mm256_fmadd_pd(_mm256_fmadd_pd(q67, s2, q45), s4, _mm256_fmadd_pd(q23, s2, q01));
    // log(m) = 2t + 2t * s * p, the small part added last.
    const __m256d t2 = _mm256_add_pd(t, t);
    const __m256d log_m = _mm256_fmadd_pd(_mm256_mul_pd(t2, s), p, t2);
    // k * log(2) in two parts: the high part times k is exact.
    const __m256d hi = _mm256_fmadd_pd(k, _mm256_set1_pd(6.93147180369123816490e-01), log_m);
    return _mm256_fmadd_pd(k, _mm256_set1_pd(1.90821492927058770002e-10), hi);
}

// exp(y) for y in [-708, 709] (normal results). y = n log(2) + r with
// |r| <= log(2) / 2; exp(r) as its Taylor series to r^12 (error below 1e-16),
// scaled by 2^n built in the exponent field.
[[gnu::always_inline]] inline __m256d exp_normal(__m256d y) {
    const __m256d n = _mm256_round_pd(_mm256_mul_pd(y, _mm256_set1_pd(1.4426950408889634)),
                                      _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    __m256d r = _mm256_fnmadd_pd(n, _mm256_set1_pd(6.93147180369123816490e-01), y);
    r = _mm256_fnmadd_pd(n, _mm256_set1_pd(1.90821492927058770002e-10), r);
    // p = 1/2! + r/3! + ... + r^10/12!, in Estrin's order as above.
    const __m256d r2 = _mm256_mul_pd(r, r);
    const __m256d r4 = _mm256_mul_pd(r2, r2);
    const __m256d r8 = _mm256_mul_pd(r4, r4);
    auto pair = [r](double c0, double c1) { return _mm256_fmadd_pd(_mm256_set1_pd(c1), r, _mm256_set1_pd(c0)); };
    const __m256d e03 = _mm256_fmadd_pd(pair(1.0 / 24.0, 1.0 / 120.0), r2, pair(1.0 / 2.0, 1.0 / 6.0));
    const __m256d e47 = _mm256_fmadd_pd(pair(1.0 / 40320.0, 1.0 / 362880.0), r2, pair(1.0 / 720.0, 1.0 / 5040.0));
    const __m256d e8 = _mm256_fmadd_pd(_mm256_set1_pd(1.0 / 479001600.0), r2, pair(1.0 / 3628800.0, 1.0 / 39916800.0));
    __m256d p = _mm256_fmadd_pd(e8, r8, _mm256_fmadd_pd(e47, r4, e03));
    // 1 + r + r^2 * p, the small part added last.
    p = _mm256_fmadd_pd(r2, p, r);
    p = _mm256_add_pd(p, _mm256_set1_pd(1.0));
    // 2^n: n + 1023 in the exponent field (n + 2^52 + 1023 holds it in its low bits).
    const __m256d biased = _mm256_add_pd(n, _mm256_set1_pd(4503599627370496.0 + 1023.0));
    const __m256d scale = _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_castpd_si256(biased), 52));
    return _mm256_mul_pd(p, scale);
}

// a^b for a >= 0 (or NaN) and b > 0: 0^b = 0, inf^b = inf, NaN stays NaN;
// results beyond the double range are inf, results below its normal range 0
// (the powers here are rounded to 32 bits, where both are out of reach).
// a must not be a subnormal double (every a here is a widened float).
//
// In two halves, so that a block can run the first over all its lanes, then
// the second: two short loop bodies keep the processor's scheduler fuller
// than one long one (1.7 times the rate, bench/vecmath_bench).
// The first half: y = b * log(a), with 1 standing in for an unusable a.
[[gnu::always_inline]] inline __m256d pow_exponent(__m256d a, __m256d b) {
    const __m256d usable = _mm256_and_pd(_mm256_cmp_pd(a, _mm256_setzero_pd(), _CMP_GT_OQ),
                                         _mm256_cmp_pd(a, _mm256_set1_pd(__builtin_inf()), _CMP_LT_OQ));
    return _mm256_mul_pd(b, log_positive(_mm256_blendv_pd(_mm256_set1_pd(1.0), a, usable)));
}

// The second half: exp(y) held to the double range, and a itself where it
// was 0, inf or NaN.
[[gnu::always_inline]] inline __m256d pow_from_exponent(__m256d y, __m256d a) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d inf = _mm256_set1_pd(__builtin_inf());
    const __m256d held = _mm256_min_pd(_mm256_max_pd(y, _mm256_set1_pd(-708.0)), _mm256_set1_pd(709.0));
    __m256d r = exp_normal(held);
    r = _mm256_blendv_pd(r, zero, _mm256_cmp_pd(y, _mm256_set1_pd(-708.0), _CMP_LT_OQ));
    r = _mm256_blendv_pd(r, inf, _mm256_cmp_pd(y, _mm256_set1_pd(709.782712893384), _CMP_GT_OQ));
    const __m256d usable = _mm256_and_pd(_mm256_cmp_pd(a, zero, _CMP_GT_OQ), _mm256_cmp_pd(a, inf, _CMP_LT_OQ));
    return _mm256_blendv_pd(a, r, usable);
}

[[gnu::always_inline]] inline __m256d pow_positive(__m256d a, __m256d b) {
    return pow_from_exponent(pow_exponent(a, b), a);
}

}  // namespace
}  // namespace tw::vec
