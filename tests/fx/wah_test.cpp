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

TEST(Wah, SweepsBetweenItsLimits) {
    auto w = fresh();
    float s = 0.0f;
    w->wah(1, 48000, 1, &s);
    EXPECT_DOUBLE_EQ(w->wah_fc_l, 0.1 * 1.0001f);   // rising from 0.1 at 1.0001 per sample
    double lo = 1.0, hi = 0.0;
    bool reached_top = false;
    for (int i = 0; i < 80000; ++i) {
        w->wah(1, 48000, 1, &s);
        hi = std::max(hi, w->wah_fc_l);
        if (w->wah_fc_l > 0.25) reached_top = true;
        if (reached_top) lo = std::min(lo, w->wah_fc_l);
    }
    // Each limit is overshot by at most one factor.
    EXPECT_GT(hi, 0.25);
    EXPECT_LE(hi, 0.25f * 1.0001f * (1 + 1e-12));
    EXPECT_LT(lo, 0.05);
    EXPECT_GE(lo, 0.05f / 1.0001f * (1 - 1e-12));
    // Mono never touches the right channel's state.
    EXPECT_EQ(w->wah_state_r.out4, 0.0);
    EXPECT_EQ(w->wah_fc_r, 0.1);

    // Sweep off freezes the cut-off; lower limit above upper settles near the upper.
    w->CheckRadioBox_Sweep_OnOff.set_checked(false);
    const double frozen = w->wah_fc_l;
    w->wah(1, 48000, 1, &s);
    EXPECT_EQ(w->wah_fc_l, frozen);
    auto inv = fresh();
    inv->ScrollBar_Fc.set_position(120);        // low 0.6
    inv->ScrollBar_deviation.set_position(60);  // high 0.3
    std::vector<float> buf(20000, 0.0f);
    inv->wah(20000, 48000, 1, buf.data());
    EXPECT_NEAR(inv->wah_fc_l, 0.3, 0.3 * 0.002);
}

TEST(Wah, RightChannelSitsTenPercentHigher) {
    // Sweep off: the stereo right channel at cut-off value 0.1 behaves as a
    // mono wah at 0.11.
    auto st = fresh();
    auto mono = fresh();
    st->CheckRadioBox_Sweep_OnOff.set_checked(false);
    mono->CheckRadioBox_Sweep_OnOff.set_checked(false);
    mono->wah_fc_l = 0.11;
    const int n = 3000;
    std::vector<float> sig = test::guitar_like(n), inter(2 * n);
    for (int i = 0; i < n; ++i) inter[2 * i] = inter[2 * i + 1] = sig[i];
    std::vector<float> m = sig;
    st->wah(n, 48000, 2, inter.data());
    mono->wah(n, 48000, 1, m.data());
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
    z->wah_fc_l = 0.2;
    z->sweep_mult_l = 0.5f;
    z->wah(0, 48000, 2, nullptr);
    EXPECT_EQ(z->wah_fc_r, 0.2);
    EXPECT_EQ(z->sweep_mult_r, 0.5f);
}

TEST(Wah, ControlsAndLevel) {
    auto w = fresh();
    w->ScrollBar_Level.set_position(51);
    w->ScrollBar_Level.set_position(50);
    EXPECT_EQ(w->out_level.load(), 1.0f);
    w->ScrollBar_Level.set_position(100);
    EXPECT_EQ(w->out_level.load(), 11.0f);
    w->ScrollBar_Speed.set_position(99);
    w->ScrollBar_Speed.set_position(100);
    EXPECT_EQ(w->sweep_up.load(), 1.0006f);
    EXPECT_EQ(w->sweep_down.load(), static_cast<float>(1.0 / 1.0006f));
    w->ScrollBar_Fc.set_position(1);
    EXPECT_EQ(w->sweep_low.load(), 0.005f);
    w->ScrollBar_deviation.set_position(190);
    EXPECT_EQ(w->sweep_high.load(), 0.95f);
    w->ScrollBar_res.set_position(39);
    EXPECT_EQ(w->wah_res.load(), 3.9);
    // Level scales the output exactly.
    auto a = fresh();
    auto b = fresh();
    b->ScrollBar_Level.set_position(100);
    std::vector<float> x = test::guitar_like(500), y = x;
    a->wah(500, 48000, 1, x.data());
    b->wah(500, 48000, 1, y.data());
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
        w->wah(48000, 48000, 2, b.data());
        for (float v : b) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 1e7f);
    }
}

TEST(Wah, LongBuffersRunInPasses) { test::expect_long_buffers_run_in_passes<Twah_form>(); }

}  // namespace
}  // namespace tw
