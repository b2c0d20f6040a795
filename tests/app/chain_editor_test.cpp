// The chain editor: building the chain, kind changes, on/off and moves, seen
// both in the rows' controls and in the live chain.
#include "app/chain_editor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fx/gain_form.h"

namespace tw {
namespace {

class ChainEditorTest : public ::testing::Test {
protected:
    void SetUp() override { reset_engine(); }
    void TearDown() override { reset_engine(); }

    static Tgain_form* gain_at(ChainEditor& e, int n) { return static_cast<Tgain_form*>(e.instance(n)); }
    // One mono buffer of 4 samples of 1000 through the live chain.
    static float run_mono() {
        std::vector<float> buf(4, 1000.0f);
        process_chain(4, 48000, 1, buf.data());
        return buf[0];
    }
};

TEST_F(ChainEditorTest, RowsAreNamedAndLaidOut) {
    ChainEditor e;
    for (int n = 1; n <= kChainRows; ++n) {
        const ChainRow& r = e.row(n);
        EXPECT_EQ(r.check.name(), "spSkinCheckRadioBox" + std::to_string(n));
        EXPECT_EQ(r.combo.name(), "spSkinComboBox" + std::to_string(n));
        EXPECT_EQ(r.tune.name(), "spSkinButton" + std::to_string(n));
        EXPECT_EQ(r.updown.name(), "spSkinUpDown" + std::to_string(n));
        EXPECT_EQ(r.check.bounds().top, 16 + 24 * (n - 1));
        EXPECT_EQ(r.combo.bounds().top, 16 + 24 * (n - 1));
        EXPECT_EQ(r.tune.caption(), "Tune");
        EXPECT_EQ(r.check.caption(), "Off");
        EXPECT_FALSE(r.check.checked());
    }
    EXPECT_FALSE(e.built());
}

TEST_F(ChainEditorTest, FirstShowFillsListsAndCommitsSixteenEmptySlots) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    ASSERT_TRUE(e.built());
    for (int n = 1; n <= kChainRows; ++n) {
        const ui::ComboBox& c = e.row(n).combo;
        ASSERT_EQ(c.count(), 16);
        EXPECT_EQ(c.items()[0], "--- select ---");
        EXPECT_EQ(c.items()[13], "Gain");
        EXPECT_EQ(c.items()[14], "Cabinet IR");
        EXPECT_EQ(c.items()[15], "Amp model");
        EXPECT_EQ(c.items()[6], "Distortion (Soft/Hard)");
        EXPECT_EQ(c.item_index(), 0);
        EXPECT_STREQ(e.staging().slot[n - 1].name, "--- select ---");
        EXPECT_EQ(e.instance(n), nullptr);
    }
    const ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.count, 16);
    for (int s = 0; s < 16; ++s) {
        EXPECT_EQ(live.slot[s].kind, 0);
        EXPECT_EQ(live.slot[s].enabled, 0);
    }
    EXPECT_FLOAT_EQ(run_mono(), 1000.0f);
}

TEST_F(ChainEditorTest, KindChangeCreatesFreshInstanceAndKeepsOnOff) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(3).check.click();
    e.row(3).combo.set_item_index(kKindGain);
    Tgain_form* g = gain_at(e, 3);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(e.staging().slot[2].kind, kKindGain);
    EXPECT_STREQ(e.staging().slot[2].name, "Gain");
    EXPECT_TRUE(e.row(3).combo.enabled());
    EXPECT_EQ(chain_active.load(), 1);
    ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.slot[2].kind, kKindGain);
    EXPECT_EQ(live.slot[2].instance, e.instance(3));
    EXPECT_EQ(live.slot[2].enabled, 1);
    EXPECT_EQ(e.row(3).check.caption(), "On");

    // The slot is on, so a louder setting is heard at once.
    g->ScrollBar_Gain_Mono.set_position(100);
    EXPECT_FLOAT_EQ(run_mono(), 11000.0f);

    // Another kind destroys the instance; picking Gain again gives defaults.
    std::vector<Instance> destroyed;
    e.on_instance_destroying = [&](Instance i) { destroyed.push_back(i); };
    e.row(3).combo.set_item_index(kKindEmpty);
    ASSERT_EQ(destroyed.size(), 1u);
    EXPECT_EQ(destroyed[0], static_cast<Instance>(g));
    EXPECT_EQ(e.instance(3), nullptr);
    EXPECT_FLOAT_EQ(run_mono(), 1000.0f);
    e.row(3).combo.set_item_index(kKindGain);
    ASSERT_NE(gain_at(e, 3), nullptr);
    EXPECT_EQ(gain_at(e, 3)->ScrollBar_Gain_Mono.position(), 50);
    EXPECT_FLOAT_EQ(run_mono(), 1000.0f);
    EXPECT_EQ(e.staging().slot[2].enabled, 1);
}

TEST_F(ChainEditorTest, KindChangeKeepsAClosedGateClosed) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    chain_active.store(0);  // stream stopped
    e.row(1).combo.set_item_index(kKindGain);
    EXPECT_EQ(chain_active.load(), 0);
    EXPECT_EQ(live_chain_snapshot().slot[0].kind, kKindGain);
}

TEST_F(ChainEditorTest, OnOffWritesStagingLiveAndCaption) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(7).check.click();
    EXPECT_EQ(e.staging().slot[6].enabled, 1);
    EXPECT_EQ(live_chain_snapshot().slot[6].enabled, 1);
    EXPECT_EQ(e.row(7).check.caption(), "On");
    e.row(7).check.click();
    EXPECT_EQ(e.staging().slot[6].enabled, 0);
    EXPECT_EQ(live_chain_snapshot().slot[6].enabled, 0);
    EXPECT_EQ(e.row(7).check.caption(), "Off");
}

