// face.ini: the reader's defaults and clamps on damaged files, and the main
// form's start-up and close around it: a first run, a restart that finds
// everything as it was, devices found by name after their numbers moved, and
// a fatal device exit that leaves the file alone.
#include "fx/kind_ids.h"
#include "app/face_settings.h"

#include <gtest/gtest.h>

#include "app/chain_presets.h"
#include "app_test_support.h"
#include "platform/ini_file.h"

namespace tw {
namespace {

using test::FakeBackend;

FaceSettings parse(const std::string& text) { return read_face_settings(platform::IniFile("/nonexistent", text)); }

TEST(FaceSettingsReader, DamagedValuesGiveDefaultsOrClampedValues) {
    const FaceSettings none = parse("");
    EXPECT_EQ(none.input, 0);
    EXPECT_EQ(none.output, 0);
    EXPECT_EQ(none.latency, 35);
    EXPECT_TRUE(none.stereo);
    EXPECT_EQ(none.sample_freq, 3);
    EXPECT_EQ(none.usefastwdm, 0);
    EXPECT_EQ(none.path, "ERROR");

    const FaceSettings bad = parse(
        "[Wave Devices]\ninput=-7\noutput=99999999999999999999\nlatency=-4\nMonoStereo=abc\n"
        "SampleFreq=99\nusefastwdm=12\ninput_name=x\x01y\n[Default Preset]\nPath=\n");
    EXPECT_EQ(bad.input, 0);
    EXPECT_EQ(bad.output, 2147483647);  // saturated; an index beyond the list is not used
    EXPECT_EQ(bad.latency, 1);
    EXPECT_TRUE(bad.stereo);            // no number: the default
    EXPECT_EQ(bad.sample_freq, 3);
    EXPECT_EQ(bad.usefastwdm, 1);
    EXPECT_EQ(bad.input_name, "");      // control characters: missing
    EXPECT_EQ(bad.path, "");

    EXPECT_EQ(parse("[Wave Devices]\nlatency=99999999999\nSampleFreq=-1\n").latency, 50);
    EXPECT_EQ(parse("[Wave Devices]\nSampleFreq=-1\n").sample_freq, 3);
    EXPECT_EQ(parse("[Default Preset]\nPath=" + std::string(5000, 'a') + "\n").path, "ERROR");

    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xff);
    const FaceSettings j = parse(junk);
    EXPECT_GE(j.latency, 1);
    EXPECT_LE(j.latency, 50);
    EXPECT_GE(j.sample_freq, 0);
    EXPECT_LE(j.sample_freq, 3);

