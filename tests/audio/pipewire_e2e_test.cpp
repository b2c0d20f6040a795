// End to end on a private PipeWire server without hardware (started by the
// ctest fixture, pipewire_fixture.sh; found through XDG_RUNTIME_DIR): a sine
// from the test's probe goes into the source TestSource, the stream runs it
// through a Gain preset (x2) to the sink TestOut, and the probe records
// TestOut's monitor. The output goes through the native node, the PulseAudio
// service (pipewire-pulse) or the JACK library of pipewire-jack; the input
// through the Pulse service or pipewire-jack. Also: the quantum changed under
// a running stream, the demo input to the default sink in the headless tool,
// and a server killed under the window's stream and under the headless tool.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "app/stream_control.h"
#include "engine/audio_devices.h"
#include "engine/effects.h"
#include "fake_backend.h"
#include "fx/gain_form.h"
#include "graph_probe.h"
#include "e2e_support.h"
#include "presets/preset_file.h"

namespace {

constexpr float kAmp = 0.25f;
constexpr int kRate = tw::test::GraphProbe::kRate;

using tw::test::index_of;
using tw::test::run;
using tw::test::write_gain_preset;

// The graph's quantum forced (0: released again), as a user does with pw-metadata.
bool force_quantum(int frames) {
    std::string text;
    return run("timeout 5 pw-metadata -n settings 0 clock.force-quantum " + std::to_string(frames), text) == 0;
}

struct PipeWireRig : ::testing::Test {
    std::filesystem::path dir;
    void SetUp() override {
        ASSERT_NE(std::getenv("XDG_RUNTIME_DIR"), nullptr) << "run through ctest (the PipeWire fixture)";
        tw::reset_engine();
        dir = std::filesystem::temp_directory_path() / ("tw_pipewire_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        force_quantum(0);
        tw::reset_engine();
        std::filesystem::remove_all(dir);
    }
};

// The stream, its chain and the probe, set up for one pair of devices.
struct LiveGain {
    tw::AudioDevices dev{tw::make_system_backends([] {
        tw::DeviceOptions opt("");
        opt.builtin_devices = false;
        return opt;
    }())};
    tw::test::RecordingDialogs dialogs;
    tw::StreamControl sc{*dev.waves, *dev.dsound, dialogs};
    tw::ChainEditor editor;
    tw::test::GraphProbe probe;

