// Presets applied to the chain editor and built from it: loading rules
// (short files, old kind numbers, unknown kinds, the closed gate), building
// through the shared exchange buffer, and save/load round trips.
#include "app/chain_presets.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/chain_editor.h"
#include "engine/effects.h"
#include "fx/gain_form.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class ChainPresetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        dir_ = fs::temp_directory_path() /
               ("tw_chain_presets_test_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        preset_record() = PresetRecord{};
        set_current_preset_path("");
    }
    void TearDown() override {
        fs::remove_all(dir_);
        reset_engine();
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static void write_bytes(const std::string& p, const std::vector<std::uint8_t>& b) {
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    }
    static void write_record(const std::string& p, const PresetRecord& r, std::size_t extra = 0) {
        std::vector<std::uint8_t> b(r.bytes.begin(), r.bytes.end());
        b.resize(b.size() + extra, 0xAB);
        write_bytes(p, b);
    }
    static Tgain_form* gain_at(ChainEditor& e, int n) { return static_cast<Tgain_form*>(e.instance(n)); }

    fs::path dir_;
};

TEST_F(ChainPresetsTest, ShortFileChangesNothingLongerFileLoads) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(1).combo.set_item_index(kKindGain);
    Instance before = e.instance(1);

    PresetRecord r;
    r.set_version(303);
    r.set_kind(0, kKindGain);
    r.set_kind(1, kKindGain);
    r.set_enabled(1, 1);
    std::vector<std::uint8_t> shortb(r.bytes.begin(), r.bytes.end() - 1);
    write_bytes(path("short.pre"), shortb);
    EXPECT_FALSE(load_preset(e, path("short.pre")));
    EXPECT_FALSE(load_preset(e, path("missing.pre")));
    EXPECT_FALSE(load_preset(e, dir_.string()));
    EXPECT_EQ(e.instance(1), before);
    EXPECT_EQ(e.staging().slot[1].kind, kKindEmpty);
    EXPECT_EQ(current_preset_path(), "");
    EXPECT_EQ(preset_record().kind(1), 0);  // the in-memory record is untouched

    std::vector<Instance> destroyed;
    e.on_instance_destroying = [&](Instance i) { destroyed.push_back(i); };
    write_record(path("long.pre"), r, 100);
    ASSERT_TRUE(load_preset(e, path("long.pre")));
    EXPECT_EQ(current_preset_path(), path("long.pre"));
    EXPECT_EQ(e.staging().slot[1].kind, kKindGain);
    EXPECT_EQ(destroyed, std::vector<Instance>{before});  // every row gets a fresh instance
    EXPECT_NE(e.instance(1), nullptr);
    EXPECT_TRUE(e.row(2).check.checked());
    EXPECT_EQ(e.row(2).check.caption(), "On");
    EXPECT_EQ(live_chain_snapshot().slot[1].enabled, 1);
    EXPECT_EQ(chain_loaded.load(), 1);
}

TEST_F(ChainPresetsTest, Version302KindOneIsGainVersion303IsNoiseGate) {
    ChainEditor e;
    PresetRecord r;
    r.set_version(302);
    r.set_kind(0, 1);
    write_record(path("old.pre"), r);
    ASSERT_TRUE(load_preset(e, path("old.pre")));  // builds the chain first
    EXPECT_TRUE(e.built());
    EXPECT_EQ(e.row(1).combo.item_index(), kKindGain);
    EXPECT_EQ(e.staging().slot[0].kind, kKindGain);
    EXPECT_NE(e.instance(1), nullptr);

    r.set_version(303);
    write_record(path("new.pre"), r);
    ASSERT_TRUE(load_preset(e, path("new.pre")));
    EXPECT_EQ(e.row(1).combo.item_index(), kKindNoiseGate);
    EXPECT_STREQ(e.staging().slot[0].name, "noise gate");

    // A negative version is older too (signed comparison).
    r.set_version(-1);
    write_record(path("neg.pre"), r);
    ASSERT_TRUE(load_preset(e, path("neg.pre")));
    EXPECT_EQ(e.staging().slot[0].kind, kKindGain);
}

TEST_F(ChainPresetsTest, UnknownKindsAndOddOnValuesLoadAsEmptyAndOff) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(1).combo.set_item_index(kKindGain);
    e.row(2).combo.set_item_index(kKindGain);
    PresetRecord r;
    r.set_version(303);
    r.set_kind(0, 31);
    r.set_kind(1, -3);
    r.set_kind(2, kKindGain);
    r.set_enabled(2, 2);
    write_record(path("odd.pre"), r);
    ASSERT_TRUE(load_preset(e, path("odd.pre")));
    EXPECT_EQ(e.row(1).combo.item_index(), 0);
    EXPECT_EQ(e.row(2).combo.item_index(), 0);
    EXPECT_EQ(e.staging().slot[0].kind, 0);
    EXPECT_EQ(e.instance(1), nullptr);
    EXPECT_EQ(e.instance(2), nullptr);
    EXPECT_EQ(e.staging().slot[2].kind, kKindGain);
    EXPECT_FALSE(e.row(3).check.checked());
    EXPECT_EQ(e.staging().slot[2].enabled, 0);
    EXPECT_EQ(live_chain_snapshot().slot[2].enabled, 0);
}

