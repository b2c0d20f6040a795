// The stream control over a fake backend: first show, START / STOP, every
// failure row, the buffer cap, the latency arithmetic and guard, the bars.
#include <gtest/gtest.h>

#include <memory>

#include "app/stream_control.h"
#include "engine/audio_devices.h"
#include "engine/effects.h"
#include "fake_backend.h"

using tw::test::FakeBackend;
using tw::test::RecordingDialogs;

namespace {

struct StreamRig : ::testing::Test {
    FakeBackend* fake = nullptr;
    std::unique_ptr<tw::AudioDevices> dev;
    RecordingDialogs dialogs;
    std::unique_ptr<tw::StreamControl> sc;

    void make(std::vector<tw::audio::BackendDevice> devs) {
        tw::reset_engine();
        auto f = std::make_unique<FakeBackend>();
        fake = f.get();
        fake->devs = std::move(devs);
        std::vector<std::unique_ptr<tw::audio::AudioBackend>> v;
        v.push_back(std::move(f));
        dev = std::make_unique<tw::AudioDevices>(std::move(v));
        sc = std::make_unique<tw::StreamControl>(*dev->waves, *dev->dsound, dialogs);
    }
    void SetUp() override {
        make({FakeBackend::input("in A"), FakeBackend::input("in B"), FakeBackend::output("out A"),
              FakeBackend::output("out B"), FakeBackend::output("desktop", true)});
    }
    void TearDown() override {
        if (sc) sc->shut_down();
        tw::reset_engine();
    }
    // The controls of the stopped state.
    void expect_stopped() {
        EXPECT_FALSE(sc->running());
        EXPECT_TRUE(sc->BitBtn_Init.enabled());
        EXPECT_EQ(sc->BitBtn_Init.caption(), "START");
        EXPECT_FALSE(sc->BitBtn_Reset.enabled());
        EXPECT_TRUE(sc->ComboBox_waveIn.enabled());
        EXPECT_TRUE(sc->ComboBox_waveOut.enabled());
        EXPECT_TRUE(sc->rgSampleRate.enabled());
        EXPECT_TRUE(sc->cbStereo.enabled());
    }
    void push_frames(int frames, int channels) {
        std::vector<float> b(static_cast<std::size_t>(frames * channels), 1.0f);
        tw::DSound::out_to_dsound(dev->dsound.get(), frames, channels, b.data());
    }
};

TEST_F(StreamRig, DesignStateOfTheControls) {
    EXPECT_EQ(sc->ComboBox_waveIn.text(), "There is no wave input device");
    EXPECT_EQ(sc->ComboBox_waveOut.text(), "wdm output device");
    EXPECT_EQ(sc->ComboBox_waveIn.hint(), " Audio Input Device  ");
    EXPECT_EQ(sc->rgSampleRate.item_index(), 3);
    EXPECT_EQ(sc->rgSampleRate.caption(), "  Sampling Frequency (Hz)");
    EXPECT_EQ(sc->rgSampleRate.columns(), 2);
    EXPECT_TRUE(sc->cbStereo.checked());
    EXPECT_EQ(sc->BitBtn_Init.caption(), " START");
    EXPECT_FALSE(sc->BitBtn_Reset.enabled());
    EXPECT_EQ(sc->spSkinButton19.caption(), "Increase Delay");
    EXPECT_EQ(sc->spSkinButton20.caption(), "Decrease Delay");
    EXPECT_EQ(sc->TrackBar_Latency_Porog.min(), 1);
    EXPECT_EQ(sc->TrackBar_Latency_Porog.max(), 50);
    EXPECT_EQ(sc->TrackBar_Latency_Porog.position(), 35);
    EXPECT_EQ(sc->ScrollBar_waveInGain.position(), 50);
    EXPECT_EQ(sc->Label_Latency_Porog.caption(), "Latency");
    EXPECT_EQ(sc->sample_rate(), 48000);
    EXPECT_EQ(sc->channels(), 2);
    EXPECT_EQ(sc->latency_threshold(), 35);
}

TEST_F(StreamRig, FirstShowFillsBothListsAndSelectsTheFirstEntries) {
    sc->FormShow_device_lists(0);
    ASSERT_EQ(sc->ComboBox_waveIn.count(), 2);
    EXPECT_EQ(sc->ComboBox_waveIn.item_index(), 0);
    EXPECT_EQ(sc->ComboBox_waveIn.text(), "in A");
    ASSERT_EQ(sc->ComboBox_waveOut.count(), 4);
    EXPECT_EQ(sc->ComboBox_waveOut.items()[2], "desktop");
    EXPECT_EQ(sc->ComboBox_waveOut.items()[3], "output: use this if other do not work");
    EXPECT_EQ(sc->ComboBox_waveOut.item_index(), 0);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(sc->BitBtn_Init.enabled());
}

TEST_F(StreamRig, FirstShowWithUsefastwdmListsTheAlternativePath) {
    sc->FormShow_device_lists(1);
    ASSERT_EQ(sc->ComboBox_waveOut.count(), 2);
    EXPECT_EQ(sc->ComboBox_waveOut.items()[0], "desktop");
}

TEST_F(StreamRig, NoInputDeviceDisablesStart) {
    make({FakeBackend::output("out A")});
    sc->FormShow_device_lists(0);
    EXPECT_EQ(sc->ComboBox_waveIn.text(), "There is no sound input device");
    EXPECT_EQ(sc->ComboBox_waveIn.count(), 0);
    EXPECT_FALSE(sc->BitBtn_Init.enabled());
}

TEST_F(StreamRig, NoOutputDeviceShowsTheMessageAndStartStaysHarmless) {
    make({FakeBackend::input("in A")});
    sc->FormShow_device_lists(0);
    EXPECT_EQ(sc->ComboBox_waveOut.text(), "Wdm sound output device not found");
    EXPECT_EQ(sc->ComboBox_waveOut.count(), 0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "There is no wdm sound output device");
    // START with no output list: the message again, nothing opened, still stopped.
    sc->BitBtn_Init.click();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(fake->playback_requests.empty());
    EXPECT_TRUE(fake->capture_requests.empty());
    EXPECT_EQ(dialogs.end_calls, 0);
    expect_stopped();
}

TEST_F(StreamRig, StartRunsTheSequenceAndStopUndoesIt) {
    sc->FormShow_device_lists(0);
    sc->ComboBox_waveIn.set_item_index(1);
    sc->ComboBox_waveOut.set_item_index(1);
    sc->rgSampleRate.set_item_index(2);
    sc->cbStereo.click();  // mono
    fake->min_frames = 128;
    sc->BitBtn_Init.click();
    ASSERT_TRUE(sc->running());
    EXPECT_EQ(tw::chain_active.load(), 1);
    ASSERT_EQ(fake->playback_requests.size(), 1u);
    ASSERT_EQ(fake->capture_requests.size(), 1u);
    const auto& out = fake->playback_requests[0];
    const auto& in = fake->capture_requests[0];
    EXPECT_EQ(out.device_name, "out B");
    EXPECT_EQ(out.sample_rate, 44100);
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.frames, 128);
    EXPECT_EQ(in.device_name, "in B");
    EXPECT_EQ(in.sample_rate, 44100);
    EXPECT_EQ(in.channels, 1);
    EXPECT_EQ(in.frames, 128);
    EXPECT_EQ(fake->min_frames_queries.back(), "in B");
    EXPECT_EQ(sc->buffer_frames(), 128);
    EXPECT_FALSE(sc->BitBtn_Init.enabled());
    EXPECT_EQ(sc->BitBtn_Init.caption(), "START");
    EXPECT_TRUE(sc->BitBtn_Reset.enabled());
    EXPECT_FALSE(sc->ComboBox_waveIn.enabled());
    EXPECT_FALSE(sc->ComboBox_waveOut.enabled());
    EXPECT_FALSE(sc->rgSampleRate.enabled());
    EXPECT_FALSE(sc->cbStereo.enabled());
    EXPECT_EQ(dev->dsound->b_size(), 128);

