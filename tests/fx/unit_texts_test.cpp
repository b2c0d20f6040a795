// The bars' tooltip values: factors with their level, times and frequencies
// around the points where the text changes form.
#include <gtest/gtest.h>

#include <cmath>

#include "fx/CompTortions.h"
#include "fx/curves.h"
#include "fx/eq8.h"
#include "fx/flangers.h"
#include "fx/noise_gates.h"
#include "fx/reverb.h"
#include "fx/unit_texts.h"
#include "fx/wahs.h"

namespace tw {
namespace {

TEST(UnitTexts, FactorsTimesAndFrequencies) {
    EXPECT_EQ(gain_text(*gain_curve(0.0f)), "0.09 \u00d7 (-20.8 dB)");
    EXPECT_EQ(gain_text(1.0), "1.00 \u00d7 (+0.0 dB)");
    EXPECT_EQ(gain_text(0.0), "0.00 \u00d7 (silent)");
    EXPECT_EQ(gain_text(-1.0), "0.00 \u00d7 (silent)");
    EXPECT_EQ(ms_text(9.94), "9.9 ms");
    EXPECT_EQ(ms_text(812.5), "812 ms");
    EXPECT_EQ(samples_ms_text(1800), "38 ms");
    EXPECT_EQ(hz_text(9999), "9999 Hz");
    EXPECT_EQ(hz_text(12500), "12.5 kHz");
    // exp(-2 pi 1000 / 48000): a 1 kHz corner; outside 0 < g < 1 nothing.
    EXPECT_EQ(one_pole_corner_text(std::exp(-2.0 * 3.14159265358979 * 1000.0 / 48000.0)), "1000 Hz");
    EXPECT_EQ(one_pole_corner_text(1.0), "");
    EXPECT_EQ(one_pole_corner_text(0.0), "");
    EXPECT_EQ(volume_text(50), "1.00 \u00d7 (+0.0 dB)");
}

// Each bar's tooltip gives what its handler makes of the position.
TEST(UnitTexts, GateWahAndFlangerBars) {
    Tnoise_gate_form gate;
    gate.ScrollBar_Porog_Max.set_position(67);
    EXPECT_EQ(gate.ScrollBar_Porog_Max.value_text(), "Position 67: -33 dB");
    gate.ScrollBar_Supress.set_position(100);  // the floor: 0.1 x the curve's lowest gain
    EXPECT_EQ(gate.ScrollBar_Supress.value_text(), "Position 100: " + gain_text(0.1 * *gain_curve(0.0f)));
    gate.ScrollBar_Gain_Out.set_position(50);
    EXPECT_EQ(gate.ScrollBar_Gain_Out.value_text(), "Position 50: 1.00 \u00d7 (+0.0 dB)");

    Twah_form wah;
    wah.ScrollBar_Fc.set_position(20);  // f = 0.1: 0.1 * 24000 / 1.16
    EXPECT_EQ(wah.ScrollBar_Fc.value_text(), "Position 20: 2069 Hz");
    wah.ScrollBar_Speed.set_position(100);  // x1.0006 per sample
    EXPECT_EQ(wah.ScrollBar_Speed.value_text(), "Position 100: 41.5 octaves/s");

    Tflanger_form flanger;
    flanger.ScrollBar_Flanger_Speed.set_position(10);  // 0.002 samples per sample
    EXPECT_EQ(flanger.ScrollBar_Flanger_Speed.value_text(), "Position 10: 2.0 ms/s");
    flanger.ScrollBar_Flanger_Tone.set_position(25);
    EXPECT_EQ(flanger.ScrollBar_Flanger_Tone.value_text(), "Position 25: " + gain_text(0.5));

    Treverb_form reverb;
    reverb.ScrollBar_Left_Delay.set_position(480);
    EXPECT_EQ(reverb.ScrollBar_Left_Delay.value_text(), "Position 480: 10 ms");
    reverb.ScrollBar_Mono_Decay.set_position(84);
    EXPECT_EQ(reverb.ScrollBar_Right_Decay.value_text(), "Position 84: " + gain_text(0.84f));

    TEQ8_form eq;
    eq.ScrollBar_EQ8_125.set_position(91);  // the curve at 10 gives 10/9, against 10 when flat
    EXPECT_EQ(eq.ScrollBar_EQ8_125.value_text(), "Position 91: 0.11 \u00d7 (-19.1 dB)");
    eq.ScrollBar_EQ8GR.set_position(50);
    EXPECT_EQ(eq.ScrollBar_EQ8GR.value_text(), "Position 50: 1.00 \u00d7 (+0.0 dB)");

    TCompTortion_form comp;
    comp.ScrollBar_Softness2.set_position(0);  // a 101-sample window
    EXPECT_EQ(comp.ScrollBar_Softness2.value_text(), "Position 0: 2.1 ms");
    comp.ScrollBar_Color.set_position(100);
    EXPECT_EQ(comp.ScrollBar_Color.value_text(), "Position 100: " + one_pole_corner_text(colour_curve(100.0f)));
    EXPECT_NE(comp.ScrollBar_Color.value_text(), "Position 100");
}

}  // namespace
}  // namespace tw
