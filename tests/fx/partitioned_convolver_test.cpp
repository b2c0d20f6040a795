// The partitioned convolver against whole-signal convolution in double
// precision (direct for short IRs, FFTW's double transform for long ones),
// at fixed and changing block sizes, mono and interleaved stereo.
#include "fx/dsp/partitioned_convolver.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace tw::dsp {
namespace {

std::vector<float> noise(std::size_t n, unsigned seed, float amp = 1.0f) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-amp, amp);
    std::vector<float> v(n);
    for (float& x : v) x = d(rng);
    return v;
}

// A decaying noise IR with unit energy, as a cabinet's would be.
std::vector<float> test_ir(std::size_t n, unsigned seed) {
    std::vector<float> h = noise(n, seed);
    double e = 0;
    for (std::size_t i = 0; i < n; ++i) {
        h[i] *= static_cast<float>(std::exp(-3.0 * static_cast<double>(i) / static_cast<double>(n)));
        e += static_cast<double>(h[i]) * h[i];
    }
    for (float& x : h) x = static_cast<float>(x / std::sqrt(e));
    return h;
}

// y = x * h over the first x.size() samples, in double.
std::vector<double> reference(const std::vector<float>& x, const std::vector<float>& h) {
    const std::size_t n = x.size();
    std::vector<double> y(n, 0.0);
    if (h.size() <= 128) {
        for (std::size_t t = 0; t < n; ++t)
            for (std::size_t k = 0; k < h.size() && k <= t; ++k) y[t] += static_cast<double>(h[k]) * x[t - k];
        return y;
    }
    std::size_t m = 1;
    while (m < n + h.size()) m *= 2;
    std::vector<double> a(m, 0.0), b(m, 0.0);
    std::copy(x.begin(), x.end(), a.begin());
    std::copy(h.begin(), h.end(), b.begin());
    std::vector<std::complex<double>> fa(m / 2 + 1), fb(m / 2 + 1);
    auto* pa = reinterpret_cast<fftw_complex*>(fa.data());
    auto* pb = reinterpret_cast<fftw_complex*>(fb.data());
    fftw_plan p1 = fftw_plan_dft_r2c_1d(static_cast<int>(m), a.data(), pa, FFTW_ESTIMATE);
    fftw_plan p2 = fftw_plan_dft_r2c_1d(static_cast<int>(m), b.data(), pb, FFTW_ESTIMATE);
    fftw_execute(p1);
    fftw_execute(p2);
    for (std::size_t i = 0; i < fa.size(); ++i) fa[i] *= fb[i] / static_cast<double>(m);
    fftw_plan p3 = fftw_plan_dft_c2r_1d(static_cast<int>(m), pa, a.data(), FFTW_ESTIMATE);
    fftw_execute(p3);
    fftw_destroy_plan(p1);
    fftw_destroy_plan(p2);
    fftw_destroy_plan(p3);
    std::copy_n(a.begin(), n, y.begin());
    return y;
}

// Runs `channels` interleaved channels through their convolvers in blocks of
// the given sizes (repeated), in place.
void run(std::vector<PartitionedConvolver*> conv, std::vector<float>& buf, const std::vector<int>& sizes) {
    const int ch = static_cast<int>(conv.size());
    const std::size_t frames = buf.size() / static_cast<std::size_t>(ch);
    std::size_t done = 0;
    for (std::size_t i = 0; done < frames; ++i) {
        const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(sizes[i % sizes.size()]), frames - done));
        for (int c = 0; c < ch; ++c) {
            float* p = buf.data() + done * static_cast<std::size_t>(ch) + static_cast<std::size_t>(c);
            conv[static_cast<std::size_t>(c)]->process(p, p, n, ch);
        }
        done += static_cast<std::size_t>(n);
    }
}

std::vector<int> random_sizes(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(1, 2048);
    std::vector<int> s(97);
    for (int& n : s) n = d(rng);
    s[3] = 1;
    s[10] = 2048;
    return s;
}