    // START from `in_name` to `out_name` with the Gain preset, the probe's
    // sine going into TestSource. Fatal failures end the calling test.
    void start(const std::filesystem::path& dir, const std::string& in_name, const std::string& out_name) {
        sc.FormShow_device_lists(0);
        const int in = index_of(sc.ComboBox_waveIn, in_name), out = index_of(sc.ComboBox_waveOut, out_name);
        ASSERT_GE(in, 0) << in_name << " is not listed";
        ASSERT_GE(out, 0) << out_name << " is not listed";
        editor.fill_kind_lists_and_build_chain();
        const std::string preset = write_gain_preset(dir);
        ASSERT_FALSE(preset.empty());
        ASSERT_TRUE(tw::load_preset(editor, preset));
        sc.ComboBox_waveIn.set_item_index(in);
        sc.ComboBox_waveOut.set_item_index(out);
        std::string why;
        ASSERT_TRUE(probe.open("TestSource:input_FL", "TestSource:input_FR", "TestOut:monitor_FL", 30.0, why)) << why;
        sc.BitBtn_Init.click();
        ASSERT_TRUE(sc.running()) << (dialogs.messages.empty() ? "" : dialogs.messages[0] + " / " + dialogs.details[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        probe.start_sine(kAmp);
    }
    // Status ticks for `seconds`; the most the status showed of the
    // sound system's latency.
    float ticks(double seconds) {
        float device = 0.0f;
        for (int i = 0; i < static_cast<int>(seconds * 10); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sc.status_tick();
            device = std::max(device, sc.device_latency());
        }
        return device;
    }
    // Blocks of 10 ms in [from, to) of the recording whose peak is not the
    // doubled sine's (a dropout leaves a block short, a wrong gain all of them).
    int bad_blocks(std::size_t from, std::size_t to) const {
        int bad = 0;
        for (std::size_t b = from; b + 480 <= to; b += 480) {
            float lo = 0.0f, hi = 0.0f;
            probe.block_peaks(b, b + 480, 480, lo, hi);
            if (hi < 0.9f * 2 * kAmp || hi > 1.1f * 2 * kAmp) ++bad;
        }
        return bad;
    }
};

// The sine through the Gain preset, levels, wholeness, latency and a clean STOP.
void gain_preset_runs_whole(const std::filesystem::path& dir, const std::string& in_name, const std::string& out_name,
                            bool same_cycle) {
    LiveGain live;
    ASSERT_NO_FATAL_FAILURE(live.start(dir, in_name, out_name));
    const std::size_t onset = live.probe.kept();
    const float device_latency = live.ticks(3.5);
    const float in_level = live.dev.waves->get_waveIn_level();
    const float out_level = live.dev.waves->get_waveOut_level();
    const std::size_t end = live.probe.kept();
    const long round_trip = live.probe.round_trip_frames();
    EXPECT_EQ(live.sc.same_cycle(), same_cycle);
    live.sc.BitBtn_Reset.click();
    EXPECT_TRUE(live.dialogs.messages.empty()) << live.dialogs.messages[0];

    EXPECT_NEAR(in_level, kAmp * 32768.0f, 0.05f * kAmp * 32768.0f);
    EXPECT_NEAR(out_level, 2 * kAmp * 32768.0f, 0.05f * 2 * kAmp * 32768.0f);
    ASSERT_GT(end, onset + kRate * 2);
    // From 1 s after the onset on, every block holds the doubled sine.
    EXPECT_LE(live.bad_blocks(onset + kRate, end), 2) << "blocks with a dropout or a wrong gain";
    std::printf("%s -> %s: round trip %.2f ms, the sound system's latency up to %.2f ms\n", in_name.c_str(),
                out_name.c_str(), 1000.0 * static_cast<double>(round_trip) / kRate, static_cast<double>(device_latency));
    EXPECT_GE(round_trip, 0) << "the sine never came back";
    // Loose: a loaded machine makes the servers raise their buffers; the
    // figures are measured by pipewire_latency_bench.
    EXPECT_LT(round_trip, kRate / 4);

    // Nothing captured after STOP.
    const auto buffers = live.dev.waves->buffers();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(live.dev.waves->buffers(), buffers);
}

TEST_F(PipeWireRig, GainPresetRunsWholeFromThePulseServiceIntoTheNativeNode) {
    gain_preset_runs_whole(dir, "PulseAudio: TestSource", "PipeWire: TestOut", false);
}

TEST_F(PipeWireRig, GainPresetRunsWholeThroughPipeWiresPulseService) {
    gain_preset_runs_whole(dir, "PulseAudio: TestSource", "PulseAudio: TestOut", false);
}

TEST_F(PipeWireRig, GainPresetRunsWholeThroughPipeWiresJackLibrary) {
    gain_preset_runs_whole(dir, "JACK: TestSource", "JACK: TestOut", true);
}

// The node runs the graph's quantum and rate; a quantum forced larger (more
// than the chain's buffer) and then smaller while the stream runs is
// followed, and the sine stays whole.
TEST_F(PipeWireRig, QuantumChangedUnderARunningStreamIsFollowedAndTheSoundStaysWhole) {
    LiveGain live;
    ASSERT_NO_FATAL_FAILURE(live.start(dir, "PulseAudio: TestSource", "PipeWire: default"));
    live.ticks(0.5);
    tw::audio::AudioBackend* node = live.dev.dsound->selected_backend();
    ASSERT_NE(node, nullptr);
    EXPECT_GT(node->graph_frames(), 0);
    EXPECT_EQ(node->graph_rate(), 48000);
    for (int quantum : {1024, 64}) {
        SCOPED_TRACE(quantum);
        ASSERT_TRUE(force_quantum(quantum));
        for (int i = 0; i < 50 && node->graph_frames() != quantum; ++i) live.ticks(0.1);
        EXPECT_EQ(node->graph_frames(), quantum);
        // The change itself may click; a second later the sine is whole again.
        live.ticks(0.5);
        const std::size_t from = live.probe.kept();
        live.ticks(1.5);
        EXPECT_LE(live.bad_blocks(from, live.probe.kept()), 1);
        EXPECT_GT(live.probe.kept(), from + kRate);
    }
    EXPECT_TRUE(live.sc.running());
    live.sc.BitBtn_Reset.click();
    EXPECT_TRUE(live.dialogs.messages.empty());
    EXPECT_EQ(node->graph_frames(), 0);
}

// A private server of one test, killed at will; the fixture's stays up.
struct OwnServer {
    std::string state;
    pid_t pid = 0;
    explicit OwnServer(const std::filesystem::path& dir) : state((dir / "own").string()) {}
    ~OwnServer() { stop(); }
    bool start(std::string& text) {
        if (run(std::string(TW_PIPEWIRE_FIXTURE) + " start " + state, text) != 0) return false;
        std::string pid_text;
        std::getline(std::ifstream(state + "/run/pipewire.pid"), pid_text);
        pid = static_cast<pid_t>(std::atol(pid_text.c_str()));
        return pid > 0;
    }
    void stop() {
        std::string ignored;
        run(std::string(TW_PIPEWIRE_FIXTURE) + " stop " + state, ignored);
    }
};

// The window's stream on a server that is killed: the status tick stops it
// and says so; START then fails with a sentence, as the server is gone.
TEST_F(PipeWireRig, ServerKilledUnderTheWindowsStreamStopsItWithAMessage) {
    OwnServer own(dir);
    std::string text;
    ASSERT_TRUE(own.start(text)) << text;
    const std::string saved = std::getenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", (own.state + "/run").c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", (own.state + "/run").c_str(), 1);
    {
        LiveGain live;
        live.sc.is_stream_lost = [&] { return live.dev.catalog.stream_lost(); };
        live.sc.FormShow_device_lists(0);
        const int in = index_of(live.sc.ComboBox_waveIn, "PulseAudio: TestSource");
        const int out = index_of(live.sc.ComboBox_waveOut, "PipeWire: default");
        ASSERT_GE(in, 0);
        ASSERT_GE(out, 0);
        live.sc.ComboBox_waveIn.set_item_index(in);
        live.sc.ComboBox_waveOut.set_item_index(out);
        live.sc.BitBtn_Init.click();
        ASSERT_TRUE(live.sc.running());
        live.ticks(0.5);
        EXPECT_TRUE(live.sc.running());
        kill(own.pid, SIGKILL);
        for (int i = 0; i < 50 && live.sc.running(); ++i) live.ticks(0.1);
        EXPECT_FALSE(live.sc.running()) << "the lost stream was not noticed";
        ASSERT_EQ(live.dialogs.messages.size(), 1u);
        EXPECT_EQ(live.dialogs.messages[0], tw::StreamControl::kStreamLostMessage);
        live.sc.BitBtn_Init.click();
        EXPECT_FALSE(live.sc.running());
        EXPECT_EQ(live.dialogs.messages.size(), 2u);
    }
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", saved.c_str(), 1);
}

#ifdef TW_LIVE_EXE
// The demo input played to the default sink by the headless tool, which shows
// the graph's quantum and rate and reaches the sink.
TEST_F(PipeWireRig, DemoInputPlaysToTheDefaultSinkInTheHeadlessTool) {
    tw::test::GraphProbe probe;
    std::string why;
    ASSERT_TRUE(probe.open("TestSource:input_FL", "TestSource:input_FR", "TestOut:monitor_FL", 10.0, why)) << why;
    std::string text;
    const int code = run("env TONEWARP_PW_QUANTUM=128 " + std::string(TW_LIVE_EXE) + " --home \"" + dir.string() +
                             "\" --input 'Demo guitar' --output 'PipeWire: default' --seconds 3",
                         text);
    EXPECT_EQ(code, 0) << text;
    EXPECT_NE(text.find("Running: Demo guitar (built-in) -> PipeWire: default, 48000 Hz, stereo, 256-frame buffers"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("graph 128 frames at 48000 Hz"), std::string::npos) << text;
    EXPECT_NE(text.find("Stopped."), std::string::npos) << text;
    float lo = 0.0f, hi = 0.0f;
    probe.block_peaks(0, probe.kept(), 4800, lo, hi);
    EXPECT_GT(hi, 0.05f) << "nothing reached the sink";
}

// A server killed under the headless tool ends it with exit 3, soon, and
// everything it started goes with it.
TEST_F(PipeWireRig, ServerKilledUnderTheHeadlessToolEndsItWithExitThree) {
    OwnServer own(dir);
    std::string text;
    ASSERT_TRUE(own.start(text)) << text;
    const std::string env =
        "env XDG_RUNTIME_DIR=" + own.state + "/run PIPEWIRE_RUNTIME_DIR=" + own.state + "/run HOME=" + own.state + " ";
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        kill(own.pid, SIGKILL);
    });
    const auto t0 = std::chrono::steady_clock::now();
    const int code = run(env + "timeout 30 " + TW_LIVE_EXE + " --home \"" + dir.string() +
                             "\" --no-builtin --input 'PulseAudio: TestSource' --output 'PipeWire: default' --seconds 20",
                         text);
    killer.join();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    own.stop();
    EXPECT_EQ(code, 3) << text;
    EXPECT_NE(text.find("Running: PulseAudio: TestSource -> PipeWire: default"), std::string::npos) << text;
    EXPECT_NE(text.find("The sound system closed the audio stream"), std::string::npos) << text;
    EXPECT_LT(took, 10.0) << "the loss was not noticed soon";
    EXPECT_FALSE(std::filesystem::exists(own.state + "/run")) << "the fixture left its runtime folder";
}
#endif

}  // namespace
