// The two vector math libraries on the distortions' functions, in four double
// lanes (AVX2): SLEEF (Sleef_atand4_u10avx2, Sleef_powd4_u10avx2) against
// xsimd (xsimd::atan, xsimd::pow on batch<double, avx2>), with libm's scalar
// atan and pow as the reference. Each run covers 2048 arguments in the ranges
// the effects meet; reports ns per value and, as a counter, the largest error
// against libm in units of the 32-bit result (the figure the effects need)
// and of the 64-bit one.
// Built with -mavx2 -mfma; exits at once on a processor without AVX2.
#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <sleef.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>
#include <xsimd/xsimd.hpp>

#include "fx/vec_pow_avx2.h"

namespace {

constexpr int kCount = 2048;
using Batch = xsimd::batch<double, xsimd::avx2>;

// Arguments of the Soft/Hard curve's arctangent ((|v| - A) * k) and of the
// compressor's power (window means with exponent 1.25).
std::vector<double> atan_args() {
    std::vector<double> v(kCount);
    for (int i = 0; i < kCount; ++i) v[i] = (i * 16.0 - 1000.0) * 0.1;
    return v;
}
std::vector<double> pow_args() {
    std::vector<double> v(kCount);
    for (int i = 0; i < kCount; ++i) v[i] = 50.0 + i * 17.3;
    return v;
}
constexpr double kExp = 1.25;

std::int64_t ulp32(double a, double b) {
    const auto ia = static_cast<std::int64_t>(std::bit_cast<std::int32_t>(static_cast<float>(a)));
    const auto ib = static_cast<std::int64_t>(std::bit_cast<std::int32_t>(static_cast<float>(b)));
    return ia > ib ? ia - ib : ib - ia;
}

std::int64_t ulp64(double a, double b) {
    const auto ia = std::bit_cast<std::int64_t>(a), ib = std::bit_cast<std::int64_t>(b);
    return ia > ib ? ia - ib : ib - ia;
}

template <class F>
void run(benchmark::State& state, const std::vector<double>& in, double (*ref)(double), F&& block) {
    std::vector<double> out(kCount);
    block(in.data(), out.data());
    std::int64_t worst = 0, worst64 = 0;
    for (int i = 0; i < kCount; ++i) {
        worst = std::max(worst, ulp32(out[i], ref(in[i])));
        worst64 = std::max(worst64, ulp64(out[i], ref(in[i])));
    }
    for (auto _ : state) {
        block(in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_value"] = benchmark::Counter(static_cast<double>(state.iterations()) * kCount,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["max_ulp32_vs_libm"] = static_cast<double>(worst);
    state.counters["max_ulp64_vs_libm"] = static_cast<double>(worst64);
}

double libm_atan(double x) { return std::atan(x); }
double libm_pow(double x) { return std::pow(x, kExp); }

void BM_Atan_Libm(benchmark::State& s) {
    run(s, atan_args(), libm_atan, [](const double* in, double* out) {
        for (int i = 0; i < kCount; ++i) out[i] = std::atan(in[i]);
    });
}
void BM_Atan_Sleef(benchmark::State& s) {
    run(s, atan_args(), libm_atan, [](const double* in, double* out) {
        for (int i = 0; i < kCount; i += 4) _mm256_storeu_pd(out + i, Sleef_atand4_u10avx2(_mm256_loadu_pd(in + i)));
    });
}
void BM_Atan_Xsimd(benchmark::State& s) {
    run(s, atan_args(), libm_atan, [](const double* in, double* out) {
        for (int i = 0; i < kCount; i += 4) xsimd::atan(Batch::load_unaligned(in + i)).store_unaligned(out + i);
    });
}
void BM_Pow_Libm(benchmark::State& s) {
    run(s, pow_args(), libm_pow, [](const double* in, double* out) {
        for (int i = 0; i < kCount; ++i) out[i] = std::pow(in[i], kExp);
    });
}
void BM_Pow_Sleef(benchmark::State& s) {
    run(s, pow_args(), libm_pow, [](const double* in, double* out) {
        const __m256d e = _mm256_set1_pd(kExp);
        for (int i = 0; i < kCount; i += 4) _mm256_storeu_pd(out + i, Sleef_powd4_u10avx2(_mm256_loadu_pd(in + i), e));
    });
}
void BM_Pow_Xsimd(benchmark::State& s) {
    run(s, pow_args(), libm_pow, [](const double* in, double* out) {
        const Batch e(kExp);
        for (int i = 0; i < kCount; i += 4) xsimd::pow(Batch::load_unaligned(in + i), e).store_unaligned(out + i);
    });
}

// The effects' own power, as their kernels run it: every exponent of a
// chunk first, then the powers.
void BM_Pow_Own(benchmark::State& s) {
    run(s, pow_args(), libm_pow, [](const double* in, double* out) {
        const __m256d e = _mm256_set1_pd(kExp);
        for (int i = 0; i < kCount; i += 4) _mm256_storeu_pd(out + i, tw::vec::pow_exponent(_mm256_loadu_pd(in + i), e));
        for (int i = 0; i < kCount; i += 4)
            _mm256_storeu_pd(out + i, tw::vec::pow_from_exponent(_mm256_loadu_pd(out + i), _mm256_loadu_pd(in + i)));
    });
}
// The power laws of the Distortion (Simple) in eight float lanes against
// libm's powf (the scalar code's): |v|^0.85 over the band levels it meets.
using BatchF = xsimd::batch<float, xsimd::avx2>;
constexpr float kExpF = 0.85f;
template <class F>
void run_f(benchmark::State& state, F&& block) {
    std::vector<float> in(kCount), out(kCount);
    for (int i = 0; i < kCount; ++i) in[i] = 0.37f + static_cast<float>(i) * 9.7f;
    block(in.data(), out.data());
    std::int64_t worst = 0;
    for (int i = 0; i < kCount; ++i) worst = std::max(worst, ulp32(out[i], std::pow(in[i], kExpF)));
    for (auto _ : state) {
        block(in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_value"] = benchmark::Counter(static_cast<double>(state.iterations()) * kCount,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["max_ulp32_vs_libm"] = static_cast<double>(worst);
}
void BM_PowF_Libm(benchmark::State& s) {
    run_f(s, [](const float* in, float* out) {
        for (int i = 0; i < kCount; ++i) out[i] = std::pow(in[i], kExpF);
    });
}
void BM_PowF_Sleef(benchmark::State& s) {
    run_f(s, [](const float* in, float* out) {
        const __m256 e = _mm256_set1_ps(kExpF);
        for (int i = 0; i < kCount; i += 8) _mm256_storeu_ps(out + i, Sleef_powf8_u10avx2(_mm256_loadu_ps(in + i), e));
    });
}
void BM_PowF_Xsimd(benchmark::State& s) {
    run_f(s, [](const float* in, float* out) {
        const BatchF e(kExpF);
        for (int i = 0; i < kCount; i += 8) xsimd::pow(BatchF::load_unaligned(in + i), e).store_unaligned(out + i);
    });
}

void BM_PowF_Own(benchmark::State& s) {
    run_f(s, [](const float* in, float* out) {
        const __m256d e = _mm256_set1_pd(kExpF);
        alignas(32) double y[kCount];
        for (int i = 0; i < kCount; i += 4)
            _mm256_store_pd(y + i, tw::vec::pow_exponent(_mm256_cvtps_pd(_mm_loadu_ps(in + i)), e));
        for (int i = 0; i < kCount; i += 4) {
            const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(in + i));
            _mm_storeu_ps(out + i, _mm256_cvtpd_ps(tw::vec::pow_from_exponent(_mm256_load_pd(y + i), a)));
        }
    });
}
}  // namespace

BENCHMARK(BM_Atan_Libm);
BENCHMARK(BM_Atan_Sleef);
BENCHMARK(BM_Atan_Xsimd);
BENCHMARK(BM_Pow_Libm);
BENCHMARK(BM_Pow_Sleef);
BENCHMARK(BM_Pow_Xsimd);
BENCHMARK(BM_Pow_Own);
BENCHMARK(BM_PowF_Libm);
BENCHMARK(BM_PowF_Sleef);
BENCHMARK(BM_PowF_Xsimd);
BENCHMARK(BM_PowF_Own);

int main(int argc, char** argv) {
    if (__builtin_cpu_supports("avx2") == 0) {
        std::printf("vecmath_bench: this processor has no AVX2; nothing to compare.\n");
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
