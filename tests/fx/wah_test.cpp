// The wah: sweep limits and direction, the right channel's higher cut-off,
// controls, and staying finite at the extreme settings.
#include "fx/wahs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "fx_test_support.h"

namespace tw {
namespace {

std::unique_ptr<Twah_form> fresh() { return std::make_unique<Twah_form>(); }

// The sweep and filter memories.
const WahKernel::State& state(const Twah_form& w) { return w.kernel().state(); }

// Changes the memories with f.
template <class F>
void change_state(Twah_form& w, F f) {
    WahKernel::State s = w.kernel().state();
    f(s);
    w.kernel().set_state(s);
}

TEST(Wah, SweepsBetweenItsLimits) {
    auto w = fresh();
    float s = 0.0f;
    w->process(1, 48000, 1, &s);
    EXPECT_DOUBLE_EQ(state(*w).wah_fc_l, 0.1 * 1.0001f);   // rising from 0.1 at 1.0001 per sample
    double lo = 1.0, hi = 0.0;
    bool reached_top = false;
    for (int i = 0; i < 80000; ++i) {
        w->process(1, 48000, 1, &s);
        hi = std::max(hi, state(*w).wah_fc_l);
        if (state(*w).wah_fc_l > 0.25) reached_top = true;
        if (reached_top) lo = std::min(lo, state(*w).wah_fc_l);
    }
    // Each limit is overshot by at most one factor.
    EXPECT_GT(hi, 0.25);
    EXPECT_LE(hi, 0.25f * 1.0001f * (1 + 1e-12));
    EXPECT_LT(lo, 0.05);
    EXPECT_GE(lo, 0.05f / 1.0001f * (1 - 1e-12));
    // Mono never touches the right channel's state.
    EXPECT_EQ(state(*w).wah_state_r.out4, 0.0);
    EXPECT_EQ(state(*w).wah_fc_r, 0.1);

    // Sweep off freezes the cut-off; lower limit above upper settles near the upper.
    w->CheckRadioBox_Sweep_OnOff.set_checked(false);
    const double frozen = state(*w).wah_fc_l;
    w->process(1, 48000, 1, &s);
    EXPECT_EQ(state(*w).wah_fc_l, frozen);
    auto inv = fresh();
    inv->ScrollBar_Fc.set_position(120);        // low 0.6
    inv->ScrollBar_deviation.set_position(60);  // high 0.3
    std::vector<float> buf(20000, 0.0f);
    inv->process(20000, 48000, 1, buf.data());
    EXPECT_NEAR(state(*inv).wah_fc_l, 0.3, 0.3 * 0.002);
}

TEST(Wah, RightChannelSitsTenPercentHigher) {
    // Sweep off: the stereo right channel at cut-off value 0.1 behaves as a
    // mono wah at 0.11.
    auto st = fresh();
    auto mono = fresh();
    st->CheckRadioBox_Sweep_OnOff.set_checked(false);
    mono->CheckRadioBox_Sweep_OnOff.set_checked(false);
    change_state(*mono, [](auto& s) { s.wah_fc_l = 0.11; });
    const int n = 3000;
    std::vector<float> sig = test::guitar_like(n), inter(2 * n);
    for (int i = 0; i < n; ++i) inter[2 * i] = inter[2 * i + 1] = sig[i];
    std::vector<float> m = sig;
    st->process(n, 48000, 2, inter.data());
    mono->process(n, 48000, 1, m.data());
    double peak = 0.0, diff = 0.0, ldiff = 0.0;
    for (int i = 0; i < n; ++i) {
        peak = std::max(peak, std::fabs(double(m[i])));
        diff = std::max(diff, std::fabs(double(inter[2 * i + 1]) - m[i]));
        ldiff = std::max(ldiff, std::fabs(double(inter[2 * i + 1]) - inter[2 * i]));
    }
    EXPECT_LT(diff, 1e-5 * peak);
    EXPECT_GT(ldiff, 0.01 * peak);   // and not the left channel's filter
    // A stereo call copies the left's cut-off value and factor to the right, even of 0 frames.
    auto z = fresh();
    change_state(*z, [](auto& s) {
        s.wah_fc_l = 0.2;
        s.sweep_mult_l = 0.5f;
    });
    z->process(0, 48000, 2, nullptr);
    EXPECT_EQ(state(*z).wah_fc_r, 0.2);
    EXPECT_EQ(state(*z).sweep_mult_r, 0.5f);
}

TEST(Wah, ControlsAndLevel) {
    auto w = fresh();
    w->ScrollBar_Level.set_position(51);
    w->ScrollBar_Level.set_position(50);
    EXPECT_EQ(w->params.out_level, 1.0f);
    w->ScrollBar_Level.set_position(100);
    EXPECT_EQ(w->params.out_level, 11.0f);
    w->ScrollBar_Speed.set_position(99);
    w->ScrollBar_Speed.set_position(100);
    EXPECT_EQ(w->params.sweep_up, 1.0006f);
    EXPECT_EQ(w->params.sweep_down, static_cast<float>(1.0 / 1.0006f));
    w->ScrollBar_Fc.set_position(1);
    EXPECT_EQ(w->params.sweep_low, 0.005f);
    w->ScrollBar_deviation.set_position(190);
    EXPECT_EQ(w->params.sweep_high, 0.95f);
    w->ScrollBar_res.set_position(39);
    EXPECT_EQ(w->params.wah_res, 3.9);
    // Level scales the output exactly.
    auto a = fresh();
    auto b = fresh();
    b->ScrollBar_Level.set_position(100);
    std::vector<float> x = test::guitar_like(500), y = x;
    a->process(500, 48000, 1, x.data());
    b->process(500, 48000, 1, y.data());
    for (int i = 0; i < 500; ++i) ASSERT_FLOAT_EQ(y[i], x[i] * 11.0f) << i;
}

// The top of the Stop bar with the strongest resonance would make the right
// channel's filter (1.1 times higher) unstable; it stays finite and bounded.
TEST(Wah, ExtremeSettingsStayFinite) {
    auto w = fresh();
    w->ScrollBar_Fc.set_position(180);
    w->ScrollBar_deviation.set_position(190);
    w->ScrollBar_res.set_position(39);
    w->ScrollBar_Speed.set_position(199);
    std::vector<float> buf = test::guitar_like(2 * 48000);
    for (int k = 0; k < 4; ++k) {
        std::vector<float> b = buf;
        w->process(48000, 48000, 2, b.data());
        for (float v : b) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 1e7f);
    }
}

TEST(WahKernel, ProcessWithGivenParams) {
    WahKernel k;
    WahKernel::Params p;
    p.sweep_on = false;
    p.out_level = 2.0f;
    p.wah_res = 1.5;
    // Sweep off: the left channel at cut-off value 0.1, the right at 1.1 times that.
    std::vector<float> buf = {1000.0f, 1000.0f, -500.0f, 250.0f};
    k.process({2, 48000, 2, buf.data()}, p);
    dsp::FourPoleState l, r;
    const double fl = 0.1 * 1.16, fr = 0.1 * 1.16 * 1.1;
    const double fbl = (1.0 - 0.15 * fl * fl) * 1.5, fbr = (1.0 - 0.15 * fr * fr) * 1.5;
    EXPECT_EQ(buf[0], static_cast<float>(dsp::four_pole_step(l, 1000.0, fl, fbl) * 2.0));
    EXPECT_EQ(buf[1], static_cast<float>(dsp::four_pole_step(r, 1000.0, fr, fbr) * 2.0));
    EXPECT_EQ(buf[2], static_cast<float>(dsp::four_pole_step(l, -500.0, fl, fbl) * 2.0));
    EXPECT_EQ(buf[3], static_cast<float>(dsp::four_pole_step(r, 250.0, fr, fbr) * 2.0));
    EXPECT_NE(buf[2], 0.0f);
    EXPECT_EQ(k.state().wah_fc_l, 0.1);
    // Sweep on: one step up by 1.0001 passes the upper limit and turns the factor down.
    p.sweep_on = true;
    p.sweep_high = 0.1f;
    p.sweep_down = 0.5f;
    float x = 0.0f;
    k.process({1, 48000, 1, &x}, p);
    EXPECT_EQ(k.state().wah_fc_l, 0.1 * 1.0001f);
    EXPECT_EQ(k.state().sweep_mult_l, 0.5f);
    EXPECT_EQ(k.state().sweep_mult_r, 1.0001f);  // mono leaves the right channel alone
}

TEST(Wah, LongBuffersRunInPasses) { test::expect_long_buffers_run_in_passes<Twah_form>(); }

}  // namespace
}  // namespace tw