    sc->BitBtn_Reset.click();
    expect_stopped();
    EXPECT_EQ(tw::chain_active.load(), 0);
    EXPECT_FALSE(fake->capturing);
    EXPECT_FALSE(fake->playing);
    // START works again after STOP.
    sc->BitBtn_Init.click();
    EXPECT_TRUE(sc->running());
    EXPECT_EQ(fake->capture_requests.size(), 2u);
}

TEST_F(StreamRig, BufferIsTheDeviceMinimumCappedAt512) {
    sc->FormShow_device_lists(0);
    fake->min_frames = 600;
    sc->BitBtn_Init.click();
    EXPECT_EQ(sc->buffer_frames(), 512);
    EXPECT_EQ(fake->capture_requests.back().frames, 512);
    sc->BitBtn_Reset.click();
    fake->min_frames = 256;
    sc->BitBtn_Init.click();
    EXPECT_EQ(sc->buffer_frames(), 256);
}

TEST_F(StreamRig, FallbackEntrySetsThreshold45AndUsesTheAlternativePath) {
    sc->FormShow_device_lists(0);
    int hook = 0;
    sc->on_latency_threshold_changed = [&](int ms) { hook = ms; };
    sc->ComboBox_waveOut.set_item_index(3);
    sc->BitBtn_Init.click();
    EXPECT_EQ(sc->latency_threshold(), 45);
    EXPECT_EQ(hook, 45);
    EXPECT_EQ(sc->TrackBar_Latency_Porog.position(), 45);
    ASSERT_EQ(fake->playback_requests.size(), 1u);
    EXPECT_EQ(fake->playback_requests[0].device_name, "desktop");
    EXPECT_TRUE(sc->running());
}

