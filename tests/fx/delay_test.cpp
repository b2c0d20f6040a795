// The Delay: creation sequence, tap gains, echo positions, the drifting taps
// and the record.
#include "fx/delays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "fx/param_record.h"
#include "fx_test_support.h"

namespace tw {
namespace {

std::unique_ptr<TDelay_form> fresh() { return std::make_unique<TDelay_form>(); }

// Feeds an impulse of 1000 (at frame 0) through `frames` frames and returns
// the frames (sample indices) where each channel is non-zero, with values.
struct Hit { int at; float value; };
std::vector<std::vector<Hit>> impulse_hits(TDelay_form& d, int channels, int frames) {
    std::vector<float> buf(static_cast<std::size_t>(frames) * channels, 0.0f);
    for (int c = 0; c < channels; ++c) buf[c] = 1000.0f;
    d.process(frames, 48000, channels, buf.data());
    std::vector<std::vector<Hit>> hits(channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            if (buf[i * channels + c] != 0.0f) hits[c].push_back({i, buf[i * channels + c]});
    return hits;
}

TEST(Delay, CreationRunsTheFourHandlers) {
    auto d = fresh();
    EXPECT_EQ(d->form().caption(), "Delay");
    EXPECT_EQ(d->ScrollBar_Delay_Time.position(), 75);
    EXPECT_EQ(d->ScrollBar_Delay_I_Gain.min(), 1);
    EXPECT_EQ(d->params.delay_samples, 75 * 520);
    EXPECT_FLOAT_EQ(d->params.echo_out_gain, 0.65f);
    EXPECT_FLOAT_EQ(d->params.echo_in_gain, 0.85f);
    EXPECT_FLOAT_EQ(d->params.echo_decay, 0.45f);
    const float expected[] = {0.85f, 0.3825f, 0.172125f, 0.07745625f, 0.0348553125f};
    for (int k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(d->params.tap_gain[k], expected[k]) << k;
    EXPECT_EQ(d->params.drift_on, 0);
    EXPECT_EQ(d->CheckRadioBox_Small_Flanger.caption(), "  Ping pong");
}

TEST(Delay, MonoImpulseEchoesAtMultiplesOfTheTimeWithFallingGains) {
    auto d = fresh();
    d->ScrollBar_Delay_Time.set_position(2);  // T = 1040
    const int T = 1040;
    auto hits = impulse_hits(*d, 1, 6 * T + 10)[0];
    ASSERT_EQ(hits.size(), 6u);
    const float out = 0.65f;
    EXPECT_FLOAT_EQ(hits[0].value, 1000.0f * out);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(hits[k + 1].at, (k + 1) * T) << k;
        EXPECT_FLOAT_EQ(hits[k + 1].value, 1000.0f * d->params.tap_gain[k] * out) << k;
    }
}

TEST(Delay, StereoRightTapsSitHalfATimeEarlier) {
    auto d = fresh();
    d->ScrollBar_Delay_Time.set_position(3);  // T = 1560
    const int T = 1560;
    auto hits = impulse_hits(*d, 2, 6 * T);
    ASSERT_EQ(hits[0].size(), 6u);
    ASSERT_EQ(hits[1].size(), 6u);
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(hits[0][k].at, k * T);
        EXPECT_EQ(hits[1][k].at, (k - 1) * T + T / 2);  // T/2, 3T/2, ... 9T/2
    }
}

TEST(Delay, DecayAndGainEnds) {
    auto d = fresh();
    d->ScrollBar_Delay_Decay.set_position(0);  // only the first tap
    EXPECT_FLOAT_EQ(d->params.tap_gain[0], 0.85f);
    for (int k = 1; k < 5; ++k) EXPECT_EQ(d->params.tap_gain[k], 0.0f);
    d->ScrollBar_Delay_Decay.set_position(100);  // all taps at the echo gain
    for (int k = 0; k < 5; ++k) EXPECT_FLOAT_EQ(d->params.tap_gain[k], 0.85f);
    // T = 0: every tap reads the current input.
    d->ScrollBar_Delay_Time.set_position(0);
    float x = 100.0f;
    d->process(1, 48000, 1, &x);
    EXPECT_FLOAT_EQ(x, 100.0f * (1 + 5 * 0.85f) * 0.65f);
    d->ScrollBar_Delay_Gain.set_position(0);  // silences everything, dry included
    std::vector<float> buf = test::guitar_like(4000);
    d->process(2000, 48000, 2, buf.data());
    for (float v : buf) ASSERT_EQ(v, 0.0f);
}

TEST(Delay, PingPongDriftsOneStepEvery128SamplesOver603Positions) {
    auto d = fresh();
    d->CheckRadioBox_Small_Flanger.set_checked(true);
    EXPECT_EQ(d->params.drift_on, 1);
    int lowest = 0, highest = 0, steps = 0, last = d->kernel().drift(0);
    for (int i = 0; i < 1600 * 128; ++i) {  // more than one full cycle
        float x = 0.0f;
        d->process(1, 48000, 1, &x);
        if (d->kernel().drift(0) != last) {
            EXPECT_EQ(std::abs(d->kernel().drift(0) - last), 1);
            ++steps;
            last = d->kernel().drift(0);
        }
        lowest = std::min(lowest, d->kernel().drift(0));
        highest = std::max(highest, d->kernel().drift(0));
    }
    EXPECT_EQ(lowest, -1);
    EXPECT_EQ(highest, 601);
    EXPECT_EQ(steps, 1600);
    // The drift moves the echo: with d = 601 the first tap reads 601 samples later.
    auto e = fresh();
    e->ScrollBar_Delay_Time.set_position(1);  // T = 520
    e->CheckRadioBox_Small_Flanger.set_checked(true);
    auto hits = impulse_hits(*e, 2, 600);
    ASSERT_EQ(hits[0].size(), 2u);
    ASSERT_EQ(hits[1].size(), 2u);  // both channels drift alike from the same state
    const int drift_at_echo = hits[0][1].at / 128;
    EXPECT_EQ(hits[0][1].at, 520 - drift_at_echo);
    EXPECT_EQ(hits[1][1].at, hits[0][1].at);
}

TEST(Delay, StereoChannelsAreIndependentAndMonoUsesTheLeftLine) {
    auto a = fresh();
    auto b = fresh();
    a->ScrollBar_Delay_Time.set_position(1);
    b->ScrollBar_Delay_Time.set_position(1);
    std::vector<float> sa = test::guitar_like(2 * 3000), sb = sa;
    for (int i = 0; i < 3000; ++i) sb[2 * i + 1] = 0.0f;  // b: right channel silent
    a->process(3000, 48000, 2, sa.data());
    b->process(3000, 48000, 2, sb.data());
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(sa[2 * i], sb[2 * i]) << i;
    EXPECT_EQ(b->kernel().line_at(1, 100), 0.0f);
    std::vector<float> mono(700, 5.0f);
    b->process(700, 48000, 1, mono.data());
    EXPECT_EQ(b->kernel().line_at(0, (3000 + 10) % DelayKernel::kLineLen), 5.0f);
    EXPECT_EQ(b->kernel().line_at(1, 10), 0.0f);
}

TEST(DelayKernel, ProcessWithGivenParams) {
    DelayKernel k;
    DelayKernel::Params p;
    p.tap_gain = {0.5f, 0.25f, 0.125f, 0.0625f, 0.03125f, 0.0f};
    p.echo_out_gain = 2.0f;
    p.delay_samples = 4;
    std::vector<float> buf(2 * 24, 0.0f);
    buf[0] = buf[1] = 1.0f;
    k.process({24, 48000, 2, buf.data()}, p);
    // Left echoes at 4, 8, .. 20; right ones half a time earlier, at 2, 6, .. 18.
    std::vector<float> left(24, 0.0f), right(24, 0.0f);
    left[0] = right[0] = 2.0f;
    for (int t = 0; t < 5; ++t) {
        left[4 * (t + 1)] = 2.0f * p.tap_gain[t];
        right[4 * t + 2] = 2.0f * p.tap_gain[t];
    }
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(buf[2 * i], left[i]) << i;
        EXPECT_EQ(buf[2 * i + 1], right[i]) << i;
    }
    EXPECT_EQ(k.line_at(0, 0), 1.0f);
    EXPECT_EQ(k.line_at(1, 0), 1.0f);
    // Mono goes through the left line alone, which holds the input, not the output.
    float x[2] = {7.0f, 0.0f};
    k.process({2, 48000, 1, x}, p);
    EXPECT_EQ(x[0], 14.0f);
    EXPECT_EQ(k.line_at(0, 24), 7.0f);
    EXPECT_EQ(k.line_at(1, 24), 0.0f);
}

TEST(Delay, LongBuffersRunInPasses) { test::expect_long_buffers_run_in_passes<TDelay_form>(); }

TEST(Delay, RecordLoadsThroughTheBarsAndClampsHostileValues) {
    auto src = fresh();
    src->ScrollBar_Delay_Time.set_position(100);
    src->ScrollBar_Delay_I_Gain.set_position(20);
    src->CheckRadioBox_Small_Flanger.set_checked(true);
    ParamRecord r;
    r.bytes.fill(0x5A);
    src->get_parameters(r);
    EXPECT_EQ(rec_get_i32(r, 0), 100);
    EXPECT_EQ(rec_get_i32(r, 12), 20);
    EXPECT_EQ(rec_get_u8(r, 16), 1);
    EXPECT_EQ(rec_get_u8(r, 17), 0x5A);  // unused bytes keep the caller's content
    auto dst = fresh();
    dst->put_parameters(r);
    EXPECT_EQ(dst->params.delay_samples, 52000);
    EXPECT_FLOAT_EQ(dst->params.tap_gain[0], 0.2f);
    EXPECT_EQ(dst->params.drift_on, 1);
    // Hostile positions are clamped into the bars' ranges.
    rec_set_i32(r, 0, 1 << 30);
    rec_set_i32(r, 4, -77);
    rec_set_i32(r, 12, 0);
    dst->put_parameters(r);
    EXPECT_EQ(dst->params.delay_samples, 52000);
    EXPECT_EQ(dst->params.tap_gain[1], 0.0f);
    EXPECT_FLOAT_EQ(dst->params.echo_in_gain, 0.01f);
    std::vector<float> buf = test::guitar_like(2 * 2048);
    dst->process(2048, 48000, 2, buf.data());
    for (float v : buf) ASSERT_TRUE(std::isfinite(v));
}

}  // namespace
}  // namespace tw
