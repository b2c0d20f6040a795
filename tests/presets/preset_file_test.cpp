// The preset record: layout, old kind numbers and safe writing.
#include "presets/preset_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "fx/param_record.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class PresetFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tw_preset_test_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

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