TEST_F(StreamRig, AfterAFallbackRunANormalEntryOpensThatDevice) {
    sc->FormShow_device_lists(0);
    sc->ComboBox_waveOut.set_item_index(3);
    sc->BitBtn_Init.click();
    sc->BitBtn_Reset.click();
    sc->ComboBox_waveOut.set_item_index(1);
    sc->BitBtn_Init.click();
    ASSERT_TRUE(sc->running());
    ASSERT_EQ(fake->playback_requests.size(), 2u);
    EXPECT_EQ(fake->playback_requests[1].device_name, "out B");  // not the alternative list's entry 1
}

TEST_F(StreamRig, FallbackWithNoAlternativeDeviceEndsTheProgram) {
    make({FakeBackend::input("in A"), FakeBackend::output("out A")});
    sc->FormShow_device_lists(0);
    sc->ComboBox_waveOut.set_item_index(1);
    sc->BitBtn_Init.click();
    EXPECT_EQ(sc->ComboBox_waveOut.text(), "Standard wdm sound output device not found");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "There is no standard wdm sound output device");
    EXPECT_EQ(dialogs.end_calls, 1);
    EXPECT_EQ(dialogs.end_code, 0);
    EXPECT_TRUE(fake->playback_requests.empty());
    EXPECT_FALSE(sc->running());
}

TEST_F(StreamRig, FailedSelectionEndsTheProgram) {
    sc->FormShow_device_lists(0);
    // The output list of the device layer shrinks behind the combo's back (the
    // combo still offers "out B", the layer's list no longer has index 1).
    fake->devs = {FakeBackend::input("in A"), FakeBackend::output("out A")};
    tw::WdmDeviceList l;
    dev->dsound->get_wdm_wavout_device_list(&l);
    sc->ComboBox_waveOut.set_item_index(1);
    sc->BitBtn_Init.click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "Can not select wdm output device. Restart Tonewarp!");
    EXPECT_EQ(dialogs.end_calls, 1);
    EXPECT_TRUE(fake->playback_requests.empty());
}

TEST_F(StreamRig, OutputOpenFailureShowsTheMessageAndStartIsUsableAgain) {
    sc->FormShow_device_lists(0);
    sc->ComboBox_waveOut.set_item_index(1);
    fake->playback_error = "out B cannot run at 48000 Hz";
    sc->BitBtn_Init.click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "Error: Can not open  out B 1");
    EXPECT_EQ(dialogs.details[0], "out B cannot run at 48000 Hz");
    EXPECT_EQ(dialogs.end_calls, 0);
    EXPECT_TRUE(fake->capture_requests.empty());
    expect_stopped();
    EXPECT_EQ(tw::chain_active.load(), 1);  // untouched by a failed START
    fake->playback_error.clear();
    sc->BitBtn_Init.click();
    EXPECT_TRUE(sc->running());
}

