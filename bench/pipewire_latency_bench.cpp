// Round trip on a PipeWire graph without hardware: a private server
// (tests/audio/pipewire_fixture.sh, started and stopped here) on its
// Dummy-Driver, its quantum forced to the period under test
// (clock.force-quantum), the stream running TestSource -> chain (one Gain
// slot) -> TestOut through the device layer and the stream control with the
// 100 ms status tick, on each way a program reaches the graph:
//   native  "PulseAudio: TestSource" -> "PipeWire: TestOut" (the Pulse service
//           in, the filter node out, TONEWARP_PW_QUANTUM = the period; the
//           node's capture from the null source stays silent here, see README)
//   pulse   "PulseAudio: TestSource" -> "PulseAudio: TestOut" (pipewire-pulse,
//           TONEWARP_PULSE_PERIOD = the period, 2 periods of output buffer)
//   jack    "JACK: TestSource" -> "JACK: TestOut" (the JACK backend on
//           pipewire-jack, PIPEWIRE_QUANTUM = the period)
// A probe outside the program (two JACK clients of pipewire-jack) plays a
// step of sine into TestSource and notes its arrival on TestOut's monitor,
// both in the graph's frames.
//
// Run it through pw-jack (pipewire-jack's libjack first):
//   pw-jack build/bin/pipewire_latency_bench
// Counters:
//   round_trip_ms      mean over the steps (one every half second)
//   added_periods      the round trip in periods of the quantum
//   quantum            what the graph ran at the end
//   shown_ms           the status line's latency (queue + what the server reports)
//   underflows         output buffers that found the queue short, after 1 s
// The runs last TW_BENCH_SECONDS (default 60).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/chain_editor.h"
#include "app/dialogs.h"
#include "app/stream_control.h"
#include "engine/audio_devices.h"
#include "engine/effects.h"
#include "fx/kind_ids.h"
#include "graph_probe.h"
#include "live_bench_support.h"

namespace {

using tw::bench::QuietDialogs;

// The private server for the whole run of the benchmark program.
class PipeWireServer {
public:
    PipeWireServer() {
        state_ = std::filesystem::temp_directory_path() / ("tw_pw_bench_" + std::to_string(getpid()));
        const std::string run = (state_ / "run").string();
        setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
        setenv("PIPEWIRE_RUNTIME_DIR", run.c_str(), 1);
        setenv("HOME", state_.c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + run + "/bus").c_str(), 1);
        // pipewire-jack's clients (the probe) would hold the graph at their own quantum.
        setenv("PIPEWIRE_PROPS", "{ node.lock-quantum = false }", 0);
        ready_ = std::system((std::string(TW_PIPEWIRE_FIXTURE) + " start " + state_.string()).c_str()) == 0;
    }
    ~PipeWireServer() {
        std::system((std::string(TW_PIPEWIRE_FIXTURE) + " stop " + state_.string()).c_str());
        std::filesystem::remove_all(state_);
    }
    bool ready() const { return ready_; }

private:
    std::filesystem::path state_;
    bool ready_ = false;
};

PipeWireServer& server() {
    static PipeWireServer s;
    return s;
}

int index_of(const tw::ui::ComboBox& c, const std::string& name) {
    for (int i = 0; i < c.count(); ++i)
        if (c.items()[i] == name) return i;
    return -1;
}

double bench_seconds() {
    const char* s = std::getenv("TW_BENCH_SECONDS");
    const double v = s ? std::atof(s) : 60.0;
    return v > 0 ? v : 60.0;
}

