// The Gain effect: processing, Simple Chorus ring, controls and its record.
#include "fx/gain_form.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "fx/param_record.h"

namespace tw {
namespace {

std::unique_ptr<Tgain_form> fresh() { return std::make_unique<Tgain_form>(); }

// Runs `frames` stereo frames whose right channel counts 1000, 1001, ...
// through the form and returns the right channel out.
std::vector<float> right_channel_through(Tgain_form& g, int frames, float first = 1000.0f) {
    std::vector<float> buf(2 * frames);
    for (int i = 0; i < frames; ++i) {
        buf[2 * i] = 0.0f;
        buf[2 * i + 1] = first + i;
    }
    g.process(frames, 48000, 2, buf.data());
    std::vector<float> right(frames);
    for (int i = 0; i < frames; ++i) right[i] = buf[2 * i + 1];
    return right;
}

// The delay in samples: where the first counted input sample reappears.
int measured_delay(Tgain_form& g, int delay_hint) {
    std::vector<float> out = right_channel_through(g, delay_hint + 10);
    for (int i = 0; i < static_cast<int>(out.size()); ++i)
        if (out[i] == 1000.0f) return i;
    return -1;
}

TEST(Gain, CreationValues) {
    auto g = fresh();
    EXPECT_EQ(g->params.mono_gain, 1.0f);
    EXPECT_EQ(g->params.left_gain, 1.0f);
    EXPECT_EQ(g->params.right_gain, 1.0f);
    EXPECT_EQ(g->params.air, true);
    EXPECT_FALSE(g->params.chorus_on);
    EXPECT_EQ(g->params.delay_len, 1800);
    EXPECT_EQ(g->kernel().position(), 1);
    EXPECT_EQ(g->kernel().ring_at(0), 1.0f);
    EXPECT_EQ(g->kernel().ring_at(14999), 1.0f);
    EXPECT_EQ(g->skin_loaded, 0);
    EXPECT_EQ(g->form().caption(), "Gain");
    EXPECT_EQ(g->form().client_width(), 306);
    EXPECT_EQ(g->form().client_height(), 230);
    EXPECT_EQ(g->ScrollBar_Gain_Mono.position(), 50);
    EXPECT_TRUE(g->CheckRadioBox_Air.checked());
    EXPECT_FALSE(g->RadioBox_SimpleChorus.checked());
    EXPECT_EQ(g->CheckRadioBox_Air.caption(), "   A i r");
    EXPECT_EQ(g->RadioBox_SimpleChorus.caption(), " Simple Chorus");
    EXPECT_NE(g->form().find("ScrollBar_SimpleChorus"), nullptr);
}

TEST(Gain, ZeroFramesAndMonoLeaveTheRingAlone) {
    auto g = fresh();
    g->RadioBox_SimpleChorus.set_checked(true);
    float buf[4] = {7.0f, 8.0f, 9.0f, 10.0f};
    g->process(0, 48000, 2, buf);
    EXPECT_EQ(buf[1], 8.0f);
    EXPECT_EQ(g->kernel().position(), 1);
    g->ScrollBar_Gain_Mono.set_position(55);  // factor 2
    g->process(4, 48000, 1, buf);
    EXPECT_EQ(buf[0], 14.0f);
    EXPECT_EQ(buf[1], 16.0f);  // no Air in mono
    EXPECT_EQ(buf[3], 20.0f);
    EXPECT_EQ(g->kernel().position(), 1);
    EXPECT_EQ(g->kernel().ring_at(1), 1.0f);
}

TEST(Gain, AirInvertsTheRightChannelOnly) {
    auto g = fresh();
    float buf[2] = {100.0f, 100.0f};
    g->process(1, 48000, 2, buf);
    EXPECT_EQ(buf[0], 100.0f);
    EXPECT_EQ(buf[1], -100.0f);
    g->CheckRadioBox_Air.set_checked(false);
    EXPECT_EQ(g->params.air, false);
    g->ScrollBar_Gain_Right.set_position(100);
    g->process(1, 48000, 2, buf);
    EXPECT_EQ(buf[1], -1100.0f);
    // Any channel count other than 1 is stereo.
    float three[2] = {1.0f, 1.0f};
    g->process(1, 48000, 3, three);
    EXPECT_EQ(three[1], 11.0f);
}

TEST(Gain, VolumeBarsMapThroughTheGainCurve) {
    auto g = fresh();
    g->ScrollBar_Gain_Left.set_position(0);
    EXPECT_FLOAT_EQ(g->params.left_gain, 1.0f / 11.0f);
    g->ScrollBar_Gain_Left.set_position(100);
    EXPECT_EQ(g->params.left_gain, 11.0f);
    g->ScrollBar_Gain_Left.set_position(250);  // clamped to 100: no change, no handler
    EXPECT_EQ(g->ScrollBar_Gain_Left.position(), 100);
    g->ScrollBar_Gain_Mono.set_position(60);
    EXPECT_EQ(g->ScrollBar_Gain_Left.position(), 60);
    EXPECT_EQ(g->ScrollBar_Gain_Right.position(), 60);
    EXPECT_EQ(g->params.mono_gain, 3.0f);
    EXPECT_EQ(g->params.left_gain, 3.0f);
    EXPECT_EQ(g->params.right_gain, 3.0f);
}

TEST(Gain, SimpleChorusDelaysTheRightChannelExactly) {
    struct Case { int position; int set_len; int delay; };
    for (Case c : {Case{50, 1800, 1800}, Case{100, 19800, 14000}, Case{0, 164, 164}}) {
        auto g = fresh();
        g->CheckRadioBox_Air.set_checked(false);
        g->ScrollBar_SimpleChorus.set_position(c.position);
        if (c.position == 50) g->ScrollBar_SimpleChorus.set_position(49), g->ScrollBar_SimpleChorus.set_position(50);
        EXPECT_EQ(g->params.delay_len, c.set_len) << c.position;
        g->RadioBox_SimpleChorus.set_checked(true);
        EXPECT_EQ(measured_delay(*g, c.delay), c.delay) << c.position;
    }
}

TEST(Gain, FreshRingPlaysOnesThenReplaysWhatItHeld) {
    auto g = fresh();
    g->CheckRadioBox_Air.set_checked(false);
    g->ScrollBar_SimpleChorus.set_position(0);  // 164
    g->RadioBox_SimpleChorus.set_checked(true);
    std::vector<float> out = right_channel_through(*g, 164);
    for (float v : out) ASSERT_EQ(v, 1.0f);
    // 100 more samples go in, then chorus goes off; the ring keeps its content.
    right_channel_through(*g, 100, 5000.0f);
    g->RadioBox_SimpleChorus.set_checked(false);
    std::vector<float> dry = right_channel_through(*g, 3, 7.0f);
    EXPECT_EQ(dry[0], 7.0f);
    g->RadioBox_SimpleChorus.set_checked(true);
    // Position 100: the ring replays what slot 100 held, the 265th input sample.
    std::vector<float> replay = right_channel_through(*g, 1, 0.0f);
    EXPECT_EQ(replay[0], 1000.0f + 100.0f);
}

TEST(Gain, ShorteningTheDelayWrapsAfterOneMoreSample) {
    auto g = fresh();
    g->CheckRadioBox_Air.set_checked(false);
    g->RadioBox_SimpleChorus.set_checked(true);
    right_channel_through(*g, 999);  // position 1000
    ASSERT_EQ(g->kernel().position(), 1000);
    g->ScrollBar_SimpleChorus.set_position(0);  // 164, below the position
    std::vector<float> out = right_channel_through(*g, 2, 9.0f);
    EXPECT_EQ(out[0], 1.0f);        // slot 1000 still read
    EXPECT_EQ(g->kernel().position(), 1);     // wrapped to 0 after it, then advanced
    EXPECT_EQ(g->kernel().ring_at(0), 10.0f);
}

TEST(Gain, RecordRoundTripAndUntouchedGaps) {
    auto g = fresh();
    g->ScrollBar_Gain_Mono.set_position(70);
    g->ScrollBar_Gain_Right.set_position(20);
    g->ScrollBar_SimpleChorus.set_position(10);
    g->RadioBox_SimpleChorus.set_checked(true);
    g->CheckRadioBox_Air.set_checked(false);
    ParamRecord r;
    r.bytes.fill(0xAB);
    g->get_parameters(r);
    EXPECT_EQ(rec_get_i32(r, 12), 117117);
    EXPECT_EQ(rec_get_i32(r, 24), 70);
    EXPECT_EQ(rec_get_i32(r, 28), 70);
    EXPECT_EQ(rec_get_i32(r, 32), 20);
    EXPECT_EQ(rec_get_i32(r, 20), 10);
    EXPECT_EQ(r.bytes[16], 1);
    EXPECT_EQ(r.bytes[36], 0);
    EXPECT_EQ(rec_get_f32(r, 0), 5.0f);
    for (int b : {17, 18, 19, 37, 38, 39, 40, 100, 403}) EXPECT_EQ(r.bytes[b], 0xAB) << b;
    // Little-endian on disk: 117117 = 0x0001C97D.
    EXPECT_EQ(r.bytes[12], 0x7D);
    EXPECT_EQ(r.bytes[13], 0xC9);
    EXPECT_EQ(r.bytes[14], 0x01);

    auto h = fresh();
    h->put_parameters(r);
    EXPECT_EQ(h->ScrollBar_Gain_Mono.position(), 70);
    EXPECT_EQ(h->ScrollBar_Gain_Left.position(), 70);
    EXPECT_EQ(h->ScrollBar_Gain_Right.position(), 20);
    EXPECT_EQ(h->params.mono_gain, 5.0f);
    EXPECT_EQ(h->params.right_gain, g->params.right_gain);
    EXPECT_TRUE(h->params.chorus_on);
    EXPECT_EQ(h->params.delay_len, g->params.delay_len);
    EXPECT_EQ(h->params.air, false);
}

TEST(Gain, RecordWithoutMarkerLeavesChorusAndAir) {
    auto g = fresh();
    ParamRecord r;
    rec_set_f32(r, 0, 1.0f);
    rec_set_f32(r, 4, 1.0f);
    rec_set_f32(r, 8, 1.0f);
    rec_set_i32(r, 12, 0);
    r.bytes[16] = 1;
    rec_set_i32(r, 20, 0);
    rec_set_i32(r, 24, 50);
    rec_set_i32(r, 28, 50);
    rec_set_i32(r, 32, 50);
    r.bytes[36] = 0;
    g->put_parameters(r);
    EXPECT_FALSE(g->params.chorus_on);
    EXPECT_EQ(g->params.air, true);
    EXPECT_EQ(g->params.delay_len, 1800);
    rec_set_i32(r, 12, 117117);
    g->put_parameters(r);
    EXPECT_TRUE(g->params.chorus_on);
    EXPECT_EQ(g->params.air, false);
    EXPECT_EQ(g->params.delay_len, 164);
}

TEST(Gain, CopiedGainsSurviveOnlyWhenPositionsStay) {
    auto g = fresh();
    ParamRecord r;
    rec_set_f32(r, 0, 2.5f);
    rec_set_f32(r, 4, 3.5f);
    rec_set_f32(r, 8, 4.5f);
    rec_set_i32(r, 24, 50);
    rec_set_i32(r, 28, 50);
    rec_set_i32(r, 32, 50);
    g->put_parameters(r);  // positions equal the bars': the copied values hold
    EXPECT_EQ(g->params.mono_gain, 2.5f);
    EXPECT_EQ(g->params.left_gain, 3.5f);
    EXPECT_EQ(g->params.right_gain, 4.5f);
    rec_set_i32(r, 24, 55);
    rec_set_i32(r, 32, 45);
    // Mono moves to 55 and drags both channel bars there; then left goes back
    // to 50 and right to 45, each recomputing its gain from the position.
    g->put_parameters(r);
    EXPECT_EQ(g->params.mono_gain, 2.0f);
    EXPECT_EQ(g->params.left_gain, 1.0f);
    EXPECT_EQ(g->params.right_gain, 0.5f);
}

TEST(Gain, StoredGainsAreKeptUnlessTheyWouldOverflow) {
    auto g = fresh();
    ParamRecord r;
    rec_set_f32(r, 0, NAN);
    rec_set_f32(r, 4, INFINITY);
    rec_set_f32(r, 8, 1.0e30f);
    rec_set_i32(r, 24, 50);
    rec_set_i32(r, 28, 50);
    rec_set_i32(r, 32, 100);  // position changes: recomputed anyway
    rec_set_i32(r, 12, 117117);
    rec_set_i32(r, 20, -2147483647);  // clamped to 0 -> 164 samples
    g->put_parameters(r);
    EXPECT_EQ(g->params.mono_gain, 1.0f);    // NaN: the stored position's gain
    EXPECT_EQ(g->params.left_gain, 11.0f);   // infinity: clamped to 11
    EXPECT_EQ(g->params.right_gain, 11.0f);
    EXPECT_EQ(g->ScrollBar_SimpleChorus.position(), 0);
    EXPECT_EQ(g->params.delay_len, 164);
    float buf[2] = {10.0f, 10.0f};
    g->process(1, 48000, 1, buf);
    EXPECT_TRUE(std::isfinite(buf[0]));
    // Gains no bar gives but that cause no fault stay as stored; only a size
    // past 11 is clamped.
    auto k = fresh();
    rec_set_f32(r, 0, 0.0f);
    rec_set_f32(r, 4, -2.5f);
    rec_set_f32(r, 8, -40.0f);
    rec_set_i32(r, 32, 50);
    k->put_parameters(r);
    EXPECT_EQ(k->params.mono_gain, 0.0f);
    EXPECT_EQ(k->params.left_gain, -2.5f);
    EXPECT_EQ(k->params.right_gain, -11.0f);
}

}  // namespace
}  // namespace tw
