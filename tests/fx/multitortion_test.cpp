// The multiband distortion: its banks against a plain per-band version, the
// shaper's numbers, the band design, the stereo crossing, the editor's rules,
// the record and the band file MTEQ.ini.
#include "fx/MultiTortions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

#include "fx/curves.h"
#include "platform/effect_services.h"
#include "platform/headless_services.h"
#include "platform/ini_file.h"
#include "fx_test_support.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using Form = TMultiTortion_form;

// ---- A plain version of one bank: one band at a time, every step as written
// (32-bit memories, double arithmetic, the sum in band order).
struct PlainMemories {
    BandArray x1{}, x2{}, y1{}, y2{}, band_out{}, p1{}, p2{}, q1{}, q2{}, band_out2{};
    float fold_level = 0.0f;
    BandArray a0{}, a1{}, a2{}, c0{}, c1{}, c2{};
};
struct PlainBank {
    explicit PlainBank(const BandBank& b) {
        k.x1 = b.x1(), k.x2 = b.x2(), k.y1 = b.y1(), k.y2 = b.y2(), k.band_out = b.band_out();
        k.p1 = b.p1(), k.p2 = b.p2(), k.q1 = b.q1(), k.q2 = b.q2(), k.band_out2 = b.band_out2();
        k.fold_level = b.fold_level;
        k.a0 = b.a0, k.a1 = b.a1, k.a2 = b.a2, k.c0 = b.c0, k.c1 = b.c1, k.c2 = b.c2;
    }
    PlainMemories k;
    float step(float x, bool right, const BandSettings& s) {
        const double F = k.fold_level, t = F / 16000.0;
        for (int b = 0; b < 16; ++b) {
            const float y = static_cast<float>((static_cast<double>(x) - k.x2[b] - static_cast<double>(k.a1[b]) * k.y1[b] -
                                                static_cast<double>(k.a2[b]) * k.y2[b]) / k.a0[b]);
            k.y2[b] = k.y1[b];
            k.y1[b] = y;
            k.x2[b] = k.x1[b];
            k.x1[b] = x;
            double v = y;
            if (s.fold_on) {
                if (v >= 16000) v = (v - 16000) * 0.5 * t;
                else if (v >= F) v = F - t * v;
                if (v < -16000) v = (v + 16000) * 0.5 * t;
                else if (v < -F) v = -F - t * v;
            }
            if (s.soft_clip_on) {
                const double h = s.clip_thr[b], kk = s.soft_slope;
                if (v >= 0 && v >= h) v = kk * v + (1 - kk) * h;
                if (v < 0 && -v > h) v = -(kk * -v + (1 - kk) * h);
            }
            k.band_out[b] = static_cast<float>(v);
        }
        if (s.filter2_on) {
            for (int b = 0; b < 16; ++b) {
                if (right && b >= 14) continue;   // no second stage: band_out2 stays 0
                const double c0 = right ? k.a0[b + 1] : k.c0[b], c1 = right ? k.a1[b + 1] : k.c1[b],
                             c2 = right ? k.a2[b + 1] : k.c2[b];
                const float o = k.band_out[b];
                const float w = static_cast<float>((static_cast<double>(o) - k.p2[b] - c1 * k.q1[b] - c2 * k.q2[b]) / c0);
                k.q2[b] = k.q1[b];
                k.q1[b] = w;
                k.p2[b] = k.p1[b];
                k.p1[b] = o;
                k.band_out2[b] = w;
            }
        }
        double acc = 0;
        for (int b = 0; b < 16; ++b)
            acc += static_cast<double>(s.filter2_on ? k.band_out2[b] : k.band_out[b]) * s.gain[b];
        return static_cast<float>(acc);
    }
};

