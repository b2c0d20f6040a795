// Round trip on the desktop sound server's paths without hardware: a private
// PulseAudio server with null sinks (tests/audio/pulse_fixture.sh, started and
// stopped here), the stream running through the device layer and the stream
// control with one Gain slot and the 100 ms status tick (and its guard):
//   Pulse  "PulseAudio: Monitor of TestIn" -> "PulseAudio: TestOut"
//   ALSA   "ALSA: default" -> "ALSA: default" (alsa-lib's pulse plugin over
//          the same server, as a desktop sets it up)
// A probe client plays clicks into TestIn and records both monitors; the
// difference of the arrival times is the round trip from the program's input
// to its output, whatever the probe's own buffers hold.
//
// Counters:
//   round_trip_ms     mean over the clicks
//   shown_ms          the status line's latency (queue + what the server reports)
//   queue_ms          the program's own queue
//   underflows        output buffers that found the queue short
//   xruns             stream flags from the sound system (ALSA)
// Arguments: the period in frames and the buffer in periods
// (TONEWARP_PULSE_PERIOD / TONEWARP_PULSE_PERIODS for the Pulse runs,
// TONEWARP_ALSA_PERIOD / TONEWARP_ALSA_PERIODS for the ALSA ones). The long runs
// last TW_BENCH_SECONDS (default 60).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "fx/kind_ids.h"
#include "app/chain_editor.h"
#include "app/dialogs.h"
#include "app/stream_control.h"
#include "engine/audio_devices.h"
#include "engine/effects.h"
#include "live_bench_support.h"
#include "pulse_probe.h"

namespace {

using tw::bench::QuietDialogs;

// The private server for the whole run of the benchmark program.
class PulseServer {
public:
    PulseServer() {
        state_ = std::filesystem::temp_directory_path() / ("tw_pulse_bench_" + std::to_string(getpid()));
        setenv("XDG_RUNTIME_DIR", (state_ / "run").c_str(), 1);
        setenv("HOME", state_.c_str(), 1);
        ready_ = std::system((std::string(TW_PULSE_FIXTURE) + " start " + state_.string()).c_str()) == 0;
    }
    ~PulseServer() {
        std::system((std::string(TW_PULSE_FIXTURE) + " stop " + state_.string()).c_str());
        std::filesystem::remove_all(state_);
    }
    bool ready() const { return ready_; }

private:
    std::filesystem::path state_;
    bool ready_ = false;
};

PulseServer& server() {
    static PulseServer s;
    return s;
}

int index_of(const tw::ui::ComboBox& c, const std::string& name) {
    for (int i = 0; i < c.count(); ++i)
        if (c.items()[i] == name) return i;
    return -1;
}

void run_live(benchmark::State& state, const std::string& in_name, const std::string& out_name, double seconds,
              int threshold_ms = 35) {
    if (!server().ready()) {
        state.SkipWithError("the private PulseAudio server did not start");
        return;
    }
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
        const int in = index_of(sc.ComboBox_waveIn, in_name), out = index_of(sc.ComboBox_waveOut, out_name);
        if (in < 0 || out < 0) {
            state.SkipWithError("device not listed");
            return;
        }
        sc.ComboBox_waveIn.set_item_index(in);
        sc.ComboBox_waveOut.set_item_index(out);
        sc.TrackBar_Latency_Porog.set_position(threshold_ms);
        tw::test::PulseProbe probe;
        if (!probe.start(1.0) || !probe.wait_flowing(std::chrono::seconds(5))) {
            state.SkipWithError("probe client failed");
            return;
        }
        sc.BitBtn_Init.click();
        if (!sc.running()) {
            state.SkipWithError(("START failed: " + dialogs.last).c_str());
            return;
        }
        const auto t0 = std::chrono::steady_clock::now();
        auto next = t0;
        double rt_sum = 0, shown_sum = 0, queue_sum = 0;
        int clicks = 0, samples = 0;
        std::uint64_t under0 = 0;
        unsigned long long xruns0 = 0;
        for (int tick = 1;; ++tick) {
            next += std::chrono::milliseconds(100);
            std::this_thread::sleep_until(next);
            sc.status_tick();
            const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (t < 1.0) continue;  // settling
            if (samples == 0) {
                under0 = dev.dsound->underflows();
                xruns0 = dev.catalog.xruns();
            }
            ++samples;
            shown_sum += sc.latency();
            queue_sum += sc.queue_latency();
            // A click every half second; its round trip is read just before the next.
            if (tick % 5 == 0) {
                if (probe.round_trip_ms() > 0) {
                    rt_sum += probe.round_trip_ms();
                    ++clicks;
                }
                probe.start_sine(0.25f, true);
            }
            if (t >= 1.0 + seconds) break;
        }
        const std::uint64_t under = dev.dsound->underflows() - under0;
        const unsigned long long xruns = dev.catalog.xruns() - xruns0;
        sc.BitBtn_Reset.click();
        sc.shut_down();
        state.SetIterationTime(seconds);
        state.counters["period"] = sc.buffer_frames();
        state.counters["threshold_ms"] = threshold_ms;
        state.counters["round_trip_ms"] = clicks ? rt_sum / clicks : -1.0;
        state.counters["clicks"] = clicks;
        state.counters["shown_ms"] = samples ? shown_sum / samples : 0.0;
        state.counters["queue_ms"] = samples ? queue_sum / samples : 0.0;
        state.counters["underflows"] = static_cast<double>(under);
        state.counters["xruns"] = static_cast<double>(xruns);
    }
}

