// Block versions of the distortions' per-sample transcendental steps: the
// Soft/Hard transfer curve (one arctangent per sample), the
// Distortion-Compressor's gain (one real power) and the signed power laws of
// the Distortion (Simple). With AVX2 and FMA (checked once at start-up) they
// run over the whole block in four double lanes: the curve with xsimd's atan,
// the powers (the gain's and the power laws') as exp(b * log(a)) made for
// positive bases (vec_pow_avx2.h, relative error about 1e-14), every
// intermediate rounded to a 32-bit float where the scalar step rounds it.
// Without AVX2 they run the scalar steps (libm, one call per sample), which
// measured faster than SLEEF's SSE2 functions. Either way the results stay
// within one unit in the last place of the scalar ones (the *_scalar
// functions below).
//
// Audio thread safe: no allocation, no lock, no system call.
#pragma once

namespace tw::vec {

// Coefficients of the Soft/Hard curve, each as the scalar code holds it
// (A = knee_in and k = smooth_k exactly, the others already rounded to 32-bit
// floats and widened).
struct CurveCoeffs {
    double A, k, s1, ds, c2, scale, offset;
};

// In place over count samples: w = f32(atan((|v| - A) * k) / pi + 1/2),
// y = f32(((s1 - ds * w) * |v| + c2 * w) * scale - offset), v >= 0 ? y : -y.
// Any thread.
void curve_block(const CurveCoeffs& c, float* buf, int count);

// Gain computer output over count samples: for each i,
// g = f32((base[i]^e + S) / (base[i]^2 + S)) and v[i] = f32(gain_out * v[i] * g).
// Any thread.
void comp_gain_block(const float* base, float* v, int count, float e, float S, float gain_out);

// In place over count samples: |v|^e with v's sign (v < 0 gives the
// negation). Any thread.
void signed_power_block(float* buf, int count, float e);

// True when the AVX2 versions run (the processor has AVX2 and FMA). Any thread.
bool uses_avx2();

// The scalar references (one libm call per sample); tests compare against
// them. Any thread.
void curve_scalar(const CurveCoeffs& c, float* buf, int count);
void comp_gain_scalar(const float* base, float* v, int count, float e, float S, float gain_out);
void signed_power_scalar(float* buf, int count, float e);

// The AVX2 versions themselves, for tests and benchmarks; call them only
// when uses_avx2(). Any thread.
namespace avx2 {
void curve_block(const CurveCoeffs& c, float* buf, int count);
void comp_gain_block(const float* base, float* v, int count, float e, float S, float gain_out);
void signed_power_block(float* buf, int count, float e);
}  // namespace avx2

}  // namespace tw::vec