TEST_F(ChainEditorTest, MoveCarriesKindInstanceAndOnOff) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(5).combo.set_item_index(kKindGain);
    e.row(5).check.click();
    Instance inst = e.instance(5);
    gain_at(e, 5)->ScrollBar_Gain_Mono.set_position(100);
    std::vector<int> pointer, focus;
    e.on_move_pointer = [&](int dy) { pointer.push_back(dy); };
    e.on_focus_list = [&](int n) { focus.push_back(n); };
    int destroyed = 0;
    e.on_instance_destroying = [&](Instance) { ++destroyed; };

    e.row(5).updown.click_down();
    EXPECT_EQ(e.instance(6), inst);
    EXPECT_EQ(e.instance(5), nullptr);
    EXPECT_EQ(e.row(6).combo.item_index(), kKindGain);
    EXPECT_EQ(e.row(5).combo.item_index(), kKindEmpty);
    EXPECT_TRUE(e.row(6).check.checked());
    EXPECT_FALSE(e.row(5).check.checked());
    EXPECT_EQ(e.row(6).check.caption(), "On");
    EXPECT_EQ(e.row(5).check.caption(), "Off");
    EXPECT_STREQ(e.staging().slot[5].name, "Gain");
    EXPECT_STREQ(e.staging().slot[4].name, "--- select ---");
    EXPECT_EQ(e.staging().slot[5].enabled, 1);
    EXPECT_EQ(e.staging().slot[4].enabled, 0);
    EXPECT_EQ(destroyed, 0);  // the kind handler stays out of a move
    EXPECT_EQ(pointer, std::vector<int>{24});
    EXPECT_EQ(focus, std::vector<int>{6});
    EXPECT_EQ(e.slot_moving, 0);
    EXPECT_EQ(chain_active.load(), 1);
    const ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.slot[5].kind, kKindGain);
    EXPECT_EQ(live.slot[5].instance, inst);
    EXPECT_EQ(live.slot[5].enabled, 1);
    EXPECT_EQ(live.slot[4].kind, kKindEmpty);
    EXPECT_EQ(live.slot[4].enabled, 0);
    EXPECT_FLOAT_EQ(run_mono(), 11000.0f);

    // And back up with the arrow pair.
    e.row(6).updown.click_up();
    EXPECT_EQ(e.instance(5), inst);
    EXPECT_TRUE(e.row(5).check.checked());
    EXPECT_EQ(pointer, (std::vector<int>{24, -24}));
}

TEST_F(ChainEditorTest, MovesBeyondTheEndsChangeNothing) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(1).combo.set_item_index(kKindGain);
    e.row(16).combo.set_item_index(kKindGain);
    e.row(16).check.click();
    Instance first = e.instance(1), last = e.instance(16);
    int pointer_moves = 0;
    e.on_move_pointer = [&](int) { ++pointer_moves; };
    e.row(1).updown.click_up();
    e.row(16).updown.click_down();
    e.tune_mouse_up(1, ui::MouseButton::Right, 2, 20);  // upper half of row 1
    EXPECT_EQ(pointer_moves, 0);
    EXPECT_EQ(e.instance(1), first);
    EXPECT_EQ(e.instance(16), last);
    EXPECT_FALSE(e.row(1).check.checked());
    EXPECT_TRUE(e.row(16).check.checked());
    EXPECT_EQ(chain_active.load(), 1);
    EXPECT_EQ(e.slot_moving, 0);
}

TEST_F(ChainEditorTest, RightButtonOnTuneMovesByHalf) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(5).combo.set_item_index(kKindGain);
    Instance inst = e.instance(5);
    const int h = e.row(5).tune.bounds().height;
    e.row(5).tune.mouse_up(ui::MouseButton::Left, 3, h - 1);
    EXPECT_EQ(e.instance(5), inst);
    e.row(5).tune.mouse_up(ui::MouseButton::Right, 3, h / 2);  // lower half: down
    EXPECT_EQ(e.instance(6), inst);
    e.row(6).tune.mouse_up(ui::MouseButton::Right, 3, h / 2 - 1);  // upper half: up
    EXPECT_EQ(e.instance(5), inst);
}

TEST_F(ChainEditorTest, TuneShowsOnlyRealEffects) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    std::vector<int> shown;
    std::string caption_during;
    e.on_show_editor = [&](int n, Instance) {
        shown.push_back(n);
        caption_during = e.row(n).tune.caption();
    };
    e.row(2).tune.click();
    EXPECT_TRUE(shown.empty());
    e.row(2).combo.set_item_index(kKindGain);
    e.row(2).tune.click();
    EXPECT_EQ(shown, std::vector<int>{2});
    EXPECT_EQ(caption_during, "wait");
    EXPECT_EQ(e.row(2).tune.caption(), "Tune");
    EXPECT_TRUE(e.row(2).tune.enabled());
}

TEST_F(ChainEditorTest, DestructorEmptiesLiveChain) {
    {
        ChainEditor e;
        e.fill_kind_lists_and_build_chain();
        e.row(1).combo.set_item_index(kKindGain);
        e.row(1).check.click();
        e.on_instance_destroying = [](Instance) { FAIL() << "no hook at shut-down"; };
    }
    // Nothing left that could run a deleted instance (leaks show under ASan).
    EXPECT_EQ(live_chain_snapshot().count, 0);
    EXPECT_FLOAT_EQ(run_mono(), 1000.0f);
}

}  // namespace
}  // namespace tw