// Each test gets a program folder of its own (for MTEQ.ini).
class MultiTortion : public ::testing::Test {
protected:
    void SetUp() override {
        old_folder_ = platform::program_folder();
        dir_ = fs::temp_directory_path() / ("tw_mteq_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        platform::set_program_folder(dir_.string());
    }
    void TearDown() override {
        platform::set_program_folder(old_folder_);
        fs::remove_all(dir_);
    }
    std::string band_file() const { return (dir_ / "MTEQ.ini").string(); }
    void write_band_file(const std::string& text) const { std::ofstream(band_file(), std::ios::binary) << text; }
    static std::unique_ptr<Form> fresh() { return std::make_unique<Form>(); }

    fs::path dir_;
    std::string old_folder_;
};

BandSettings settings(bool fold, bool clip, bool filter2, float gain_step) {
    BandSettings s;
    s.fold_on = fold;
    s.soft_clip_on = clip;
    s.filter2_on = filter2;
    for (int b = 0; b < 16; ++b) {
        s.clip_thr[b] = 150.0f + 40.0f * b;
        s.gain[b] = 1.0f + gain_step * b;
    }
    return s;
}

// Output samples agree within one 32-bit rounding step (the bands are summed
// in another order).
void expect_within_rounding(const std::vector<float>& got, const std::vector<float>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size());
    int off = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const float step = std::nextafter(std::fabs(want[i]), INFINITY) - std::fabs(want[i]);
        if (!(std::fabs(got[i] - want[i]) <= std::max(step, 1e-6f))) ++off;
    }
    EXPECT_EQ(off, 0) << what;
}

// A loud signal, so that the fold, the clipper and both stages all act.
std::vector<float> loud(int n) { return test::guitar_like(n, 30000.0f); }

TEST_F(MultiTortion, BanksMatchThePlainPerBandVersion) {
    Form f;
    for (int flags = 0; flags < 8; ++flags) {
        const BandSettings s = settings(flags & 1, flags & 2, flags & 4, 0.3f);
        for (BankSide side : {BankSide::Left, BankSide::Right}) {
            const BandBank& start = side == BankSide::Left ? f.kernel().bank_l() : f.kernel().bank_r();
            PlainBank plain(start);
            BandBank fast = start, base = start;
            std::vector<float> in = loud(700), a = in, b = in, ref(in.size());
            for (std::size_t i = 0; i < in.size(); ++i) ref[i] = plain.step(in[i], side == BankSide::Right, s);
            // Uneven calls: the state carries over between them.
            run_band_bank(fast, side, s, a.data(), 333);
            run_band_bank(fast, side, s, a.data() + 333, 367);
            run_band_bank(base, side, s, b.data(), 700, BankKernel::Baseline);
            expect_within_rounding(a, ref, "fastest");
            EXPECT_EQ(b, a) << "flags " << flags << " side " << static_cast<int>(side);
            EXPECT_EQ(fast.y1(), plain.k.y1);
            EXPECT_EQ(fast.q2(), plain.k.q2);
            EXPECT_EQ(fast.p1(), plain.k.p1);
            EXPECT_EQ(fast.band_out2(), plain.k.band_out2);
        }
    }
}

// Band 0 passes its input straight to the shaper (y = x - x[n-2]) and alone
// into the sum, so one sample shows what the shaper makes of a band level.
float shaped(float level, bool fold, bool clip) {
    BandBank bank;
    for (int b = 0; b < 16; ++b) {
        bank.a0[b] = 1.0f;
        bank.a1[b] = 0.0f;
        bank.a2[b] = 0.0f;
    }
    BandSettings s;
    s.fold_on = fold;
    s.soft_clip_on = clip;
    s.clip_thr.fill(200.0f);
    s.gain[0] = 1.0f;
    float x = level;
    run_band_bank(bank, BankSide::Left, s, &x, 1);
    return x;
}

TEST_F(MultiTortion, ShaperFoldsBackAndSoftClips) {
    EXPECT_EQ(shaped(199.0f, true, false), 199.0f);
    EXPECT_EQ(shaped(200.0f, true, false), 197.5f);
    EXPECT_EQ(shaped(-200.0f, true, false), -200.0f);
    EXPECT_EQ(shaped(-201.0f, true, false), -197.4875f);
    EXPECT_EQ(shaped(1000.0f, true, false), 187.5f);
    EXPECT_EQ(shaped(16000.0f, true, false), 0.0f);
    EXPECT_EQ(shaped(20000.0f, true, false), 25.0f);
    EXPECT_EQ(shaped(-20000.0f, true, false), -25.0f);
    EXPECT_EQ(shaped(1200.0f, false, true), 210.0f);
    EXPECT_EQ(shaped(-1200.0f, false, true), -210.0f);
    EXPECT_EQ(shaped(150.0f, false, true), 150.0f);
    EXPECT_EQ(shaped(1200.0f, false, false), 1200.0f);
}

std::complex<double> response(float a0, float a1, float a2, double hz) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / 48000.0);
    return (1.0 - z1 * z1) / (static_cast<double>(a0) + static_cast<double>(a1) * z1 + static_cast<double>(a2) * z1 * z1);
}

