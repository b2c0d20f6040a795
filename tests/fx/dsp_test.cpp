// The shared DSP pieces: one-pole smoother, delay line, per-channel passes
// over an interleaved buffer, two-pole steps, the four-pole low-pass, and
// the re-layout guard's audio side.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "fx/band_pass.h"
#include "fx/curves.h"
#include "fx/dsp/biquad.h"
#include "fx/dsp/channel_passes.h"
#include "fx/dsp/delay_line.h"
#include "fx/dsp/four_pole.h"
#include "fx/dsp/one_pole.h"
#include "fx/relayout_guard.h"

namespace tw::dsp {
namespace {

// Amplitude (RMS x sqrt 2) of a filter's output over the last `tail` of `n`
// samples of a unit sine; `tail` should span whole periods.
template <class Step>
double sine_gain(double freq, double rate, int n, int tail, Step step) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double y = step(std::sin(2.0 * std::numbers::pi * freq * i / rate));
        if (i >= n - tail) sum += y * y;
    }
    return std::sqrt(2.0 * sum / tail);
}

TEST(OnePole, StepsBlocksAndStridesAgree) {
    OnePole p;
    EXPECT_EQ(p.process(0.5f, 2.0f), 1.0f);
    EXPECT_EQ(p.process(0.5f, 2.0f), 1.5f);
    EXPECT_EQ(p.process(0.5f, 2.0f), 1.75f);
    // Every other sample of an interleaved block gives what FNC gives over
    // those samples alone, bit for bit.
    std::vector<float> inter(200), alone(100);
    for (int i = 0; i < 200; ++i) inter[i] = static_cast<float>((i * 7919) % 2001 - 1000);
    for (int i = 0; i < 100; ++i) alone[i] = inter[2 * i + 1];
    float s1 = 3.0f, s2 = 3.0f;
    one_pole_process(inter.data() + 1, 100, 0.98f, s1, 2);
    FNC(alone.data(), 100, 0.98f, s2);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(inter[2 * i + 1], alone[i]) << i;
    EXPECT_EQ(s1, s2);
    EXPECT_EQ(inter[0], -1000.0f);  // the other channel is untouched
}

TEST(DelayLine, ReadsBackWhatWasWrittenWrappingEveryPosition) {
    DelayLine<float, 8> d;
    for (int i = 1; i <= 10; ++i) d.write(static_cast<float>(i));
    EXPECT_EQ(d.read(0), 10.0f);
    EXPECT_EQ(d.read(1), 9.0f);
    EXPECT_EQ(d.read(7), 3.0f);
    EXPECT_EQ(d.read(8), 10.0f);   // a full turn
    EXPECT_EQ(d.read(-1), 3.0f);   // "ahead" of the newest is the oldest end
    EXPECT_EQ(d.read(8 * 1000003 + 2), 8.0f);
    EXPECT_FLOAT_EQ(d.read_fractional(0.25), 9.75f);
    EXPECT_FLOAT_EQ(d.read_fractional(2.5), 7.5f);
    EXPECT_FLOAT_EQ(d.read_fractional(7.5), 6.5f);  // between the oldest (3) and, wrapped, the newest (10)
    EXPECT_EQ(d.read_fractional(std::nan("")), 10.0f);
    d.at(d.write_position()) = -1.0f;
    EXPECT_EQ(d.read(0), -1.0f);
    d.reset();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(d.read(i), 0.0f);
}

TEST(ChannelPasses, HandOutEachChannelInWorkBufferSizedPasses) {
    std::vector<float> buf(2 * 5000);
    for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<float>(i);
    const InterleavedBlock stereo(buf.data(), 5000, 2);
    std::vector<int> counts;
    int next_frame = 0;
    stereo.for_each_pass(1, [&](const ChannelPass& p) {
        counts.push_back(p.count);
        EXPECT_EQ(p.stride, 2);
        for (int i = 0; i < p.count; ++i) ASSERT_EQ(p[i], static_cast<float>(2 * (next_frame + i) + 1));
        next_frame += p.count;
    });
    EXPECT_EQ(counts, (std::vector<int>{2048, 2048, 904}));
    // Any channel count but 1 is stereo; mono has no right channel.
    EXPECT_EQ(InterleavedBlock(buf.data(), 10, 6).channels(), 2);
    int calls = 0;
    InterleavedBlock(buf.data(), 3000, 1).for_each_pass(0, [&](const ChannelPass& p) {
        EXPECT_EQ(p.stride, 1);
        EXPECT_EQ(p.data, buf.data() + 2048 * calls++);
    });
    EXPECT_EQ(calls, 2);
    InterleavedBlock(buf.data(), 3000, 1).for_each_pass(1, [&](const ChannelPass&) { ++calls; });
    InterleavedBlock(nullptr, 3000, 2).for_each_pass(0, [&](const ChannelPass&) { ++calls; });
    InterleavedBlock(buf.data(), -5, 2).for_each_pass(0, [&](const ChannelPass&) { ++calls; });
    EXPECT_EQ(calls, 2);
    // copy_to / copy_from move exactly one channel.
    std::vector<float> work(kWorkBufferLen, 0.0f);
    stereo.for_each_pass(0, [&](const ChannelPass& p) {
        p.copy_to(work.data());
        for (int i = 0; i < p.count; ++i) work[i] = -work[i];
        p.copy_from(work.data());
    });
    EXPECT_EQ(buf[4], -4.0f);
    EXPECT_EQ(buf[5], 5.0f);
}

