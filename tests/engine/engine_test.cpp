// The registry, the live chain and the dispatcher's gate, skip and timing rules.
#include "engine/effects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fx/gain_form.h"
#include "fx/kinds.h"

namespace tw {
namespace {

// Test kinds that leave a trace in the buffer: "times two" and "plus one",
// so both whether and in which order slots ran are visible in the output.
std::int32_t times_two(std::int32_t frames, std::int32_t, std::int32_t channels, float* s, Instance) {
    const int n = frames * (channels == 1 ? 1 : 2);
    for (int i = 0; i < n; ++i) s[i] *= 2.0f;
    return 0;
}
std::int32_t plus_one(std::int32_t frames, std::int32_t, std::int32_t channels, float* s, Instance) {
    const int n = frames * (channels == 1 ? 1 : 2);
    for (int i = 0; i < n; ++i) s[i] += 1.0f;
    return 0;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { reset_engine(); }
    void TearDown() override { reset_engine(); }

    static ChainTable chain_of(std::initializer_list<std::pair<ProcessFn, std::int32_t>> slots) {
        ChainTable t;
        for (auto [fn, enabled] : slots) {
            t.slot[t.count].process = fn;
            t.slot[t.count].kind = fn == nullptr ? 0 : 99;
            t.slot[t.count].enabled = enabled;
            ++t.count;
        }
        return t;
    }
    static float run_one(float in) {
        float buf[1] = {in};
        process_chain(1, 48000, 1, buf);
        return buf[0];
    }
};

TEST_F(EngineTest, RegistryHoldsTheSixteenKinds) {
    EffectRegistry* r = init_kind_registry();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->last_kind, 15);
    const char* names[] = {"--- select ---", "noise gate", "EQ (8 bands) + Filters", "Distortion-Compresor",
                           "Distortion (Simple)", "Durizezeviro Plus", "Distortion (Soft/Hard)", "Reverberator",
                           "Delay", "Flanger / Chorus", "wah", "Playback wav file", "Record wav", "Gain", "Cabinet IR", "Amp model"};
    for (int k = 0; k <= 15; ++k) {
        EXPECT_STREQ(r->names[k], names[k]) << "kind " << k;
        EXPECT_NE(r->process[k], nullptr);
        EXPECT_NE(r->create[k], nullptr);
        EXPECT_NE(r->params[k], nullptr);
        // Names are NUL-padded to 256 bytes.
        for (int b = static_cast<int>(std::strlen(names[k])); b < kNameBytes; ++b) ASSERT_EQ(r->names[k][b], 0);
    }
    for (int k = 16; k < kMaxKinds; ++k) {
        EXPECT_EQ(r->names[k][0], 0);
        EXPECT_EQ(r->process[k], nullptr);
    }
    EXPECT_EQ(r->create[0](), nullptr);
    EXPECT_EQ(r->params[11], r->params[0]);  // playback carries no settings
    EXPECT_EQ(init_kind_registry(), r);           // the same table, rewritten
}

TEST_F(EngineTest, SixteenEmptySlotsLetTheBufferThrough) {
    ChainTable t;
    t.count = 16;
    for (int i = 0; i < 16; ++i) t.slot[i].process = init_kind_registry()->process[0];
    commit_chain(t);
    std::vector<float> buf{1.5f, -2.0f, 32767.0f, -32768.0f};
    const std::vector<float> before = buf;
    process_chain(2, 48000, 2, buf.data());
    EXPECT_EQ(buf, before);
    EXPECT_LT(cpu_load.load(), 0.5f);
}

TEST_F(EngineTest, SlotsRunInOrderOnTheSameBuffer) {
    commit_chain(chain_of({{times_two, 1}, {plus_one, 1}}));
    EXPECT_EQ(run_one(3.0f), 7.0f);
    commit_chain(chain_of({{plus_one, 1}, {times_two, 1}}));
    EXPECT_EQ(run_one(3.0f), 8.0f);
}

TEST_F(EngineTest, SkipsEmptyAndSwitchedOffSlots) {
    ChainTable t = chain_of({{times_two, 1}, {times_two, 0}, {times_two, 2}, {times_two, -1}});
    t.slot[0].kind = 0;  // enabled but empty: skipped even though it has an entry
    commit_chain(t);
    EXPECT_EQ(run_one(3.0f), 3.0f);
    enable_slot(2);
    EXPECT_EQ(run_one(3.0f), 6.0f);
    enable_slot(1);
    EXPECT_EQ(run_one(3.0f), 12.0f);
    disable_slot(2);
    EXPECT_EQ(run_one(3.0f), 6.0f);
    enable_slot(-1);  // out of range: ignored
    enable_slot(32);
    EXPECT_EQ(run_one(3.0f), 6.0f);
}

TEST_F(EngineTest, ClosedGatesPassTheBufferAndKeepTheLoad) {
    commit_chain(chain_of({{times_two, 1}}));
    cpu_load.store(0.25f);
    chain_loaded.store(0);
    EXPECT_EQ(run_one(3.0f), 3.0f);
    EXPECT_EQ(cpu_load.load(), 0.25f);
    chain_loaded.store(1);
    chain_active.store(0);
    EXPECT_EQ(run_one(3.0f), 3.0f);
    EXPECT_EQ(cpu_load.load(), 0.25f);
    chain_active.store(1);
    EXPECT_EQ(run_one(3.0f), 6.0f);
}

TEST_F(EngineTest, TimingRulesForZeroRateAndZeroFrames) {
    commit_chain(chain_of({{times_two, 1}}));
    float buf[2] = {1.0f, 1.0f};
    cpu_load.store(0.75f);
    run_seconds.store(-1.0f);
    process_chain(1, 0, 1, buf);  // rate 0: nothing timed, but the chain ran
    EXPECT_EQ(buf[0], 2.0f);
    EXPECT_EQ(run_seconds.load(), -1.0f);
    EXPECT_EQ(cpu_load.load(), 0.75f);
    process_chain(0, 48000, 1, buf);  // frames 0: run seconds only
    EXPECT_GE(run_seconds.load(), 0.0f);
    EXPECT_EQ(cpu_load.load(), 0.75f);
    process_chain(1, 48000, 1, buf);
    EXPECT_NE(cpu_load.load(), 0.75f);
    EXPECT_GE(cpu_load.load(), 0.0f);
}

TEST_F(EngineTest, CommitOfZeroSlotsThenSixteen) {
    ChainTable t = chain_of({{times_two, 1}});
    commit_chain(t);
    EXPECT_EQ(run_one(1.0f), 2.0f);
    ChainTable empty;
    commit_chain(empty);
    EXPECT_EQ(run_one(1.0f), 1.0f);
    EXPECT_EQ(live_chain_snapshot().count, 0);
    // Slots beyond the count keep what they held but do not run.
    EXPECT_EQ(live_chain_snapshot().slot[0].process, &times_two);
    ChainTable full;
    full.count = 16;
    for (int i = 0; i < 16; ++i) {
        full.slot[i].process = plus_one;
        full.slot[i].kind = 99;
        full.slot[i].enabled = 1;
    }
    commit_chain(full);
    EXPECT_EQ(run_one(1.0f), 17.0f);
}

TEST_F(EngineTest, SwapExchangesSlotsAndTheirSwitches) {
    commit_chain(chain_of({{times_two, 1}, {plus_one, 0}}));
    EXPECT_EQ(run_one(3.0f), 6.0f);
    swap_chain_slots(1, 1);
    EXPECT_EQ(run_one(3.0f), 6.0f);
    swap_chain_slots(0, 1);
    ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.slot[0].process, &plus_one);
    EXPECT_EQ(live.slot[0].enabled, 0);
    EXPECT_EQ(live.slot[1].enabled, 1);
    EXPECT_EQ(live.count, 2);
    EXPECT_EQ(run_one(3.0f), 6.0f);
    enable_slot(0);
    EXPECT_EQ(run_one(3.0f), 8.0f);  // plus one, then times two
    swap_chain_slots(1, 0);
    EXPECT_EQ(run_one(3.0f), 7.0f);
    swap_chain_slots(0, 40);  // out of range: nothing
    EXPECT_EQ(run_one(3.0f), 7.0f);
}

