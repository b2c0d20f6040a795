// How the render shares a chain's slots among threads: even shares by cost,
// the file work counted on the first and last stage, odd inputs kept in range.
#include <gtest/gtest.h>

#include <limits>

#include "render_pipeline.h"

namespace {

using tw::render::choose_splits;
using Splits = std::vector<std::int32_t>;

TEST(RenderSplits, ShareTheCostEvenly) {
    EXPECT_EQ(choose_splits({1, 1, 1, 1}, 2), (Splits{0, 2, 4}));
    EXPECT_EQ(choose_splits({5, 1, 1, 1, 1, 1}, 2), (Splits{0, 1, 6}));
    EXPECT_EQ(choose_splits({1, 1, 1, 1, 1, 1}, 3), (Splits{0, 2, 4, 6}));
    // Reading on the first stage moves the boundary back, writing on the last forward.
    EXPECT_EQ(choose_splits({1, 1, 1, 1}, 2, 2.0, 0.0), (Splits{0, 1, 4}));
    EXPECT_EQ(choose_splits({1, 1, 1, 1}, 2, 0.0, 2.0), (Splits{0, 3, 4}));
    EXPECT_EQ(choose_splits({1, 1, 1, 1}, 1), (Splits{0, 4}));
}

TEST(RenderSplits, OddInputsStayInRange) {
    // More stages than slots, no slots, no cost, and costs that are not numbers.
    EXPECT_EQ(choose_splits({1, 1}, 4), (Splits{0, 1, 1, 2, 2}));  // a tie goes to the later boundary
    EXPECT_EQ(choose_splits({}, 2), (Splits{0, 0, 0}));
    EXPECT_EQ(choose_splits({0, 0, 0}, 0), (Splits{0, 3}));
    const Splits s = choose_splits({std::numeric_limits<double>::quiet_NaN(), -3, 1, 1}, 2);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s.front(), 0);
    EXPECT_EQ(s.back(), 4);
    EXPECT_LE(s[1], 4);
}

}  // namespace
