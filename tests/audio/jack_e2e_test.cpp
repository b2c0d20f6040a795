// End to end on a JACK server with the dummy driver (started by the ctest
// fixture, named by JACK_DEFAULT_SERVER): the stream runs on the JACK devices
// with a Gain preset (x2), a JACK client of the test's own feeds a sine into
// the capture ports and records the output ports.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "app/stream_control.h"
#include "engine/audio_devices.h"
#include "engine/effects.h"
#include "fake_backend.h"
#include "fx/gain_form.h"
#include "presets/preset_file.h"

namespace {

constexpr int kRate = 48000;
constexpr float kAmp = 0.25f;
constexpr double kFreq = 441.0;

// The test's own JACK client: two outputs playing silence and then a sine
// from `onset` on, two inputs recorded into fixed arrays.
class Probe {
public:
    static constexpr std::size_t kCapacity = kRate * 8;

    bool open() {
        client_ = jack_client_open("tw_probe", JackNoStartServer, nullptr);
        if (!client_) return false;
        for (int c = 0; c < 2; ++c) {
            out_[c] = jack_port_register(client_, ("out_" + std::to_string(c + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsOutput, 0);
            in_[c] = jack_port_register(client_, ("in_" + std::to_string(c + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsInput, 0);
            rec_[c].assign(kCapacity, 0.0f);
        }
        jack_set_process_callback(client_, &Probe::process, this);
        jack_set_xrun_callback(client_, &Probe::xrun, this);
        return jack_activate(client_) == 0;
    }
    ~Probe() {
        if (client_) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    bool connect(const char* from, const char* to) { return jack_connect(client_, from, to) == 0; }
    bool port_exists(const char* name) { return jack_port_by_name(client_, name) != nullptr; }
    void start_sine() { onset_.store(frame_.load()); }
    // Cycles the server reported late (the dummy driver without real-time
    // scheduling on a busy machine): a dropout then is the server's, not ours.
    int xruns() const { return xruns_.load(); }
    std::size_t onset() const { return onset_.load(); }
    std::size_t recorded() const { return std::min<std::size_t>(frame_.load(std::memory_order_acquire), kCapacity); }
    const std::vector<float>& rec(int c) const { return rec_[c]; }

private:
    static int xrun(void* arg) {
        static_cast<Probe*>(arg)->xruns_.fetch_add(1);
        return 0;
    }
    static int process(jack_nframes_t n, void* arg) {
        auto* self = static_cast<Probe*>(arg);
        const std::size_t f0 = self->frame_.load(std::memory_order_relaxed);
        const std::size_t on = self->onset_.load(std::memory_order_relaxed);
        for (int c = 0; c < 2; ++c) {
            auto* o = static_cast<float*>(jack_port_get_buffer(self->out_[c], n));
            auto* i = static_cast<const float*>(jack_port_get_buffer(self->in_[c], n));
            for (jack_nframes_t k = 0; k < n; ++k) {
                const std::size_t f = f0 + k;
                o[k] = f >= on ? kAmp * static_cast<float>(std::sin(2.0 * M_PI * kFreq * static_cast<double>(f - on) / kRate))
                               : 0.0f;
                if (f < kCapacity) self->rec_[c][f] = i[k];
            }
        }
        self->frame_.store(f0 + n, std::memory_order_release);  // publishes the recorded frames
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* out_[2] = {};
    jack_port_t* in_[2] = {};
    std::vector<float> rec_[2];
    std::atomic<std::size_t> frame_{0};
    std::atomic<std::size_t> onset_{static_cast<std::size_t>(-1)};
    std::atomic<int> xruns_{0};
};

struct JackRig : ::testing::Test {
    std::unique_ptr<tw::AudioDevices> dev;
    tw::test::RecordingDialogs dialogs;
    std::unique_ptr<tw::StreamControl> sc;
    std::unique_ptr<tw::ChainEditor> editor;
    std::filesystem::path dir;

    void SetUp() override {
        ASSERT_NE(std::getenv("JACK_DEFAULT_SERVER"), nullptr) << "run through ctest (the JACK fixture)";
        tw::reset_engine();
        tw::DeviceOptions opt("");  // no built-in devices: no demo loop
        opt.builtin_devices = false;
        dev = std::make_unique<tw::AudioDevices>(tw::make_system_backends(opt));
        sc = std::make_unique<tw::StreamControl>(*dev->waves, *dev->dsound, dialogs);
        sc->FormShow_device_lists(0);
        dir = std::filesystem::temp_directory_path() / ("tw_jack_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        sc->shut_down();
        editor.reset();
        tw::reset_engine();
        std::filesystem::remove_all(dir);
    }
    // A preset whose first slot is a Gain at x2 on both channels, saved and then
    // loaded into a fresh chain editor.
    void load_gain_preset() {
        std::filesystem::create_directories(dir / "PRESETS");
        const std::string path = (dir / "PRESETS" / "Gain x2.pre").string();
        {
            tw::ChainEditor maker;
            maker.fill_kind_lists_and_build_chain();
            maker.row(1).combo.set_item_index(tw::kKindGain);
            maker.row(1).check.set_checked(true);
            auto* g = dynamic_cast<tw::Tgain_form*>(maker.instance(1));
            ASSERT_NE(g, nullptr);
            g->ScrollBar_Gain_Left.set_position(55);
            g->ScrollBar_Gain_Right.set_position(55);
            std::string err;
            ASSERT_TRUE(tw::save_preset_file(maker, path, &err)) << err;
        }
        editor = std::make_unique<tw::ChainEditor>();
        editor->fill_kind_lists_and_build_chain();
        ASSERT_TRUE(tw::load_preset(*editor, path));
        ASSERT_EQ(editor->staging().slot[0].kind, tw::kKindGain);
    }
    int jack_index(const tw::ui::ComboBox& c) {
        for (int i = 0; i < c.count(); ++i)
            if (c.items()[i] == "JACK: system") return i;
        return -1;
    }
};

TEST_F(JackRig, GainPresetRunsLiveWithLowLatencyAndStopsCleanly) {
    const int in = jack_index(sc->ComboBox_waveIn), out = jack_index(sc->ComboBox_waveOut);
    ASSERT_GE(in, 0) << "no JACK input listed";
    ASSERT_GE(out, 0);
    ASSERT_NO_FATAL_FAILURE(load_gain_preset());
    sc->ComboBox_waveIn.set_item_index(in);
    sc->ComboBox_waveOut.set_item_index(out);
    EXPECT_EQ(dev->waves->get_min_buf_size_waveIn(48000, 2), 256);  // the server's period

    Probe probe;
    ASSERT_TRUE(probe.open());
    sc->BitBtn_Init.click();
    ASSERT_TRUE(sc->running()) << (dialogs.messages.empty() ? "" : dialogs.messages[0] + " / " + dialogs.details[0]);
    EXPECT_EQ(sc->buffer_frames(), 256);
    ASSERT_TRUE(probe.connect("tw_probe:out_1", "tonewarp:inport 0"));
    ASSERT_TRUE(probe.connect("tw_probe:out_2", "tonewarp:inport 1"));
    ASSERT_TRUE(probe.connect("tonewarp:outport 0", "tw_probe:in_1"));
    ASSERT_TRUE(probe.connect("tonewarp:outport 1", "tw_probe:in_2"));

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int xruns_before = probe.xruns();
    const std::uint64_t underflows_before = dev->dsound->underflows();
    probe.start_sine();
    float max_latency = 0.0f, max_queue = 0.0f;
    for (int i = 0; i < 25; ++i) {  // 2.5 s of status ticks
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sc->status_tick();
        if (i >= 5) {
            max_latency = std::max(max_latency, sc->latency());
            max_queue = std::max(max_queue, sc->queue_latency());
        }
    }
    const float in_level = dev->waves->get_waveIn_level();
    const float out_level = dev->waves->get_waveOut_level();
    const std::size_t end = probe.recorded();
    const std::uint64_t underflows = dev->dsound->underflows() - underflows_before;
    const int xruns = probe.xruns() - xruns_before;
    sc->BitBtn_Reset.click();
    EXPECT_TRUE(dialogs.messages.empty());

    // Levels on the 16-bit scale: 0.25 in, doubled by the Gain.
    EXPECT_NEAR(in_level, kAmp * 32768.0f, 0.03f * kAmp * 32768.0f);
    EXPECT_NEAR(out_level, 2 * kAmp * 32768.0f, 0.03f * 2 * kAmp * 32768.0f);

    // The sine comes back doubled; the delay from onset to its first sample is
    // the added latency of the whole road (a few periods at most).
    const std::size_t on = probe.onset();
    ASSERT_LT(on + kRate, end);
    std::size_t first = end;
    for (std::size_t f = on; f < end; ++f)
        if (std::fabs(probe.rec(0)[f]) > 0.05f) {
            first = f;
            break;
        }
    ASSERT_LT(first, end) << "the sine never came back";
    const double delay_ms = 1000.0 * static_cast<double>(first - on) / kRate;
    std::printf("round trip %.2f ms, measured latency up to %.2f ms, underflows %llu, server xruns %d\n", delay_ms,
                max_latency, static_cast<unsigned long long>(underflows), xruns);
    EXPECT_LT(delay_ms, 6 * 256 * 1000.0 / kRate);

    // Steady state (from 0.5 s after the sine arrived): every 64-frame block
    // peaks at 2 x 0.25 on both channels - no dropout, no wrong gain.
    const std::size_t from = first + kRate / 2;
    ASSERT_LT(from + 64 * 100, end);
    int bad = 0, blocks = 0;
    for (int c = 0; c < 2; ++c)
        for (std::size_t b = from; b + 64 <= end - 512; b += 64) {
            float pk = 0.0f;
            for (std::size_t f = b; f < b + 64; ++f) pk = std::max(pk, std::fabs(probe.rec(c)[f]));
            if (pk < 0.45f || pk > 0.52f) ++bad;
            ++blocks;
        }
    if (xruns == 0) {
        EXPECT_EQ(bad, 0);
        EXPECT_EQ(underflows, 0u);
    } else {
        // The server itself dropped cycles: a few blocks may be hit, no more.
        EXPECT_LE(bad, 16 * xruns) << "of " << blocks << " blocks, " << xruns << " server xruns";
    }

    // The latency shown is the server's own (its port latencies): input and
    // output on one server run in one cycle, so the queue adds nothing.
    EXPECT_GT(max_latency, 0.0f);
    EXPECT_EQ(max_queue, 0.0f);
    EXPECT_LE(max_latency, 4 * 256 * 1000.0f / kRate);

    // A clean STOP: both clients gone, nothing captured any more.
    EXPECT_FALSE(probe.port_exists("tonewarp:inport 0"));
    EXPECT_FALSE(probe.port_exists("tonewarp:outport 0"));
    const auto buffers = dev->waves->buffers();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(dev->waves->buffers(), buffers);
    EXPECT_EQ(dev->dsound->get_audio_pos(), 0.0);
}

TEST_F(JackRig, RateTheServerDoesNotRunFailsStartClearlyAndStartWorksAgain) {
    const int in = jack_index(sc->ComboBox_waveIn), out = jack_index(sc->ComboBox_waveOut);
    ASSERT_GE(in, 0);
    sc->ComboBox_waveIn.set_item_index(in);
    sc->ComboBox_waveOut.set_item_index(out);
    sc->rgSampleRate.set_item_index(2);  // 44100
    sc->BitBtn_Init.click();
    EXPECT_FALSE(sc->running());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "Error: Can not open  JACK: system " + std::to_string(out));
    EXPECT_NE(dialogs.details[0].find("48000"), std::string::npos) << dialogs.details[0];
    EXPECT_TRUE(sc->BitBtn_Init.enabled());
    EXPECT_EQ(dialogs.end_calls, 0);

    sc->rgSampleRate.set_item_index(3);
    sc->BitBtn_Init.click();
    EXPECT_TRUE(sc->running());
    sc->BitBtn_Reset.click();
    EXPECT_FALSE(sc->running());
}

#ifdef TW_LIVE_EXE
TEST_F(JackRig, HeadlessToolRunsAPresetAndExitsCleanly) {
    ASSERT_NO_FATAL_FAILURE(load_gain_preset());
    // A bare preset name is found in PRESETS/ of the --home folder.
    const std::string cmd = std::string(TW_LIVE_EXE) + " --no-builtin --home \"" + dir.string() +
                            "\" --preset \"Gain x2\" --seconds 1.5 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) text += buf;
    const int status = pclose(p);
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_NE(text.find("Running: JACK: system -> JACK: system, 48000 Hz, stereo, 256-frame buffers"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("latency"), std::string::npos) << text;
    EXPECT_NE(text.find("Path: one callback (one JACK client"), std::string::npos) << text;
    EXPECT_NE(text.find("preset " + (dir / "PRESETS" / "Gain x2.pre").string()), std::string::npos) << text;
    EXPECT_NE(text.find("Stopped."), std::string::npos) << text;
}
#endif

}  // namespace