TEST_F(ChainPresetsTest, AllEmptyFileEmptiesTheChainInOneCommitThenFreesTheOldInstances) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    for (int n : {1, 4, 9}) {
        e.row(n).combo.set_item_index(kKindGain);
        e.row(n).check.click();
    }
    int destroyed = 0;
    bool freed_after_commit = true;
    e.on_instance_destroying = [&](Instance inst) {
        ++destroyed;
        // The live chain no longer holds it, and it was never paused.
        const ChainTable live = live_chain_snapshot();
        for (int s = 0; s < live.count; ++s) freed_after_commit = freed_after_commit && live.slot[s].instance != inst;
        freed_after_commit = freed_after_commit && chain_loaded.load() == 1;
    };
    PresetRecord r;
    r.set_version(303);
    write_record(path("empty.pre"), r);
    ASSERT_TRUE(load_preset(e, path("empty.pre")));
    EXPECT_EQ(destroyed, 3);
    EXPECT_TRUE(freed_after_commit);
    EXPECT_EQ(chain_loaded.load(), 1);
    const ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.count, 16);
    for (int n = 1; n <= 16; ++n) {
        EXPECT_EQ(e.row(n).combo.text(), "--- select ---");
        EXPECT_EQ(e.row(n).check.caption(), "Off");
        EXPECT_EQ(live.slot[n - 1].kind, 0);
        EXPECT_EQ(live.slot[n - 1].enabled, 0);
    }
}

TEST_F(ChainPresetsTest, BuildCarriesTheExchangeBufferFromSlotToSlot) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(2).combo.set_item_index(kKindGain);
    gain_at(e, 2)->ScrollBar_Gain_Mono.set_position(80);
    preset_record().set_param_word(20, 5, 4242);  // an unused slot keeps what it held
    build_preset_record(e);
    const PresetRecord& r = preset_record();
    EXPECT_EQ(r.version(), 303);
    EXPECT_EQ(r.kind(1), kKindGain);
    EXPECT_EQ(r.param_word(1, 3), Tgain_form::kMarker);
    EXPECT_EQ(r.param_word(1, 6), 80);
    // Row 1 is empty and wrote nothing: zeros. Row 3 repeats row 2's words.
    for (int w = 0; w < kPresetStoredWords; ++w) {
        EXPECT_EQ(r.param_word(0, w), 0) << w;
        EXPECT_EQ(r.param_word(2, w), r.param_word(1, w)) << w;
        EXPECT_EQ(r.param_word(15, w), r.param_word(1, w)) << w;
    }
    EXPECT_EQ(r.param_word(20, 5), 4242);
}

TEST_F(ChainPresetsTest, SaveAndLoadRoundTripKindsOnOffAndGainSettings) {
    {
        ChainEditor e;
        e.fill_kind_lists_and_build_chain();
        e.row(1).combo.set_item_index(kKindGain);
        e.row(1).check.click();
        Tgain_form* g = gain_at(e, 1);
        g->ScrollBar_Gain_Mono.set_position(70);
        g->ScrollBar_Gain_Right.set_position(20);
        g->ScrollBar_SimpleChorus.set_position(30);
        g->RadioBox_SimpleChorus.set_checked(true);
        g->CheckRadioBox_Air.set_checked(false);
        e.row(4).combo.set_item_index(kKindGain);
        gain_at(e, 4)->ScrollBar_Gain_Left.set_position(0);
        e.row(9).combo.set_item_index(kKindNoiseGate);
        e.row(9).check.click();
        std::string err;
        ASSERT_TRUE(save_preset_file(e, path("F1 Test.pre"), &err)) << err;
    }
    ASSERT_EQ(fs::file_size(path("F1 Test.pre")), 13188u);
    for (const auto& entry : fs::directory_iterator(dir_)) EXPECT_EQ(entry.path().filename(), "F1 Test.pre");
    const PresetRecord saved = preset_record();

    preset_record() = PresetRecord{};
    reset_engine();
    ChainEditor e;
    ASSERT_TRUE(load_preset(e, path("F1 Test.pre")));
    EXPECT_EQ(preset_record().bytes, saved.bytes);
    EXPECT_EQ(e.staging().slot[0].kind, kKindGain);
    EXPECT_EQ(e.staging().slot[3].kind, kKindGain);
    EXPECT_EQ(e.staging().slot[8].kind, kKindNoiseGate);
    EXPECT_TRUE(e.row(1).check.checked());
    EXPECT_FALSE(e.row(4).check.checked());
    EXPECT_TRUE(e.row(9).check.checked());
    Tgain_form* g = gain_at(e, 1);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->ScrollBar_Gain_Mono.position(), 70);
    EXPECT_EQ(g->ScrollBar_Gain_Left.position(), 70);
    EXPECT_EQ(g->ScrollBar_Gain_Right.position(), 20);
    EXPECT_EQ(g->ScrollBar_SimpleChorus.position(), 30);
    EXPECT_TRUE(g->RadioBox_SimpleChorus.checked());
    EXPECT_FALSE(g->CheckRadioBox_Air.checked());
    EXPECT_FLOAT_EQ(g->params.mono_gain, 5.0f);
    EXPECT_FLOAT_EQ(g->params.right_gain, 1.0f / 7.0f);
    EXPECT_EQ(gain_at(e, 4)->ScrollBar_Gain_Left.position(), 0);
    EXPECT_FLOAT_EQ(gain_at(e, 4)->params.left_gain, 1.0f / 11.0f);

    // Building again from the loaded chain reproduces every stored word.
    build_preset_record(e);
    for (int s = 0; s < 16; ++s) {
        EXPECT_EQ(preset_record().kind(s), saved.kind(s));
        EXPECT_EQ(preset_record().enabled(s), saved.enabled(s));
        for (int w = 0; w < kPresetStoredWords; ++w)
            EXPECT_EQ(preset_record().param_word(s, w), saved.param_word(s, w)) << s << ":" << w;
    }
}

}  // namespace
}  // namespace tw