    // How a preset change sounds: defaults 20 ms and 2 s, clamped into range.
    EXPECT_EQ(none.crossfade_ms, 20);
    EXPECT_EQ(none.spill_over_ms, 2000);
    const FaceSettings far = parse("[Preset Switch]\nCrossfade=999\nSpillOver=-5\n");
    EXPECT_EQ(far.crossfade_ms, 200);
    EXPECT_EQ(far.spill_over_ms, 0);
}

class FaceIniStartup : public test::FormRig {};

TEST_F(FaceIniStartup, FirstRunWithoutFaceIniTakesDefaultsLoadsF9AndWritesEveryKey) {
    home.add_preset("F9 - High Gain Distortion Noise Gate.pre", kKindNoiseGate);
    make();
    form->FormShow();
    const StreamControl& sc = form->stream();
    EXPECT_EQ(sc.ComboBox_waveIn.item_index(), 0);
    EXPECT_EQ(sc.ComboBox_waveOut.item_index(), 0);
    EXPECT_EQ(sc.latency_threshold(), 35);
    EXPECT_EQ(sc.channels(), 2);
    EXPECT_EQ(sc.sample_rate(), 48000);
    EXPECT_EQ(row1_kind(), kKindNoiseGate);
    EXPECT_TRUE(dialogs.messages.empty());  // the start-up load is silent

    form->FormClose();
    const std::string ini = home.read("face.ini");
    const std::string keys[] = {"input=0", "output=0", "latency=35", "MonoStereo=1", "SampleFreq=3",
                                "input_name=in A", "output_name=out A", "[Default Preset]",
                                "Path=" + home.path("PRESETS/F9 - High Gain Distortion Noise Gate.pre"),
                                "[Preset Switch]", "Crossfade=20", "SpillOver=2000"};
    std::size_t at = 0;
    for (const std::string& k : keys) {  // present, in this order
        const std::size_t p = ini.find(k, at);
        ASSERT_NE(p, std::string::npos) << k << " in\n" << ini;
        at = p;
    }
    EXPECT_EQ(ini.find("usefastwdm"), std::string::npos);
}

TEST_F(FaceIniStartup, SampleFreq0AndMono0StartAt22050MonoAndUsefastwdmIsKept) {
    home.write("face.ini", "[Wave Devices]\nSampleFreq=0\nMonoStereo=0\nlatency=20\nusefastwdm=1\n");
    make({FakeBackend::input("in A"), FakeBackend::output("out A"), FakeBackend::output("pulse", true)});
    form->FormShow();
    EXPECT_EQ(form->stream().sample_rate(), 22050);
    EXPECT_EQ(form->stream().channels(), 1);
    EXPECT_EQ(form->stream().latency_threshold(), 20);
    EXPECT_EQ(form->stream().Label_Latency_Porog.caption(), "20 ms");  // the threshold change ran
    EXPECT_EQ(form->stream().ComboBox_waveOut.items()[0], "pulse");     // the alternative path
    EXPECT_EQ(row1_kind(), 0);                                          // no F9 file: nothing loaded
    form->FormClose();
    const FaceSettings back = read_face_settings_file(home.path("face.ini"));
    EXPECT_EQ(back.sample_freq, 0);
    EXPECT_FALSE(back.stereo);
    EXPECT_EQ(back.usefastwdm, 1);
    EXPECT_EQ(back.path, "ERROR");  // no preset read: the default again next time
}

TEST_F(FaceIniStartup, PresetChosenFromTheListIsLoadedAgainAfterARestart) {
    home.add_preset("Clean.pre", kKindGain);
    make();
    form->FormShow();
    form->presets().ComboBox_PRESETS.set_item_index(2);
    ASSERT_EQ(row1_kind(), kKindGain);
    form->stream().TrackBar_Latency_Porog.set_position(12);
    form->FormClose();

    reset_engine();
    set_current_preset_path("");
    make();
    form->FormShow();
    EXPECT_EQ(row1_kind(), kKindGain);
    EXPECT_EQ(current_preset_path(), home.path("PRESETS/Clean.pre"));
    EXPECT_EQ(form->stream().latency_threshold(), 12);
}

TEST_F(FaceIniStartup, DevicesAreFoundByNameAfterTheirNumbersMoved) {
    home.write("face.ini", "[Wave Devices]\ninput=0\ninput_name=USB Guitar\noutput=1\noutput_name=USB Out\n");
    make({FakeBackend::input("JACK: system"), FakeBackend::input("USB Guitar"), FakeBackend::output("JACK: system"),
          FakeBackend::output("HDMI"), FakeBackend::output("USB Out")});
    form->FormShow();
    EXPECT_EQ(form->stream().ComboBox_waveIn.text(), "USB Guitar");
    EXPECT_EQ(form->stream().ComboBox_waveOut.text(), "USB Out");

    // A name that is gone: the stored index still counts; one beyond the list does not.
    home.write("face.ini", "[Wave Devices]\ninput=1\ninput_name=Gone\noutput=40\n");
    make({FakeBackend::input("a"), FakeBackend::input("b"), FakeBackend::output("o")});
    form->FormShow();
    EXPECT_EQ(form->stream().ComboBox_waveIn.text(), "b");
    EXPECT_EQ(form->stream().ComboBox_waveOut.item_index(), 0);
}

TEST_F(FaceIniStartup, DamagedFaceIniStartsAtDefaultsAndIsRewrittenCleanly) {
    home.write("face.ini", "\x7f" "ELF\x01\x02\x03 junk\n[Wave Devices]\nSampleFreq=99\nlatency=-4\ninput=\xff\xfe\n");
    make();
    form->FormShow();
    EXPECT_EQ(form->stream().sample_rate(), 48000);
    EXPECT_EQ(form->stream().latency_threshold(), 1);
    form->FormClose();
    const FaceSettings back = read_face_settings_file(home.path("face.ini"));
    EXPECT_EQ(back.sample_freq, 3);
    EXPECT_EQ(back.latency, 1);
}

TEST_F(FaceIniStartup, FatalDeviceExitAndUnwritableFileLeaveTheOldContent) {
    home.write("face.ini", "[Wave Devices]\nlatency=30\n");
    make();
    form->FormShow();
    form->stream().TrackBar_Latency_Porog.set_position(10);
    form->stream().ComboBox_waveOut.set_item_index(1);  // the fallback entry, with no alternative device
    form->stream().BitBtn_Init.click();
    ASSERT_EQ(dialogs.end_calls, 1);
    form->FormClose();
    EXPECT_EQ(home.read("face.ini"), "[Wave Devices]\nlatency=30\n");

    // A face.ini that is a folder cannot be written: one warning, nothing else.
    std::filesystem::remove(home.path("face.ini"));
    std::filesystem::create_directory(home.path("face.ini"));
    make();
    form->FormShow();
    dialogs.messages.clear();
    form->FormClose();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("will not be remembered."), std::string::npos) << dialogs.messages[0];
}

}  // namespace
}  // namespace tw
