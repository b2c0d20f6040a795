// Foot-controller latency on a private JACK server (dummy driver, 128-frame
// periods): the stream runs JACK in -> chain -> JACK out, a JACK client of the
// benchmark sends program changes (F1 Gain / F2 Noise gate, alternately) to
// the program's MIDI input, and the main thread takes MIDI every 5 ms as the
// window does.
//
// Counters (over the program changes sent):
//   pc_to_buffer_ms_median / _p95 / _max   from the program change's arrival
//       on the MIDI thread to the end of the first chain run with the new
//       preset (pessimistic by up to one period: a run that finished before
//       the load was seen to be done counts the next one)
//   send_to_arrival_ms_median              from the pedal client's JACK cycle
//       to the arrival on the MIDI thread
// Needs jackd on PATH; starts and stops its own server (a private name).
#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fx/kind_ids.h"
#include "../tests/audio/jack_midi_sender.h"
#include "app/chain_editor.h"
#include "app/dialogs.h"
#include "live_bench_support.h"
#include "app/main_form.h"
#include "app/midi_control.h"
#include "app/program_folder.h"
#include "app/stream_control.h"
#include "engine/audio_devices.h"
#include "engine/effects.h"
#include "presets/preset_file.h"


namespace {

using tw::bench::JackServer;
using tw::bench::QuietDialogs;

using tw::bench::BenchHome;
using tw::bench::percentile;


void BM_MidiProgramChangeToBuffer(benchmark::State& state) {
    const int period = static_cast<int>(state.range(0));
    constexpr int kChanges = 40;
    for (auto _ : state) {
        JackServer server("tw_midi_bench_" + std::to_string(getpid()), period);
        if (!server.ready()) {
            state.SkipWithError("jackd did not start");
            return;
        }
        BenchHome home;
        tw::reset_engine();
        tw::DeviceOptions opt = tw::MainForm::device_defaults();
        opt.builtin_devices = false;
        tw::AudioDevices dev(tw::make_system_backends(opt));
        QuietDialogs dialogs;
        tw::MainForm form(dev, dialogs);
        form.set_writes_settings(false);
        form.midi().on_note = [](const std::string&) {};
        form.FormShow();
        tw::StreamControl& sc = form.stream();
        sc.BitBtn_Init.click();
        if (!sc.running()) {
            state.SkipWithError(("START failed: " + dialogs.last).c_str());
            return;
        }
        tw::test::JackMidiSender pedal;
        tw::MidiControl& midi = form.midi();
        midi.refresh_ports();
        if (!pedal.open() || (midi.refresh_ports(), !midi.choose_port(tw::test::JackMidiSender::label()))) {
            state.SkipWithError("the pedal client could not be opened or chosen");
            return;
        }
        std::vector<double> latency_ms, transit_ms;
        for (int i = 0; i < kChanges; ++i) {
            const int program = i % 2;
            const int kind = program == 0 ? tw::kKindGain : tw::kKindNoiseGate;
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + (i * 7) % 13));  // not in step with the polls
            pedal.send({0xC0, static_cast<std::uint8_t>(program)});
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (form.chain().row(1).combo.item_index() != kind && std::chrono::steady_clock::now() < give_up) {
                std::this_thread::sleep_for(std::chrono::milliseconds(tw::MidiControl::kPollMs));
                midi.poll();
            }
            if (form.chain().row(1).combo.item_index() != kind) continue;
            const std::uint64_t runs = tw::chain_runs.load(std::memory_order_acquire);
            while (tw::chain_runs.load(std::memory_order_acquire) == runs &&
                   std::chrono::steady_clock::now() < give_up)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            const std::int64_t arrival = midi.inbox().last_program_time_ns();
            latency_ms.push_back(static_cast<double>(tw::chain_run_end_ns.load() - arrival) / 1e6);
            transit_ms.push_back(static_cast<double>(arrival - pedal.last_written_ns()) / 1e6);
        }
        pedal.close();
        midi.choose_port("");
        sc.BitBtn_Reset.click();
        form.FormClose();
        state.SetIterationTime(1.0);
        state.counters["period"] = period;
        state.counters["changes_seen"] = static_cast<double>(latency_ms.size());
        state.counters["pc_to_buffer_ms_median"] = percentile(latency_ms, 0.5);
        state.counters["pc_to_buffer_ms_p95"] = percentile(latency_ms, 0.95);
        state.counters["pc_to_buffer_ms_max"] = percentile(latency_ms, 1.0);
        state.counters["send_to_arrival_ms_median"] = percentile(transit_ms, 0.5);
    }
}
BENCHMARK(BM_MidiProgramChangeToBuffer)->Arg(128)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
