// The built-in devices for real: the demo guitar feeding the null output
// through the device layer on their own paced threads, and the riff itself.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cmath>
#include <thread>

#include "app/stream_control.h"
#include "engine/audio_builtin.h"
#include "engine/audio_devices.h"
#include "engine/demo_guitar.h"
#include "engine/effects.h"
#include "fake_backend.h"

namespace {

TEST(DemoGuitar, RiffIsAudibleBoundedAndRepeatable) {
    const auto a = tw::audio::synthesize_demo_guitar(48000);
    const auto b = tw::audio::synthesize_demo_guitar(48000);
    ASSERT_EQ(a, b);
    const double seconds = static_cast<double>(a.size()) / 48000.0;
    EXPECT_GT(seconds, 6.0);
    EXPECT_LT(seconds, 12.0);
    float peak = 0.0f;
    double energy = 0.0;
    for (float v : a) {
        ASSERT_TRUE(std::isfinite(v));
        peak = std::max(peak, std::fabs(v));
        energy += static_cast<double>(v) * v;
    }
    EXPECT_NEAR(peak, 0.5f, 1e-6);
    const double rms = std::sqrt(energy / static_cast<double>(a.size()));
    EXPECT_GT(rms, 0.03);  // sounding most of the time, not one click
    // At another rate the riff keeps its length.
    const auto c = tw::audio::synthesize_demo_guitar(22050);
    EXPECT_NEAR(static_cast<double>(c.size()) / 22050.0, seconds, 0.01);
}

TEST(DemoGuitar, LoaderMixesToMonoAndResamples) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tw_loop_" + std::to_string(getpid()) + ".wav")).string();
    SF_INFO info{};
    info.samplerate = 24000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> st(2 * 2400);
    for (int i = 0; i < 2400; ++i) {
        st[2 * i] = 0.5f * static_cast<float>(i) / 2400.0f;  // a ramp on the left
        st[2 * i + 1] = 0.0f;
    }
    sf_writef_float(f, st.data(), 2400);
    sf_close(f);
    const auto same = tw::audio::load_loop(path, 24000);
    const auto up = tw::audio::load_loop(path, 48000);
    std::filesystem::remove(path);
    ASSERT_EQ(same.size(), 2400u);
    EXPECT_NEAR(same[1200], 0.125f, 1e-3);  // (0.25 + 0) / 2
    ASSERT_EQ(up.size(), 4800u);
    EXPECT_NEAR(up[2400], 0.125f, 1e-3);
    EXPECT_NEAR(up[2401], 0.5f * (same[1200] + same[1201]), 1e-5);  // halfway between two samples
}

TEST(DemoGuitar, LoaderRejectsMissingFiles) {
    EXPECT_TRUE(tw::audio::load_loop("/nonexistent/demo.wav", 48000).empty());
    EXPECT_TRUE(tw::audio::load_loop("/etc/hostname", 48000).empty());
}

TEST(BuiltinDevices, OfferedAfterTheRealOnesAndHideable) {
    std::vector<std::unique_ptr<tw::audio::AudioBackend>> v;
    auto fake = std::make_unique<tw::test::FakeBackend>();
    fake->devs = {tw::test::FakeBackend::input("real in"), tw::test::FakeBackend::output("real out")};
    v.push_back(std::move(fake));
    v.push_back(tw::audio::make_builtin_backend(""));
    tw::AudioDevices dev(std::move(v));
    const auto& in = dev.waves->get_waveIn_device_list();
    ASSERT_EQ(in.highest, 1);
    EXPECT_EQ(in.names[1], "Demo guitar (built-in)");
    tw::WdmDeviceList out;
    ASSERT_EQ(dev.dsound->get_wdm_wavout_device_list(&out), 1);
    ASSERT_EQ(out.count, 2);
    EXPECT_EQ(out.names[1], "Null output (no sound card)");

    tw::DeviceOptions none("");
    none.builtin_devices = false;
    none.system_devices = false;
    tw::AudioDevices empty(tw::make_system_backends(none));
    EXPECT_EQ(empty.waves->get_waveIn_device_list().highest, -1);
    EXPECT_EQ(empty.dsound->get_wdm_wavout_device_list(&out), 0);
}

// The demo input and the null output run for half a second at 48000 Hz with
// 256-frame buffers: about 94 buffers each way. Bounds are loose: the machine
// may be busy, but a stuck or racing thread is far outside them.
TEST(BuiltinDevices, DemoThroughNullOutputRunsInRealTime) {
    tw::reset_engine();
    tw::DeviceOptions opt("/nonexistent.wav");  // the riff is synthesised instead
    opt.system_devices = false;
    tw::AudioDevices dev(tw::make_system_backends(opt));
    tw::test::RecordingDialogs dialogs;
    tw::StreamControl sc(*dev.waves, *dev.dsound, dialogs);
    sc.FormShow_device_lists(0);
    ASSERT_EQ(sc.ComboBox_waveIn.text(), "Demo guitar (built-in)");
    ASSERT_EQ(sc.ComboBox_waveOut.text(), "Null output (no sound card)");
    sc.BitBtn_Init.click();
    ASSERT_TRUE(sc.running()) << (dialogs.messages.empty() ? "" : dialogs.messages[0] + " " + dialogs.details[0]);
    EXPECT_EQ(sc.buffer_frames(), 256);
    float max_in = 0.0f;
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sc.status_tick();
        max_in = std::max(max_in, dev.waves->get_waveIn_level());
        EXPECT_LT(sc.latency(), 60.0f);
    }
    // Increase / Decrease Delay while both threads run.
    sc.spSkinButton19.click();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    sc.spSkinButton20.click();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto buffers = dev.waves->buffers();
    const auto played = dev.dsound->frames_played();
    sc.BitBtn_Reset.click();
    EXPECT_GT(buffers, 40u);
    EXPECT_LT(buffers, 220u);
    EXPECT_GT(played, 40u * 256u);
    EXPECT_LT(played, 220u * 256u);
    EXPECT_GT(max_in, 1000.0f);  // the riff peaks at half scale: 16384
    EXPECT_LE(max_in, 16385.0f);
    // After STOP nothing runs any more.
    const auto after = dev.waves->buffers();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(dev.waves->buffers(), after);
}

}  // namespace
