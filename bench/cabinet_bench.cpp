// The Cabinet IR's convolution at 48 kHz stereo on one core: a 200 ms and a
// 1 s IR at block sizes 1 .. 2048, and, side by side, the same IRs through
// libzita-convolver (Debian's libzita-convolver4, used here only to compare)
// at each power-of-two partition size (its latency is that size; ours is 0).
// The whole process is pinned to one processor and wall time is measured, so
// zita's worker threads are counted on the same core.
// Reports ns per frame and the real-time factor (audio seconds per second).
#include <benchmark/benchmark.h>
#include <sched.h>
#include <zita-convolver.h>

#include <cmath>
#include <map>
#include <utility>
#include <memory>
#include <random>
#include <vector>

#include "engine/denormals.h"
#include "frame_counters.h"
#include "fx/cabinet_ir.h"
#include "fx/cabinet_kernel.h"

namespace {

constexpr int kRate = 48000;
constexpr int kFramesPerIteration = 2048;

// A stereo IR of decaying noise, `ms` long at 48 kHz.
tw::IrWav make_ir(int ms) {
    tw::IrWav w;
    w.channels = 2;
    w.sample_rate = kRate;
    const std::size_t n = static_cast<std::size_t>(kRate) * static_cast<std::size_t>(ms) / 1000;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    for (auto& ch : w.taps) {
        ch.resize(n);
        for (std::size_t i = 0; i < n; ++i) ch[i] = d(rng) * std::exp(-4.0f * static_cast<float>(i) / static_cast<float>(n));
    }
    return w;
}

std::vector<float> guitar_like(std::size_t frames) {
    std::vector<float> v(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const float s = static_cast<float>(9000.0 * std::sin(0.04 * static_cast<double>(i)));
        v[2 * i] = s;
        v[2 * i + 1] = 0.8f * s;
    }
    return v;
}

// Ours: CabinetKernel with a prepared set, `block` frames a call.
void BM_Cabinet(benchmark::State& state) {
    tw::enable_flush_to_zero();
    const int ms = static_cast<int>(state.range(0));
    const int block = static_cast<int>(state.range(1));
    auto set = std::make_unique<tw::CabinetIrSet>(make_ir(ms));
    auto kernel = std::make_unique<tw::CabinetKernel>();
    tw::CabinetKernel::Params p;
    p.set = set.get();
    p.serial = 1;
    p.wet = 1.0f;
    p.dry = 0.0f;
    const std::vector<float> src = guitar_like(kFramesPerIteration);
    std::vector<float> buf(src.size());
    for (auto _ : state) {
        buf = src;
        for (int done = 0; done < kFramesPerIteration; done += block) {
            const int n = std::min(block, kFramesPerIteration - done);
            kernel->process({n, kRate, 2, buf.data() + 2 * done}, p);
        }
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    tw::bench::set_frame_counters(state, kFramesPerIteration, kRate);
}

// zita-convolver: one quantum per call (its partition size), synchronous.
// One Convproc per setting, made at its first run and kept (idle) until the
// program ends: a second Convproc started and stopped in the same process
// does not survive here (heap corruption or a hang in its worker threads).
Convproc* zita_for(int ms, int quantum) {
    static std::map<std::pair<int, int>, Convproc*> made;
    Convproc*& conv = made[{ms, quantum}];
    if (conv != nullptr) return conv;
    static std::vector<tw::IrWav> irs;   // the taps stay alive with the convolver
    irs.push_back(make_ir(ms));
    tw::IrWav& ir = irs.back();
    const auto taps = static_cast<int>(ir.taps[0].size());
    auto* c = new Convproc;
    if (c->configure(2, 2, static_cast<uint32_t>(taps), static_cast<uint32_t>(quantum), static_cast<uint32_t>(quantum),
                     Convproc::MAXPART, 0.0f) != 0)
        return nullptr;
    c->impdata_create(0, 0, 1, ir.taps[0].data(), 0, taps);
    c->impdata_create(1, 1, 1, ir.taps[1].data(), 0, taps);
    c->start_process(0, SCHED_OTHER);
    conv = c;
    return conv;
}

void BM_Zita(benchmark::State& state) {
    tw::enable_flush_to_zero();
    const int ms = static_cast<int>(state.range(0));
    const int quantum = static_cast<int>(state.range(1));
    Convproc* conv = zita_for(ms, quantum);
    if (conv == nullptr) {
        state.SkipWithError("zita-convolver refused the configuration");
        return;
    }
    const std::vector<float> src = guitar_like(kFramesPerIteration);
    for (auto _ : state) {
        for (int done = 0; done < kFramesPerIteration; done += quantum) {
            for (int c = 0; c < 2; ++c) {
                float* in = conv->inpdata(static_cast<uint32_t>(c));
                for (int i = 0; i < quantum; ++i) in[i] = src[static_cast<std::size_t>(2 * (done + i) + c)];
            }
            conv->process(true);
            benchmark::DoNotOptimize(conv->outdata(0));
        }
        benchmark::ClobberMemory();
    }
    tw::bench::set_frame_counters(state, kFramesPerIteration, kRate);
}

void block_sizes(benchmark::internal::Benchmark* b) {
    for (int ms : {200, 1000})
        for (int block : {1, 7, 37, 64, 96, 192, 512, 1000, 2048}) b->Args({ms, block});
}

void zita_sizes(benchmark::internal::Benchmark* b) {
    for (int ms : {200, 1000})
        for (int q : {64, 128, 256, 512, 1024, 2048}) b->Args({ms, q});
}

}  // namespace

BENCHMARK(BM_Cabinet)->Apply(block_sizes)->ArgNames({"ir_ms", "block"})->UseRealTime();
BENCHMARK(BM_Zita)->Apply(zita_sizes)->ArgNames({"ir_ms", "partition"})->UseRealTime();

int main(int argc, char** argv) {
    // One core for everything, zita's threads included.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    sched_setaffinity(0, sizeof one, &one);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
