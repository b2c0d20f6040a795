// The device layer with a fake backend: the output queue and its arithmetic,
// insert/skip, underflow and priming, the capture path (scale, levels, pieces).
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/tpdf_dither.h"

#include <limits>

#include <cmath>
#include <memory>

#include "engine/audio_devices.h"
#include "engine/dsound.h"
#include "engine/spsc_queue.h"
#include "engine/waves.h"
#include "fake_backend.h"

using tw::test::FakeBackend;

namespace {

TEST(SpscQueue, PushPopWrapAndRefuseWhenFull) {
    tw::audio::SpscQueue q;
    q.reset(6);  // rounded up to 8
    EXPECT_EQ(q.capacity(), 8u);
    const float a[5] = {1, 2, 3, 4.5f, 5};
    EXPECT_TRUE(q.push(a, 5));
    EXPECT_FALSE(q.push(a, 4));  // 9 > 8: nothing is taken
    EXPECT_EQ(q.size(), 5u);
    float out[8] = {};
    EXPECT_EQ(q.pop(out, 3), 3u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2], 3);
    EXPECT_TRUE(q.push(a, 5));  // wraps around the end
    EXPECT_EQ(q.size(), 7u);
    EXPECT_EQ(q.pop(nullptr, 2), 2u);  // discard 4, 5
    EXPECT_EQ(q.pop(out, 8), 5u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[4], 5);
    EXPECT_EQ(q.pop(out, 1), 0u);
}

struct OutputRig : ::testing::Test {
    FakeBackend* fake = nullptr;
    std::unique_ptr<tw::AudioDevices> dev;
    void SetUp() override {
        auto f = std::make_unique<FakeBackend>();
        fake = f.get();
        fake->devs = {FakeBackend::input("in A"), FakeBackend::output("out A"), FakeBackend::output("out B", true)};
        std::vector<std::unique_ptr<tw::audio::AudioBackend>> v;
        v.push_back(std::move(f));
        dev = std::make_unique<tw::AudioDevices>(std::move(v));
    }
    tw::DSound& ds() { return *dev->dsound; }
    void open(int channels, int b_size, int autoprime = 0) {
        tw::WdmDeviceList list;
        ASSERT_EQ(ds().get_wdm_wavout_device_list(&list), 1);
        ASSERT_EQ(ds().select_wdm_waveOut_device(0), 1);
        ds().setup_stereo(channels);
        ds().setup_freq_22_44(48000);
        ds().setup_b_size(b_size);
        ds().setup_auto(autoprime);
        ds().setup_delta_delta(150);
        ds().setup_latency(750);
        ASSERT_EQ(ds().WinMain1(nullptr), 0);
    }
    void push_frames(int frames, int channels, float value) {
        std::vector<float> b(static_cast<std::size_t>(frames * channels), value);
        tw::DSound::out_to_dsound(&ds(), frames, channels, b.data());
    }
};

TEST_F(OutputRig, ListsAndSelectionFollowThePath) {
    tw::WdmDeviceList list;
    EXPECT_EQ(ds().get_wdm_wavout_device_list(&list), 1);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.names[0], "out A");
    EXPECT_EQ(ds().select_wdm_waveOut_device(2), 0);
    EXPECT_EQ(ds().select_wdm_waveOut_device(-1), 0);
    ds().setup_ks_prefered();
    EXPECT_EQ(ds().get_wdm_wavout_device_list(&list), 1);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.names[0], "out B");
    EXPECT_EQ(ds().select_wdm_waveOut_device(0), 1);
    ASSERT_EQ(ds().WinMain1(nullptr), 0);
    EXPECT_EQ(fake->playback_requests.back().device_name, "out B");
}

TEST_F(OutputRig, OpenUsesTheSetupValues) {
    open(1, 128);
    const auto& r = fake->playback_requests.back();
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.frames, 128);
    EXPECT_EQ(r.sample_rate, 48000);
    EXPECT_TRUE(ds().is_open());
    ds().CloseDSound();
    EXPECT_FALSE(fake->playing);
    ds().CloseDSound();  // harmless twice
}

