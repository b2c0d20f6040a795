// The preset record: layout, loading rules (short files, old kind numbers,
// unknown kinds), building through the shared exchange buffer, round trips
// and safe writing.
#include "presets/preset_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/chain_editor.h"
#include "fx/gain_form.h"
#include "fx/param_record.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class PresetFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        dir_ = fs::temp_directory_path() /
               ("tw_preset_test_" + std::to_string(::getpid()) + "_" +
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

TEST_F(PresetFileTest, FieldsSitAtTheirOffsetsLittleEndian) {
    PresetRecord r;
    r.set_version(303);
    r.set_kind(0, 13);
    r.set_kind(31, 0x01020304);
    r.set_enabled(15, 1);
    r.set_param_word(1, 0, 0x0A0B0C0D);
    r.set_param_word(31, 100, -1);
    EXPECT_EQ(r.bytes[2], 0x2F);
    EXPECT_EQ(r.bytes[3], 0x01);
    EXPECT_EQ(r.bytes[4], 13);
    EXPECT_EQ(r.bytes[4 + 124], 0x04);
    EXPECT_EQ(r.bytes[4 + 127], 0x01);
    EXPECT_EQ(r.bytes[132 + 60], 1);
    EXPECT_EQ(r.bytes[260 + 404], 0x0D);
    EXPECT_EQ(r.bytes[260 + 404 + 3], 0x0A);
    EXPECT_EQ(r.bytes[13187], 0xFF);
    // Out-of-range slots and words are ignored, not written past the end.
    r.set_kind(32, 7);
    r.set_param_word(0, 101, 7);
    EXPECT_EQ(r.kind(32), 0);
    EXPECT_EQ(r.param_word(0, 101), 0);
    r.set_version(-5);
    EXPECT_EQ(r.version(), -5);
}

TEST_F(PresetFileTest, OnlySeventyThreeWordsOfARecordAreStored) {
    PresetRecord r;
    ParamRecord p;
    rec_set_i32(p, 4 * 72, 72);
    rec_set_i32(p, 4 * 73, 73);
    rec_set_i32(p, 4 * 100, 100);
    r.set_params(3, p);
    EXPECT_EQ(r.param_word(3, 72), 72);
    EXPECT_EQ(r.param_word(3, 73), 0);
    EXPECT_EQ(r.param_word(3, 100), 0);
    EXPECT_EQ(r.param_word(4, 0), 0);
}

TEST_F(PresetFileTest, OldKindNumbersAreConverted) {
    const std::int32_t expected[14] = {0, 13, 4, 3, 6, 7, 9, 2, 11, 8, 5, 12, 10, 1};
    for (int k = 0; k < 14; ++k) EXPECT_EQ(convert_old_kind(k), expected[k]) << k;
    EXPECT_EQ(convert_old_kind(14), 14);
    EXPECT_EQ(convert_old_kind(-1), -1);
}

TEST_F(PresetFileTest, ShortFileChangesNothingLongerFileLoads) {
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
    EXPECT_EQ(e.staging().kind[1], kKindEmpty);
    EXPECT_EQ(current_preset_path(), "");
    EXPECT_EQ(preset_record().kind(1), 0);  // the in-memory record is untouched

    std::vector<Instance> destroyed;
    e.on_instance_destroying = [&](Instance i) { destroyed.push_back(i); };
    write_record(path("long.pre"), r, 100);
    ASSERT_TRUE(load_preset(e, path("long.pre")));
    EXPECT_EQ(current_preset_path(), path("long.pre"));
    EXPECT_EQ(e.staging().kind[1], kKindGain);
    EXPECT_EQ(destroyed, std::vector<Instance>{before});  // every row gets a fresh instance
    EXPECT_NE(e.instance(1), nullptr);
    EXPECT_TRUE(e.row(2).check.checked());
    EXPECT_EQ(e.row(2).check.caption(), "On");
    EXPECT_EQ(live_chain_snapshot().enabled[1], 1);
    EXPECT_EQ(chain_loaded.load(), 1);
}

TEST_F(PresetFileTest, Version302KindOneIsGainVersion303IsNoiseGate) {
    ChainEditor e;
    PresetRecord r;
    r.set_version(302);
    r.set_kind(0, 1);
    write_record(path("old.pre"), r);
    ASSERT_TRUE(load_preset(e, path("old.pre")));  // builds the chain first
    EXPECT_TRUE(e.built());
    EXPECT_EQ(e.row(1).combo.item_index(), kKindGain);
    EXPECT_EQ(e.staging().kind[0], kKindGain);
    EXPECT_NE(e.instance(1), nullptr);

    r.set_version(303);
    write_record(path("new.pre"), r);
    ASSERT_TRUE(load_preset(e, path("new.pre")));
    EXPECT_EQ(e.row(1).combo.item_index(), kKindNoiseGate);
    EXPECT_STREQ(e.staging().names[0], "noise gate");

    // A negative version is older too (signed comparison).
    r.set_version(-1);
    write_record(path("neg.pre"), r);
    ASSERT_TRUE(load_preset(e, path("neg.pre")));
    EXPECT_EQ(e.staging().kind[0], kKindGain);
}

TEST_F(PresetFileTest, UnknownKindsAndOddOnValuesLoadAsEmptyAndOff) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    e.row(1).combo.set_item_index(kKindGain);
    e.row(2).combo.set_item_index(kKindGain);
    PresetRecord r;
    r.set_version(303);
    r.set_kind(0, 14);
    r.set_kind(1, -3);
    r.set_kind(2, kKindGain);
    r.set_enabled(2, 2);
    write_record(path("odd.pre"), r);
    ASSERT_TRUE(load_preset(e, path("odd.pre")));
    EXPECT_EQ(e.row(1).combo.item_index(), 0);
    EXPECT_EQ(e.row(2).combo.item_index(), 0);
    EXPECT_EQ(e.staging().kind[0], 0);
    EXPECT_EQ(e.instance(1), nullptr);
    EXPECT_EQ(e.instance(2), nullptr);
    EXPECT_EQ(e.staging().kind[2], kKindGain);
    EXPECT_FALSE(e.row(3).check.checked());
    EXPECT_EQ(e.staging().enabled[2], 0);
    EXPECT_EQ(live_chain_snapshot().enabled[2], 0);
}