double long_seconds() {
    const char* s = std::getenv("TW_BENCH_SECONDS");
    const double v = s ? std::atof(s) : 60.0;
    return v > 0 ? v : 60.0;
}

void set_pulse_buffers(const benchmark::State& state) {
    setenv("TONEWARP_PULSE_PERIOD", std::to_string(state.range(0)).c_str(), 1);
    setenv("TONEWARP_PULSE_PERIODS", std::to_string(state.range(1)).c_str(), 1);
}

void BM_PulseRoundTrip(benchmark::State& state) {
    set_pulse_buffers(state);
    run_live(state, "PulseAudio: Monitor of TestIn", "PulseAudio: TestOut", 5.0);
}
BENCHMARK(BM_PulseRoundTrip)
    ->Args({128, 2})
    ->Args({256, 2})
    ->Args({256, 3})
    ->Args({512, 2})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void set_alsa_buffers(const benchmark::State& state) {
    setenv("TONEWARP_ALSA_PERIOD", std::to_string(state.range(0)).c_str(), 1);
    setenv("TONEWARP_ALSA_PERIODS", std::to_string(state.range(1)).c_str(), 1);
}

void BM_AlsaDefaultRoundTrip(benchmark::State& state) {
    set_alsa_buffers(state);
    run_live(state, "ALSA: default", "ALSA: default", 5.0);
}
BENCHMARK(BM_AlsaDefaultRoundTrip)
    ->Args({64, 2})
    ->Args({128, 2})
    ->Args({256, 2})
    ->Args({256, 3})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void BM_PulseUnderflowsLong(benchmark::State& state) {
    set_pulse_buffers(state);
    run_live(state, "PulseAudio: Monitor of TestIn", "PulseAudio: TestOut", long_seconds(),
             static_cast<int>(state.range(2)));
}
// The third argument is the latency threshold (ms): the queue between two
// clocks keeps whatever jitter pushed into it, up to the threshold.
BENCHMARK(BM_PulseUnderflowsLong)->Args({256, 2, 35})->Args({256, 2, 10})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_AlsaDefaultUnderflowsLong(benchmark::State& state) {
    set_alsa_buffers(state);
    run_live(state, "ALSA: default", "ALSA: default", long_seconds(), static_cast<int>(state.range(2)));
}
BENCHMARK(BM_AlsaDefaultUnderflowsLong)->Args({128, 2, 35})->Args({128, 3, 35})->Args({192, 3, 35})->Args({256, 2, 35})->Args({256, 3, 35})->Args({256, 2, 10})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
