// The main form without a window: the first show (device lists, the chain of
// sixteen empty slots, run once), the close, the lost-stream wiring and the
// device defaults taken from the program folder.
#include "fx/kind_ids.h"
#include "app/main_form.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/program_folder.h"
#include "app_test_support.h"
#include "audio/fake_backend.h"
#include "engine/effects.h"

namespace tw {
namespace {

using test::FakeBackend;

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_engine();
        home = std::make_unique<test::TempHome>();
        auto f = std::make_unique<FakeBackend>();
        fake = f.get();
        fake->devs = {FakeBackend::input("in A"), FakeBackend::output("out A")};
        std::vector<std::unique_ptr<audio::AudioBackend>> v;
        v.push_back(std::move(f));
        devices = std::make_unique<AudioDevices>(std::move(v));
        form = std::make_unique<MainForm>(*devices, dialogs);
    }
    void TearDown() override {
        form->FormClose();
        form.reset();
        devices.reset();
        reset_engine();
        home.reset();
    }
    void start() {
        form->FormShow();
        form->stream().BitBtn_Init.click();
        ASSERT_TRUE(form->stream().running());
    }

    std::unique_ptr<test::TempHome> home;
    FakeBackend* fake = nullptr;
    test::RecordingDialogs dialogs;
    std::unique_ptr<AudioDevices> devices;
    std::unique_ptr<MainForm> form;
};

TEST_F(MainFormTest, FirstShowListsDevicesAndCommitsSixteenEmptySlotsOnce) {
    EXPECT_FALSE(form->extras().LinkLabel1.visible());
    EXPECT_EQ(live_chain_snapshot().count, 0);
    form->FormShow();
    form->FormShow();  // later shows do nothing
    ASSERT_TRUE(form->first_show_done());

    const StreamControl& sc = form->stream();
    ASSERT_EQ(sc.ComboBox_waveIn.count(), 1);
    EXPECT_EQ(sc.ComboBox_waveIn.text(), "in A");
    ASSERT_EQ(sc.ComboBox_waveOut.count(), 2);
    EXPECT_EQ(sc.ComboBox_waveOut.items()[1], StreamControl::kFallbackOutput);

    const ChainTable live = live_chain_snapshot();
    ASSERT_EQ(live.count, 16);
    for (int n = 1; n <= kChainRows; ++n) {
        EXPECT_EQ(form->chain().row(n).combo.count(), 16);
        EXPECT_EQ(form->chain().row(n).combo.item_index(), 0);
        EXPECT_EQ(live.slot[n - 1].kind, kKindEmpty);
        EXPECT_EQ(live.slot[n - 1].enabled, 0);
    }
    EXPECT_TRUE(form->extras().LinkLabel1.visible());
    EXPECT_TRUE(form->extras().LinkLabel2.visible());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormTest, CloseStopsTheRunningCaptureAndClosesTheOutput) {
    start();
    ASSERT_TRUE(fake->capturing);
    ASSERT_TRUE(fake->playing);
    form->FormClose();
    EXPECT_FALSE(fake->capturing);
    EXPECT_FALSE(fake->playing);
    EXPECT_FALSE(form->stream().running());
    EXPECT_EQ(chain_active.load(), 0);
}

TEST_F(MainFormTest, StatusTickStopsAStreamTheSoundSystemClosed) {
    start();
    form->status().Timer1Timer();
    EXPECT_TRUE(form->stream().running());
    fake->lost = true;
    form->status().Timer1Timer();
    EXPECT_FALSE(form->stream().running());
    EXPECT_FALSE(fake->capturing);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], StreamControl::kStreamLostMessage);
}

TEST(MainFormDefaults, DemoLoopComesFromTheProgramFolder) {
    const std::string saved = program_folder();
    set_program_folder("/tmp/tw_home/");
    const DeviceOptions o = MainForm::device_defaults();
    set_program_folder(saved);
    EXPECT_EQ(o.demo_wav_path, "/tmp/tw_home/demo_guitar.wav");
    EXPECT_TRUE(o.builtin_devices);
    EXPECT_TRUE(o.system_devices);
}

}  // namespace
}  // namespace tw
