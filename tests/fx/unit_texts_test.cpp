// The bars' tooltip values: factors with their level, times and frequencies
// around the points where the text changes form.
#include <gtest/gtest.h>

#include "fx/curves.h"
#include "fx/unit_texts.h"

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
}

}  // namespace
}  // namespace tw
