// The Reverberator: creation values, first wet samples, which decay the mono
// path reads, the brightness bars, channels and hostile records.
#include "fx/reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "fx/param_record.h"
#include "fx_test_support.h"

namespace tw {
namespace {

std::unique_ptr<Treverb_form> fresh() { return std::make_unique<Treverb_form>(); }

// An impulse of 1000 in every channel at frame 0, then silence.
std::vector<float> impulse_response(Treverb_form& f, int channels, int frames) {
    std::vector<float> buf(static_cast<std::size_t>(frames) * channels, 0.0f);
    for (int c = 0; c < channels; ++c) buf[c] = 1000.0f;
    f.process(frames, 48000, channels, buf.data());
    return buf;
}

int first_wet(const std::vector<float>& buf, int channels, int channel) {
    for (std::size_t i = 1; i < buf.size() / channels; ++i)
        if (buf[i * channels + channel] != 0.0f) return static_cast<int>(i);
    return -1;
}

TEST(Reverb, CreationValues) {
    auto f = fresh();
    EXPECT_EQ(f->form().caption(), "Reverberator");
    EXPECT_EQ(f->params.comb_damp, 0.05f);
    EXPECT_EQ(f->params.comb_damp_inv, 0.95f);
    EXPECT_EQ(f->params.decay_l, 0.75f);
    EXPECT_EQ(f->params.tone_m, 0.75f);
    EXPECT_EQ(f->params.tone_r, 0.0f);
    EXPECT_EQ(f->params.pre_len_m, 10);
    EXPECT_EQ(f->params.rv_gain_m, 1.0f);
    EXPECT_FALSE(f->ScrollBar_Right_Brightness.visible());
    EXPECT_FALSE(f->Label_Right_Brightness.visible());
    EXPECT_EQ(f->ScrollBar_Mono_Delay.max(), 4999);
}

TEST(Reverb, FirstWetSamplesFollowTheFirstCombAndTheOutputDelay) {
    auto m = fresh();
    auto mono = impulse_response(*m, 1, 3000);
    EXPECT_EQ(mono[0], 1000.0f);  // dry
    EXPECT_EQ(first_wet(mono, 1, 0), 1116 + 10);
    EXPECT_FLOAT_EQ(mono[1126], 1000.0f * 0.2f * 0.25f);  // 0.05 per unit of input
    // Stereo: left combs and the 0.75 low-pass; right combs (first 1117) and
    // no low-pass at all (tone_r 0), each with its own output delay.
    auto s = fresh();
    s->ScrollBar_Right_Delay.set_position(20);
    auto st = impulse_response(*s, 2, 3000);
    EXPECT_EQ(first_wet(st, 2, 0), 1126);
    EXPECT_FLOAT_EQ(st[2 * 1126], 50.0f);
    EXPECT_EQ(first_wet(st, 2, 1), 1117 + 20);
    EXPECT_FLOAT_EQ(st[2 * 1137 + 1], 200.0f);
}

// The kernel alone: an impulse comes back from the first comb through the
// low-pass, the output delay and the gain.
TEST(ReverbKernel, ImpulseMeetsTheFirstCombAfterTheOutputDelay) {
    ReverbKernel k;
    ReverbKernel::Params p;
    p.pre_len_m = 30;
    p.rv_gain_m = 2.0f;
    std::vector<float> buf(3000, 0.0f);
    buf[0] = 1000.0f;
    k.process({1117, 48000, 1, buf.data()}, p);
    EXPECT_FLOAT_EQ(k.comb_store_l()[0], 950.0f);   // the comb's low-pass took the impulse (damping 0.05)
    EXPECT_EQ(k.comb_store_l()[1], 0.0f);
    k.process({1883, 48000, 1, buf.data() + 1117}, p);
    EXPECT_EQ(buf[0], 1000.0f);
    for (int i = 1; i < 1116 + 30; ++i) ASSERT_EQ(buf[i], 0.0f) << i;
    EXPECT_FLOAT_EQ(buf[1146], 2.0f * 1000.0f * 0.2f * 0.25f);
}

TEST(Reverb, MonoReadsTheLeftDecay) {
    auto base = impulse_response(*fresh(), 1, 5000);
    auto m = fresh();
    m->decay_m = 0.1f;  // stored, never processed
    EXPECT_EQ(impulse_response(*m, 1, 5000), base);
    auto l = fresh();
    l->ScrollBar_Left_Decay.set_position(20);
    EXPECT_EQ(l->decay_m, 0.75f);
    auto out = impulse_response(*l, 1, 5000);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 2242), std::vector<float>(base.begin(), base.begin() + 2242));
    EXPECT_NE(out, base);  // from comb 0's second pass on
    // The Mono bar moves the Left and Right bars.
    auto k = fresh();
    k->ScrollBar_Mono_Decay.set_position(50);
    EXPECT_EQ(k->ScrollBar_Left_Decay.position(), 50);
    EXPECT_EQ(k->params.decay_r, 0.5f);
    EXPECT_EQ(k->params.decay_l, 0.5f);
}

