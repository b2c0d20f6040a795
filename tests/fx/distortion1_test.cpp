// Distortion (Soft/Hard): the transfer curve, the band split, the creation
// values, channel separation, long buffers and hostile records.
#include "fx/distortion1.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "fx/param_record.h"
#include "fx_test_support.h"

namespace tw {
namespace {

std::unique_ptr<TDistortion1_form> fresh() { return std::make_unique<TDistortion1_form>(); }

float curve(float v, std::int32_t a = 1000, std::int32_t b = 10000, float level = 0.49f, float k = 0.1f) {
    Distortion1Kernel::distortion(a, b, level, k, 1, &v);
    return v;
}

using test::guitar_like;

ParamRecord record_of(float level, float smooth, std::int32_t knee_in, std::int32_t knee_out, float gain_in,
                      float gain_out, std::int32_t smooth_pos, std::int32_t tone2_pos, std::int32_t tone1_pos,
                      std::int32_t gain_in_pos, std::int32_t gain_out_pos) {
    ParamRecord r;
    rec_set_f32(r, 0, level);
    rec_set_f32(r, 4, smooth);
    rec_set_i32(r, 8, knee_in);
    rec_set_i32(r, 12, knee_out);
    rec_set_f32(r, 16, gain_in);
    rec_set_f32(r, 20, gain_out);
    rec_set_i32(r, 24, smooth_pos);
    rec_set_i32(r, 28, tone2_pos);
    rec_set_i32(r, 32, tone1_pos);
    rec_set_i32(r, 36, gain_in_pos);
    rec_set_i32(r, 40, gain_out_pos);
    return r;
}

TEST(Distortion1, TransferCurveValues) {
    EXPECT_NEAR(curve(100.0f), 490.0f, 0.001f);
    EXPECT_NEAR(curve(-100.0f), -490.0f, 0.001f);
    EXPECT_NEAR(curve(0.0f), 0.0f, 0.001f);
    EXPECT_NEAR(curve(32767.0f), 0.49f * 32767.0f, 0.5f);  // reaches L x full scale
    EXPECT_GT(curve(40000.0f), curve(32767.0f));           // no clamp beyond full scale
    for (float v : {3.0f, 900.0f, 5000.0f, 31000.0f}) EXPECT_EQ(curve(-v), -curve(v)) << v;
    // Monotonic through the knee.
    float prev = curve(0.0f);
    for (int v = 50; v <= 32767; v += 50) {
        const float y = curve(static_cast<float>(v));
        ASSERT_GT(y, prev) << v;
        prev = y;
    }
    // A softer blend bends less sharply: below the knee it stays under the hard one.
    EXPECT_LT(curve(900.0f, 1000, 10000, 0.49f, 0.005f), curve(900.0f, 1000, 10000, 0.49f, 0.2f));
}

TEST(Distortion1, CreationValuesDifferFromTheBars) {
    auto d = fresh();
    EXPECT_EQ(d->form().caption(), "Distortion");
    EXPECT_EQ(d->form().client_width(), 380);
    EXPECT_EQ(d->form().client_height(), 191);
    EXPECT_EQ(d->params.level, 0.49f);
    EXPECT_EQ(d->params.smooth_k, 0.1f);
    EXPECT_EQ(d->params.knee_in, 1000);
    EXPECT_EQ(d->params.knee_out, 10000);
    EXPECT_EQ(d->params.color_l, 0.98f);
    EXPECT_EQ(d->params.color_r, 0.98f);
    EXPECT_EQ(d->ScrollBar_Smooth_k2.position(), 10);
    EXPECT_EQ(d->ScrollBar_Tone1_k4.position(), 15000);
    EXPECT_EQ(d->ScrollBar_Tone2_k3.position(), 500);
    EXPECT_EQ(d->ScrollBar_Color_M.position(), 70);
    EXPECT_EQ(d->Label_Color_N.caption(), "Color (R)  ");
    for (const ui::Control* c : d->form().controls()) {
        EXPECT_LE(c->bounds().left + c->bounds().width, 380) << c->name();
        EXPECT_LE(c->bounds().top + c->bounds().height, 191) << c->name();
    }
    // A first mono sample of 100: low band 2 (0.02 x 100), high band 98,
    // both through the creation-value curve.
    const float low = (1.0f - 0.98f) * 100.0f;
    float x = 100.0f;
    d->process(1, 48000, 1, &x);
    EXPECT_NEAR(d->kernel().lp_state_l(), 2.0f, 1e-5f);
    EXPECT_EQ(d->kernel().lp_state_l(), low);
    EXPECT_FLOAT_EQ(x, curve(100.0f - low) + curve(low));
}

TEST(Distortion1, HandlersMapPositions) {
    auto d = fresh();
    d->ScrollBar_Gain_In.set_position(0);
    EXPECT_FLOAT_EQ(d->params.gain_in, 1.0f / 11.0f);
    d->ScrollBar_Gain_In.set_position(100);
    EXPECT_EQ(d->params.gain_in, 11.0f);
    d->ScrollBar_Gain_In.set_position(50);
    EXPECT_EQ(d->params.gain_in, 1.0f);
    d->ScrollBar_Smooth_k2.set_position(1);
    EXPECT_FLOAT_EQ(d->params.smooth_k, 0.2f);
    d->ScrollBar_Smooth_k2.set_position(40);
    EXPECT_FLOAT_EQ(d->params.smooth_k, 0.005f);
    d->ScrollBar_Color_M.set_position(100);
    EXPECT_EQ(d->params.color_l, 0.999f);
    d->ScrollBar_Color_N.set_position(1);
    EXPECT_FLOAT_EQ(d->params.color_r, 0.1f);
    d->ScrollBar_Tone1_k4.set_position(20000);
    d->ScrollBar_Tone2_k3.set_position(10);  // clamped to 50
    EXPECT_EQ(d->params.knee_out, 20000);
    EXPECT_EQ(d->params.knee_in, 50);
}

TEST(Distortion1, ZeroFramesAndMonoTouchOnlyTheirState) {
    auto d = fresh();
    float buf[2] = {1000.0f, 2000.0f};
    d->process(0, 48000, 2, buf);
    EXPECT_EQ(buf[0], 1000.0f);
    EXPECT_EQ(d->kernel().lp_state_l(), 0.0f);

    std::vector<float> a = guitar_like(512);
    std::vector<float> b = a;
    d->process(512, 48000, 1, a.data());
    EXPECT_NE(d->kernel().lp_state_l(), 0.0f);
    EXPECT_EQ(d->kernel().lp_state_r(), 0.0f);
    // The right colour has no say in mono.
    auto e = fresh();
    e->ScrollBar_Color_N.set_position(5);
    e->process(512, 48000, 1, b.data());
    EXPECT_EQ(a, b);
}

TEST(Distortion1, StereoChannelsKeepSeparateFilters) {
    auto st = fresh();
    auto mono = fresh();
    st->ScrollBar_Color_N.set_position(10);  // right colour 0.316
    std::vector<float> in = guitar_like(700);
    std::vector<float> lr(1400);
    for (int i = 0; i < 700; ++i) lr[2 * i] = lr[2 * i + 1] = in[i];
    st->process(700, 48000, 2, lr.data());
    mono->process(700, 48000, 1, in.data());
    int differ = 0;
    for (int i = 0; i < 700; ++i) {
        ASSERT_EQ(lr[2 * i], in[i]) << i;  // left = mono with the same settings
        if (lr[2 * i + 1] != lr[2 * i]) ++differ;
    }
    EXPECT_GT(differ, 600);
    EXPECT_EQ(st->kernel().lp_state_l(), mono->kernel().lp_state_l());
    EXPECT_NE(st->kernel().lp_state_r(), st->kernel().lp_state_l());
    // Any channel count other than 1 is stereo.
    auto three = fresh();
    std::vector<float> lr3(1400);
    const std::vector<float> in3 = guitar_like(700);
    for (int i = 0; i < 700; ++i) lr3[2 * i] = lr3[2 * i + 1] = in3[i];
    three->ScrollBar_Color_N.set_position(10);
    three->process(700, 48000, 3, lr3.data());
    EXPECT_EQ(lr3, lr);
}

TEST(Distortion1Kernel, ProcessesABlockWithTheGivenParams) {
    // A first sample of 100 per channel: the low band is (1 - colour) x 100,
    // both bands go through the curve, the sum is scaled by the level.
    Distortion1Kernel k;
    Distortion1Kernel::Params p;
    p.color_l = 0.5f;
    p.color_r = 0.9f;
    p.gain_in = 2.0f;
    p.gain_out = 0.5f;
    float lr[2] = {50.0f, 50.0f};
    k.process({1, 48000, 2, lr}, p);
    EXPECT_EQ(k.lp_state_l(), 50.0f);
    EXPECT_FLOAT_EQ(k.lp_state_r(), 10.0f);
    EXPECT_FLOAT_EQ(lr[0], (curve(50.0f) + curve(50.0f)) * 0.5f);
    EXPECT_FLOAT_EQ(lr[1], (curve(90.0f) + curve(10.0f)) * 0.5f);
    // Mono takes the left colour and memory; reset clears both memories.
    float m = 100.0f;
    k.process({1, 48000, 1, &m}, p);
    EXPECT_EQ(k.lp_state_l(), 0.5f * 50.0f + 0.5f * 200.0f);
    EXPECT_FLOAT_EQ(m, (curve(200.0f - 125.0f) + curve(125.0f)) * 0.5f);
    k.reset();
    EXPECT_EQ(k.lp_state_l(), 0.0f);
    EXPECT_EQ(k.lp_state_r(), 0.0f);
}

TEST(Distortion1, LongBuffersRunInPassesWithTheSameResult) {
    test::expect_long_buffers_run_in_passes<TDistortion1_form>();
}

TEST(Distortion1, NonFiniteInputDoesNotPoisonTheFilter) {
    test::expect_recovery_from_non_finite_input<TDistortion1_form>(0.01f);
    // The filter memory starts afresh, exactly as at creation.
    auto f = fresh();
    std::vector<float> x = guitar_like(512);
    x[7] = std::numeric_limits<float>::quiet_NaN();
    f->process(512, 48000, 1, x.data());
    EXPECT_EQ(f->kernel().lp_state_l(), 0.0f);
}

TEST(Distortion1, RecordRoundTripKeepsOrRecomputes) {
    auto d = fresh();
    // Positions equal to the bars' current ones keep the stored values.
    d->put_parameters(record_of(0.3f, 0.05f, 700, 12000, 2.0f, 0.5f, 10, 500, 15000, 50, 50));
    EXPECT_EQ(d->params.level, 0.3f);
    EXPECT_EQ(d->params.smooth_k, 0.05f);
    EXPECT_EQ(d->params.knee_in, 700);
    EXPECT_EQ(d->params.knee_out, 12000);
    EXPECT_EQ(d->params.gain_in, 2.0f);
    EXPECT_EQ(d->params.gain_out, 0.5f);
    // Changed positions recompute from the position.
    d->put_parameters(record_of(0.3f, 0.05f, 700, 12000, 2.0f, 0.5f, 20, 800, 25000, 100, 0));
    EXPECT_FLOAT_EQ(d->params.smooth_k, 0.01f);
    EXPECT_EQ(d->params.knee_in, 800);
    EXPECT_EQ(d->params.knee_out, 25000);
    EXPECT_EQ(d->params.gain_in, 11.0f);
    EXPECT_FLOAT_EQ(d->params.gain_out, 1.0f / 11.0f);

    ParamRecord out;
    out.bytes.fill(0xEE);
    d->get_parameters(out);
    EXPECT_EQ(rec_get_f32(out, 0), 0.3f);
    EXPECT_EQ(rec_get_i32(out, 8), 800);
    EXPECT_EQ(rec_get_i32(out, 24), 20);
    EXPECT_EQ(rec_get_i32(out, 32), 25000);
    EXPECT_EQ(rec_get_i32(out, 40), 0);
    EXPECT_EQ(out.bytes[44], 0xEE);
    auto e = fresh();
    e->put_parameters(out);
    std::vector<float> x = guitar_like(256), y = x;
    d->process(128, 48000, 2, x.data());
    e->process(128, 48000, 2, y.data());
    EXPECT_EQ(x, y);
}

TEST(Distortion1, StoredValuesAreKeptUnlessFaultyAndNeverGiveNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case { float level, smooth; std::int32_t knee_in, knee_out; float gi, go; };
    struct Want { float level, smooth; std::int32_t knee_in, knee_out; float gi, go; };
    const std::pair<Case, Want> cases[] = {
        // NaNs take the creation level or the stored positions; infinities
        // and sizes past 11 are clamped; knee inputs 0 and 32767 move by one.
        {{nan, nan, 0, 0, nan, inf}, {0.49f, 0.02f, 1, 0, 1.0f, 11.0f}},
        {{inf, 0.0f, 32767, 32767, -inf, 1e30f}, {11.0f, 0.0f, 32766, 32767, -11.0f, 11.0f}},
        // Values no bar gives that divide by nothing are kept as stored.
        {{-5.0f, -1.0f, -40, INT_MAX, 0.0f, -3.0f}, {-5.0f, -1.0f, -40, INT_MAX, 0.0f, -3.0f}},
        {{1e30f, 1e30f, INT_MIN, 32768, 1e-30f, nan}, {11.0f, 1e30f, INT_MIN, 32768, 1e-30f, 1.0f}},
    };
    for (const auto& [c, want] : cases) {
        auto d = fresh();
        // Start positions: no handler runs, so the copied values stay in force.
        d->put_parameters(record_of(c.level, c.smooth, c.knee_in, c.knee_out, c.gi, c.go, 10, 500, 15000, 50, 50));
        EXPECT_EQ(d->params.level, want.level);
        EXPECT_FLOAT_EQ(d->params.smooth_k, want.smooth);
        EXPECT_EQ(d->params.knee_in, want.knee_in);
        EXPECT_EQ(d->params.knee_out, want.knee_out);
        EXPECT_EQ(d->params.gain_in, want.gi);
        EXPECT_EQ(d->params.gain_out, want.go);
        std::vector<float> buf = guitar_like(2 * 512, 32767.0f);
        d->process(512, 48000, 2, buf.data());
        for (float v : buf) ASSERT_TRUE(std::isfinite(v));
    }
    // A NaN smoothness with a stored position falls back to that position.
    auto d = fresh();
    d->put_parameters(record_of(0.49f, nan, 1000, 10000, 1.0f, 1.0f, 4, 500, 15000, 50, 50));
    EXPECT_FLOAT_EQ(d->params.smooth_k, 0.05f);
    // Even called directly, knees at the poles keep the curve finite.
    for (std::int32_t a : {0, -7, 32767, 40000}) EXPECT_TRUE(std::isfinite(curve(1234.0f, a, 32767))) << a;
}

}  // namespace
}  // namespace tw