double peak_gain(float a0, float a1, float a2, double lo, double hi) {
    double best = 0;
    for (double f = lo; f <= hi; f += 0.05) best = std::max(best, std::abs(response(a0, a1, a2, f)));
    return best;
}

TEST_F(MultiTortion, EachBandPeaksAtUnityWithItsHalfPowerPointsAtItsEdges) {
    Form f;
    for (const BandBank* bank : {&f.kernel().bank_l(), &f.kernel().bank_r()}) {
        for (int b = 0; b < 16; ++b) {
            const double F = bank->centre[b], W = bank->width[b];
            EXPECT_EQ(F, 100 * b + 50);
            EXPECT_EQ(W, b == 0 ? 50 : 180);
            EXPECT_NEAR(peak_gain(bank->a0[b], bank->a1[b], bank->a2[b], F - W / 2, F + W / 2), 1.0, 1e-5) << b;
            const double tol = b == 0 ? 4e-3 : 3e-4;
            EXPECT_NEAR(std::abs(response(bank->a0[b], bank->a1[b], bank->a2[b], F - W / 2)), M_SQRT1_2, tol) << b;
            EXPECT_NEAR(std::abs(response(bank->a0[b], bank->a1[b], bank->a2[b], F + W / 2)), M_SQRT1_2, tol) << b;
        }
    }
    EXPECT_NEAR(std::abs(response(f.kernel().bank_l().a0[0], f.kernel().bank_l().a1[0], f.kernel().bank_l().a2[0], 50.0)), 0.97, 0.005);
    // The left bank's second filters: twice the centre, twice the width.
    for (int b = 0; b < 16; ++b) {
        const double F = 2.0 * f.kernel().bank_l().centre[b], W = 2.0 * f.kernel().bank_l().width[b];
        EXPECT_NEAR(peak_gain(f.kernel().bank_l().c0[b], f.kernel().bank_l().c1[b], f.kernel().bank_l().c2[b], F - W / 2, F + W / 2), 1.0, 1e-5) << b;
        EXPECT_NEAR(std::abs(response(f.kernel().bank_l().c0[b], f.kernel().bank_l().c1[b], f.kernel().bank_l().c2[b], F + W / 2)), M_SQRT1_2, 4e-3);
    }
}

// The steady amplitude of a sine after the effect, mono.
double measured_gain(Form& f, double hz) {
    const int n = 48000;
    std::vector<float> buf(n);
    for (int i = 0; i < n; ++i) buf[i] = static_cast<float>(1000.0 * std::sin(2.0 * std::numbers::pi * hz * i / 48000.0));
    for (int done = 0; done < n; done += 500) f.process(500, 48000, 1, buf.data() + done);
    double peak = 0;
    for (int i = n - 4800; i < n; ++i) peak = std::max(peak, std::fabs(static_cast<double>(buf[i])));
    return peak / 1000.0;
}

TEST_F(MultiTortion, WithEverythingOffTheOutputIsTheSumOfTheSixteenBands) {
    for (double hz : {150.0, 550.0, 1050.0, 1550.0, 3000.0}) {
        auto f = fresh();
        f->CheckBox_Standard.set_checked(false);
        std::complex<double> sum = 0;
        for (int b = 0; b < 16; ++b) sum += response(f->kernel().bank_l().a0[b], f->kernel().bank_l().a1[b], f->kernel().bank_l().a2[b], hz);
        const double got = measured_gain(*f, hz);
        EXPECT_NEAR(got, std::abs(sum), 0.01 * std::abs(sum)) << hz;
        // The bands overlap: at a band centre the sum is well above one.
        if (hz < 2000) {
            EXPECT_GT(got, 1.5) << hz;
        }
    }
}

// ---- Stereo.

std::vector<float> stereo_through(Form& f, int frames) {
    std::vector<float> buf(2 * frames);
    const std::vector<float> l = loud(frames), r = test::guitar_like(frames, 7000.0f);
    for (int i = 0; i < frames; ++i) {
        buf[2 * i] = l[i];
        buf[2 * i + 1] = r[i];
    }
    f.process(frames, 48000, 2, buf.data());
    return buf;
}