TEST_F(StreamRig, InputStartFailureClosesTheOutputAndStaysStopped) {
    sc->FormShow_device_lists(0);
    fake->capture_error = "The JACK server runs at 48000 Hz; 44100 Hz cannot be used with it.";
    sc->rgSampleRate.set_item_index(2);
    sc->BitBtn_Init.click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "Error: Can not open  in A 0");
    EXPECT_EQ(dialogs.details[0], fake->capture_error);
    EXPECT_FALSE(fake->playing);
    EXPECT_FALSE(dev->dsound->is_open());
    expect_stopped();
}

TEST_F(StreamRig, DeviceAndRateChangesAreIgnoredWhileRunning) {
    sc->FormShow_device_lists(0);
    sc->BitBtn_Init.click();
    ASSERT_TRUE(sc->running());
    sc->ComboBox_waveIn.set_item_index(1);
    EXPECT_EQ(dev->waves->selected_device(), 0);
    sc->rgSampleRate.set_item_index(0);
    EXPECT_EQ(sc->sample_rate(), 48000);
    sc->BitBtn_Reset.click();
    sc->ComboBox_waveIn.set_item_index(0);
    sc->ComboBox_waveIn.set_item_index(1);
    EXPECT_EQ(dev->waves->selected_device(), 1);
    EXPECT_TRUE(sc->ComboBox_waveIn.enabled());
    sc->rgSampleRate.set_item_index(1);
    EXPECT_EQ(sc->sample_rate(), 32075);
    sc->rgSampleRate.set_item_index(0);
    EXPECT_EQ(sc->sample_rate(), 22050);
}

TEST_F(StreamRig, GainBarsAreInverted) {
    sc->FormShow_device_lists(0);
    sc->BitBtn_Init.click();
    sc->ScrollBar_waveInGain.set_position(0);
    sc->ScrollBar_waveOutGain.set_position(100);
    std::vector<float> in(512, 0.01f);
    fake->feed(in, 256);
    // Input level 100 (x10), output level 0 (silence).
    EXPECT_NEAR(dev->waves->get_waveIn_level(), 3276.8f, 0.05f);
    EXPECT_EQ(dev->waves->get_waveOut_level(), 0.0f);
    sc->ScrollBar_waveOutGain.set_position(50);
    fake->feed(in, 256);
    EXPECT_NEAR(dev->waves->get_waveOut_level(), 3276.8f, 0.05f);
}

TEST_F(StreamRig, ThresholdChangeAndLabelTexts) {
    int hook = 0;
    sc->on_latency_threshold_changed = [&](int ms) { hook = ms; };
    sc->TrackBar_Latency_Porog.set_position(20);
    EXPECT_EQ(sc->latency_threshold(), 20);
    EXPECT_EQ(hook, 20);
    EXPECT_EQ(sc->Label_Latency_Porog.caption(), "20 ms");
    sc->TrackBar_Latency_PorogMouseLeave();
    EXPECT_EQ(sc->Label_Latency_Porog.caption(), "Latency");
    sc->TrackBar_Latency_PorogMouseEnter();
    EXPECT_EQ(sc->Label_Latency_Porog.caption(), "20 ms");
    sc->TrackBar_Latency_Porog.set_position(99);
    EXPECT_EQ(sc->latency_threshold(), 50);
}

TEST_F(StreamRig, LatencyIsTheSmoothedQueueInMilliseconds) {
    sc->FormShow_device_lists(0);
    sc->TrackBar_Latency_Porog.set_position(50);
    sc->BitBtn_Init.click();
    push_frames(2400, 2);  // 9600 bytes
    sc->status_tick();
    EXPECT_DOUBLE_EQ(sc->smoothed_queue(), 2400.0);
    EXPECT_FLOAT_EQ(sc->latency(), 12.5f);
    for (int i = 0; i < 200; ++i) sc->status_tick();
    EXPECT_NEAR(sc->latency(), 50.0f, 1e-3);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 9600.0);  // never above 50: no skip requested
    fake->pull(0, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 9600.0);
}