TEST(Reverb, BrightnessBars) {
    auto f = fresh();
    f->ScrollBar_Left_Brightness.set_position(0);
    EXPECT_EQ(f->params.comb_damp, 0.0f);
    EXPECT_EQ(f->params.comb_damp_inv, 1.0f);
    f->ScrollBar_Left_Brightness.set_position(100);  // comb stores freeze
    EXPECT_EQ(f->params.comb_damp, 1.0f);
    std::vector<float> buf = test::guitar_like(3000);
    f->process(3000, 48000, 1, buf.data());
    for (float v : f->kernel().comb_store_l()) EXPECT_EQ(v, 0.0f);
    f->ScrollBar_Mono_Brightness.set_position(100);  // output low-pass frozen
    EXPECT_EQ(f->params.tone_l, 1.0f);
    EXPECT_EQ(f->params.tone_r, 1.0f);
    // The hidden right bar changes nothing.
    auto g = fresh();
    ParamRecord before, after;
    g->get_parameters(before);
    g->ScrollBar_Right_Brightness.set_position(3);
    g->get_parameters(after);
    EXPECT_EQ(g->params.comb_damp, 0.05f);
    EXPECT_EQ(g->params.tone_r, 0.0f);
    for (int b = 0; b < 96; ++b) {
        if (b >= 68 && b < 72) continue;  // its own position
        EXPECT_EQ(before.bytes[b], after.bytes[b]) << b;
    }
}

TEST(Reverb, StereoChannelsAreIndependent) {
    auto a = fresh();
    auto b = fresh();
    std::vector<float> sa = test::guitar_like(2 * 4000), sb = sa;
    for (int i = 0; i < 4000; ++i) sb[2 * i + 1] = 0.0f;
    a->process(4000, 48000, 2, sa.data());
    b->process(4000, 48000, 2, sb.data());
    for (int i = 0; i < 4000; ++i) {
        ASSERT_EQ(sa[2 * i], sb[2 * i]) << i;
        ASSERT_EQ(sb[2 * i + 1], 0.0f) << i;
    }
}

TEST(Reverb, LongBuffersRunInPasses) { test::expect_long_buffers_run_in_passes<Treverb_form>(); }

TEST(Reverb, RecordKeepsCombDampingUnlessItsPositionMoves) {
    auto f = fresh();
    ParamRecord r;
    f->get_parameters(r);
    f->put_parameters(r);
    EXPECT_EQ(f->params.comb_damp, 0.05f);  // Left Brightness still at 75
    rec_set_i32(r, 64, 64);
    f->put_parameters(r);
    EXPECT_FLOAT_EQ(f->params.comb_damp, 0.8f);
}

TEST(Reverb, StoredValuesAreKeptUnlessFaulty) {
    auto src = fresh();
    ParamRecord r;
    src->get_parameters(r);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    rec_set_f32(r, 0, nan);
    rec_set_f32(r, 4, 1e30f);
    rec_set_f32(r, 24, nan);     // decay_m: nothing reads it
    rec_set_f32(r, 28, 1.0f);    // a decay of 1 would never die away
    rec_set_f32(r, 32, 25.0f);
    rec_set_f32(r, 48, 0.2f);
    rec_set_f32(r, 52, -3.0f);
    rec_set_f32(r, 56, nan);
    rec_set_i32(r, 72, 5000);    // the line holds 5000
    rec_set_i32(r, 76, -40);
    rec_set_i32(r, 80, 1 << 30);
    rec_set_i32(r, 44, 500);     // Right Decay position beyond the bar
    auto f = fresh();
    f->put_parameters(r);
    EXPECT_EQ(f->params.rv_gain_m, 1.0f);   // NaN: from the stored position 50
    EXPECT_EQ(f->params.rv_gain_l, 11.0f);  // past 11: clamped
    EXPECT_TRUE(std::isnan(f->decay_m));
    EXPECT_EQ(f->params.decay_l, 0.999f);
    EXPECT_EQ(f->params.decay_r, 0.99f);    // the position, clamped to 99, moved
    EXPECT_EQ(f->params.tone_m, 0.2f);
    EXPECT_EQ(f->params.tone_l, -0.999f);
    EXPECT_FLOAT_EQ(f->params.tone_r, std::sqrt(0.75f));  // NaN: stored position 75
    EXPECT_EQ(f->params.pre_len_m, 5000);
    EXPECT_EQ(f->params.pre_len_l, -40);    // runs as one sample
    EXPECT_EQ(f->params.pre_len_r, 5000);
    std::vector<float> buf = test::guitar_like(2 * 48000);
    for (int done = 0; done < 48000; done += 500) f->process(500, 48000, 2, buf.data() + 2 * done);
    for (float v : buf) ASSERT_TRUE(std::isfinite(v));
}

// Stored output delays of 0 and 1 are kept and both delay by one sample: an
// impulse's first wet sample comes 1117 samples after it (comb 0's 1116 plus
// one), where the creation length of 10 gives 1126.
TEST(Reverb, StoredOutputDelaysOf0And1AreKeptAndDelayByOneSample) {
    auto first_wet = [](std::int32_t len) {
        auto src = fresh();
        ParamRecord r;
        src->get_parameters(r);
        rec_set_i32(r, 72, len);
        auto f = fresh();
        f->put_parameters(r);
        EXPECT_EQ(f->params.pre_len_m, len);
        ParamRecord back;
        f->get_parameters(back);
        EXPECT_EQ(rec_get_i32(back, 72), len);
        std::vector<float> buf(2000, 0.0f);
        buf[0] = 1.0f;
        f->process(2000, 48000, 1, buf.data());
        for (int i = 1; i < 2000; ++i)
            if (buf[i] != 0.0f) return i;
        return -1;
    };
    EXPECT_EQ(first_wet(0), 1117);
    EXPECT_EQ(first_wet(1), 1117);
    EXPECT_EQ(first_wet(10), 1126);
}

}  // namespace
}  // namespace tw