void run_live(benchmark::State& state, const std::string& in_label, const std::string& out_label) {
    if (!server().ready()) {
        state.SkipWithError("the private PipeWire server did not start");
        return;
    }
    const int period = static_cast<int>(state.range(0));
    const double seconds = bench_seconds();
    const std::string q = std::to_string(period);
    setenv("TONEWARP_PW_QUANTUM", q.c_str(), 1);
    setenv("TONEWARP_PULSE_PERIOD", q.c_str(), 1);
    setenv("PIPEWIRE_QUANTUM", (q + "/48000").c_str(), 1);
    std::system(("timeout 5 pw-metadata -n settings 0 clock.force-quantum " + q + " >/dev/null").c_str());
    for (auto _ : state) {
        tw::reset_engine();
        tw::DeviceOptions opt("");
        opt.builtin_devices = false;
        tw::AudioDevices dev(tw::make_system_backends(opt));
        QuietDialogs dialogs;
        tw::StreamControl sc(*dev.waves, *dev.dsound, dialogs);
        sc.FormShow_device_lists(0);
        tw::ChainEditor editor;
        editor.fill_kind_lists_and_build_chain();
        editor.row(1).combo.set_item_index(tw::kKindGain);
        editor.row(1).check.set_checked(true);
        const int in = index_of(sc.ComboBox_waveIn, in_label + "TestSource");
        const int out = index_of(sc.ComboBox_waveOut, out_label + "TestOut");
        if (in < 0 || out < 0) {
            state.SkipWithError("device not listed (run through pw-jack)");
            return;
        }
        sc.ComboBox_waveIn.set_item_index(in);
        sc.ComboBox_waveOut.set_item_index(out);
        tw::test::GraphProbe probe;
        std::string why;
        if (!probe.open("TestSource:input_FL", "TestSource:input_FR", "TestOut:monitor_FL", 1.0, why)) {
            state.SkipWithError(why.c_str());
            return;
        }
        sc.BitBtn_Init.click();
        if (!sc.running()) {
            state.SkipWithError(("START failed: " + dialogs.last).c_str());
            return;
        }
        const auto t0 = std::chrono::steady_clock::now();
        auto next = t0;
        double rt_sum = 0, shown_sum = 0;
        int steps = 0, samples = 0;
        std::uint64_t under0 = 0;
        for (int tick = 1;; ++tick) {
            next += std::chrono::milliseconds(100);
            std::this_thread::sleep_until(next);
            sc.status_tick();
            const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (t < 1.0) continue;  // settling
            if (samples == 0) under0 = dev.dsound->underflows();
            ++samples;
            shown_sum += sc.latency();
            // A step every half second (silence, then the sine); its round
            // trip is read just before the next.
            if (tick % 5 == 0) {
                if (probe.round_trip_frames() >= 0) {
                    rt_sum += 1000.0 * static_cast<double>(probe.round_trip_frames()) / 48000.0;
                    ++steps;
                }
                probe.silence();
            } else if (tick % 5 == 2) {
                probe.start_sine(0.25f);
            }
            if (t >= 1.0 + seconds) break;
        }
        const std::uint64_t under = dev.dsound->underflows() - under0;
        const tw::audio::AudioBackend* b = dev.dsound->selected_backend();
        const int quantum = b != nullptr && b->graph_frames() > 0 ? b->graph_frames() : period;
        sc.BitBtn_Reset.click();
        sc.shut_down();
        const double rt = steps ? rt_sum / steps : -1.0;
        state.SetIterationTime(seconds);
        state.counters["period"] = period;
        state.counters["quantum"] = quantum;
        state.counters["round_trip_ms"] = rt;
        state.counters["added_periods"] = rt >= 0 ? rt * 48.0 / period : -1.0;
        state.counters["steps"] = steps;
        state.counters["shown_ms"] = samples ? shown_sum / samples : 0.0;
        state.counters["underflows"] = static_cast<double>(under);
    }
    std::system("timeout 5 pw-metadata -n settings 0 clock.force-quantum 0 >/dev/null");
}

void BM_NativeOutRoundTrip(benchmark::State& state) { run_live(state, "PulseAudio: ", "PipeWire: "); }
void BM_PulseRoundTrip(benchmark::State& state) { run_live(state, "PulseAudio: ", "PulseAudio: "); }
void BM_JackRoundTrip(benchmark::State& state) { run_live(state, "JACK: ", "JACK: "); }

BENCHMARK(BM_NativeOutRoundTrip)->Arg(64)->Arg(128)->Arg(256)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_PulseRoundTrip)->Arg(64)->Arg(128)->Arg(256)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_JackRoundTrip)->Arg(64)->Arg(128)->Arg(256)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