double largest_difference(const std::vector<float>& got, int ch, int c, const std::vector<double>& want) {
    double worst = 0;
    for (std::size_t t = 0; t < want.size(); ++t)
        worst = std::max(worst, std::abs(static_cast<double>(got[t * static_cast<std::size_t>(ch) + static_cast<std::size_t>(c)]) - want[t]));
    return worst;
}

TEST(PartitionedConvolver, MatchesTheLinearConvolutionAtEveryBlockSizeMonoAndStereo) {
    const std::vector<std::vector<int>> block_plans = {{1}, {37}, {64}, {512}, {2048}, random_sizes(7)};
    for (std::size_t taps : {1u, 63u, 64u, 65u, 4096u, 48000u}) {
        // A short burst, then enough silence to hear the whole tail.
        const std::size_t frames = taps + 3000;
        std::vector<float> left = noise(frames, 11);
        std::vector<float> right = noise(frames, 12);
        for (std::size_t t = 2000; t < frames; ++t) left[t] = right[t] = 0.0f;
        const std::vector<float> hl = test_ir(taps, 21), hr = test_ir(taps, 22);
        const ConvolverIr irl(hl), irr(hr);
        const std::vector<double> want_l = reference(left, hl), want_r = reference(right, hr);
        EXPECT_EQ(irl.length(), taps);
        for (const auto& plan : block_plans) {
            // Mono.
            PartitionedConvolver mono(irl);
            std::vector<float> m = left;
            run({&mono}, m, plan);
            EXPECT_LE(largest_difference(m, 1, 0, want_l), 1e-5) << taps << " taps, blocks of " << plan[0];
            // Interleaved stereo, a different IR per channel.
            PartitionedConvolver cl(irl), cr(irr);
            std::vector<float> s(2 * frames);
            for (std::size_t t = 0; t < frames; ++t) {
                s[2 * t] = left[t];
                s[2 * t + 1] = right[t];
            }
            run({&cl, &cr}, s, plan);
            EXPECT_LE(largest_difference(s, 2, 0, want_l), 1e-5) << taps << " taps stereo L, blocks of " << plan[0];
            EXPECT_LE(largest_difference(s, 2, 1, want_r), 1e-5) << taps << " taps stereo R, blocks of " << plan[0];
        }
    }
}

TEST(PartitionedConvolver, AnswersAnImpulseAtTheIrsFirstTapAndResetsToSilence) {
    // Taps 0..99 zero, then a spike: an impulse comes out exactly 100
    // samples later, whatever the block size.
    std::vector<float> h(5000, 0.0f);
    h[100] = 0.5f;
    h[4999] = -0.25f;
    const ConvolverIr ir(h);
    for (int block : {1, 37, 2048}) {
        PartitionedConvolver c(ir);
        std::vector<float> x(6000, 0.0f);
        x[0] = 1.0f;
        run({&c}, x, {block});
        EXPECT_NEAR(x[99], 0.0f, 1e-6);
        EXPECT_NEAR(x[100], 0.5f, 1e-6);
        EXPECT_NEAR(x[4999], -0.25f, 1e-6);
        EXPECT_NEAR(x[101], 0.0f, 1e-6);
        // After a reset the old input leaves no trace.
        c.reset();
        std::vector<float> z(6000, 0.0f);
        run({&c}, z, {block});
        for (float v : z) ASSERT_EQ(v, 0.0f);
    }
    // An IR of one tap at the first sample: the output is the input times
    // that tap, from the first sample on.
    const std::vector<float> one = {0.75f};
    const ConvolverIr ir1(one);
    PartitionedConvolver c1(ir1);
    std::vector<float> x = noise(300, 3);
    std::vector<float> y = x;
    run({&c1}, y, {37});
    for (std::size_t i = 0; i < x.size(); ++i) ASSERT_FLOAT_EQ(y[i], 0.75f * x[i]);
}

}  // namespace
}  // namespace tw::dsp