TEST_F(OutputRig, OpenFailureKeepsTheReasonAndLeavesNothingOpen) {
    fake->playback_error = "The JACK server runs at 48000 Hz";
    tw::WdmDeviceList list;
    ds().get_wdm_wavout_device_list(&list);
    ds().select_wdm_waveOut_device(0);
    EXPECT_EQ(ds().WinMain1(nullptr), -1);
    EXPECT_EQ(ds().last_error(), "The JACK server runs at 48000 Hz");
    EXPECT_FALSE(ds().is_open());
    push_frames(100, 2, 1000.0f);
    EXPECT_EQ(ds().get_audio_pos(), 0.0);
}

TEST_F(OutputRig, QueueBytesConversionAndPlayback) {
    open(2, 256);
    push_frames(2400, 2, 1000.0f);
    EXPECT_EQ(ds().get_audio_pos(), 9600.0);  // 2400 stereo frames of 2 bytes
    auto out = fake->pull(256, 2);
    EXPECT_FLOAT_EQ(out[0], 1000.0f / 32768.0f);
    EXPECT_FLOAT_EQ(out[511], 1000.0f / 32768.0f);
    EXPECT_EQ(ds().get_audio_pos(), (2400 - 256) * 4.0);
    EXPECT_EQ(ds().underflows(), 0u);
}

TEST_F(OutputRig, ClipsAtFullScaleKeepsFractionsAndSilencesNaN) {
    open(2, 64);
    std::vector<float> b = {40000.0f, -40000.0f, 1.6f, NAN};
    tw::DSound::out_to_dsound(&ds(), 2, 2, b.data());
    auto out = fake->pull(2, 2);
    EXPECT_FLOAT_EQ(out[0], 32767.0f / 32768.0f);
    EXPECT_FLOAT_EQ(out[1], -1.0f);
    EXPECT_FLOAT_EQ(out[2], 1.6f / 32768.0f);  // floats to the device: no rounding to 16 bits
    EXPECT_FLOAT_EQ(out[3], 0.0f);
}

