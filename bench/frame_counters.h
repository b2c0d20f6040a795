// The two figures every audio benchmark reports: ns per frame and the
// real-time factor (seconds of audio processed per second of CPU).
#pragma once

#include <benchmark/benchmark.h>

namespace tw::bench {

inline void set_frame_counters(benchmark::State& state, int frames_per_iteration, int sample_rate) {
    const double frames = static_cast<double>(state.iterations()) * frames_per_iteration;
    state.counters["ns_per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime_factor"] = benchmark::Counter(frames / sample_rate, benchmark::Counter::kIsRate);
}

}  // namespace tw::bench
