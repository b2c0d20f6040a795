// The eight-band equaliser: band design, gain curves, Gang and copy rules,
// its record, the side filters, and the vectorised band step against the
// plain one.
#include "fx/eq8.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "fx/band_pass.h"
#include "fx/param_record.h"
#include "fx_test_support.h"

namespace tw {
namespace {

std::unique_ptr<TEQ8_form> fresh() { return std::make_unique<TEQ8_form>(); }

// Peak output amplitude over the last `tail` samples of `n` samples of a
// mono sine (amplitude 1000) at `hz`, 48 kHz.
double sine_out(TEQ8_form& eq, double hz, int n = 48000, int tail = 4800) {
    std::vector<float> buf(n);
    for (int i = 0; i < n; ++i) buf[i] = static_cast<float>(1000.0 * std::sin(2.0 * std::numbers::pi * hz * i / 48000.0));
    eq.EQ8_dsp(n, 48000, 1, buf.data());
    double peak = 0.0;
    for (int i = n - tail; i < n; ++i) peak = std::max(peak, std::fabs(static_cast<double>(buf[i])));
    return peak / 1000.0;
}

// The last output of `n` samples of a constant (dc) or of an alternating
// sign (Nyquist), amplitude 1000, relative to the input.
double steady_out(TEQ8_form& eq, bool nyquist, int channels = 1, int n = 40000) {
    std::vector<float> buf(n * channels);
    for (int i = 0; i < n * channels; ++i) buf[i] = (nyquist && (i / channels) % 2 == 1) ? -1000.0f : 1000.0f;
    eq.EQ8_dsp(n, 48000, channels, buf.data());
    const float last = buf[(n - 1) * channels];
    return (nyquist && (n - 1) % 2 == 1 ? -last : last) / 1000.0;
}

void eq_off(TEQ8_form& eq) { eq.CheckRadioBox_EQ8_OnOff.set_checked(false); }

TEST(Eq8, DesignedCoefficientsAndFreshResponse) {
    auto eq = fresh();
    for (const EqBandSet* s : {&eq->params.pre_eq, &eq->params.post_eq}) {
        EXPECT_FLOAT_EQ(static_cast<float>(s->a0[0]), 382.97098f);
        EXPECT_FLOAT_EQ(static_cast<float>(s->a1[0]), -763.91943f);
        EXPECT_FLOAT_EQ(static_cast<float>(s->a2[0]), 380.97098f);
        EXPECT_FLOAT_EQ(static_cast<float>(s->a0[8]), 5.288766f);
        EXPECT_FLOAT_EQ(static_cast<float>(s->a1[8]), -4.403807f);
        EXPECT_FLOAT_EQ(static_cast<float>(s->a2[8]), 3.288766f);
        EXPECT_EQ(s->band_gain[0], 10.0f);
        EXPECT_EQ(s->master_gain, 0.1f);
    }
    EXPECT_EQ(eq->kernel().last_rate(), 48000.0f);
    // No dry path: DC and half the sample rate are blocked; mid band passes.
    EXPECT_NEAR(steady_out(*eq, false), 0.0, 1e-4);
    EXPECT_NEAR(steady_out(*fresh(), true), 0.0, 1e-4);
    EXPECT_GT(sine_out(*fresh(), 850.0), 0.9);
    // A call of 0 frames only notes the rate.
    auto z = fresh();
    z->EQ8_dsp(0, 44100, 1, nullptr);
    EXPECT_EQ(z->kernel().last_rate(), 44100.0f);
}

TEST(Eq8, CurvesUnityAt51AndMasterAt50) {
    auto eq = fresh();
    eq->ScrollBar_EQ8_850.set_position(51);
    EXPECT_EQ(eq->params.pre_eq.band_gain[4], 10.0f);
    eq->ScrollBar_EQ8_850.set_position(50);
    EXPECT_EQ(eq->params.pre_eq.band_gain[4], 12.0f);
    eq->ScrollBar_EQ8_850.set_position(0);
    EXPECT_EQ(eq->params.pre_eq.band_gain[4], 112.0f);
    eq->ScrollBar_EQ8_850.set_position(100);
    EXPECT_FLOAT_EQ(eq->params.pre_eq.band_gain[4], static_cast<float>(10.0 / 10.8));
    eq->ScrollBar_EQ8G.set_position(0);
    EXPECT_FLOAT_EQ(eq->params.pre_eq.master_gain, 1.1f);
    eq->ScrollBar_EQ8G.set_position(50);
    EXPECT_EQ(eq->params.pre_eq.master_gain, 0.1f);
    eq->ScrollBar_EQ8G.set_position(100);
    EXPECT_FLOAT_EQ(eq->params.pre_eq.master_gain, static_cast<float>(0.1 / 11.0));
    eq->ScrollBar_EQ8_FNC_LM.set_position(100);
    EXPECT_EQ(eq->params.hcut_m, 0.999f);
    eq->ScrollBar_EQ8_FNC_LM.set_position(0);
    EXPECT_EQ(eq->params.hcut_l, 0.001f);

    // All bars at unity give the fresh instance's output; the 850 Hz bar at
    // the top lifts 850 Hz several times while 62 Hz hardly moves.
    auto unity = fresh();
    for (ui::ScrollBar* b : unity->left_bars()) b->set_position(51);
    unity->ScrollBar_EQ8G.set_position(50);
    unity->ScrollBar_EQ8_FNC_LM.set_position(0);
    unity->ScrollBar_EQ8_FNC_LM.set_position(1);   // smoothing 0.1: only the top is touched
    EXPECT_NEAR(sine_out(*unity, 1000.0), sine_out(*fresh(), 1000.0), 0.02);
    auto boost = fresh();
    for (ui::ScrollBar* b : boost->left_bars()) b->set_position(51);
    boost->ScrollBar_EQ8G.set_position(50);
    boost->ScrollBar_EQ8_850.set_position(0);
    EXPECT_GT(sine_out(*boost, 850.0), 5.0 * sine_out(*fresh(), 850.0));
    auto treble = fresh();
    for (ui::ScrollBar* b : treble->left_bars()) b->set_position(51);
    treble->ScrollBar_EQ8G.set_position(50);
    treble->ScrollBar_EQ8_80.set_position(0);
    EXPECT_NEAR(sine_out(*treble, 62.0), sine_out(*fresh(), 62.0), 0.05);
    auto treble2 = fresh();
    treble2->ScrollBar_EQ8_80.set_position(0);
    EXPECT_GT(sine_out(*treble2, 8000.0), 3.0 * sine_out(*fresh(), 8000.0));
}

TEST(Eq8, GangCopyAndReset) {
    auto eq = fresh();
    ASSERT_TRUE(eq->Gang.checked());
    eq->ScrollBar_EQ8_34.set_position(20);
    eq->ScrollBar_EQ8G.set_position(30);
    eq->ScrollBar_EQ8_FNC_LM.set_position(40);
    EXPECT_EQ(eq->ScrollBar_EQ8_34s.position(), 20);
    EXPECT_EQ(eq->params.post_eq.band_gain[6], band_curve(81));
    EXPECT_EQ(eq->ScrollBar_EQ8GR.position(), 30);
    EXPECT_EQ(eq->ScrollBar_EQ8_FNC_R.position(), 40);
    EXPECT_EQ(eq->params.hcut_r, eq->params.hcut_l);
    eq->ScrollBar_EQ8_34s.set_position(70);   // right never moves left
    EXPECT_EQ(eq->ScrollBar_EQ8_34.position(), 20);
    eq->Gang.set_checked(false);
    eq->ScrollBar_EQ8_34.set_position(10);
    EXPECT_EQ(eq->ScrollBar_EQ8_34s.position(), 70);

    eq->Copy_Left_to_Right.click();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(eq->right_bars()[i]->position(), eq->left_bars()[i]->position()) << i;
    eq->ScrollBar_EQ8_80s.set_position(90);
    eq->Copy_Right_to_Left.click();
    EXPECT_EQ(eq->ScrollBar_EQ8_80.position(), 90);
    EXPECT_EQ(eq->params.pre_eq.band_gain[8], band_curve(11));
    eq->Reset_Left.click();
    for (int i = 0; i < 9; ++i) EXPECT_EQ(eq->left_bars()[i]->position(), 50) << i;
    EXPECT_EQ(eq->ScrollBar_EQ8_FNC_LM.position(), 0);
    EXPECT_EQ(eq->params.hcut_m, 0.001f);
    EXPECT_EQ(eq->ScrollBar_EQ8_80s.position(), 90);   // Gang off: right side kept
    eq->Reset_Right.click();
    EXPECT_EQ(eq->ScrollBar_EQ8_80s.position(), 50);
}

TEST(Eq8, RecordWithGangGivesLeftPositionsToTheRight) {
    auto src = fresh();
    src->Gang.set_checked(false);
    src->ScrollBar_EQ8_125.set_position(10);
    src->ScrollBar_EQ8_125s.set_position(90);
    src->ScrollBar_EQ8_250s.set_position(80);   // its left twin stays at 50
    ParamRecord r;
    src->get_parameters(r);
    EXPECT_EQ(rec_get_u8(r, 125), 0);
    EXPECT_EQ(rec_get_i32(r, 4), 10);
    EXPECT_EQ(rec_get_i32(r, 44), 90);

    auto ganged = fresh();   // Gang checked while the record loads
    ganged->put_parameters(r);
    EXPECT_EQ(ganged->ScrollBar_EQ8_125s.position(), 10);   // left moved: copied over the stored 90
    EXPECT_EQ(ganged->ScrollBar_EQ8_250s.position(), 80);   // left unchanged: stored value stays
    EXPECT_FALSE(ganged->Gang.checked());
    auto loose = fresh();
    loose->Gang.set_checked(false);
    loose->put_parameters(r);
    EXPECT_EQ(loose->ScrollBar_EQ8_125s.position(), 90);

    // Out-of-range positions are clamped by the bars.
    rec_set_i32(r, 120, 999);
    rec_set_i32(r, 84, -5);
    auto c = fresh();
    c->put_parameters(r);
    EXPECT_EQ(c->ScrollBar_fnc_2000.position(), 5);
    EXPECT_EQ(c->ScrollBar_LPF_1.position(), 50);
}

// Every stage on, the smoothers moved off zero.
struct AllFiltersOnForTest : TEQ8_form {
    AllFiltersOnForTest() {
        for (ui::CheckBox* c : {&CheckRadioBox_FVC_OnOff, &CheckRadioBox_FNC_OnOff, &CheckRadioBox_Shelf,
                                &CheckRadioBox_fnc_2000_OnOff, &CheckRadioBox_Filter_Notch})
            c->set_checked(true);
        ScrollBar_EQ8_FNC_LM.set_position(60);
        ScrollBar_EQ8_FNC_R.set_position(30);
        Gang.set_checked(false);
        ScrollBar_EQ8_450s.set_position(70);
    }
};

// The vectorised band step gives the plain per-band step in band order
// (double arithmetic, 32-bit memories) to within float rounding.
TEST(Eq8, BandLanesMatchThePlainStep) {
    auto eq = fresh();
    const int gains[8] = {0, 30, 51, 70, 100, 45, 20, 90};
    for (int b = 1; b <= 8; ++b) eq->left_bars()[b]->set_position(gains[b - 1]);
    eq->ScrollBar_EQ8G.set_position(40);
    std::vector<float> in = test::guitar_like(6000), out = in;
    eq->EQ8_dsp(6000, 48000, 1, out.data());

    std::array<dsp::BiquadCoefs<float>, 9> c;
    std::array<dsp::BiquadState<float>, 9> st{};
    const float centre[9] = {62, 125, 250, 425, 850, 1700, 3400, 5500, 8000};
    const float width[9] = {40, 100, 200, 400, 800, 1200, 2000, 4000, 3500};
    for (int b = 0; b < 9; ++b) {
        const BandPassCoefs d = band_pass_design(centre[b], width[b]);
        c[b] = {static_cast<float>(d.a0), static_cast<float>(d.a1), static_cast<float>(d.a2)};
    }
    const float master = eq->params.pre_eq.master_gain;
    for (int i = 0; i < 6000; ++i) {
        double sum = 0.0;
        for (int b = 0; b < 9; ++b) sum = dsp::band_pass_step(c[b], st[b], in[i]) * static_cast<double>(eq->params.pre_eq.band_gain[b]) + sum;
        const float expect = static_cast<float>(sum) * master;
        ASSERT_NEAR(out[i], expect, 1e-5 * std::fabs(expect) + 1e-3) << i;
    }
}

TEST(Eq8, HiPassDesignAndResponse) {
    auto eq = fresh();
    EXPECT_FLOAT_EQ(eq->params.hp_coefs.a0, 1.009271f);
    EXPECT_FLOAT_EQ(eq->params.hp_coefs.a1, -1.999957f);
    EXPECT_FLOAT_EQ(eq->params.hp_coefs.a2, 0.9908143f);
    eq_off(*eq);
    eq->CheckRadioBox_FVC_OnOff.set_checked(true);
    EXPECT_NEAR(sine_out(*eq, 101.6), std::sqrt(0.5), 0.01);
    EXPECT_NEAR(sine_out(*eq, 2000.0), 1.0, 0.01);
    EXPECT_LT(sine_out(*eq, 20.0), 0.07);

    // The resonance bar designs at the last call's rate, the frequency bar at 48000.
    auto q = fresh();
    q->ScrollBar_Q.set_position(10);
    EXPECT_FLOAT_EQ(q->hp_r, 0.141f);
    float buf[2] = {0, 0};
    q->EQ8_dsp(1, 24000, 1, buf);
    q->ScrollBar_Q.set_position(2);
    EXPECT_FLOAT_EQ(q->hp_r, 0.705f);
    const auto at_24k = two_pole_design(24000, 100, 0.705f);
    EXPECT_EQ(q->params.hp_coefs.a0, at_24k.a0);
    q->ScrollBar_LPF_1.set_position(101);
    q->ScrollBar_LPF_1.set_position(100);
    EXPECT_EQ(q->params.hp_coefs.a0, two_pole_design(48000, 100, 0.705f).a0);
    // A call at a rate that cannot carry the corner leaves a usable design.
    q->EQ8_dsp(1, 0, 1, buf);
    q->ScrollBar_Q.set_position(3);
    EXPECT_TRUE(std::isfinite(q->params.hp_coefs.a0) && std::isfinite(q->params.hp_coefs.a1));
}

TEST(Eq8, ShelfSpeakerAndLowCut) {
    auto shelf = fresh();
    eq_off(*shelf);
    shelf->CheckRadioBox_Shelf.set_checked(true);
    EXPECT_NEAR(steady_out(*shelf, false), 1.0, 1e-4);
    EXPECT_NEAR(steady_out(*shelf, true), 2.0, 0.01);
    shelf->ScrollBar_Shelf_fvc_F.set_position(1);
    EXPECT_EQ(shelf->shelf_freq, 50.0f);
    shelf->ScrollBar_Shelf_fvc_F.set_position(100);
    EXPECT_EQ(shelf->shelf_freq, 5000.0f);

    for (int p = 0; p < kSpeakerSets; ++p) {
        auto spk = fresh();
        eq_off(*spk);
        spk->ScrollBar_fnc_2000.set_position(p);
        spk->CheckRadioBox_fnc_2000_OnOff.set_checked(true);
        EXPECT_NEAR(steady_out(*spk, false), 1.0, 1e-6) << p;
        EXPECT_NEAR(steady_out(*spk, true), 0.0, 1e-6) << p;
    }
    // Set 0 at 44100 Hz: corner about 2.08 kHz (half power).
    auto spk = fresh();
    eq_off(*spk);
    spk->CheckRadioBox_fnc_2000_OnOff.set_checked(true);
    EXPECT_NEAR(sine_out(*spk, 0.0472 * 48000.0), std::sqrt(0.5), 0.02);

    auto cut = fresh();
    eq_off(*cut);
    cut->CheckRadioBox_Filter_Notch.set_checked(true);
    EXPECT_NEAR(steady_out(*cut, false), 0.0, 1e-6);
    EXPECT_NEAR(steady_out(*cut, true), 1.0, 1e-6);
    EXPECT_NEAR(sine_out(*cut, 76.0), std::sqrt(0.5), 0.02);
    // In stereo the low cut does not run.
    auto st = fresh();
    eq_off(*st);
    st->CheckRadioBox_Filter_Notch.set_checked(true);
    std::vector<float> buf(2000, 1000.0f);
    st->EQ8_dsp(1000, 48000, 2, buf.data());
    EXPECT_EQ(buf, std::vector<float>(2000, 1000.0f));
}

TEST(Eq8, ResonantLowPassAndSharedMemories) {
    auto eq = fresh();
    eq->CheckRadioBox_FNC_OnOff.set_checked(true);
    EXPECT_EQ(eq->params.lp_fc, 0.1);
    EXPECT_EQ(eq->params.lp_res, 3.0);
    eq_off(*eq);
    // Cut-off factor 0.116 of the sample rate's scale: a high tone is cut hard.
    EXPECT_LT(sine_out(*eq, 12000.0), 0.01);
    // Mono and stereo left share the low-pass memory: a mono call followed by
    // a stereo call continues the left channel where mono stopped.
    auto a = fresh();
    auto ref = fresh();
    for (auto* e : {a.get(), ref.get()}) {
        eq_off(*e);
        e->CheckRadioBox_FNC_OnOff.set_checked(true);
    }
    std::vector<float> mono = test::guitar_like(200);
    std::vector<float> whole = mono;
    a->EQ8_dsp(100, 48000, 1, mono.data());
    std::vector<float> inter(200);
    for (int i = 0; i < 100; ++i) inter[2 * i] = mono[100 + i];
    a->EQ8_dsp(100, 48000, 2, inter.data());
    ref->EQ8_dsp(200, 48000, 1, whole.data());
    for (int i = 0; i < 100; ++i) EXPECT_EQ(inter[2 * i], whole[100 + i]) << i;
}

// The one-loop processing gives exactly the stage-by-stage steps: mono, every
// stage on, moved bars, calls of 37 frames.
TEST(Eq8, OneLoopGivesTheStageByStageBits) {
    auto eq = std::make_unique<AllFiltersOnForTest>();
    auto ref = std::make_unique<AllFiltersOnForTest>();
    for (auto* e : {eq.get(), ref.get()}) {
        e->ScrollBar_EQ8_125.set_position(20);
        e->ScrollBar_EQ8_34.set_position(85);
        e->ScrollBar_fnc_res.set_position(30);
        e->ScrollBar_fnc_2000.set_position(2);
    }
    const int n = 37 * 40;
    std::vector<float> in = test::guitar_like(n), out = in;
    for (int i = 0; i < n; i += 37) eq->EQ8_dsp(37, 48000, 1, out.data() + i);

    const Eq8Kernel::Params& p = ref->params;
    const EqBandSet::Gains g = p.pre_eq.snapshot();
    const double h = p.hcut_m, f = p.lp_fc * 1.16;
    const double fb = (1.0 - 0.15 * f * f) * p.lp_res;
    const SpeakerSet spk{p.spk_gain, {p.spk_coef[0], p.spk_coef[1], p.spk_coef[2], p.spk_coef[3], p.spk_coef[4]}};
    EqBandMemory bands;
    dsp::BiquadState<float> hp_state, shelf_state;
    dsp::FourPoleState lp_state;
    FifthOrderState spk_state, cut_state;
    float hs = 0.0f;
    for (int i = 0; i < n; ++i) {
        hs = static_cast<float>(hs * h + (1.0 - h) * bands.step(p.pre_eq, g, in[i]));
        float x = hs * g.master;
        x = dsp::high_pass_step(p.hp_coefs, hp_state, x);
        x = static_cast<float>(dsp::four_pole_step(lp_state, x, f, fb));
        x = static_cast<float>(x + static_cast<double>(dsp::high_pass_step(p.shelf_coefs, shelf_state, x)) *
                                       p.shelf_gain);
        x = speaker_step(spk_state, spk, x);
        x = low_cut_step(cut_state, kLowCutGain, x);
        ASSERT_EQ(out[i], x) << i;
    }
}

// The AVX2 build (where the processor has it) and the baseline build give the
// same bits, stereo and mono, for calls of odd length and of one frame.
TEST(Eq8, Avx2AndBaselineBuildsAgree) {
    if (!eq8_kernel_uses_avx2()) GTEST_SKIP() << "no AVX2";
    for (int channels : {1, 2}) {
        auto a = std::make_unique<AllFiltersOnForTest>();
        auto b = std::make_unique<AllFiltersOnForTest>();
        a->kernel().set_use_avx2(true);
        b->kernel().set_use_avx2(false);
        std::vector<float> x = test::guitar_like(2 * 400), y = x;
        for (int at = 0, len = 1; at + len <= 400; at += len, len = len == 1 ? 37 : 1) {
            a->EQ8_dsp(len, 48000, channels, x.data() + at * channels);
            b->EQ8_dsp(len, 48000, channels, y.data() + at * channels);
        }
        EXPECT_EQ(x, y) << channels;
    }
}

// Every side filter on, in mono and stereo: long calls run like short ones.
struct AllFiltersOn : TEQ8_form {
    AllFiltersOn() {
        for (ui::CheckBox* c : {&CheckRadioBox_FVC_OnOff, &CheckRadioBox_FNC_OnOff, &CheckRadioBox_Shelf,
                                &CheckRadioBox_fnc_2000_OnOff, &CheckRadioBox_Filter_Notch})
            c->set_checked(true);
        ScrollBar_EQ8_FNC_LM.set_position(60);
    }
};

// The kernel alone: switched-off stages leave the block as it is; the
// hi-pass runs mono and stereo right on its a memories, stereo left on b.
TEST(Eq8Kernel, ProcessRunsTheSwitchedStagesOnTheirMemories) {
    Eq8Kernel k;
    Eq8Kernel::Params p;
    p.eq_on = false;
    std::vector<float> buf(64, 1000.0f);
    k.process({32, 44100, 2, buf.data()}, p);
    EXPECT_EQ(buf, std::vector<float>(64, 1000.0f));
    EXPECT_EQ(k.last_rate(), 44100.0f);

    p.hp_on = true;
    p.hp_coefs = two_pole_design(48000, 100, 1.41f);
    const double a0 = p.hp_coefs.a0, a1 = p.hp_coefs.a1;
    const float y = static_cast<float>(1000.0 / a0);
    float mono[1] = {1000.0f};
    k.process({1, 48000, 1, mono}, p);
    EXPECT_EQ(mono[0], y);
    EXPECT_EQ(k.memories().hp_state_a.x1, 1000.0f);
    EXPECT_EQ(k.memories().hp_state_a.y1, y);
    float st[2] = {1000.0f, 0.0f};
    k.process({1, 48000, 2, st}, p);
    EXPECT_EQ(st[0], y);   // fresh b memories
    EXPECT_EQ(k.memories().hp_state_b.y1, y);
    EXPECT_EQ(st[1], static_cast<float>((-2000.0 - a1 * y) / a0));   // a continues after the mono sample
}

TEST(Eq8, LongBuffersRunInPasses) {
    test::expect_long_buffers_run_in_passes<TEQ8_form>();
    test::expect_long_buffers_run_in_passes<AllFiltersOn>();
}

}  // namespace
}  // namespace tw