TEST_F(StreamRig, GuardSkipsOnlyAboveTheThreshold) {
    sc->FormShow_device_lists(0);
    sc->BitBtn_Init.click();  // threshold 35, 48000 Hz stereo, 256-frame buffers
    push_frames(6720, 2);     // 26880 bytes: the first tick reads exactly 35 ms
    sc->status_tick();
    EXPECT_FLOAT_EQ(sc->latency(), 35.0f);
    fake->pull(0, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 26880.0);  // equal: no skip
    sc->status_tick();  // 35 * 0.75 + 140 * 0.25 > 35
    EXPECT_GT(sc->latency(), 35.0f);
    fake->pull(0, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 26880.0 - 256 * 4);  // one buffer dropped
}

TEST_F(StreamRig, GuardDropsALargeBacklogAtOnceAndTheServersPartIsShownNotGuarded) {
    fake->capture_ms = 4.0;
    fake->playback_ms = 40.0;  // above the threshold on its own: not the guard's to drop
    sc->FormShow_device_lists(0);
    sc->BitBtn_Init.click();
    push_frames(48000, 2);  // one second queued (an output that began late)
    sc->status_tick();      // smoothed 250 ms > 2 x 35: down to the threshold at once
    EXPECT_FLOAT_EQ(sc->queue_latency(), 35.0f);
    EXPECT_FLOAT_EQ(sc->device_latency(), 44.0f);
    EXPECT_FLOAT_EQ(sc->latency(), 79.0f);
    fake->pull(0, 2);
    // 1000 ms - (1000 - 35) ms - one 256-frame buffer = 35 ms - 256 frames.
    EXPECT_EQ(dev->dsound->get_audio_pos(), (1680.0 - 256.0) * 4.0);
    // The next ticks start from the threshold, not from the old backlog: no
    // second catch-up, and the queue's own part alone decides the guard.
    sc->status_tick();
    fake->pull(0, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), (1680.0 - 256.0) * 4.0);
    EXPECT_LT(sc->queue_latency(), 35.0f);
    sc->BitBtn_Reset.click();
    sc->status_tick();
    EXPECT_EQ(sc->device_latency(), 0.0f);
}

TEST_F(StreamRig, OneCycleBackendPlaysEachBufferInTheCycleItCameInAndOthersKeepPriming) {
    fake->duplex = true;
    sc->FormShow_device_lists(0);
    sc->BitBtn_Init.click();
    ASSERT_TRUE(sc->same_cycle());
    // Before the first capture there is nothing to play and nothing missing.
    fake->pull(256, 2);
    EXPECT_EQ(dev->dsound->underflows(), 0u);
    // Each cycle: the capture, then the output plays that very buffer.
    std::vector<float> in(512, 0.0f);
    for (int cycle = 0; cycle < 3; ++cycle) {
        for (int i = 0; i < 256; ++i) in[2 * i] = in[2 * i + 1] = 0.001f * (cycle * 256 + i + 1);
        fake->feed(in, 256);
        const auto out = fake->pull(256, 2);
        EXPECT_NEAR(out[0], in[0], 1.0f / 32768) << "cycle " << cycle;
        EXPECT_NEAR(out[510], in[510], 1.0f / 32768) << "cycle " << cycle;
        EXPECT_EQ(dev->dsound->get_audio_pos(), 0.0);
    }
    // Increase Delay: one buffer later, on purpose; Decrease Delay: back.
    sc->spSkinButton19.click();
    fake->feed(in, 256);
    EXPECT_EQ(fake->pull(256, 2)[0], 0.0f);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 256 * 4.0);  // one buffer waits
    fake->feed(in, 256);
    fake->pull(256, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 256 * 4.0);  // and keeps waiting
    sc->spSkinButton20.click();
    fake->feed(in, 256);
    EXPECT_NEAR(fake->pull(256, 2)[0], in[0], 1.0f / 32768);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 0.0);
    EXPECT_EQ(dev->dsound->underflows(), 0u);
    sc->BitBtn_Reset.click();

    // Input and output on different backends (or one that runs them apart):
    // the queue path with its priming, as before.
    fake->duplex = false;
    sc->BitBtn_Init.click();
    EXPECT_FALSE(sc->same_cycle());
    fake->feed(in, 256);
    EXPECT_EQ(fake->pull(256, 2)[0], 0.0f);  // 150 % of a buffer must be queued first
}

