// Phone remote latency on a private JACK server (dummy driver, 128-frame
// periods): the stream runs JACK in -> chain -> JACK out, a WebSocket client
// on this machine pairs with the remote and taps F1 / F2 alternately, and the
// main thread runs the server's events every 5 ms as tonewarp-live does.
//
// Counters (over the taps sent):
//   tap_to_buffer_ms_median / _p95 / _max   from the message leaving the
//       client to the end of the first chain run with the new preset
//       (pessimistic by up to one period, as the MIDI benchmark)
//   meters_per_s                            meter messages the client got
// Needs jackd on PATH; starts and stops its own server (a private name).
#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QWebSocket>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_form.h"
#include "app/program_folder.h"
#include "engine/effects.h"
#include "fx/kind_ids.h"
#include "live_bench_support.h"
#include "presets/preset_file.h"
#include "remote/remote_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using tw::bench::JackServer;
using tw::bench::QuietDialogs;
using tw::bench::BenchHome;

using tw::bench::percentile;

// A private program folder with the two presets and a page, removed at the end.
class RemoteBenchHome : public BenchHome {
public:
    RemoteBenchHome() {
        std::filesystem::create_directories(dir() + "/html/remote");
        std::ofstream(dir() + "/html/remote/index.html") << "<!DOCTYPE html><title>remote</title>";
    }
};

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// One slice of tonewarp-live's main loop: a 5 ms wait, then the events.
void slice() {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    tw::remote::RemoteServer::poll();
}

template <class Done>
bool run_until(Done done, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done() && Clock::now() < end) slice();
    return done();
}

void BM_RemoteTapToBuffer(benchmark::State& state) {
    const int period = static_cast<int>(state.range(0));
    constexpr int kTaps = 40;
    static int argc = 1;
    static char name[] = "remote_latency_bench";
    static char* argv[] = {name, nullptr};
    QCoreApplication qt(argc, argv);
    for (auto _ : state) {
        JackServer server("tw_remote_bench_" + std::to_string(getpid()), period);
        if (!server.ready()) {
            state.SkipWithError("jackd did not start");
            return;
        }
        RemoteBenchHome home;
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
        tw::remote::Hub hub(form, [] { return tw::remote::Readings{}; });
        tw::remote::RemoteServer remote(hub, tw::program_path("html/remote"));
        std::string error;
        if (!remote.listen("127.0.0.1", 0, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        QWebSocket client;
        int meters = 0;
        bool paired = false;
        QObject::connect(&client, &QWebSocket::textMessageReceived, [&](const QString& m) {
            if (m.contains("\"type\":\"meters\"")) ++meters;
            if (m.contains("\"type\":\"paired\"")) paired = true;
        });
        client.open(QUrl(QString("ws://127.0.0.1:%1/ws").arg(remote.port())));
        run_until([&] { return client.state() == QAbstractSocket::ConnectedState; }, 3000);
        client.sendTextMessage(QString::fromStdString("{\"type\":\"pair\",\"code\":\"" + hub.pairing_code() + "\"}"));
        if (!run_until([&] { return paired; }, 3000)) {
            state.SkipWithError("the client did not pair");
            return;
        }
        const auto meters_from = Clock::now();
        const int meters_before = meters;
        std::vector<double> latency_ms;
        for (int i = 0; i < kTaps; ++i) {
            const int key = 1 + i % 2;
            const int kind = key == 1 ? tw::kKindGain : tw::kKindNoiseGate;
            run_until([] { return false; }, 20 + (i * 7) % 13);  // not in step with the slices
            const std::int64_t sent = now_ns();
            client.sendTextMessage(QString("{\"type\":\"key\",\"key\":%1}").arg(key));
            client.flush();
            if (!run_until([&] { return form.chain().row(1).combo.item_index() == kind; }, 2000)) continue;
            const std::uint64_t runs = tw::chain_runs.load(std::memory_order_acquire);
            const auto give_up = Clock::now() + std::chrono::seconds(2);
            while (tw::chain_runs.load(std::memory_order_acquire) == runs && Clock::now() < give_up)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            latency_ms.push_back(static_cast<double>(tw::chain_run_end_ns.load() - sent) / 1e6);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - meters_from).count();
        client.close();
        run_until([] { return false; }, 50);
        remote.stop();
        sc.BitBtn_Reset.click();
        form.FormClose();
        state.SetIterationTime(1.0);
        state.counters["period"] = period;
        state.counters["taps_seen"] = static_cast<double>(latency_ms.size());
        state.counters["tap_to_buffer_ms_median"] = percentile(latency_ms, 0.5);
        state.counters["tap_to_buffer_ms_p95"] = percentile(latency_ms, 0.95);
        state.counters["tap_to_buffer_ms_max"] = percentile(latency_ms, 1.0);
        state.counters["meters_per_s"] = static_cast<double>(meters - meters_before) / seconds;
    }
}
BENCHMARK(BM_RemoteTapToBuffer)->Arg(128)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
