// The Flanger / Chorus: creation values, the first delayed sample, the
// triangle sweep, the chorus line, gang, channels and the record.
#include "fx/flangers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "fx/param_record.h"
#include "fx_test_support.h"

namespace tw {
namespace {

std::unique_ptr<Tflanger_form> fresh() { return std::make_unique<Tflanger_form>(); }

TEST(Flanger, CreationValuesAndSilenceStaysSilent) {
    auto f = fresh();
    EXPECT_EQ(f->form().caption(), "Flanger");
    EXPECT_EQ(f->params.fl_level, 0.5f);
    EXPECT_EQ(f->kernel().speed(0), 0.0075f);
    EXPECT_EQ(f->kernel().speed(1), 0.0075f);
    EXPECT_EQ(f->params.fl_feedback_l, 0.5f);
    EXPECT_EQ(f->params.chorus_len, 1800);
    EXPECT_EQ(f->kernel().write_position(0), 301);
    EXPECT_EQ(f->kernel().read_index(0), 1);
    EXPECT_EQ(f->kernel().chorus_at(1, 14999), 1.0f);
    EXPECT_EQ(f->kernel().chorus_at(1, 15000), 0.0f);
    EXPECT_TRUE(f->CheckRadioBox_Gang.checked());
    EXPECT_EQ(f->ScrollBar_Flanger_Speed.position(), 10);
    std::vector<float> buf(2 * 3000, 0.0f);
    f->process(3000, 48000, 2, buf.data());
    for (float v : buf) ASSERT_EQ(v, 0.0f);
}

// The first delayed sample of an impulse comes 298 samples after it: the read
// position starts 301 behind the write position and closes in by 0.0075 a
// sample, and the interpolation towards the newer sample reaches the impulse
// once the read index is 300 (298 × 1.0075 = 300.2).
TEST(Flanger, FirstDelayedSampleComes298SamplesAfterTheInput) {
    auto f = fresh();
    std::vector<float> buf(400, 0.0f);
    buf[0] = 1000.0f;
    f->process(400, 48000, 1, buf.data());
    EXPECT_EQ(buf[0], 1000.0f);
    int first = -1;
    for (int i = 1; i < 400 && first < 0; ++i)
        if (buf[i] != 0.0f) first = i;
    EXPECT_EQ(first, 298);
    // d = ring[301] × frac with frac = r − 300 ≈ 0.235, mixed in at level 0.5.
    EXPECT_NEAR(buf[298], 1000.0f * 0.235f * 0.5f, 1.0f);
    EXPECT_GT(buf[299], buf[298]);
}

TEST(Flanger, SweepIsATriangleBetweenAboutOneAnd301Samples) {
    auto f = fresh();
    f->ScrollBar_Flanger_Speed.set_position(100);  // 0.02 a sample: half period 15000
    ASSERT_FLOAT_EQ(f->kernel().speed(1), 0.02f);  // ganged
    float nearest = 1e9f, farthest = 0.0f;
    int turns = 0;
    float last_s = f->kernel().speed(0);
    for (int n = 0; n < 61000; ++n) {
        float x = 0.0f;
        f->process(1, 48000, 1, &x);
        float dist = static_cast<float>(f->kernel().write_position(0)) - f->kernel().read_position(0);
        if (dist < 0) dist += FlangerKernel::kRingLen;
        nearest = std::min(nearest, dist);
        farthest = std::max(farthest, dist);
        const float s = f->kernel().speed(0);
        if (s != last_s) {
            EXPECT_EQ(s, -last_s);
            ++turns;
            last_s = s;
        }
        ASSERT_GE(f->kernel().sweep(0), -0.03f);
        ASSERT_LE(f->kernel().sweep(0), 300.03f);
    }
    EXPECT_EQ(turns, 4);  // a half period is 15000 samples
    // The 32-bit read position gathers rounding error: "about" one sample.
    EXPECT_NEAR(nearest, 1.0f, 0.3f);
    EXPECT_NEAR(farthest, 301.0f, 0.1f);
    // The right channel was not run: its sweep has not moved.
    EXPECT_EQ(f->kernel().sweep(1), 0.001f);
}

TEST(Flanger, BarsAndGang) {
    auto f = fresh();
    f->ScrollBar_Flanger_Tone.set_position(0);
    EXPECT_EQ(f->params.fl_feedback_l, 0.0f);
    f->ScrollBar_Flanger_Tone.set_position(48);
    EXPECT_FLOAT_EQ(f->params.fl_feedback_r, 0.96f);
    f->ScrollBar_Flanger_Level.set_position(50);
    EXPECT_EQ(f->params.fl_level, 1.0f);
    f->ScrollBar_Flanger_Level.set_position(100);
    EXPECT_EQ(f->params.fl_level, 2.0f);
    // Ganged: the left bar moves the right one; the right bar alone follows left.
    f->ScrollBar_Flanger_Speed.set_position(40);
    EXPECT_EQ(f->ScrollBar_Flanger_Speed_R.position(), 40);
    EXPECT_FLOAT_EQ(f->kernel().speed(0), 0.008f);
    EXPECT_EQ(f->kernel().speed(1), f->kernel().speed(0));
    f->ScrollBar_Flanger_Speed_R.set_position(90);
    EXPECT_EQ(f->kernel().speed(1), f->kernel().speed(0));
    // Unganged: each bar sets its own step; ganging again copies left to right.
    f->CheckRadioBox_Gang.set_checked(false);
    f->ScrollBar_Flanger_Speed_R.set_position(5);
    EXPECT_FLOAT_EQ(f->kernel().speed(1), 0.001f);
    f->CheckRadioBox_Gang.set_checked(true);
    EXPECT_EQ(f->kernel().speed(1), f->kernel().speed(0));
}

TEST(Flanger, ChorusLinePlaysItsPrimedContentThenTheDelayedSignal) {
    auto f = fresh();
    f->ScrollBar_ChorusTone.set_position(1);
    EXPECT_EQ(f->params.chorus_len, 167);
    f->ScrollBar_ChorusTone.set_position(100);
    EXPECT_EQ(f->params.chorus_len, 19800);
    f->ScrollBar_ChorusTone.set_position(50);
    f->RadioBox_Chorus.set_checked(true);
    std::vector<float> buf(2000, 0.0f);
    f->process(2000, 48000, 1, buf.data());
    for (int i = 0; i < 1800; ++i) ASSERT_EQ(buf[i], 0.5f) << i;  // 1.0 × level 0.5
    EXPECT_EQ(buf[1800], 0.0f);  // the first delayed sample of silence
    EXPECT_EQ(f->kernel().chorus_at(1, 5), 1.0f);  // mono touches line 0 only
}

TEST(Flanger, StereoChannelsAreIndependent) {
    auto a = fresh();
    auto b = fresh();
    std::vector<float> sa = test::guitar_like(2 * 3000), sb = sa;
    for (int i = 0; i < 3000; ++i) sb[2 * i + 1] = 0.0f;
    a->process(3000, 48000, 2, sa.data());
    b->process(3000, 48000, 2, sb.data());
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(sa[2 * i], sb[2 * i]) << i;
        ASSERT_EQ(sb[2 * i + 1], 0.0f) << i;
    }
}

// The kernel alone: the left side of a stereo block runs exactly as a mono
// block does, the right side with its own feedback and sweep step; the step
// turns on the audio side, and reset() brings back the creation rings only.
TEST(FlangerKernel, EachSideHasItsOwnStateFeedbackAndStep) {
    FlangerKernel stereo, mono;
    FlangerKernel::Params p;
    p.fl_feedback_l = 0.0f;
    p.fl_feedback_r = 0.96f;
    stereo.set_speed(1, 0.02f);   // half period 15000 samples
    const int frames = 20000;
    const std::vector<float> left = test::guitar_like(frames);
    std::vector<float> both(2 * frames), alone = left;
    for (int i = 0; i < frames; ++i) both[2 * i] = both[2 * i + 1] = left[i];
    stereo.process({frames, 48000, 2, both.data()}, p);
    mono.process({frames, 48000, 1, alone.data()}, p);
    bool sides_differ = false;
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(both[2 * i], alone[i]) << i;
        sides_differ = sides_differ || both[2 * i + 1] != both[2 * i];
    }
    EXPECT_TRUE(sides_differ);
    EXPECT_EQ(stereo.speed(0), 0.0075f);   // 20000 x 0.0075 < 300: no turn yet
    EXPECT_EQ(stereo.speed(1), -0.02f);    // turned once, at about 15000
    EXPECT_EQ(stereo.write_position(0), (301 + frames) % FlangerKernel::kRingLen);
    stereo.reset();
    EXPECT_EQ(stereo.write_position(1), 301);
    EXPECT_EQ(stereo.sweep(1), 0.001f);
    EXPECT_EQ(stereo.speed(1), -0.02f);
}