TEST_F(StreamRig, QueueHeldThroughAWholeSecondIsTrimmedToOneBuffer) {
    sc->FormShow_device_lists(0);
    sc->TrackBar_Latency_Porog.set_position(50);
    sc->BitBtn_Init.click();
    push_frames(2048, 2);  // 42.7 ms: under the threshold, the guard stays quiet
    auto cycle = [&] {
        fake->pull(256, 2);
        push_frames(256, 2);
        sc->status_tick();
    };
    for (int i = 0; i < 9; ++i) cycle();
    fake->pull(0, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 2048 * 4.0);  // not a whole second yet
    cycle();  // the queue never fell below 1792 frames: all but one buffer of them go
    fake->pull(256, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 256 * 4.0);
    EXPECT_EQ(dev->dsound->underflows(), 0u);
    // A queue that once ran low within the second is a cushion that was
    // needed: left alone (2304 frames, drawn down to nothing once).
    push_frames(2048, 2);
    for (int i = 0; i < 10; ++i) {
        fake->pull(i == 4 ? 2304 : 256, 2);
        push_frames(256, 2);
        sc->status_tick();
    }
    fake->pull(0, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 256 * 4.0);
    EXPECT_EQ(dev->dsound->underflows(), 0u);
}

TEST_F(StreamRig, LatencyReadsZeroWhileStoppedAndMonoHalvesTheBytesPerMs) {
    sc->status_tick();
    EXPECT_EQ(sc->latency(), 0.0f);
    sc->FormShow_device_lists(0);
    sc->cbStereo.click();
    sc->BitBtn_Init.click();
    push_frames(4800, 1);  // 9600 bytes of mono = 100 ms
    sc->TrackBar_Latency_Porog.set_position(50);
    sc->status_tick();
    EXPECT_FLOAT_EQ(sc->latency(), 25.0f);
}

TEST_F(StreamRig, DelayButtonsInsertAndSkipOneBuffer) {
    sc->FormShow_device_lists(0);
    sc->BitBtn_Init.click();
    push_frames(1024, 2);
    sc->spSkinButton20.click();
    fake->pull(0, 2);
    EXPECT_EQ(dev->dsound->get_audio_pos(), (1024 - 256) * 4.0);
    sc->spSkinButton19.click();
    fake->pull(256, 2);  // plays the inserted silence, takes nothing
    EXPECT_EQ(dev->dsound->get_audio_pos(), (1024 - 256) * 4.0);
}

TEST_F(StreamRig, ShutDownStopsAndClosesAndFirstShowRunsOnce) {
    sc->FormShow_device_lists(0);
    sc->FormShow_device_lists(0);
    EXPECT_EQ(sc->ComboBox_waveIn.count(), 2);
    sc->BitBtn_Init.click();
    sc->shut_down();
    EXPECT_FALSE(fake->capturing);
    EXPECT_FALSE(fake->playing);
    EXPECT_FALSE(sc->running());
}

TEST_F(StreamRig, AStreamTheSoundSystemClosedStopsAndTellsTheUser) {
    sc->is_stream_lost = [this] { return dev->catalog.stream_lost(); };
    sc->FormShow_device_lists(0);
    sc->status_tick();  // stopped: the probe is not consulted
    sc->BitBtn_Init.click();
    ASSERT_TRUE(sc->running());
    sc->status_tick();
    EXPECT_TRUE(sc->running());
    EXPECT_TRUE(dialogs.messages.empty());
    fake->lost = true;
    sc->status_tick();
    expect_stopped();
    EXPECT_EQ(tw::chain_active.load(), 0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], tw::StreamControl::kStreamLostMessage);
    sc->status_tick();  // told once only
    EXPECT_EQ(dialogs.messages.size(), 1u);
    fake->lost = false;
    sc->BitBtn_Init.click();
    EXPECT_TRUE(sc->running());
}

}  // namespace
