// Distortion-Compressor: the gain curve, the look-ahead window and its
// re-layout, channel separation, long buffers and hostile records.
#include "fx/CompTortions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "fx/param_record.h"
#include "fx_test_support.h"

namespace tw {
namespace {

using Form = TCompTortion_form;
using Kernel = CompTortionKernel;

std::unique_ptr<Form> fresh() { return std::make_unique<Form>(); }

using test::guitar_like;

// Runs the gain computer alone over a left-channel buffer, with the
// parameters the handlers have published.
std::vector<float> gain_computer(Form& f, std::vector<float> x) {
    f.kernel().gain_computer(0, static_cast<int>(x.size()), x.data(), f.params);
    return x;
}

// An empty block through the window, as the audio thread runs it: the
// kernel takes the newest published set (and any re-layout it asks for).
void next_block(Form& f) { f.process(0, 48000, 2, nullptr); }

int first_nonzero(const std::vector<float>& v) {
    for (int i = 0; i < static_cast<int>(v.size()); ++i)
        if (v[i] != 0.0f) return i;
    return -1;
}

struct Stored {
    float gain_in = 1.0f, gain_out = 1.0f, sharp = 6.0e7f, exp = 1.25f, crunch = 1.0f;
    std::int32_t win_len = 15;
    float color = 0.98f;
    std::int32_t drive = 50, level = 50, sharp_pos = 48, dist_pos = 75, crunch_pos = 50, soft_pos = 43, color_pos = 70;
};
ParamRecord record_of(const Stored& s) {
    ParamRecord r;
    rec_set_f32(r, 0, s.gain_in);
    rec_set_f32(r, 4, s.gain_out);
    rec_set_f32(r, 8, s.sharp);
    rec_set_f32(r, 12, s.exp);
    rec_set_f32(r, 16, s.crunch);
    rec_set_i32(r, 20, s.win_len);
    rec_set_f32(r, 24, s.color);
    rec_set_i32(r, 28, s.drive);
    rec_set_i32(r, 32, s.level);
    rec_set_i32(r, 36, s.sharp_pos);
    rec_set_i32(r, 40, s.dist_pos);
    rec_set_i32(r, 44, s.crunch_pos);
    rec_set_i32(r, 48, s.soft_pos);
    rec_set_i32(r, 52, s.color_pos);
    return r;
}

TEST(CompTortion, CreationValuesAndWindow) {
    auto f = fresh();
    EXPECT_EQ(f->form().caption(), "Compressor-Distortion");
    EXPECT_EQ(f->form().client_width(), 481);
    EXPECT_EQ(f->form().client_height(), 218);
    EXPECT_EQ(f->params.sharp_s, 6.0e7f);
    EXPECT_EQ(f->params.dist_exp, 1.25f);
    EXPECT_EQ(f->params.win_len, 15);
    EXPECT_EQ(f->params.color, 0.98f);
    EXPECT_EQ(f->params.relayout, 0u);
    EXPECT_EQ(f->kernel().left().idx.i_write, 398);
    EXPECT_EQ(f->kernel().right().idx.i_add, 398);
    EXPECT_EQ(f->kernel().left().idx.i_out, 391);
    EXPECT_EQ(f->kernel().right().idx.i_sub, 383);
    EXPECT_EQ(Kernel::kRingLast, 500);
    EXPECT_EQ(f->ScrollBar_Sharp.position(), 48);
    EXPECT_EQ(f->ScrollBar_Softness2.position(), 43);
    EXPECT_EQ(f->ScrollBar_Color.position(), 70);
    EXPECT_EQ(f->Label_Popravka.caption(), "Crunch ");
    EXPECT_NE(f->form().find("SkinScroll_Level"), nullptr);
    for (const ui::Control* c : f->form().controls()) {
        EXPECT_LE(c->bounds().left + c->bounds().width, 481) << c->name();
        EXPECT_LE(c->bounds().top + c->bounds().height, 218) << c->name();
    }
}

TEST(CompTortion, GainCurveAtWindowMeans) {
    EXPECT_NEAR(Kernel::comp_gain(1000.0f, 1.25f, 6.0e7f), 0.984f, 0.0005f);
    EXPECT_NEAR(Kernel::comp_gain(10000.0f, 1.25f, 6.0e7f), 0.376f, 0.0005f);
    EXPECT_NEAR(Kernel::comp_gain(32767.0f, 1.25f, 6.0e7f), 0.053f, 0.0005f);
    EXPECT_EQ(Kernel::comp_gain(0.0f, 1.25f, 6.0e7f), 1.0f);  // zero base, positive exponent
    EXPECT_EQ(Kernel::comp_gain(7.0f, 2.0f, 1.0e7f), 1.0f);   // exponent 2: flat
}

TEST(CompTortion, HandlersMapPositions) {
    auto f = fresh();
    f->ScrollBar_Sharp.set_position(1);
    EXPECT_EQ(f->params.sharp_s, 5.0e8f);
    f->ScrollBar_Sharp.set_position(50);
    EXPECT_EQ(f->params.sharp_s, 1.0e7f);
    f->ScrollBar_Distortion.set_position(0);
    EXPECT_EQ(f->params.dist_exp, 2.0f);
    f->ScrollBar_Distortion.set_position(100);
    EXPECT_EQ(f->params.dist_exp, 1.0f);
    f->ScrollBar_Color.set_position(100);
    EXPECT_EQ(f->params.color, 0.999f);
    f->ScrollBar_Popravka.set_position(100);
    EXPECT_EQ(f->params.crunch, 11.0f);
    f->ScrollBar_Drive.set_position(0);
    EXPECT_FLOAT_EQ(f->params.gain_in, 1.0f / 11.0f);
    f->SkinScroll_Level.set_position(60);
    EXPECT_EQ(f->params.gain_out, 3.0f);
}

TEST(CompTortion, SoftnessRelaysTheWindowButKeepsTheRing) {
    auto f = fresh();
    gain_computer(*f, guitar_like(300));
    const auto ring_before = f->kernel().left().ring;
    const std::int32_t out_before = f->kernel().left().idx.i_out;
    f->ScrollBar_Softness2.set_position(0);
    EXPECT_EQ(f->params.win_len, 101);
    EXPECT_EQ(f->params.layout_len, 101);
    // The audio thread re-lays the windows before its next block.
    EXPECT_EQ(f->kernel().left().idx.i_out, out_before);
    next_block(*f);
    for (const Kernel::RingIndices& idx : {f->kernel().left().idx, f->kernel().right().idx}) {
        EXPECT_EQ(idx.i_write, 398);
        EXPECT_EQ(idx.i_add, 398);
        EXPECT_EQ(idx.i_out, 348);
        EXPECT_EQ(idx.i_sub, 297);
    }
    EXPECT_EQ(f->kernel().left().env, 0.001f);
    EXPECT_EQ(f->kernel().right().env, 0.001f);
    EXPECT_EQ(f->kernel().left().ring, ring_before);
    // Without a new request the layout stays as it is.
    next_block(*f);
    EXPECT_EQ(f->kernel().left().env, 0.001f);
    // The envelope restarts from its floor of 50 even though the ring still
    // holds loud older samples.
    gain_computer(*f, {0.0f});
    EXPECT_EQ(f->kernel().left().env, 50.0f);
    f->ScrollBar_Softness2.set_position(50);
    EXPECT_EQ(f->params.win_len, 1);
    next_block(*f);
    EXPECT_EQ(f->kernel().left().idx.i_out, 398);
    EXPECT_EQ(f->kernel().left().idx.i_sub, 397);
}

TEST(CompTortion, OutputLagsByHalfTheWindow) {
    std::vector<float> impulse(200, 0.0f);
    impulse[0] = 100.0f;
    auto f = fresh();
    EXPECT_EQ(first_nonzero(gain_computer(*f, impulse)), 7);  // creation window 15
    auto g = fresh();
    g->ScrollBar_Softness2.set_position(0);
    const std::vector<float> out = gain_computer(*g, impulse);
    EXPECT_EQ(first_nonzero(out), 50);
    EXPECT_NEAR(out[50], 100.0f, 0.01f);  // a quiet sample keeps a gain of about 1
}

TEST(CompTortion, SilenceKeepsTheFloorAndUnityGain) {
    auto f = fresh();
    const std::vector<float> out = gain_computer(*f, std::vector<float>(100, 0.0f));
    EXPECT_EQ(f->kernel().left().env, 50.0f);
    EXPECT_EQ(first_nonzero(out), -1);
    std::vector<float> quiet(100, 0.0f);
    quiet[10] = -3.0f;
    const std::vector<float> q = gain_computer(*f, quiet);
    EXPECT_NEAR(q[17], -3.0f, 1e-4f);
}

TEST(CompTortion, CrunchMattersOnlyWithAWindow) {
    const std::vector<float> in = guitar_like(400, 20000.0f);
    auto run = [&](int softness, int crunch_pos) {
        auto f = fresh();
        f->ScrollBar_Softness2.set_position(softness);
        f->ScrollBar_Popravka.set_position(crunch_pos);
        return gain_computer(*f, in);
    };
    EXPECT_EQ(run(50, 0), run(50, 100));  // window of 1: gain from each sample alone
    EXPECT_NE(run(40, 0), run(40, 100));
    // Loud samples are pressed down hard: the peak falls well below the input's.
    const std::vector<float> out = run(40, 50);
    float peak = 0.0f;
    for (float v : out) peak = std::max(peak, std::fabs(v));
    EXPECT_LT(peak, 15000.0f);
    EXPECT_GT(peak, 1000.0f);
}

TEST(CompTortion, NoBufferIsSkippedAroundAReLayout) {
    // No block passes unprocessed: the one before the Softness change runs
    // with the old window, the next takes the new length and layout together.
    auto f = fresh();
    auto g = fresh();
    std::vector<float> buf = guitar_like(128);
    const std::vector<float> in = buf;
    std::vector<float> same = in;
    f->process(64, 48000, 2, buf.data());
    g->process(64, 48000, 2, same.data());
    EXPECT_NE(buf, in);
    EXPECT_EQ(buf, same);
    f->ScrollBar_Softness2.set_position(0);
    EXPECT_EQ(f->kernel().left().idx.i_out, 391 + 64);   // not yet re-laid
    std::vector<float> next = in;
    f->process(64, 48000, 2, next.data());
    EXPECT_NE(next, in);
    // Both channels were re-laid for 101 samples, then walked 64 steps.
    for (const Kernel::RingIndices& idx : {f->kernel().left().idx, f->kernel().right().idx}) {
        EXPECT_EQ(idx.i_write, 398 + 64);
        EXPECT_EQ(idx.i_out, 348 + 64);
        EXPECT_EQ(idx.i_sub, 297 + 64);
    }
}

TEST(CompTortion, SoftnessNeverWaitsForTheAudioThread) {
    // The handler only publishes: it returns at once, however long the
    // audio thread takes, and the kernel's layout changes only when a block
    // (on the audio thread) picks the request up.
    auto f = fresh();
    const auto before = f->params.relayout;
    f->ScrollBar_Softness2.set_position(0);
    f->ScrollBar_Softness2.set_position(10);
    EXPECT_EQ(f->params.relayout, before + 2);
    EXPECT_EQ(f->params.win_len, 81);
    EXPECT_EQ(f->kernel().left().idx.i_out, 391);
    EXPECT_EQ(f->kernel().left().env, 0.0f);
    next_block(*f);   // two requests, one re-layout for the newest length
    EXPECT_EQ(f->kernel().left().idx.i_out, 398 - 40);
    EXPECT_EQ(f->kernel().right().idx.i_sub, 398 - 81);
    EXPECT_EQ(f->kernel().right().env, 0.001f);
}

TEST(CompTortion, ReLayoutUnderARunningAudioThread) {
    auto f = fresh();
    std::atomic<bool> stop{false};
    std::atomic<int> buffers{0};
    std::thread audio([&] {
        std::vector<float> buf(2 * 256);
        int n = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            for (int i = 0; i < 512; ++i) buf[i] = static_cast<float>(((n + i) % 97) * 200 - 9600);
            f->process(256, 48000, 2, buf.data());
            for (float v : buf) ASSERT_TRUE(std::isfinite(v));
            ++n;
            buffers.fetch_add(1, std::memory_order_relaxed);
        }
    });
    for (int i = 0; i < 400; ++i) {
        f->ScrollBar_Softness2.set_position(i % 51);
        if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Blocks that start after the last publication see the last set.
    const int after = buffers.load();
    while (buffers.load() < std::max(50, after + 2)) std::this_thread::yield();
    stop.store(true);
    audio.join();
    // The last layout is whole: the window length and every index agree.
    const std::int32_t w = f->params.win_len;
    EXPECT_EQ(w, 100 - 2 * f->ScrollBar_Softness2.position() + 1);
    for (const Kernel::RingIndices& idx : {f->kernel().left().idx, f->kernel().right().idx}) {
        EXPECT_EQ((idx.i_write - idx.i_sub + 501) % 501, w);
        EXPECT_EQ((idx.i_write - idx.i_out + 501) % 501, (w - 1) / 2);
        EXPECT_EQ(idx.i_add, idx.i_write);
    }
}

TEST(CompTortion, MonoTouchesOnlyTheLeftSet) {
    auto f = fresh();
    std::vector<float> buf = guitar_like(300);
    f->process(300, 48000, 1, buf.data());
    EXPECT_NE(f->kernel().left().lp_state, 0.0f);
    EXPECT_EQ(f->kernel().left().env > 50.0f, true);
    EXPECT_NE(f->kernel().left().idx.i_write, 398);
    EXPECT_EQ(f->kernel().right().lp_state, 0.0f);
    EXPECT_EQ(f->kernel().right().env, 0.0f);
    EXPECT_EQ(f->kernel().right().idx.i_write, 398);
    for (float v : f->kernel().right().ring) ASSERT_EQ(v, 0.0f);
}

TEST(CompTortion, StereoChannelsAreSeparate) {
    auto st = fresh();
    auto mono = fresh();
    const std::vector<float> left = guitar_like(600);
    std::vector<float> lr(1200, 0.0f);
    for (int i = 0; i < 600; ++i) lr[2 * i] = left[i];
    std::vector<float> m = left;
    st->process(600, 48000, 2, lr.data());
    mono->process(600, 48000, 1, m.data());
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(lr[2 * i], m[i]) << i;
        ASSERT_EQ(lr[2 * i + 1], 0.0f) << i;
    }
    EXPECT_EQ(st->kernel().left().ring, mono->kernel().left().ring);
    EXPECT_EQ(st->kernel().right().env, 50.0f);
}

TEST(CompTortion, LongBuffersRunInPassesWithTheSameResult) {
    test::expect_long_buffers_run_in_passes<Form>();
}

TEST(CompTortion, NonFiniteInputDoesNotPoisonTheWindow) {
    test::expect_recovery_from_non_finite_input<Form>(0.01f);
    // The repair clears the ring's non-finite samples and sums the window again.
    Kernel::Channel ch;
    ch.ring[10] = std::numeric_limits<float>::infinity();
    ch.ring[398] = -3.0f;
    ch.ring[390] = 100.0f;  // inside the window (383, 398]
    ch.ring[383] = 7.0f;    // just outside it
    ch.env = std::numeric_limits<float>::quiet_NaN();
    ch.lp_state = std::numeric_limits<float>::infinity();
    Kernel::recover_channel(ch);
    EXPECT_EQ(ch.ring[10], 0.0f);
    EXPECT_EQ(ch.lp_state, 0.0f);
    EXPECT_FLOAT_EQ(ch.env, 50.0f + 3.0f + 100.0f);
}

TEST(CompTortion, RecordKeepsCopiedValuesUnlessAPositionMoves) {
    auto f = fresh();
    Stored s;
    s.gain_in = 2.0f;
    s.gain_out = 0.5f;
    s.sharp = 2.0e8f;
    s.exp = 1.5f;
    s.crunch = 3.0f;
    s.color = 0.5f;
    f->put_parameters(record_of(s));  // all positions at their start: nothing recomputed
    EXPECT_EQ(f->params.gain_in, 2.0f);
    EXPECT_EQ(f->params.sharp_s, 2.0e8f);
    EXPECT_EQ(f->params.dist_exp, 1.5f);
    EXPECT_EQ(f->params.crunch, 3.0f);
    EXPECT_EQ(f->params.color, 0.5f);
    EXPECT_EQ(f->kernel().left().idx.i_out, 391);
    s.sharp_pos = 41;
    s.soft_pos = 0;
    f->put_parameters(record_of(s));
    EXPECT_EQ(f->params.sharp_s, 1.0e8f);
    EXPECT_EQ(f->params.win_len, 101);  // the Softness handler ran
    next_block(*f);
    EXPECT_EQ(f->kernel().left().idx.i_sub, 297);

    ParamRecord out;
    out.bytes.fill(0x5A);
    f->get_parameters(out);
    EXPECT_EQ(rec_get_f32(out, 0), 2.0f);
    EXPECT_EQ(rec_get_f32(out, 8), 1.0e8f);
    EXPECT_EQ(rec_get_i32(out, 20), 101);
    EXPECT_EQ(rec_get_f32(out, 24), 0.5f);
    EXPECT_EQ(rec_get_i32(out, 36), 41);
    EXPECT_EQ(rec_get_i32(out, 48), 0);
    EXPECT_EQ(rec_get_i32(out, 52), 70);
    EXPECT_EQ(out.bytes[56], 0x5A);
    auto g = fresh();
    g->put_parameters(out);
    std::vector<float> x = guitar_like(600), y = x;
    f->process(300, 48000, 2, x.data());
    g->process(300, 48000, 2, y.data());
    // f's ring holds nothing yet either, so the two run identically.
    EXPECT_EQ(x, y);
}

TEST(CompTortion, StoredValuesAreKeptUnlessFaultyAndNeverGiveNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<Stored> cases(5);
    cases[0].win_len = 0;
    cases[0].sharp = 0.0f;
    cases[0].exp = nan;
    cases[1].win_len = 100000;
    cases[1].sharp = nan;
    cases[1].crunch = inf;
    cases[1].gain_out = 1e30f;
    cases[2].win_len = INT_MIN;
    cases[2].exp = -50.0f;
    cases[2].color = 1.0f;
    cases[2].gain_in = -inf;
    cases[3].win_len = 1;
    cases[3].sharp = -1.0f;
    cases[3].color = nan;
    cases[4].win_len = 32767;
    cases[4].exp = 1e9f;
    cases[4].crunch = 0.0f;
    for (const Stored& s : cases) {
        auto f = fresh();
        f->put_parameters(record_of(s));
        EXPECT_GE(f->params.win_len, 1);
        EXPECT_GT(f->params.sharp_s, 0.0f);
        EXPECT_GE(f->params.dist_exp, 0.0f);
        EXPECT_LE(f->params.dist_exp, 2.0f);
        EXPECT_GE(f->params.color, -0.999f);
        EXPECT_LE(f->params.color, 1.0f);
        EXPECT_LE(std::fabs(f->params.crunch), 11.0f);
        std::vector<float> buf = guitar_like(2 * 512, 32767.0f);
        for (int i = 0; i < 40; ++i) buf[2 * i] = 0.0f;  // zeros: the v = 0 case of a window of 1
        f->process(512, 48000, 2, buf.data());
        for (float v : buf) ASSERT_TRUE(std::isfinite(v));
    }
    // What each fault is mended to, and what is kept.
    auto f0 = fresh();
    f0->put_parameters(record_of(cases[0]));
    EXPECT_EQ(f0->params.win_len, 1);         // a division by zero
    EXPECT_EQ(f0->params.sharp_s, 3.0e7f);    // S = 0: the stored Sharp position 48
    EXPECT_EQ(f0->params.dist_exp, 1.25f);    // NaN: the stored Distortion position 75
    auto f4 = fresh();
    f4->put_parameters(record_of(cases[4]));
    EXPECT_EQ(f4->params.win_len, 32767);     // only a divisor: kept
    EXPECT_EQ(f4->params.dist_exp, 2.0f);     // a gain rising with the level: clamped
    EXPECT_EQ(f4->params.crunch, 0.0f);       // kept
    Stored kept;
    kept.gain_in = 20.0f;
    kept.sharp = 1.0f;
    kept.exp = 0.5f;
    kept.color = 1.0f;
    auto fk = fresh();
    fk->put_parameters(record_of(kept));
    EXPECT_EQ(fk->params.gain_in, 11.0f);
    EXPECT_EQ(fk->params.sharp_s, 1.0f);
    EXPECT_EQ(fk->params.dist_exp, 0.5f);
    EXPECT_EQ(fk->params.color, 1.0f);
    // A NaN falls back to the stored position.
    Stored s;
    s.sharp = nan;
    s.sharp_pos = 48;
    s.exp = inf;
    s.color = nan;
    auto f = fresh();
    f->put_parameters(record_of(s));
    EXPECT_EQ(f->params.sharp_s, 3.0e7f);
    EXPECT_EQ(f->params.dist_exp, 2.0f);
    EXPECT_NEAR(f->params.color, 0.837f, 0.001f);
    // Indices far outside the ring (a layout for a window no bar gives)
    // still never take the walk out of it.
    Kernel k;
    Kernel::Params p = f->params;
    for (std::int32_t w : {9999, -9999}) {
        ++p.relayout;
        p.layout_len = w;
        std::vector<float> buf = guitar_like(64);
        k.process({64, 48000, 1, buf.data()}, p);
        for (float v : buf) ASSERT_TRUE(std::isfinite(v));
        for (std::int32_t i : {k.left().idx.i_write, k.left().idx.i_add, k.left().idx.i_out, k.left().idx.i_sub}) {
            EXPECT_GE(i, 0) << w;
            EXPECT_LE(i, Kernel::kRingLast) << w;
        }
    }
}

TEST(CompTortionKernel, ProcessTakesTheLayoutThenRunsTheBlock) {
    Kernel k;
    Kernel::Params p;
    p.relayout = 1;   // a one-sample window: no look-ahead delay
    p.layout_len = 1;
    p.win_len = 1;
    p.gain_out = 2.0f;
    float x[2] = {100.0f, 0.0f};   // one stereo frame, the right channel silent
    k.process({1, 48000, 2, x}, p);
    EXPECT_EQ(k.left().idx.i_write, 399);   // re-laid at 398, then one step
    EXPECT_EQ(k.left().idx.i_out, 399);
    EXPECT_EQ(k.left().idx.i_sub, 398);
    const float high = 100.0f - (1.0f - 0.98f) * 100.0f;   // after the low cut
    EXPECT_EQ(k.left().ring[399], high);
    EXPECT_EQ(k.left().env, 50.0f + high);   // the floor plus the newest magnitude
    EXPECT_EQ(k.right().env, 50.0f);
    EXPECT_FLOAT_EQ(x[0], 2.0f * high * Kernel::comp_gain(high, 1.25f, 6.0e7f));
    EXPECT_EQ(x[1], 0.0f);
    // The same request again is not a new re-layout; reset clears the state.
    k.process({1, 48000, 2, x}, p);
    EXPECT_EQ(k.left().idx.i_write, 400);
    k.reset();
    EXPECT_EQ(k.left().idx.i_write, 398);
    EXPECT_EQ(k.left().env, 0.0f);
    EXPECT_EQ(k.left().ring[399], 0.0f);
}

}  // namespace
}  // namespace tw
