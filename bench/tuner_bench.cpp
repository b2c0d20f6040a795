// The tuner's CPU cost: the whole analysis (filters, decimation, the pitch
// detector every 10 ms, the tracker) over one second of a plucked low E with
// noise, at 48 kHz, fed in 5 ms blocks as the tuner thread polls.
// `cpu_per_audio_s` is CPU seconds per second of audio (x1000 = ms per s).
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "app/tuner_analyser.h"

namespace {

std::vector<float> plucked(double hz, int rate) {
    std::vector<float> x(static_cast<std::size_t>(rate));
    std::mt19937 gen(1);
    std::normal_distribution<double> noise(0.0, 30.0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0.0;
        for (int k = 1; k <= 6; ++k) v += 3000.0 / k * std::exp(-t * k) * std::sin(2.0 * std::numbers::pi * k * hz * t);
        x[i] = static_cast<float>(v + noise(gen));
    }
    return x;
}

void BM_TunerOneSecond(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const std::vector<float> x = plucked(82.41, rate);
    tw::TunerAnalyser a;
    a.configure(rate);
    const std::size_t block = static_cast<std::size_t>(rate / 200);
    for (auto _ : state) {
        for (std::size_t i = 0; i + block <= x.size(); i += block) a.feed(x.data() + i, block);
        benchmark::DoNotOptimize(a.frequency());
    }
    state.counters["cpu_per_audio_s"] =
        benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TunerOneSecond)->Arg(48000)->Arg(44100)->Arg(32075)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
