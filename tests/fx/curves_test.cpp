#include "fx/curves.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tw {
namespace {

TEST(GainCurve, KnownPositions) {
    EXPECT_FLOAT_EQ(*gain_curve(0.0f), 1.0f / 11.0f);
    EXPECT_EQ(*gain_curve(50.0f), 1.0f);
    EXPECT_EQ(*gain_curve(100.0f), 11.0f);
    EXPECT_EQ(*gain_curve(55.0f), 2.0f);
    EXPECT_EQ(*gain_curve(45.0f), 0.5f);
    // 100.9 is still accepted: (100.9 - 50) / 5 + 1 taken from the float argument.
    EXPECT_FLOAT_EQ(*gain_curve(100.9f), static_cast<float>((static_cast<double>(100.9f) - 50.0) / 5.0 + 1.0));
}

TEST(GainCurve, RejectsOutOfRange) {
    EXPECT_FALSE(gain_curve(-0.5f).has_value());
    EXPECT_FALSE(gain_curve(101.0f).has_value());
    EXPECT_FALSE(gain_curve(NAN).has_value());
}

TEST(ColourCurve, ClampsBothEnds) {
    EXPECT_EQ(colour_curve(100.0f), 0.999f);
    EXPECT_EQ(colour_curve(0.0f), 0.001f);
    EXPECT_EQ(colour_curve(25.0f), 0.5f);
    EXPECT_EQ(colour_curve(-5.0f), 0.999f);  // sqrt of a negative is NaN, which fails the upper test
}

TEST(FNC, SmoothsAndCarriesState) {
    float block[3] = {100.0f, 100.0f, 100.0f};
    float state = 0.0f;
    FNC(block, 3, 0.5f, state);
    EXPECT_EQ(block[0], 50.0f);
    EXPECT_EQ(block[1], 75.0f);
    EXPECT_EQ(block[2], 87.5f);
    EXPECT_EQ(state, 87.5f);
    float next[1] = {0.0f};
    FNC(next, 1, 0.5f, state);
    EXPECT_EQ(next[0], 43.75f);
}

}  // namespace
}  // namespace tw
