// How the render shares a chain's slots among threads: even shares by cost,
// the file work counted on the first and last stage, odd inputs kept in
// range; every step sees every chunk once and in order, whatever the threads.
#include <gtest/gtest.h>

#include <atomic>
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

// Five steps over 40 chunks: step 0 numbers them, steps 1 to 3 each add
// their number (in chunk order, checked), step 4 collects. `fail_at` makes
// step 2 give up at that chunk.
struct StepRun {
    std::vector<std::vector<std::int64_t>> seen = std::vector<std::vector<std::int64_t>>(5);
    std::vector<float> out;
    bool ok = false;
};
StepRun run_numbered(int workers, std::size_t pool_size, std::int64_t fail_at = -1) {
    StepRun r;
    std::vector<tw::render::Chunk> pool(pool_size);
    for (auto& c : pool) c.samples.resize(1);
    std::int64_t made = 0;
    std::atomic<int> started{0};
    r.ok = tw::render::run_steps(
        5, workers, pool,
        [&](int k, tw::render::Chunk& c) {
            if (k == 0) {
                if (made == 40) return false;
                c.frames = made++;
                c.samples[0] = static_cast<float>(c.frames);
            } else if (k < 4) {
                if (k == 2 && c.frames == fail_at) return false;
                c.samples[0] += static_cast<float>(k);
            } else {
                r.out.push_back(c.samples[0]);
            }
            r.seen[static_cast<std::size_t>(k)].push_back(c.frames);
            return true;
        },
        [&] { ++started; }, [] { return false; });
    EXPECT_EQ(started.load(), std::max(workers, 1));
    return r;
}

TEST(RenderSteps, EveryStepSeesEveryChunkInOrder) {
    for (const int workers : {1, 2, 3, 8}) {
        for (const std::size_t pool : {std::size_t{1}, std::size_t{3}, std::size_t{9}}) {
            const StepRun r = run_numbered(workers, pool);
            EXPECT_TRUE(r.ok);
            ASSERT_EQ(r.out.size(), 40u) << workers << " threads, " << pool << " chunks";
            for (std::size_t k = 0; k < 5; ++k) {
                ASSERT_EQ(r.seen[k].size(), 40u);
                for (std::int64_t i = 0; i < 40; ++i) EXPECT_EQ(r.seen[k][static_cast<std::size_t>(i)], i);
            }
            for (std::size_t i = 0; i < 40; ++i) EXPECT_EQ(r.out[i], static_cast<float>(i) + 6.0f);
        }
    }
}

TEST(RenderSteps, AStepThatGivesUpOrAStopEndsTheRun) {
    const StepRun r = run_numbered(3, 4, 10);
    EXPECT_FALSE(r.ok);
    EXPECT_LE(r.out.size(), 10u);
    EXPECT_LE(r.seen[2].size(), 10u);
    std::vector<tw::render::Chunk> pool(2);
    int calls = 0;
    EXPECT_FALSE(tw::render::run_steps(
        3, 2, pool, [&](int, tw::render::Chunk&) { return ++calls < 1000; }, [] {}, [] { return true; }));
    EXPECT_EQ(calls, 0);
}

}  // namespace