TEST_F(EngineTest, TwoInstancesOfOneKindKeepSeparateState) {
    EffectRegistry* r = init_kind_registry();
    Instance a = r->create[kKindGain]();
    Instance b = r->create[kKindGain]();
    ASSERT_NE(a, b);
    auto* ga = static_cast<Tgain_form*>(a);
    auto* gb = static_cast<Tgain_form*>(b);
    ga->RadioBox_SimpleChorus.set_checked(true);
    ga->ScrollBar_SimpleChorus.set_position(0);  // 164 samples
    ga->CheckRadioBox_Air.set_checked(false);
    ChainTable t;
    t.count = 2;
    for (int i = 0; i < 2; ++i) {
        t.slot[i].process = r->process[kKindGain];
        t.slot[i].params = r->params[kKindGain];
        t.slot[i].kind = kKindGain;
        t.slot[i].enabled = 1;
    }
    t.slot[0].instance = a;
    t.slot[1].instance = b;
    commit_chain(t);
    std::vector<float> buf(2 * 10, 5.0f);
    process_chain(10, 48000, 2, buf.data());
    // Slot 0 replaced the right channel with its ring's 1.0s; slot 1 (Air on) inverted them.
    EXPECT_EQ(buf[1], -1.0f);
    EXPECT_EQ(buf[0], 5.0f);
    EXPECT_EQ(ga->kernel().position(), 11);
    EXPECT_EQ(gb->kernel().position(), 1);  // its ring was never touched
    reset_engine();
    delete a;
    delete b;
}

}  // namespace
}  // namespace tw