TEST(Flanger, LongBuffersRunInPasses) { test::expect_long_buffers_run_in_passes<Tflanger_form>(); }

TEST(Flanger, MarkerGuardsTheChorusFields) {
    auto src = fresh();
    src->ScrollBar_ChorusTone.set_position(1);
    src->RadioBox_Chorus.set_checked(true);
    ParamRecord r;
    src->get_parameters(r);
    EXPECT_EQ(rec_get_i32(r, 20), Tflanger_form::kMarker);
    auto dst = fresh();
    dst->put_parameters(r);
    EXPECT_EQ(dst->params.chorus_len, 167);
    EXPECT_TRUE(dst->params.chorus_on);
    rec_set_i32(r, 20, 0);
    auto old = fresh();
    old->put_parameters(r);
    EXPECT_EQ(old->params.chorus_len, 1800);
    EXPECT_FALSE(old->params.chorus_on);
}

TEST(Flanger, StoredValuesAreKeptUnlessFaulty) {
    auto src = fresh();
    ParamRecord r;
    src->get_parameters(r);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    rec_set_f32(r, 0, std::numeric_limits<float>::infinity());
    rec_set_f32(r, 4, nan);
    rec_set_f32(r, 8, 1e9f);
    rec_set_f32(r, 12, 1.5f);   // overridden: the tone position moves
    rec_set_f32(r, 16, -2.0f);
    rec_set_i32(r, 24, 1 << 30);  // chorus length beyond its line
    rec_set_i32(r, 44, 999);
    auto f = fresh();
    f->put_parameters(r);
    EXPECT_EQ(f->params.fl_level, 11.0f);             // infinity: clamped
    EXPECT_FLOAT_EQ(f->kernel().speed(0), 0.002f);    // NaN: stored position 10
    EXPECT_EQ(f->kernel().speed(1), 4094.0f);         // the read position stays inside the ring
    EXPECT_FLOAT_EQ(f->params.fl_feedback_l, 0.96f);  // position clamped to 48
    EXPECT_FLOAT_EQ(f->params.fl_feedback_r, 0.96f);
    EXPECT_EQ(f->params.chorus_len, 19800);
    f->RadioBox_Chorus.set_checked(true);
    std::vector<float> buf = test::guitar_like(2 * 25000);
    f->process(25000, 48000, 2, buf.data());
    for (float v : buf) ASSERT_TRUE(std::isfinite(v));
    // With the bars where they stand, a feedback of 1 or more is clamped
    // below 1; values no bar gives but that cause no fault are kept.
    src->get_parameters(r);
    rec_set_f32(r, 0, -3.0f);
    rec_set_f32(r, 4, -0.5f);
    rec_set_f32(r, 8, 0.0f);
    rec_set_f32(r, 12, 1.5f);
    rec_set_f32(r, 16, -0.98f);
    auto g = fresh();
    g->put_parameters(r);
    EXPECT_EQ(g->params.fl_level, -3.0f);
    EXPECT_EQ(g->kernel().speed(0), -0.5f);
    EXPECT_EQ(g->kernel().speed(1), 0.0f);
    EXPECT_EQ(g->params.fl_feedback_l, 0.999f);
    EXPECT_EQ(g->params.fl_feedback_r, -0.98f);
}

