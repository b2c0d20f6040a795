// The block kernels in two double lanes (SSE2, present on every x86-64).
#include <emmintrin.h>
#include <sleef.h>

#include "fx/vec_kernels.h"

namespace tw::vec {

namespace {
struct Sse2Lanes {
    using V = __m128d;
    static constexpr int N = 2;
    static V load(const float* p) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void store(float* p, V v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v))); }
    static V set1(double x) { return _mm_set1_pd(x); }
    static V add(V a, V b) { return _mm_add_pd(a, b); }
    static V sub(V a, V b) { return _mm_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm_mul_pd(a, b); }
    static V div(V a, V b) { return _mm_div_pd(a, b); }
    static V abs(V a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    static V neg(V a) { return _mm_xor_pd(_mm_set1_pd(-0.0), a); }
    static V round_f32(V a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); }
    static V ge_zero(V a) { return _mm_cmpge_pd(a, _mm_setzero_pd()); }
    static V lt_zero(V a) { return _mm_cmplt_pd(a, _mm_setzero_pd()); }
    static V select(V mask, V a, V b) { return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b)); }
    static V atan(V a) { return Sleef_atand2_u10sse2(a); }
    static V pow(V a, V b) { return Sleef_powd2_u10sse2(a, b); }
};
using K = Kernels<Sse2Lanes>;
}  // namespace

namespace sse2 {
void curve_block(const CurveCoeffs& c, float* buf, int count) { K::curve(c, buf, count); }
void comp_gain_block(const float* base, float* v, int count, float e, float S, float gain_out) {
    K::comp_gain(base, v, count, e, S, gain_out);
}
void signed_power_block(float* buf, int count, float e) { K::signed_power(buf, count, e); }
}  // namespace sse2

}  // namespace tw::vec
