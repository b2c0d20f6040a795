// Preset changes through a faded commit: the crossfade's arithmetic, the old
// chain's tail with silent input, its release, and instant commits.
#include "engine/chain.h"

#include <gtest/gtest.h>

#include <vector>

namespace tw {
namespace {

std::int32_t times_three(std::int32_t frames, std::int32_t, std::int32_t, float* s, Instance) {
    for (std::int32_t i = 0; i < frames; ++i) s[i] *= 3.0f;
    return 0;
}
std::int32_t times_two(std::int32_t frames, std::int32_t, std::int32_t, float* s, Instance) {
    for (std::int32_t i = 0; i < frames; ++i) s[i] *= 2.0f;
    return 0;
}
// A "tail" that outlives its input: adds 5 to every sample, input or not.
std::int32_t adds_five(std::int32_t frames, std::int32_t, std::int32_t, float* s, Instance) {
    for (std::int32_t i = 0; i < frames; ++i) s[i] += 5.0f;
    return 0;
}

ChainTable one_slot(ProcessFn fn) {
    ChainTable t;
    t.count = 1;
    t.slot[0] = ChainSlot{fn, nullptr, nullptr, 99, 1, {}};
    return t;
}

// Mono blocks of `block` frames of 1.0 for `frames` frames; the output.
std::vector<float> play(Chain& c, int frames, int block, float in = 1.0f) {
    std::vector<float> out;
    std::vector<float> buf(static_cast<std::size_t>(block));
    for (int done = 0; done < frames; done += block) {
        std::fill(buf.begin(), buf.end(), in);
        c.process(block, 48000, 1, buf.data());
        out.insert(out.end(), buf.begin(), buf.end());
    }
    return out;
}

TEST(ChainSwitch, CrossfadeRunsFromTheOldChainToTheNewWithoutADip) {
    Chain c;
    c.commit(one_slot(times_three));
    c.commit_faded(one_slot(times_two), 10, 0);  // 480 frames at 48 kHz
    EXPECT_TRUE(c.retiring());
    const std::vector<float> out = play(c, 960, 64);
    EXPECT_FLOAT_EQ(out[0], 3.0f);      // all old at the switch
    EXPECT_NEAR(out[240], 2.5f, 1e-5);  // half way
    for (int i = 1; i < 480; ++i) {
        EXPECT_LE(out[i], out[i - 1]) << i;  // never back up
        EXPECT_GT(out[i], 2.0f - 1e-5) << i;  // never below the new level (no dry dip)
    }
    for (int i = 480; i < 960; ++i) EXPECT_FLOAT_EQ(out[i], 2.0f) << i;  // the old chain gets silence
    EXPECT_TRUE(c.release_retired());
    EXPECT_FALSE(c.retiring());
}

TEST(ChainSwitch, TheOldChainRingsOnWithSilentInputThenFadesOutAndIsReleased) {
    Chain c;
    c.commit(one_slot(adds_five));
    c.commit_faded(one_slot(times_two), 0, 100);  // instant switch, 100 ms (4800 frames) of tail
    EXPECT_FALSE(c.release_retired());            // nothing played yet
    const std::vector<float> out = play(c, 9600, 480);
    EXPECT_FLOAT_EQ(out[0], 2.0f + 5.0f);         // new chain at full level plus the old one's tail
    EXPECT_FLOAT_EQ(out[4000], 7.0f);
    EXPECT_NEAR(out[4800 - 240], 2.0f + 2.5f, 1e-4);  // half way through the last 10 ms
    for (int i = 4800; i < 9600; ++i) EXPECT_FLOAT_EQ(out[i], 2.0f) << i;
    EXPECT_TRUE(c.release_retired());
    EXPECT_FALSE(c.retiring());
}

TEST(ChainSwitch, ANewCommitDropsTheRetiringChainAndInstantCommitsRetireNothing) {
    Chain c;
    c.commit(one_slot(adds_five));
    c.commit_faded(one_slot(times_three), 0, 1000);
    play(c, 480, 480);
    c.commit_faded(one_slot(times_two), 0, 1000);  // adds_five is gone, times_three retires
    EXPECT_FLOAT_EQ(play(c, 1, 1)[0], 2.0f + 0.0f);  // the retiring x3 chain gets silence: adds nothing
    c.commit(one_slot(times_two));
    EXPECT_FALSE(c.retiring());
    EXPECT_FLOAT_EQ(play(c, 1, 1)[0], 2.0f);
    // With the gates closed nothing plays, and a forced release still works.
    c.commit_faded(one_slot(adds_five), 50, 50);
    EXPECT_FALSE(c.release_retired());
    EXPECT_TRUE(c.release_retired(true));
    EXPECT_FLOAT_EQ(play(c, 1, 1)[0], 6.0f);
}

}  // namespace
}  // namespace tw