TEST(Flanger, AStoredStepOfZeroKeepsAStillFlanger) {
    auto src = fresh();
    ParamRecord r;
    src->get_parameters(r);
    rec_set_f32(r, 4, 0.0f);
    rec_set_f32(r, 8, 0.0f);
    auto f = fresh();
    f->put_parameters(r);
    EXPECT_EQ(f->kernel().speed(0), 0.0f);
    ParamRecord back;
    f->get_parameters(back);
    EXPECT_EQ(rec_get_f32(back, 4), 0.0f);
    // The delay stays at 301 samples: an impulse comes back 301 samples
    // later, then through the feedback (written one sample after the read)
    // 302 samples after that, and the sweep does not move.
    std::vector<float> buf(4000, 0.0f);
    buf[0] = 1000.0f;
    f->process(4000, 48000, 1, buf.data());
    EXPECT_EQ(f->kernel().sweep(0), 0.001f);
    EXPECT_EQ(buf[300], 0.0f);
    EXPECT_EQ(buf[301], 500.0f);  // level 0.5
    EXPECT_EQ(buf[602], 0.0f);
    EXPECT_EQ(buf[603], 250.0f);  // fed back at 0.5
}

TEST(Flanger, ASpeedSetAtTheTurnKeepsTheSweepMoving) {
    auto f = fresh();
    f->ScrollBar_Flanger_Speed.set_position(100);  // a step of 0.02: the turn comes after 15000 samples
    float x = 0.0f;
    int n = 0;
    while (f->kernel().speed(0) > 0.0f && n < 40000) {
        f->process(1, 48000, 1, &x);
        ++n;
    }
    ASSERT_LT(f->kernel().speed(0), 0.0f);
    EXPECT_GT(f->kernel().sweep(0), 300.0f);
    // The bar moves just after the turn: it stores a positive step.
    f->ScrollBar_Flanger_Speed.set_position(50);
    float last = f->kernel().sweep(0);
    std::vector<float> buf(64, 0.0f);
    for (int block = 0; block < 100; ++block) {
        f->process(64, 48000, 1, buf.data());
        const float now = f->kernel().sweep(0);
        ASSERT_LT(now, last) << "block " << block;
        last = now;
    }
    EXPECT_NEAR(last, 300.0f - 6400 * 0.01f, 1.0f);  // float steps near 256 round coarsely
    EXPECT_FLOAT_EQ(f->kernel().speed(0), -0.01f);
    // It turns at 0 and climbs again with the new step.
    for (int i = 0; i < 600; ++i) f->process(64, 48000, 1, buf.data());
    EXPECT_GT(f->kernel().speed(0), 0.0f);
}

}  // namespace
}  // namespace tw
