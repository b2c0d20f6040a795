// The noise gate: level curve and labels, opening and closing counts, the
// shared stereo gate, and its record.
#include "fx/noise_gates.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

#include "fx/param_record.h"

namespace tw {
namespace {

std::unique_ptr<Tnoise_gate_form> fresh() { return std::make_unique<Tnoise_gate_form>(); }

// Runs one mono sample through the gate and returns it.
float one(Tnoise_gate_form& g, float x) {
    g.process(1, 48000, 1, &x);
    return x;
}

// Puts the gate in a known state: envelope 0, counts 0, target and factor given.
void settle(Tnoise_gate_form& g, float target, float gate_gain) {
    NoiseGateKernel::State s;
    s.envelope = 0.0f;
    s.above_count = 0;
    s.below_count = 0;
    s.target = target;
    s.gate_gain = gate_gain;
    g.kernel().set_state(s);
}

// Changes the gate's memory with f.
template <class F>
void change_state(Tnoise_gate_form& g, F f) {
    NoiseGateKernel::State s = g.kernel().state();
    f(s);
    g.kernel().set_state(s);
}

// The gate's memory.
const NoiseGateKernel::State& state(const Tnoise_gate_form& g) { return g.kernel().state(); }

ParamRecord positions(int gain_in, int open, int close, int supress, int gain_out) {
    ParamRecord r;
    r.bytes.fill(0xAB);
    rec_set_i32(r, 0, gain_in);
    rec_set_i32(r, 4, open);
    rec_set_i32(r, 8, close);
    rec_set_i32(r, 12, supress);
    rec_set_i32(r, 16, gain_out);
    return r;
}

TEST(NoiseGate, CreationValuesAndWindow) {
    auto g = fresh();
    EXPECT_EQ(g->params.gain_in, 1.0f);
    EXPECT_EQ(g->params.gain_out, 1.0f);
    EXPECT_EQ(g->params.open_level, 1000.0f);
    EXPECT_EQ(g->params.close_level, 100.0f);
    EXPECT_FLOAT_EQ(g->params.floor, 0.1f);
    EXPECT_EQ(state(*g).above_count, 10);
    EXPECT_EQ(state(*g).below_count, 100);
    EXPECT_EQ(state(*g).gate_gain, 1.0f);
    EXPECT_EQ(state(*g).target, 0.0f);
    EXPECT_EQ(state(*g).envelope, 0.0f);
    EXPECT_EQ(g->skin_loaded, 0);
    EXPECT_EQ(g->form().caption(), "Noise Gate");
    EXPECT_EQ(g->form().client_width(), 279);
    EXPECT_EQ(g->form().client_height(), 326);
    EXPECT_EQ(g->Label_Porog_Max.caption(), "Pass signals greater than -33 dB    ");
    EXPECT_EQ(g->Label_porog_min.caption(), "Supress noise smaller than -55 dB  ");
    EXPECT_EQ(g->Label_Supress.caption(), "Noise Supression  ");
    EXPECT_EQ(g->ScrollBar_Porog_Max.position(), 67);
    EXPECT_EQ(g->ScrollBar_Porog_Max.min(), 4);
    EXPECT_EQ(g->ScrollBar_min_porog.position(), 45);
    EXPECT_EQ(g->ScrollBar_Supress.position(), 50);
    // Every control lies inside the client area.
    for (const ui::Control* c : g->form().controls()) {
        EXPECT_GE(c->bounds().left, 0) << c->name();
        EXPECT_LE(c->bounds().left + c->bounds().width, 279) << c->name();
        EXPECT_LE(c->bounds().top + c->bounds().height, 326) << c->name();
    }
}

TEST(NoiseGate, LevelBarsAndTheirLabels) {
    auto g = fresh();
    g->ScrollBar_Porog_Max.set_position(66);
    g->ScrollBar_Porog_Max.set_position(67);
    EXPECT_EQ(g->params.open_level, 1024.0f);
    EXPECT_EQ(g->Label_Porog_Max.caption(), "Pass signals greater than -33 dB  ");
    g->ScrollBar_Porog_Max.set_position(100);
    EXPECT_FLOAT_EQ(g->params.open_level, 32768.0f);
    EXPECT_EQ(g->Label_Porog_Max.caption(), "Pass signals greater than 0 dB  ");
    g->ScrollBar_Porog_Max.set_position(-20);  // clamped to 4
    EXPECT_NEAR(g->params.open_level, 1.37, 0.005);
    g->ScrollBar_min_porog.set_position(46);
    g->ScrollBar_min_porog.set_position(45);
    EXPECT_NEAR(g->params.close_level, 101.59, 0.01);
    EXPECT_EQ(g->Label_porog_min.caption(), "Supress noise smaller than -55 dB  ");
}

TEST(NoiseGate, SuppressionAndVolumeBars) {
    auto g = fresh();
    g->ScrollBar_Supress.set_position(0);
    EXPECT_FLOAT_EQ(g->params.floor, 1.1f);
    g->ScrollBar_Supress.set_position(100);
    EXPECT_FLOAT_EQ(g->params.floor, 0.1f / 11.0f);
    g->ScrollBar_Supress.set_position(50);
    EXPECT_FLOAT_EQ(g->params.floor, 0.1f);
    g->ScrollBar_Gain_In.set_position(100);
    g->ScrollBar_Gain_Out.set_position(0);
    EXPECT_EQ(g->params.gain_in, 11.0f);
    EXPECT_FLOAT_EQ(g->params.gain_out, 1.0f / 11.0f);
    // An open gate between the two volumes: x * 11 * 1 / 11.
    settle(*g, 1.0f, 1.0f);
    change_state(*g, [](auto& s) { s.envelope = 5000.0f; });
    EXPECT_FLOAT_EQ(one(*g, 300.0f), 300.0f);
}

TEST(NoiseGate, ZeroFramesChangeNothing) {
    auto g = fresh();
    float buf[2] = {5.0f, 6.0f};
    g->process(0, 48000, 2, buf);
    EXPECT_EQ(buf[0], 5.0f);
    EXPECT_EQ(buf[1], 6.0f);
    EXPECT_EQ(state(*g).below_count, 100);
    EXPECT_EQ(state(*g).gate_gain, 1.0f);
    EXPECT_EQ(state(*g).envelope, 0.0f);
}

TEST(NoiseGate, OpensOnTheEleventhSampleAboveTheLevel) {
    auto g = fresh();
    settle(*g, 0.0f, 0.0f);
    // 1e5 puts the envelope at 1e4, far above 1000, from the first sample on.
    for (int i = 1; i <= 10; ++i) {
        one(*g, 1.0e5f);
        EXPECT_EQ(state(*g).above_count, i);
        EXPECT_EQ(state(*g).target, 0.0f) << i;
    }
    EXPECT_EQ(state(*g).gate_gain, 0.0f);
    const float out = one(*g, 1.0e5f);
    EXPECT_EQ(state(*g).target, 1.0f);
    EXPECT_FLOAT_EQ(state(*g).gate_gain, 0.1f);  // a tenth of the way
    EXPECT_FLOAT_EQ(out, 1.0e4f);
    one(*g, 1.0e5f);
    EXPECT_FLOAT_EQ(state(*g).gate_gain, 0.19f);

    // One sample at or below the level starts the count again.
    settle(*g, 0.0f, 0.0f);
    for (int i = 0; i < 5; ++i) one(*g, 1.0e5f);
    change_state(*g, [](auto& s) { s.envelope = 0.0f; });
    one(*g, 0.0f);
    EXPECT_EQ(state(*g).above_count, 0);
    for (int i = 0; i < 10; ++i) one(*g, 1.0e5f);
    EXPECT_EQ(state(*g).target, 0.0f);
}

TEST(NoiseGate, ClosesAfterTheThousandAndFirstQuietSample) {
    auto g = fresh();
    settle(*g, 1.0f, 1.0f);
    std::vector<float> buf(1100, 1.0f);  // envelope stays below 1, under the closing level 100
    g->process(1100, 48000, 1, buf.data());
    EXPECT_EQ(buf[999], 1.0f);                // 1000 quiet samples: still open
    EXPECT_FLOAT_EQ(buf[1000], 0.991f);       // 1001st: falls 1 % of the way to the floor 0.1
    EXPECT_FLOAT_EQ(state(*g).target, 0.1f);
    EXPECT_LT(buf[1099], buf[1000]);
    EXPECT_GT(buf[1099], 0.1f);
}

TEST(NoiseGate, StereoCountsTwicePerFrame) {
    auto g = fresh();
    settle(*g, 1.0f, 1.0f);
    std::vector<float> buf(2 * 600, 1.0f);
    g->process(600, 48000, 2, buf.data());
    EXPECT_EQ(buf[999], 1.0f);           // right sample of frame 499
    EXPECT_FLOAT_EQ(buf[1000], 0.991f);  // left sample of frame 500: the 1001st sample
    EXPECT_EQ(state(*g).below_count, 1200);
}

TEST(NoiseGate, LoudLeftKeepsTheGateOpenForASilentRight) {
    auto stereo = fresh();
    auto mono = fresh();
    std::vector<float> lr(2 * 4000);
    std::vector<float> right_only(4000, 1.0f);
    for (int i = 0; i < 4000; ++i) {
        lr[2 * i] = 5000.0f;
        lr[2 * i + 1] = 1.0f;
    }
    stereo->process(4000, 48000, 2, lr.data());
    mono->process(4000, 48000, 1, right_only.data());
    EXPECT_FLOAT_EQ(lr[2 * 3999 + 1], 1.0f);
    EXPECT_NEAR(right_only[3999], 0.1f, 0.001f);  // alone, the quiet channel is gated down
}

TEST(NoiseGate, FreshGateFallsUntilTheFloorTargetArrives) {
    auto g = fresh();
    std::vector<float> buf(1000, 1.0f);
    g->process(1000, 48000, 1, buf.data());
    EXPECT_FLOAT_EQ(buf[0], 0.99f);  // target 0 from the start
    EXPECT_LT(buf[899], buf[0]);
    EXPECT_LT(buf[899], 0.001f);
    EXPECT_EQ(state(*g).target, 0.1f);       // 901 quiet samples after starting at 100
    EXPECT_GT(buf[900], buf[899]);    // now rising towards the floor
}

TEST(NoiseGate, CountsSaturateInsteadOfWrapping) {
    auto g = fresh();
    change_state(*g, [](auto& s) {
        s.below_count = INT_MAX - 1;
        s.target = 0.1f;
    });
    float buf[4] = {0, 0, 0, 0};
    g->process(4, 48000, 1, buf);
    EXPECT_EQ(state(*g).below_count, INT_MAX);
    EXPECT_EQ(state(*g).target, 0.1f);
}

TEST(NoiseGate, RecordRoundTripAndClamps) {
    auto g = fresh();
    // The start positions leave the creation levels in force.
    g->put_parameters(positions(50, 67, 45, 50, 50));
    EXPECT_EQ(g->params.open_level, 1000.0f);
    EXPECT_EQ(g->params.close_level, 100.0f);

    g->put_parameters(positions(70, 2, 90, 100, INT_MIN));
    EXPECT_EQ(g->ScrollBar_Porog_Max.position(), 4);  // clamped
    EXPECT_NEAR(g->params.open_level, 1.37, 0.005);
    EXPECT_EQ(g->ScrollBar_Gain_Out.position(), 0);
    EXPECT_EQ(g->params.gain_in, 5.0f);
    EXPECT_EQ(g->Label_porog_min.caption(), "Supress noise smaller than -10 dB  ");

    ParamRecord out;
    out.bytes.fill(0xCD);
    g->get_parameters(out);
    EXPECT_EQ(rec_get_i32(out, 0), 70);
    EXPECT_EQ(rec_get_i32(out, 4), 4);
    EXPECT_EQ(rec_get_i32(out, 8), 90);
    EXPECT_EQ(rec_get_i32(out, 12), 100);
    EXPECT_EQ(rec_get_i32(out, 16), 0);
    EXPECT_EQ(out.bytes[20], 0xCD);  // nothing past the 20-byte record

    auto h = fresh();
    h->put_parameters(out);
    EXPECT_EQ(h->params.open_level, g->params.open_level);
    EXPECT_EQ(h->params.close_level, g->params.close_level);
    EXPECT_EQ(h->params.floor, g->params.floor);
    EXPECT_EQ(h->params.gain_out, g->params.gain_out);

    // The gate state survives a record.
    change_state(*h, [](auto& s) { s.gate_gain = 0.5f; });
    h->put_parameters(positions(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX));
    EXPECT_EQ(state(*h).gate_gain, 0.5f);
    EXPECT_EQ(h->params.gain_in, 11.0f);
}

TEST(NoiseGateKernel, ProcessWithGivenParams) {
    NoiseGateKernel k;
    NoiseGateKernel::Params p;
    p.gain_in = 2.0f;
    p.gain_out = 0.5f;
    p.open_level = 10.0f;
    p.close_level = 5.0f;
    p.floor = 0.25f;
    NoiseGateKernel::State s;
    s.above_count = 0;
    s.below_count = 0;
    s.target = 1.0f;
    k.set_state(s);
    // Stereo: three frames are six gate steps, each x * 2, gate 1, * 0.5.
    std::vector<float> buf(6, 100.0f);
    k.process({3, 48000, 2, buf.data()}, p);
    for (float v : buf) EXPECT_EQ(v, 100.0f);
    EXPECT_EQ(k.state().above_count, 6);
    EXPECT_FLOAT_EQ(k.state().envelope, 0.1f * 200.0f * (1.0f + 0.9f + 0.81f + 0.729f + 0.6561f + 0.59049f));
    // Mono: one step per frame; a quiet sample after 1000 quiet ones sets the
    // floor as the target and the factor falls 1 % of the way there.
    s = NoiseGateKernel::State{};
    s.below_count = 1000;
    s.target = 1.0f;
    k.set_state(s);
    float one = 1.0f;
    k.process({1, 48000, 1, &one}, p);
    EXPECT_EQ(k.state().below_count, 1001);
    EXPECT_EQ(k.state().target, 0.25f);
    EXPECT_FLOAT_EQ(k.state().gate_gain, 0.9925f);
    EXPECT_FLOAT_EQ(one, 0.9925f);
}

}  // namespace
}  // namespace tw