TEST(Biquad, BandPassHasItsDesignedCoefficientsAndResponse) {
    const BiquadCoefs<double> band0 = band_pass_design(62, 40);
    EXPECT_FLOAT_EQ(static_cast<float>(band0.a0), 382.97098f);
    EXPECT_FLOAT_EQ(static_cast<float>(band0.a1), -763.91943f);
    EXPECT_FLOAT_EQ(static_cast<float>(band0.a2), 380.97098f);
    const BiquadCoefs<double> d8 = band_pass_design(8000, 3500);
    const BiquadCoefs<float> band8{static_cast<float>(d8.a0), static_cast<float>(d8.a1), static_cast<float>(d8.a2)};
    EXPECT_FLOAT_EQ(band8.a0, 5.288766f);
    EXPECT_FLOAT_EQ(band8.a1, -4.403807f);
    EXPECT_FLOAT_EQ(band8.a2, 3.288766f);

    // Close to unity at the centre, nothing at DC, float and double alike.
    BiquadState<float> sf;
    BiquadState<double> sd;
    const double gf = sine_gain(8000, 48000, 4800, 480, [&](double x) { return band_pass_step(band8, sf, float(x)); });
    const double gd = sine_gain(8000, 48000, 4800, 480, [&](double x) { return band_pass_step(d8, sd, x); });
    EXPECT_GT(gf, 0.97);
    EXPECT_LT(gf, 1.001);
    EXPECT_NEAR(gf, gd, 1e-4);
    std::vector<float> dc(4800, 1000.0f);
    sf.reset();
    band_pass_process(band8, sf, dc.data(), 4800);
    EXPECT_NEAR(dc.back(), 0.0f, 1e-3f);
}

TEST(Biquad, HighPassPassesHighsAndBlocksDc) {
    // Corner 100 Hz at 48000 Hz, damping 1.41: a0 = t^2 + r t + 1, a1 = -(2 - t^2), a2 = t^2 - r t + 1.
    const double t = std::tan(3.141592653589 * 100.0 / 48000.0);
    const BiquadCoefs<float> c{float(t * t + 1.41 * t + 1), float(-(2 - t * t)), float(t * t - 1.41 * t + 1)};
    EXPECT_FLOAT_EQ(c.a0, 1.009271f);
    EXPECT_FLOAT_EQ(c.a1, -1.999957f);
    EXPECT_FLOAT_EQ(c.a2, 0.9908143f);
    BiquadState<float> s;
    EXPECT_NEAR(sine_gain(12000, 48000, 48000, 480, [&](double x) { return high_pass_step(c, s, float(x)); }), 1.0,
                1e-3);
    s.reset();
    EXPECT_NEAR(sine_gain(101.6, 48000, 96000, 9449, [&](double x) { return high_pass_step(c, s, float(x)); }),
                std::sqrt(0.5), 0.01);
    s.reset();
    float last = 0.0f;
    for (int i = 0; i < 48000; ++i) last = high_pass_step(c, s, 1000.0f);
    EXPECT_NEAR(last, 0.0f, 1e-3f);
}

TEST(FourPole, FirstSampleAndSettledLevel) {
    const double f = 0.1 * 1.16;
    const double fb = (1.0 - 0.15 * f * f) * 3.0;
    FourPoleState s;
    EXPECT_DOUBLE_EQ(four_pole_step(s, 1.0, f, fb), (f * f) * 0.35013 * (f * f));
    for (int i = 0; i < 20000; ++i) four_pole_step(s, 1.0, f, fb);
    // Each stage has DC gain 1.3 / f, so the loop gain is 0.35013 * 1.3^4.
    const double g = 0.35013 * std::pow(1.3, 4);
    EXPECT_NEAR(s.out4, g / (1.0 + g * fb), 1e-9);
    s.reset();
    EXPECT_EQ(s.out4, 0.0);
}

TEST(RelayoutGuardAudioSide, EntersOnlyWhenIdleAndNeverWaits) {
    RelayoutGuard g;
    {
        const ProcessingScope a(g);
        EXPECT_TRUE(a);
        EXPECT_EQ(g.load(), RelayoutGuard::kProcessing);
        const ProcessingScope nested(g);
        EXPECT_FALSE(nested);
    }
    EXPECT_EQ(g.load(), RelayoutGuard::kIdle);
    g.begin_relayout();
    EXPECT_FALSE(ProcessingScope(g));
    EXPECT_EQ(g.load(), RelayoutGuard::kRelaying);
    g.end_relayout();
    int relaid = 0;
    g.relayout([&] { relaid = g.load(); });
    EXPECT_EQ(relaid, RelayoutGuard::kRelaying);
    EXPECT_TRUE(ProcessingScope(g));
}

}  // namespace
}  // namespace tw::dsp
