// Distortion (Simple): the knob page's title protocol and address, the three
// modes in mono and stereo against hand-worked samples, the soft limiter and
// its bounded step, the hidden controls and hostile records.
#include "fx/limiter_form.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fx/knob_titles.h"
#include "fx/param_record.h"
#include "platform/program_files.h"
#include "fx_test_support.h"
#include "ui/web_view.h"

namespace tw {
namespace {

std::unique_ptr<Tlimiter_form> fresh() { return std::make_unique<Tlimiter_form>(); }

// An instance whose band split is exactly half and half, with no smoothing.
std::unique_ptr<Tlimiter_form> half_split() {
    auto f = fresh();
    f->params.color_mono = 0.5f;
    f->params.color_l = 0.5f;
    f->params.color_r = 0.5f;
    f->params.smooth_low_coef = 0.0f;
    f->params.smooth_high_coef = 0.0f;
    f->publish();
    return f;
}

// Sets the mode directly, as a stored record would.
void set_mode(Tlimiter_form& f, std::int32_t m) {
    f.params.mode = m;
    f.publish();
}

float run_mono(Tlimiter_form& f, float x) {
    f.process(1, 48000, 1, &x);
    return x;
}

TEST(LimiterTitles, StatedNumbers) {
    auto f = fresh();
    f->WebBrowser1.title_changed("porog =100");
    EXPECT_EQ(f->params.threshold, 1000.0f);
    EXPECT_EQ(f->knob_porog.load(), 100);
    f->WebBrowser1.title_changed("porog =101");
    EXPECT_EQ(f->knob_porog.load(), 100);
    f->WebBrowser1.title_changed("porog =63");
    EXPECT_EQ(f->params.threshold, 500.0f);
    f->WebBrowser1.title_changed("porog =");
    EXPECT_EQ(f->params.threshold, 0.0f);
    EXPECT_EQ(f->knob_porog.load(), 0);

    f->WebBrowser1.title_changed("gain =0");
    EXPECT_EQ(f->params.out_gain, 11.0f);
    f->WebBrowser1.title_changed("gain =100");
    EXPECT_EQ(f->params.out_gain, static_cast<float>(1.0 / 11.0));
    f->WebBrowser1.title_changed("gain =50");
    EXPECT_EQ(f->params.out_gain, 1.0f);

    f->WebBrowser1.title_changed("color =100");
    EXPECT_EQ(f->params.color_mono, 0.999f);
    f->WebBrowser1.title_changed("color =0");
    EXPECT_EQ(f->params.color_mono, 0.001f);
    f->WebBrowser1.title_changed("color =37");
    EXPECT_EQ(f->params.color_mono, 0.37f);   // no square root
    EXPECT_EQ(f->params.color_l, 0.98f);

    // "colorl =" and "colorr =" do not contain "color =": only their own value moves.
    f->WebBrowser1.title_changed("colorl =25");
    EXPECT_EQ(f->params.color_l, 0.5f);
    EXPECT_EQ(f->params.color_mono, 0.37f);
    f->WebBrowser1.title_changed("colorr =100");
    EXPECT_EQ(f->params.color_r, 0.999f);
    EXPECT_EQ(f->knob_colorl.load(), 25);
}

TEST(LimiterTitles, KeyRemovedAtItsPlaceLeadingDigitsRead) {
    EXPECT_EQ(knob_title_value("gain =42", "gain ="), 42);
    EXPECT_EQ(knob_title_value("gain =42px", "gain ="), 42);       // stray characters end the number
    EXPECT_EQ(knob_title_value("x gain =42", "gain ="), 0);        // the text before the key is read first
    EXPECT_EQ(knob_title_value("4gain =2", "gain ="), 42);
    EXPECT_EQ(knob_title_value("gain =-3", "gain ="), std::nullopt);
    EXPECT_EQ(knob_title_value("gain =99999999999999999999", "gain ="), std::nullopt);
    // Only the first 255 characters are searched.
    EXPECT_EQ(knob_title_value(std::string(250, ' ') + "gain =7", "gain ="), std::nullopt);
    EXPECT_EQ(knob_title_value(std::string(249, '1') + "gain =7", "gain ="), std::nullopt);  // 249 digits: too big
    // A title holding no key changes nothing.
    auto f = fresh();
    f->WebBrowser1.title_changed(" Distortion ");
    EXPECT_EQ(f->params.threshold, 500.0f);
    EXPECT_EQ(f->params.out_gain, 1.0f);
    EXPECT_EQ(f->knob_gain.load(), 0);
}

TEST(LimiterPage, AddressFirstShowAndTheStrictReading) {
    const std::string old_folder = platform::program_folder();
    platform::set_program_folder("/opt/tw");
    auto f = fresh();
    f->knob_porog = 63;
    f->knob_gain = 50;
    f->knob_colorr = 100;
    EXPECT_EQ(f->page_address(),
              "/opt/tw/html/limiter1.htm?elm12.setPos(0,63,1);elm32.setPos(0,50,1);elm33.setPos(0,0,1);"
              "elm34.setPos(0,0,1);elm35.setPos(0,100,1);");
    EXPECT_EQ(f->form().client_width(), 346);
    EXPECT_TRUE(f->FormShow());
    EXPECT_EQ(f->WebBrowser1.navigations(), 1);
    EXPECT_EQ(f->WebBrowser1.address(), f->page_address());
    EXPECT_EQ(f->form().client_width(), 327);
    EXPECT_EQ(f->form().client_height(), 302);
    EXPECT_FALSE(f->FormShow());
    EXPECT_EQ(f->WebBrowser1.navigations(), 1);

    std::vector<std::string> elements;
    for (const ui::PageKnob& k : f->WebBrowser1.knobs()) elements.push_back(k.element);
    EXPECT_EQ(ui::knob_positions_of_address(f->page_address(), elements), (std::vector<int>{63, 50, 0, 0, 100}));
    EXPECT_EQ(ui::knob_positions_of_address("p?elm12.setPos(0,101,1);elm32.setPos(1,5,1);elm33.setPos(0,7,1)x;"
                                            "alert(1);elm34.setPos(0,9,1);elm35.setPos(0,8,1)",
                                            elements),
              (std::vector<int>{-1, -1, -1, 9, -1}));

    // Each concatenation is cut to 255 characters: a long folder loses the tail.
    platform::set_program_folder("/" + std::string(240, 'd'));
    const std::string cut = f->page_address();
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut.substr(241), "/html/limiter1");
    platform::set_program_folder(old_folder);
}

TEST(LimiterControls, HiddenControlsOutOfReachDriveTheirValues) {
    auto f = fresh();
    for (const ui::Control* c : f->form().controls()) {
        if (c != &f->WebBrowser1) {
            EXPECT_GE(c->bounds().left, f->form().client_width()) << c->name() << " is within reach";
        }
    }
    f->ScrollBar_Limiter_Porog.set_position(1234);
    EXPECT_EQ(f->params.threshold, 1234.0f);
    f->ScrollBar_Koeff.set_position(25);
    EXPECT_EQ(f->params.color_mono, 0.5f);
    EXPECT_EQ(f->params.color_l, 0.5f);
    f->ScrollBar_koeff_R.set_position(100);
    EXPECT_EQ(f->params.color_r, 0.999f);
    EXPECT_EQ(f->params.clip_slope, static_cast<float>(0.2 * 0.999f));
    f->CheckBox_soft_limiter.click();
    EXPECT_EQ(f->params.mode, 1);
    f->CheckBox_soft_limiter.click();
    EXPECT_EQ(f->params.mode, 0);
    f->ScrollBar_FNC_1.set_position(100);
    EXPECT_EQ(f->params.smooth_low_coef, 0.999f);
    f->ScrollBar_FNC_2.set_position(25);
    EXPECT_EQ(f->params.smooth_high_coef, 0.5f);
}

TEST(LimiterModes, MonoAgainstHandWorkedSamples) {
    // Clip: low and high band 800 each, clipped to 500.
    auto f = half_split();
    EXPECT_EQ(run_mono(*f, 1600.0f), 1000.0f);
    // With a slope the excess is scaled: (800 - 500) * 0.25 + 500 = 575 per band.
    f = half_split();
    f->params.clip_slope = 0.25f;
    f->publish();
    EXPECT_EQ(run_mono(*f, 1600.0f), 1150.0f);
    // Next sample -1600: low -400 passes, high -1200 -> (-1200 + 500) * 0.25 - 500.
    EXPECT_EQ(run_mono(*f, -1600.0f), -400.0f + ((-1200.0f + 500.0f) * 0.25f - 500.0f));
    // The creation smoothers: 500 * (1 - 0.1) + 500 * (1 - 0.71).
    f = fresh();
    f->params.color_mono = 0.5f;
    f->publish();
    EXPECT_FLOAT_EQ(run_mono(*f, 1600.0f), 500.0f * 0.9f + 500.0f * 0.29f);
    // Power law: |800|^0.85 on both bands, signs kept.
    f = half_split();
    set_mode(*f, 2);
    EXPECT_FLOAT_EQ(run_mono(*f, 1600.0f), 2.0f * std::pow(800.0f, 0.85f));
    f = half_split();
    set_mode(*f, 2);
    EXPECT_FLOAT_EQ(run_mono(*f, -1600.0f), -2.0f * std::pow(800.0f, 0.85f));
    // The final gain scales everything.
    f = half_split();
    f->params.out_gain = 11.0f;
    f->publish();
    EXPECT_EQ(run_mono(*f, 100.0f), 1100.0f);
}

TEST(LimiterModes, StereoHardClipsInModesZeroAndTwoAndBendsInModeOne) {
    for (int m : {0, 2}) {
        auto f = half_split();
        f->params.clip_slope = 0.2f;   // no slope in stereo
        f->publish();
        set_mode(*f, m);
        float lr[2] = {1600.0f, -400.0f};
        f->process(1, 48000, 2, lr);
        EXPECT_EQ(lr[0], 1000.0f) << m;
        EXPECT_EQ(lr[1], -400.0f) << m;
    }
    auto f = half_split();
    set_mode(*f, 1);
    f->params.color_r = 0.75f;
    f->publish();
    float lr[2] = {1600.0f, -1600.0f};
    f->process(1, 48000, 2, lr);
    EXPECT_FLOAT_EQ(lr[0], 2.0f * std::pow(800.0f, 0.707f));
    EXPECT_FLOAT_EQ(lr[1], -(std::pow(400.0f, 0.707f) + std::pow(1200.0f, 0.707f)));
    EXPECT_EQ(f->kernel().v_cap(), 0.0);   // the soft limiter is mono only
    test::expect_long_buffers_run_in_passes<Tlimiter_form>();
}

// The limiter step as first written, without the bound on the capacitor's step.
float unbounded_step(double& v_cap, float x) {
    v_cap = std::clamp(v_cap, -50000.0, 50000.0);
    const double vr = std::clamp(static_cast<double>(x) - v_cap, -50000.0, 50000.0);
    double i = vr / 100000.0;
    if (std::fabs(vr) >= 500.0) i = std::copysign(std::pow(std::fabs(vr) - 500.0, 1.85) / 100000.0 + 0.005, vr);
    v_cap = std::clamp(v_cap + i * (1.0 / 44100.0) / 1.0e-7, -50000.0, 50000.0);
    return static_cast<float>(vr);
}

TEST(LimiterSoft, FirstSampleSmallSignalsAndTheBoundedStep) {
    auto f = fresh();
    set_mode(*f, 1);
    EXPECT_EQ(run_mono(*f, 100.0f), 100.0f);
    // Below the knee a 10 ms high-pass: the capacitor took 100/R * dt / C.
    EXPECT_DOUBLE_EQ(f->kernel().v_cap(), 0.001 * (1.0 / 44100.0) / 1.0e-7);

    // Loud but not overshooting (|vr| below ~2200): the same as the unbounded step.
    f = fresh();
    set_mode(*f, 1);
    double ref_cap = 0.0;
    for (int n = 0; n < 4000; ++n) {
        const float x = static_cast<float>(1800.0 * std::sin(0.05 * n));
        ASSERT_EQ(run_mono(*f, x), unbounded_step(ref_cap, x)) << n;
    }

    // A full-scale square wave: the unbounded step rings at +-50000; the
    // bounded one passes each edge once and settles near the knee.
    f = fresh();
    set_mode(*f, 1);
    ref_cap = 0.0;
    int ref_swings = 0;
    for (int n = 0; n < 2000; ++n) {
        const float x = (n / 100) % 2 == 0 ? 32767.0f : -32767.0f;
        const float y = run_mono(*f, x);
        ASSERT_TRUE(std::isfinite(y));
        ASSERT_LE(std::fabs(y), 50000.0f);
        if (n % 100 >= 3) {
            ASSERT_LT(std::fabs(y), 800.0f) << "rings at sample " << n;
        }
        if (std::fabs(unbounded_step(ref_cap, x)) > 40000.0f && n % 100 >= 3) ++ref_swings;
    }
    EXPECT_GT(ref_swings, 900) << "the unbounded step was expected to ring here";
}

TEST(LimiterKernel, ProcessesABlockWithTheGivenParams) {
    LimiterKernel k;
    LimiterKernel::Params p;
    p.color_mono = 0.5f;
    p.smooth_low_coef = 0.0f;
    p.smooth_high_coef = 0.0f;
    p.out_gain = 0.5f;
    // Mono clip: both bands 800, clipped to 500, added, halved.
    float m = 1600.0f;
    k.process({1, 48000, 1, &m}, p);
    EXPECT_EQ(m, 500.0f);
    EXPECT_EQ(k.lp_state(), 800.0f);
    EXPECT_EQ(k.smooth_low_state(), 500.0f);
    EXPECT_EQ(k.smooth_high_state(), 500.0f);
    // Stereo clip with the left and right colours: the right bands 100 and
    // 300 stay under the threshold.
    p.color_l = 0.5f;
    p.color_r = 0.75f;
    float lr[2] = {1600.0f, 400.0f};
    k.process({1, 48000, 2, lr}, p);
    EXPECT_EQ(lr[0], 500.0f);
    EXPECT_EQ(lr[1], 200.0f);
    EXPECT_EQ(k.lp_state_l(), 800.0f);
    EXPECT_EQ(k.lp_state_r(), 100.0f);
    // The soft limiter charges the capacitor; reset clears every memory.
    p.mode = 1;
    float s = 100.0f;
    k.process({1, 48000, 1, &s}, p);
    EXPECT_EQ(s, 50.0f);
    EXPECT_DOUBLE_EQ(k.v_cap(), 0.001 * (1.0 / 44100.0) / 1.0e-7);
    k.reset();
    EXPECT_EQ(k.v_cap(), 0.0);
    EXPECT_EQ(k.lp_state(), 0.0f);
    EXPECT_EQ(k.lp_state_r(), 0.0f);
}

TEST(LimiterRecord, StoredValuesAreKeptUnlessFaulty) {
    auto f = fresh();
    ParamRecord r;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    rec_set_f32(r, 0, 1.0e9f);
    rec_set_f32(r, 4, nan);
    rec_set_f32(r, 8, inf);
    rec_set_f32(r, 12, -3.0f);
    rec_set_f32(r, 16, 7.0f);
    rec_set_f32(r, 20, -inf);
    rec_set_i32(r, 24, 7);
    rec_set_i32(r, 28, -5);
    rec_set_i32(r, 32, 1000);
    rec_set_i32(r, 36, 50);
    rec_set_i32(r, 40, INT32_MIN);
    rec_set_i32(r, 44, INT32_MAX);
    f->put_parameters(r);
    EXPECT_EQ(f->params.threshold, 1.0e9f);  // finite: kept
    EXPECT_EQ(f->params.out_gain, 1.0f);     // NaN: the creation value
    EXPECT_EQ(f->params.color_mono, 1.0f);   // the smoothers stay bounded up to 1
    EXPECT_EQ(f->params.clip_slope, -3.0f);
    EXPECT_EQ(f->params.color_l, 1.0f);
    EXPECT_EQ(f->params.color_r, -0.999f);   // -1 or below would grow
    EXPECT_EQ(f->params.mode, 7);
    EXPECT_EQ(f->knob_porog.load(), -5);     // knob positions only go into the page's address
    EXPECT_EQ(f->knob_gain.load(), 1000);
    EXPECT_EQ(f->knob_colorl.load(), INT32_MIN);
    EXPECT_LE(f->page_address().size(), 255u);
    for (int channels : {1, 2}) {
        std::vector<float> buf = test::guitar_like(512 * channels, 30000.0f);
        f->process(512, 48000, channels, buf.data());
        for (float v : buf) ASSERT_TRUE(std::isfinite(v));
    }
    // A record from the threshold knob at 0 keeps its threshold of 0, and a
    // slope of 0.2 (the bars reach 0.1998) stays 0.2.
    rec_set_f32(r, 0, 0.0f);
    rec_set_f32(r, 12, 0.2f);
    rec_set_f32(r, 4, 40.0f);
    f->put_parameters(r);
    EXPECT_EQ(f->params.threshold, 0.0f);
    EXPECT_EQ(f->params.clip_slope, 0.2f);
    EXPECT_EQ(f->params.out_gain, 11.0f);  // past 11: clamped
}

// Mode 3 is kept and runs as the clip (every mode other than 1 and 2), in
// mono and in stereo.
TEST(LimiterRecord, AStoredModeOf3RunsAsTheClip) {
    ParamRecord r;
    auto src = fresh();
    src->get_parameters(r);
    rec_set_f32(r, 12, 0.2f);
    for (int channels : {1, 2}) {
        rec_set_i32(r, 24, 3);
        auto three = fresh();
        three->put_parameters(r);
        EXPECT_EQ(three->params.mode, 3);
        rec_set_i32(r, 24, 0);
        auto clip = fresh();
        clip->put_parameters(r);
        rec_set_i32(r, 24, 2);
        auto power = fresh();
        power->put_parameters(r);
        const std::vector<float> in = test::guitar_like(256 * channels, 20000.0f);
        std::vector<float> a = in, b = in, c = in;
        three->process(256, 48000, channels, a.data());
        clip->process(256, 48000, channels, b.data());
        power->process(256, 48000, channels, c.data());
        EXPECT_EQ(a, b) << channels;
        if (channels == 1) {
            EXPECT_NE(a, c);  // the power law differs (in stereo it clips too)
        }
    }
}

}  // namespace
}  // namespace tw