TEST_F(PresetFileTest, AllEmptyFileEmptiesTheChainWithTheGateClosed) {
    ChainEditor e;
    e.fill_kind_lists_and_build_chain();
    for (int n : {1, 4, 9}) {
        e.row(n).combo.set_item_index(kKindGain);
        e.row(n).check.click();
    }
    int destroyed = 0;
    bool gate_closed_during = true;
    e.on_instance_destroying = [&](Instance) {
        ++destroyed;
        gate_closed_during = gate_closed_during && chain_loaded.load() == 0;
    };
    PresetRecord r;
    r.set_version(303);
    write_record(path("empty.pre"), r);
    ASSERT_TRUE(load_preset(e, path("empty.pre")));
    EXPECT_EQ(destroyed, 3);
    EXPECT_TRUE(gate_closed_during);
    EXPECT_EQ(chain_loaded.load(), 1);
    const ChainTable live = live_chain_snapshot();
    EXPECT_EQ(live.count, 16);
    for (int n = 1; n <= 16; ++n) {
        EXPECT_EQ(e.row(n).combo.text(), "--- select ---");
        EXPECT_EQ(e.row(n).check.caption(), "Off");
        EXPECT_EQ(live.kind[n - 1], 0);
        EXPECT_EQ(live.enabled[n - 1], 0);
    }
}

TEST_F(PresetFileTest, BuildCarriesTheExchangeBufferFromSlotToSlot) {
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

TEST_F(PresetFileTest, SaveAndLoadRoundTripKindsOnOffAndGainSettings) {
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
    EXPECT_EQ(e.staging().kind[0], kKindGain);
    EXPECT_EQ(e.staging().kind[3], kKindGain);
    EXPECT_EQ(e.staging().kind[8], kKindNoiseGate);
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
    EXPECT_FLOAT_EQ(g->mono_gain.load(), 5.0f);
    EXPECT_FLOAT_EQ(g->right_gain.load(), 1.0f / 7.0f);
    EXPECT_EQ(gain_at(e, 4)->ScrollBar_Gain_Left.position(), 0);
    EXPECT_FLOAT_EQ(gain_at(e, 4)->left_gain.load(), 1.0f / 11.0f);

    // Building again from the loaded chain reproduces every stored word.
    build_preset_record(e);
    for (int s = 0; s < 16; ++s) {
        EXPECT_EQ(preset_record().kind(s), saved.kind(s));
        EXPECT_EQ(preset_record().enabled(s), saved.enabled(s));
        for (int w = 0; w < kPresetStoredWords; ++w)
            EXPECT_EQ(preset_record().param_word(s, w), saved.param_word(s, w)) << s << ":" << w;
    }
}

TEST_F(PresetFileTest, FailedWriteLeavesNoFileAndSaysWhy) {
    PresetRecord r;
    std::string err;
    EXPECT_FALSE(write_preset_record(path("no/such/folder/x.pre"), r, &err));
    EXPECT_FALSE(err.empty());
    // Overwriting keeps the old content until the new one is complete.
    r.set_kind(0, 13);
    ASSERT_TRUE(write_preset_record(path("a.pre"), r, &err)) << err;
    r.set_kind(0, 1);
    ASSERT_TRUE(write_preset_record(path("a.pre"), r, &err)) << err;
    PresetRecord back;
    ASSERT_TRUE(read_preset_record(path("a.pre"), back, &err));
    EXPECT_EQ(back.kind(0), 1);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_)) ++files;
    EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace tw
