// Live latency on a real-time-paced device without hardware: a private JACK
// server with the dummy driver at 64, 128 and 256-frame periods, the stream
// running JACK in -> chain (one Gain slot) -> JACK out through the device
// layer and the stream control, with the 100 ms status tick (and its latency
// guard) running as in the program.
//
// Counters:
//   queue_frames / added_ms  the output queue's mean depth after 1 s of
//                            settling: the latency the engine adds on top of
//                            the JACK periods themselves
//   round_trip_ms            from a step on the capture port to its arrival
//                            on a test client reading the output port
//   underflows_per_min       output buffers that found the queue short
//   xruns                     callbacks JACK flagged as late (server-side xruns)
//
// The 60-second runs (TW_BENCH_SECONDS overrides the length) count underflows
// per minute; the last one runs the built-in demo input into the null output.
// Needs jackd on PATH; starts and stops its own server (a private name).
#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fx/kind_ids.h"
#include "app/chain_editor.h"
#include "app/dialogs.h"
#include "live_bench_support.h"
#include "app/main_form.h"
#include "app/stream_control.h"
#include "engine/audio_devices.h"
#include "engine/effects.h"


namespace {

using tw::bench::JackServer;
using tw::bench::QuietDialogs;

// Feeds a step (silence, then a constant-amplitude sine) into the capture
// ports from one client and notes when it arrives on the output port in
// another, both counted in the server's absolute frames (two clients, so the
// graph has no loop and adds no cycle of its own).
class Probe {
public:
    bool open() {
        src_ = jack_client_open("tw_bench_src", JackNoStartServer, nullptr);
        sink_ = jack_client_open("tw_bench_sink", JackNoStartServer, nullptr);
        if (!src_ || !sink_) return false;
        out_ = jack_port_register(src_, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        in_ = jack_port_register(sink_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(src_, &Probe::play, this);
        jack_set_process_callback(sink_, &Probe::listen, this);
        return jack_activate(src_) == 0 && jack_activate(sink_) == 0;
    }
    ~Probe() {
        for (jack_client_t* c : {src_, sink_})
            if (c) {
                jack_deactivate(c);
                jack_client_close(c);
            }
    }
    void connect() {
        jack_connect(src_, "tw_bench_src:out", "tonewarp:inport 0");
        jack_connect(src_, "tw_bench_src:out", "tonewarp:inport 1");
        jack_connect(src_, "tonewarp:outport 0", "tw_bench_sink:in");
    }
    void step() { onset_.store(jack_frame_time(src_) + 1024); }
    // Frames from the step to its arrival, or -1.
    long round_trip() const {
        const long a = arrival_.load();
        return a >= 0 ? a - static_cast<long>(onset_.load()) : -1;
    }

private:
    static int play(jack_nframes_t n, void* arg) {
        auto* s = static_cast<Probe*>(arg);
        auto* o = static_cast<float*>(jack_port_get_buffer(s->out_, n));
        const unsigned long f0 = jack_last_frame_time(s->src_);
        const unsigned long on = s->onset_.load(std::memory_order_relaxed);
        for (jack_nframes_t k = 0; k < n; ++k) {
            const unsigned long f = f0 + k;
            o[k] = f >= on ? 0.25f * static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(f - on) / 48000.0 + 0.3))
                           : 0.0f;
        }
        return 0;
    }
    static int listen(jack_nframes_t n, void* arg) {
        auto* s = static_cast<Probe*>(arg);
        const auto* i = static_cast<const float*>(jack_port_get_buffer(s->in_, n));
        const unsigned long f0 = jack_last_frame_time(s->sink_);
        const unsigned long on = s->onset_.load(std::memory_order_relaxed);
        for (jack_nframes_t k = 0; k < n; ++k)
            if (f0 + k >= on && s->arrival_.load(std::memory_order_relaxed) < 0 && std::fabs(i[k]) > 0.02f)
                s->arrival_.store(static_cast<long>(f0 + k), std::memory_order_relaxed);
        return 0;
    }
    jack_client_t* src_ = nullptr;
    jack_client_t* sink_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::atomic<unsigned long> onset_{~0ul};
    std::atomic<long> arrival_{-1};
};

void run_live(benchmark::State& state, int period, double seconds, bool builtin = false) {
    const std::string name = "tw_bench_" + std::to_string(getpid()) + "_" + std::to_string(period);
    for (auto _ : state) {
        std::unique_ptr<JackServer> server;
        if (!builtin) {
            server = std::make_unique<JackServer>(name, period);
            if (!server->ready()) {
                state.SkipWithError("jackd did not start");
                return;
            }
        }
        tw::reset_engine();
        tw::DeviceOptions opt = tw::MainForm::device_defaults();
        opt.builtin_devices = builtin;
        opt.system_devices = !builtin;
        tw::AudioDevices dev(tw::make_system_backends(opt));
        QuietDialogs dialogs;
        tw::StreamControl sc(*dev.waves, *dev.dsound, dialogs);
        sc.FormShow_device_lists(0);
        tw::ChainEditor editor;
        editor.fill_kind_lists_and_build_chain();
        editor.row(1).combo.set_item_index(tw::kKindGain);
        editor.row(1).check.set_checked(true);
        Probe probe;
        if (!builtin && !probe.open()) {
            state.SkipWithError("probe client failed");
            return;
        }
        sc.BitBtn_Init.click();
        if (!sc.running()) {
            state.SkipWithError(("START failed: " + dialogs.last).c_str());
            return;
        }
        if (!builtin) probe.connect();
        const auto t0 = std::chrono::steady_clock::now();
        auto next = t0;
        double queue_sum = 0.0;
        long samples = 0;
        std::uint64_t under_at_settle = 0;
        unsigned long long xruns_at_settle = 0;
        bool stepped = builtin;
        for (int tick = 1;; ++tick) {
            next += std::chrono::milliseconds(100);
            std::this_thread::sleep_until(next);
            sc.status_tick();
            const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (!stepped && t >= 0.5) {
                probe.step();
                stepped = true;
            }
            if (t >= 1.0) {
                if (samples == 0) {
                    under_at_settle = dev.dsound->underflows();
                    xruns_at_settle = dev.catalog.xruns();
                }
                queue_sum += dev.dsound->get_audio_pos() / 4.0;  // stereo 16-bit frames
                ++samples;
            }
            if (t >= 1.0 + seconds) break;
        }
        const bool same_cycle = sc.same_cycle();
        const double server_ms = sc.device_latency();
        const double shown_ms = sc.latency();
        const std::uint64_t under = dev.dsound->underflows() - under_at_settle;
        const unsigned long long xruns = dev.catalog.xruns() - xruns_at_settle;
        sc.BitBtn_Reset.click();
        sc.shut_down();
        const double q = samples ? queue_sum / static_cast<double>(samples) : 0.0;
        state.SetIterationTime(seconds);
        state.counters["period"] = builtin ? sc.buffer_frames() : period;
        state.counters["queue_frames"] = q;
        state.counters["added_ms"] = 1000.0 * q / 48000.0;
        state.counters["round_trip_ms"] =
            !builtin && probe.round_trip() >= 0 ? 1000.0 * probe.round_trip() / 48000.0 : -1.0;
        state.counters["added_periods"] =
            !builtin && probe.round_trip() >= 0 ? static_cast<double>(probe.round_trip()) / period : -1.0;
        state.counters["same_cycle"] = same_cycle ? 1 : 0;
        state.counters["server_ms"] = server_ms;
        state.counters["shown_ms"] = shown_ms;
        state.counters["underflows"] = static_cast<double>(under);
        state.counters["xruns"] = static_cast<double>(xruns);
        state.counters["underflows_per_min"] = static_cast<double>(under) * 60.0 / seconds;
    }
}

double long_seconds() {
    const char* s = std::getenv("TW_BENCH_SECONDS");
    const double v = s ? std::atof(s) : 60.0;
    return v > 0 ? v : 60.0;
}

void BM_JackLatency(benchmark::State& state) { run_live(state, static_cast<int>(state.range(0)), 5.0); }
BENCHMARK(BM_JackLatency)->Arg(64)->Arg(128)->Arg(256)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_JackUnderflowsLong(benchmark::State& state) {
    run_live(state, static_cast<int>(state.range(0)), long_seconds());
}
BENCHMARK(BM_JackUnderflowsLong)->Arg(64)->Arg(256)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The built-in demo input and null output: two separately paced threads (two
// clocks), kept in step by the queue and the latency guard.
void BM_BuiltinDevicesLong(benchmark::State& state) { run_live(state, 256, long_seconds(), true); }
BENCHMARK(BM_BuiltinDevicesLong)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