TEST_F(MultiTortion, StereoSendsTheFirstSampleOfEachFrameThroughTheRightBank) {
    auto f = fresh();
    f->Gang.set_checked(false);
    f->ScrollBar_gain_In.set_position(70);
    f->ScrollBar_gain_Out.set_position(40);
    f->CheckBox_Filter2.set_checked(true);
    f->spSkinScrollBar[2].set_position(10);
    f->ScrollBar[7].set_position(90);
    // The same through each bank by hand, with the gains around it.
    Form g;
    g.Gang.set_checked(false);
    g.CheckBox_Filter2.set_checked(true);
    g.spSkinScrollBar[2].set_position(10);
    g.ScrollBar[7].set_position(90);
    const int frames = 600;
    const std::vector<float> out = stereo_through(*f, frames);
    std::vector<float> l = loud(frames), r = test::guitar_like(frames, 7000.0f);
    const float gin = f->params.gain_in, gout = f->params.gain_out;
    for (float& v : l) v *= gin;
    for (float& v : r) v *= gin;
    g.kernel().mb_dsp_1(g.params, l.data(), frames);
    g.kernel().mb_dsp(g.params, r.data(), frames);
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(out[2 * i], l[i] * gout) << i;
        ASSERT_EQ(out[2 * i + 1], r[i] * gout) << i;
    }
}

// The kernel alone: Drive, the left bank, Level in mono; the right bank
// keeps its fresh memories.
TEST(MultiTortionKernel, MonoIsDriveThenTheLeftBankThenLevel) {
    MultiTortionKernel k, ref;
    MultiTortionKernel::Params p;
    p.gain_in = 2.0f;
    p.gain_out = 0.5f;
    p.fold_on = true;
    p.band_gain_l[3] = 3.0f;
    std::vector<float> buf = loud(300), want = buf;
    k.process({300, 48000, 1, buf.data()}, p);
    for (float& v : want) v *= 2.0f;
    ref.mb_dsp(p, want.data(), 300);
    for (float& v : want) v *= 0.5f;
    EXPECT_EQ(buf, want);
    EXPECT_EQ(k.bank_l().y1(), ref.bank_l().y1());
    EXPECT_NE(k.bank_l().y1(), BandArray{});
    EXPECT_EQ(k.bank_r().y1(), BandArray{});
}

TEST_F(MultiTortion, ALeftBandGainChangesOnlyTheSecondSampleOfEachFrame) {
    auto a = fresh(), b = fresh();
    for (Form* f : {a.get(), b.get()}) f->Gang.set_checked(false);
    b->ScrollBar[5].set_position(0);
    const std::vector<float> oa = stereo_through(*a, 400), ob = stereo_through(*b, 400);
    int differing_right = 0;
    for (int i = 0; i < 400; ++i) {
        ASSERT_EQ(oa[2 * i], ob[2 * i]) << i;
        differing_right += oa[2 * i + 1] != ob[2 * i + 1];
    }
    EXPECT_GT(differing_right, 300);
}

TEST_F(MultiTortion, WithFilter2TheRightBanksTwoHighestBandsAreSilent) {
    for (bool filter2 : {true, false}) {
        auto a = fresh(), b = fresh();
        for (Form* f : {a.get(), b.get()}) {
            f->Gang.set_checked(false);
            f->CheckBox_Filter2.set_checked(filter2);
        }
        b->spSkinScrollBar[14].set_position(0);
        b->spSkinScrollBar[15].set_position(0);
        const std::vector<float> oa = stereo_through(*a, 400), ob = stereo_through(*b, 400);
        bool first_samples_equal = true;
        for (int i = 0; i < 400; ++i) first_samples_equal &= oa[2 * i] == ob[2 * i];
        EXPECT_EQ(first_samples_equal, filter2);
    }
}

TEST_F(MultiTortion, CallsOfAnyLengthGiveWhat512FrameCallsGive) {
    for (int channels : {1, 2}) {
        for (int frames : {2048, 5000}) {
            auto whole = fresh(), parts = fresh();
            std::vector<float> a = loud(frames * channels), b = a;
            whole->process(frames, 48000, channels, a.data());
            for (int done = 0; done < frames; done += 512)
                parts->process(std::min(512, frames - done), 48000, channels, b.data() + done * channels);
            EXPECT_EQ(a, b) << channels << " " << frames;
        }
    }
    test::expect_long_buffers_run_in_passes<Form>();
}

// ---- Editor.