// The last step before a 16-bit device: unbiased (a level of 0.3 of a step
// averages to 0.3), at most one step either side of the rounding, the clip at
// full scale, NaN silent.
TEST(TpdfDither, UnbiasedWithinOneStepClippedAndNaNSilent) {
    tw::audio::TpdfDither d;
    double sum = 0.0;
    int lowest = 100, highest = -100;
    constexpr int kN = 200000;
    for (int i = 0; i < kN; ++i) {
        const int v = d.to_int16(0.3f / 32768.0f);
        sum += v;
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    EXPECT_NEAR(sum / kN, 0.3, 0.01);
    EXPECT_GE(lowest, -1);
    EXPECT_LE(highest, 1);
    EXPECT_LT(lowest, highest);  // it does dither
    EXPECT_EQ(d.to_int16(2.0f), 32767);
    EXPECT_EQ(d.to_int16(-2.0f), -32768);
    EXPECT_EQ(d.to_int16(NAN), 0);
}

TEST_F(OutputRig, MonoInputFillsBothOutputChannelsAndStereoIsAveragedForMono) {
    open(2, 64);
    std::vector<float> m = {100.0f, 200.0f};
    tw::DSound::out_to_dsound(&ds(), 2, 1, m.data());
    auto out = fake->pull(2, 2);
    EXPECT_FLOAT_EQ(out[0] * 32768.0f, 100.0f);
    EXPECT_FLOAT_EQ(out[1] * 32768.0f, 100.0f);
    EXPECT_FLOAT_EQ(out[3] * 32768.0f, 200.0f);
    ds().CloseDSound();
    open(1, 64);
    std::vector<float> s = {100.0f, 300.0f};
    tw::DSound::out_to_dsound(&ds(), 1, 2, s.data());
    EXPECT_EQ(ds().get_audio_pos(), 2.0);
    EXPECT_FLOAT_EQ(fake->pull(1, 1)[0] * 32768.0f, 200.0f);
}

TEST_F(OutputRig, UnderflowPlaysSilenceAndIsCounted) {
    open(2, 256);
    push_frames(100, 2, 500.0f);
    auto out = fake->pull(256, 2);
    EXPECT_FLOAT_EQ(out[199] * 32768.0f, 500.0f);
    EXPECT_EQ(out[200], 0.0f);
    EXPECT_EQ(out[511], 0.0f);
    EXPECT_EQ(ds().underflows(), 1u);
    fake->pull(256, 2);
    EXPECT_EQ(ds().underflows(), 2u);
}

TEST_F(OutputRig, PrimingWaitsForOneAndAHalfBuffers) {
    open(2, 256, /*autoprime=*/1);
    push_frames(256, 2, 700.0f);
    auto out = fake->pull(256, 2);
    EXPECT_EQ(out[0], 0.0f);  // 256 < 384 frames: still priming, nothing taken
    EXPECT_EQ(ds().get_audio_pos(), 256 * 4.0);
    EXPECT_EQ(ds().underflows(), 0u);
    push_frames(256, 2, 700.0f);
    out = fake->pull(256, 2);
    EXPECT_FLOAT_EQ(out[0] * 32768.0f, 700.0f);
    EXPECT_EQ(ds().get_audio_pos(), 256 * 4.0);
    // An underflow starts priming again.
    fake->pull(256, 2);
    fake->pull(256, 2);
    EXPECT_EQ(ds().underflows(), 1u);
    push_frames(300, 2, 700.0f);
    EXPECT_EQ(fake->pull(256, 2)[0], 0.0f);
}

TEST_F(OutputRig, InsertAddsAndSkipDropsOneBuffer) {
    open(2, 128);
    push_frames(1000, 2, 300.0f);
    ds().insert_buffer();
    auto out = fake->pull(256, 2);
    EXPECT_EQ(out[0], 0.0f);      // 128 frames of silence first
    EXPECT_EQ(out[255], 0.0f);
    EXPECT_FLOAT_EQ(out[256] * 32768.0f, 300.0f);
    EXPECT_EQ(ds().get_audio_pos(), (1000 - 128) * 4.0);
    ds().skip_buffer();
    fake->pull(100, 2);
    EXPECT_EQ(ds().get_audio_pos(), (1000 - 128 - 128 - 100) * 4.0);
    // Skipping more than is queued empties the queue, no more.
    for (int i = 0; i < 10; ++i) ds().skip_buffer();
    fake->pull(0, 2);
    EXPECT_EQ(ds().get_audio_pos(), 0.0);
}

TEST_F(OutputRig, FullQueueDropsNewAudioAndCountsIt) {
    open(2, 256);
    ds().setup_latency(10);
    ds().CloseDSound();
    ASSERT_EQ(ds().WinMain1(nullptr), 0);
    for (int i = 0; i < 100; ++i) push_frames(256, 2, 1.0f);
    EXPECT_GT(ds().overflows(), 0u);
    EXPECT_LE(ds().get_audio_pos(), 32768.0);  // the ring of 6144 frames rounded up to 16384 samples
}

TEST_F(OutputRig, ClosedOutputReportsAnEmptyQueueAndIgnoresInsert) {
    EXPECT_EQ(ds().get_audio_pos(), 0.0);
    ds().insert_buffer();
    ds().skip_buffer();
    open(2, 256);
    push_frames(256, 2, 1.0f);
    EXPECT_EQ(ds().get_audio_pos(), 1024.0);
    ds().CloseDSound();
    EXPECT_EQ(ds().get_audio_pos(), 0.0);
}

// ---- capture side ----

std::int32_t g_calls = 0;
std::int32_t g_max_frames = 0;
float g_first = 0.0f;
std::int32_t doubling_chain(std::int32_t frames, std::int32_t, std::int32_t channels, float* s) {
    ++g_calls;
    g_max_frames = std::max(g_max_frames, frames);
    if (g_calls == 1) g_first = s[0];
    for (int i = 0; i < frames * channels; ++i) s[i] *= 2.0f;
    return 0;
}

struct CaptureRig : OutputRig {
    tw::WaveIn& wi() { return *dev->waves; }
    void start(int frames, int channels = 2) {
        g_calls = 0;
        g_max_frames = 0;
        const auto& l = wi().get_waveIn_device_list();
        ASSERT_EQ(l.highest, 0);
        wi().select_waveIn_device(0);
        ASSERT_EQ(wi().setup_and_start_wave_In(48000, channels, frames, &doubling_chain, &tw::DSound::out_to_dsound,
                                               &ds()),
                  0);
    }
};

TEST_F(CaptureRig, ScalesToSixteenBitsRunsTheChainAndQueuesTheResult) {
    open(2, 256);
    start(256);
    EXPECT_EQ(fake->capture_requests.back().frames, 256);
    EXPECT_EQ(fake->capture_requests.back().device_name, "in A");
    std::vector<float> in(512, 0.25f);
    fake->feed(in, 256);
    EXPECT_FLOAT_EQ(g_first, 8192.0f);
    EXPECT_EQ(ds().get_audio_pos(), 1024.0);
    EXPECT_FLOAT_EQ(fake->pull(256, 2)[0], 0.5f);
    EXPECT_FLOAT_EQ(wi().get_waveIn_level(), 8192.0f);
    EXPECT_FLOAT_EQ(wi().get_waveOut_level(), 16384.0f);
}

TEST_F(CaptureRig, NonFiniteCapturedSamplesEnterTheChainAsSilence) {
    open(2, 256);
    start(256);
    std::vector<float> in(512, 0.25f);
    in[0] = std::numeric_limits<float>::quiet_NaN();
    in[1] = -std::numeric_limits<float>::infinity();
    fake->feed(in, 256);
    EXPECT_EQ(g_first, 0.0f);
    EXPECT_FLOAT_EQ(wi().get_waveIn_level(), 8192.0f);
    const std::vector<float> out = fake->pull(256, 2);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_FLOAT_EQ(out[2], 0.5f);
}

TEST_F(CaptureRig, LargeDeviceBuffersReachTheChainInPiecesOfTheStartSize) {
    open(2, 512);
    start(512);
    std::vector<float> in(2 * 2048, 0.1f);
    fake->feed(in, 2048);
    EXPECT_EQ(g_calls, 4);
    EXPECT_EQ(g_max_frames, 512);
    EXPECT_EQ(ds().get_audio_pos(), 2048 * 4.0);
    std::vector<float> odd(2 * 700, 0.1f);
    fake->feed(odd, 700);
    EXPECT_EQ(g_calls, 6);  // 512 + 188
}

TEST_F(CaptureRig, MixerLevelsScaleAroundUnityAtFifty) {
    EXPECT_FLOAT_EQ(tw::WaveIn::level_gain(50), 1.0f);
    EXPECT_FLOAT_EQ(tw::WaveIn::level_gain(0), 0.0f);
    EXPECT_NEAR(tw::WaveIn::level_gain(100), 10.0f, 1e-4);
    EXPECT_NEAR(tw::WaveIn::level_gain(1), std::pow(10.0f, -19.6f / 20.0f), 1e-6);
    EXPECT_NEAR(tw::WaveIn::level_gain(150), 10.0f, 1e-4);  // clamped
    open(2, 256);
    start(256);
    wi().set_waveIn_level(100);
    wi().set_waveOut_level(0);
    std::vector<float> in(512, 0.01f);
    fake->feed(in, 256);
    EXPECT_NEAR(g_first, 3276.8f, 0.05f);
    EXPECT_FLOAT_EQ(fake->pull(256, 2)[0], 0.0f);
    EXPECT_EQ(wi().get_waveOut_level(), 0.0f);
}

TEST_F(CaptureRig, LevelsDecayAndStopClearsThem) {
    open(2, 256);
    start(256);
    std::vector<float> loud(512, 0.5f), quiet(512, 0.0f);
    fake->feed(loud, 256);
    const float peak = wi().get_waveIn_level();
    for (int i = 0; i < 19; ++i) fake->feed(quiet, 256);  // 20 x 256 frames = 106.7 ms
    EXPECT_LT(wi().get_waveIn_level(), 0.5f * peak);
    EXPECT_GT(wi().get_waveIn_level(), 0.4f * peak);
    wi().stop_and_close_wave_in();
    EXPECT_FALSE(fake->capturing);
    EXPECT_EQ(wi().get_waveIn_level(), 0.0f);
}

TEST_F(CaptureRig, StartFailureIsReported) {
    fake->capture_error = "The demo cannot play at 5 Hz.";
    wi().get_waveIn_device_list();
    wi().select_waveIn_device(0);
    EXPECT_EQ(wi().setup_and_start_wave_In(48000, 2, 256, &doubling_chain, &tw::DSound::out_to_dsound, &ds()), -1);
    EXPECT_EQ(wi().last_error(), "The demo cannot play at 5 Hz.");
    EXPECT_FALSE(wi().capturing());
    wi().select_waveIn_device(7);
    EXPECT_EQ(wi().setup_and_start_wave_In(48000, 2, 256, &doubling_chain, &tw::DSound::out_to_dsound, &ds()), -1);
}

}  // namespace