TEST_F(MultiTortion, WindowAndHints) {
    auto f = fresh();
    EXPECT_EQ(f->form().caption(), "Distortion Plus");
    EXPECT_EQ(f->form().client_width(), 435);
    EXPECT_EQ(f->form().client_height(), 425);
    EXPECT_EQ(f->ScrollBar[1].hint(), "  150 Hz  ");
    EXPECT_EQ(f->spSkinScrollBar[15].hint(), "  1550 Hz  ");
    EXPECT_EQ(f->spSkinScrollBar[0].name(), "spSkinScrollBar1");
    EXPECT_EQ(f->ScrollBar[3].bounds().left, 24 + 24 * 3);
    EXPECT_EQ(f->spSkinScrollBar[3].bounds().top, 176);
    // The soft clipper's controls are out of the mouse's reach.
    for (const char* name : {"CheckBox_True", "spSkinScrollBar17", "spSkinScrollBar32", "spSkinButton3", "spSkinButton7"}) {
        const ui::Control* c = f->form().find(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_GE(c->bounds().left, 435) << name;
    }
}

TEST_F(MultiTortion, GangMakesTheRightRowFollowTheLeft) {
    auto f = fresh();
    ASSERT_TRUE(f->Gang.checked());
    f->ScrollBar[3].set_position(0);
    EXPECT_EQ(f->spSkinScrollBar[3].position(), 0);
    EXPECT_EQ(f->params.band_gain_l[3], 11.0f);
    EXPECT_EQ(f->params.band_gain_r[3], 11.0f);
    f->spSkinScrollBar[5].set_position(100);
    EXPECT_EQ(f->ScrollBar[5].position(), 50);
    EXPECT_FLOAT_EQ(f->params.band_gain_r[5], 1.0f / 11.0f);
    EXPECT_EQ(f->params.band_gain_l[5], 1.0f);
    // Reset left with Gang also centres the right row; reset right leaves the left.
    f->spSkinScrollBar[9].set_position(20);
    f->spSkinButton2.click();
    for (int b = 0; b < 16; ++b) {
        EXPECT_EQ(f->ScrollBar[b].position(), 50);
        EXPECT_EQ(f->spSkinScrollBar[b].position(), b == 5 || b == 9 ? (b == 5 ? 100 : 20) : 50) << b;
    }
    f->Gang.set_checked(false);
    f->ScrollBar[2].set_position(80);
    EXPECT_EQ(f->spSkinScrollBar[2].position(), 50);
    f->spSkinButton1.click();
    EXPECT_EQ(f->spSkinScrollBar[5].position(), 50);
    EXPECT_EQ(f->ScrollBar[2].position(), 80);
}

TEST_F(MultiTortion, HiddenClipControls) {
    auto f = fresh();
    EXPECT_EQ(f->params.clip_thr[4], 200.0f);
    f->spSkinScrollBar_clip[4].set_position(0);
    EXPECT_NEAR(f->params.clip_thr[4], 32768.0f, 5.0f);
    f->spSkinScrollBar_clip[4].set_position(99);
    EXPECT_NEAR(f->params.clip_thr[4], 1.0f, 1e-6f);
    f->spSkinButton_dB[3].click();   // "-60 dB": position 50, which most bars already have
    EXPECT_EQ(f->params.clip_thr[0], 200.0f);
    EXPECT_NEAR(f->params.clip_thr[4], 171.8f, 0.05f);
    f->spSkinButton_dB[4].click();   // "-70 dB": 70
    f->spSkinButton_dB[3].click();
    for (int b = 0; b < 16; ++b) EXPECT_NEAR(f->params.clip_thr[b], 171.8f, 0.05f) << b;
    EXPECT_EQ(f->spSkinButton_dB[0].caption(), "- 30 dB");
    f->spSkinButton_dB[0].click();
    EXPECT_EQ(f->spSkinScrollBar_clip[15].position(), 30);
    f->CheckBox_True.set_checked(true);
    EXPECT_TRUE(f->params.soft_clip_on);
}

// ---- Record.

TEST_F(MultiTortion, ARecordWithDifferingRowsRestoresBothWhateverItsGangByte) {
    for (std::uint8_t gang_byte : {0, 1, 7}) {
        auto src = fresh();
        src->Gang.set_checked(false);
        for (int b = 0; b < 16; ++b) {
            src->ScrollBar[b].set_position(3 * b);
            src->spSkinScrollBar[b].set_position(100 - 5 * b);
        }
        ParamRecord r;
        r.bytes.fill(0xEE);
        src->get_parameters(r);
        EXPECT_EQ(r.bytes[28], 0xEE);   // reserved
        EXPECT_EQ(r.bytes[12 + 4], 12);
        EXPECT_EQ(r.bytes[29 + 4], 80);
        r.bytes[8] = gang_byte;
        auto dst = fresh();
        dst->put_parameters(r);
        EXPECT_EQ(dst->Gang.checked(), gang_byte == 1);
        for (int b = 0; b < 16; ++b) {
            EXPECT_EQ(dst->ScrollBar[b].position(), 3 * b);
            EXPECT_EQ(dst->spSkinScrollBar[b].position(), 100 - 5 * b);
            EXPECT_EQ(dst->params.band_gain_r[b], *gain_curve(static_cast<float>(5 * b)));
        }
    }
}

TEST_F(MultiTortion, AnUntrustedRecordIsClampedAndItsSwitchesNeedExactlyOne) {
    auto f = fresh();
    ParamRecord r;
    f->get_parameters(r);
    rec_set_i32(r, 0, -40);
    rec_set_i32(r, 4, 1 << 30);
    r.bytes[9] = 2;     // Standard: not 1, so off
    r.bytes[11] = 255;  // Filter 2: off
    r.bytes[10] = 1;    // True: on
    r.bytes[12] = 200;
    r.bytes[29 + 15] = 101;
    f->put_parameters(r);
    EXPECT_EQ(f->ScrollBar_gain_In.position(), 0);
    EXPECT_EQ(f->ScrollBar_gain_Out.position(), 100);
    EXPECT_FALSE(f->CheckBox_Standard.checked());
    EXPECT_FALSE(f->params.fold_on);
    EXPECT_EQ(f->params.filter2_on, 0);
    EXPECT_TRUE(f->params.soft_clip_on);
    EXPECT_EQ(f->ScrollBar[0].position(), 100);
    EXPECT_EQ(f->spSkinScrollBar[15].position(), 100);
    EXPECT_FLOAT_EQ(f->params.band_gain_l[0], 1.0f / 11.0f);
}

// ---- Band file.

TEST_F(MultiTortion, WithoutABandFileStandardIsOnAndAllElseNeutral) {
    auto f = fresh();
    EXPECT_FALSE(fs::exists(band_file()));
    EXPECT_TRUE(f->CheckBox_Standard.checked());
    EXPECT_TRUE(f->params.fold_on);
    EXPECT_FALSE(f->CheckBox_Filter2.checked());
    EXPECT_FALSE(f->CheckBox_True.checked());
    EXPECT_TRUE(f->Gang.checked());
    EXPECT_EQ(f->gang, 1);
    for (int b = 0; b < 16; ++b) {
        EXPECT_EQ(f->ScrollBar[b].position(), 50);
        EXPECT_EQ(f->spSkinScrollBar[b].position(), 50);
        EXPECT_EQ(f->params.band_gain_l[b], 1.0f);
        EXPECT_EQ(f->params.band_gain_r[b], 1.0f);
    }
    EXPECT_EQ(f->params.gain_in, 1.0f);
    EXPECT_EQ(f->params.gain_out, 1.0f);
}

TEST_F(MultiTortion, ClosingWritesTheFileAndANewInstanceStartsFromIt) {
    {
        auto f = fresh();
        f->FormClose();   // nothing changed: written all the same
    }
    {
        platform::IniFile ini(band_file());
        EXPECT_TRUE(ini.existed());
        EXPECT_EQ(ini.read_int("EQL", "s15", -1), 50);
        EXPECT_EQ(ini.read_int("Other", "Standard", -1), 1);
        EXPECT_EQ(ini.read_string("Other", "Gang", "none"), "none");
    }
    auto f = fresh();
    f->Gang.set_checked(false);
    f->ScrollBar[5].set_position(20);
    f->spSkinScrollBar[5].set_position(90);
    f->ScrollBar_gain_In.set_position(70);
    f->ScrollBar_gain_Out.set_position(30);
    f->CheckBox_Standard.set_checked(false);
    f->CheckBox_True.set_checked(true);
    f->CheckBox_Filter2.set_checked(true);
    f->FormClose();
    EXPECT_EQ(platform::IniFile(band_file()).read_string("Other", "Gang", "none"), "none");
    auto g = fresh();
    EXPECT_EQ(g->ScrollBar[5].position(), 20);
    EXPECT_EQ(g->spSkinScrollBar[5].position(), 90);
    EXPECT_EQ(g->ScrollBar_gain_In.position(), 70);
    EXPECT_EQ(g->params.gain_out, *gain_curve(30.0f));
    EXPECT_FALSE(g->params.fold_on);
    EXPECT_TRUE(g->params.soft_clip_on);
    EXPECT_EQ(g->params.filter2_on, 1);
    EXPECT_TRUE(g->Gang.checked());   // Gang is not saved
}

TEST_F(MultiTortion, TwoInstancesClosingInTurnLeaveAWholeFileOfTheLast) {
    write_band_file("[Other]\r\nGang=0\r\n[Mine]\r\nkeep=yes\r\n");
    auto a = fresh(), b = fresh();
    EXPECT_FALSE(a->Gang.checked());
    a->ScrollBar[0].set_position(10);
    b->ScrollBar[0].set_position(90);
    a->FormClose();
    b->FormClose();
    platform::IniFile ini(band_file());
    for (int i = 0; i < 16; ++i) {
        EXPECT_NE(ini.read_int("EQL", "s" + std::to_string(i), -1), -1) << i;
        EXPECT_NE(ini.read_int("EQR", "s" + std::to_string(i), -1), -1) << i;
    }
    EXPECT_EQ(ini.read_int("EQL", "s0", -1), 90);
    EXPECT_EQ(ini.read_int("Other", "Gang", -1), 0);   // read only: left as it was
    EXPECT_EQ(ini.read_string("Mine", "keep", ""), "yes");
    EXPECT_EQ(ini.read_int("Other", "Filter2", -1), 0);
}

TEST_F(MultiTortion, ADamagedBandFileGivesDefaultsOrClampedValues) {
    write_band_file("[EQL]\ns0=abc\ns1=1e9\ns2=-5\ns3=99999999999\ns4= 70 \n[EQR]\ns0=\n[Other]\nDrive=250\n"
                    "Gang=-3\nStandard=abc\nTrue=2\nFilter2=0\n");
    auto f = fresh();
    EXPECT_EQ(f->ScrollBar[0].position(), 50);    // no number: the default
    EXPECT_EQ(f->ScrollBar[1].position(), 1);     // its leading number
    EXPECT_EQ(f->ScrollBar[2].position(), 0);     // clamped
    EXPECT_EQ(f->ScrollBar[3].position(), 100);
    EXPECT_EQ(f->ScrollBar[4].position(), 70);
    EXPECT_EQ(f->spSkinScrollBar[0].position(), 50);
    EXPECT_EQ(f->spSkinScrollBar[2].position(), 50);   // EQR's own default after following the left
    EXPECT_EQ(f->ScrollBar_gain_In.position(), 100);
    EXPECT_FALSE(f->Gang.checked());
    EXPECT_TRUE(f->CheckBox_Standard.checked());
    EXPECT_TRUE(f->CheckBox_True.checked());

    // Random bytes: whatever they hold, every slider stays in range.
    std::mt19937 rng(12);
    for (int round = 0; round < 50; ++round) {
        std::string junk(1 + rng() % 3000, '\0');
        for (char& c : junk) c = static_cast<char>(rng() % 4 == 0 ? "[]=\n"[rng() % 4] : rng());
        if (round % 2 == 0) junk = "[EQL]\ns" + std::to_string(rng() % 16) + "=" + junk;
        write_band_file(junk);
        auto g = fresh();
        for (int b = 0; b < 16; ++b) {
            ASSERT_GE(g->ScrollBar[b].position(), 0);
            ASSERT_LE(g->spSkinScrollBar[b].position(), 100);
            ASSERT_TRUE(std::isfinite(g->params.band_gain_l[b]));
        }
    }
}

TEST_F(MultiTortion, AFileThatCannotBeWrittenIsReported) {
    platform::HeadlessServices mine;
    platform::install_effect_services(&mine);
    fs::create_directories(band_file());   // a folder where the file should be
    {
        auto f = fresh();
        f->FormClose();
    }
    platform::install_effect_services(nullptr);
    ASSERT_EQ(mine.messages.shown().size(), 1u);
    EXPECT_TRUE(mine.messages.shown()[0].warning);
    EXPECT_NE(mine.messages.shown()[0].text.find("could not be saved"), std::string::npos);
}

}  // namespace
}  // namespace tw
