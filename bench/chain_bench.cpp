// process_chain over 16 committed Gain slots, and over the sixteen-slot chain
// of bench/heavy_chain.pre (every kind; $TW_HEAVY_PRESET names another
// preset), 48 kHz stereo, 512-frame buffers.
// Reports ns per frame and the real-time factor (buffer duration / processing time).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include <cstdlib>
#include <string>

#include "app/chain_editor.h"
#include "app/chain_presets.h"
#include "app/main_form.h"
#include "app/program_folder.h"
#include "engine/denormals.h"
#include "engine/effects.h"
#include "frame_counters.h"
#include "fx/gain_form.h"
#include "fx/kinds.h"

namespace {

void run_chain_bench(benchmark::State& state, bool chorus) {
    using namespace tw;
    reset_engine();
    EffectRegistry* reg = init_kind_registry();
    ChainTable t;
    t.count = 16;
    for (int i = 0; i < 16; ++i) {
        t.slot[i].process = reg->process[kKindGain];
        t.slot[i].params = reg->params[kKindGain];
        t.slot[i].kind = kKindGain;
        t.slot[i].instance = reg->create[kKindGain]();
        t.slot[i].enabled = 1;
        auto* g = static_cast<Tgain_form*>(t.slot[i].instance);
        g->RadioBox_SimpleChorus.set_checked(chorus);
    }
    commit_chain(t);
    constexpr int kFrames = 512;
    constexpr int kRate = 48000;
    std::vector<float> buf(2 * kFrames);
    for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<float>(10000.0 * std::sin(0.05 * i));
    for (auto _ : state) {
        process_chain(kFrames, kRate, 2, buf.data());
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    tw::bench::set_frame_counters(state, kFrames, kRate);
    reset_engine();
    for (int i = 0; i < 16; ++i) delete t.slot[i].instance;
}

// The heavy chain loaded as the program loads a preset, over a guitar-like
// signal (a decaying note refilled every buffer).
void BM_Chain16Heavy(benchmark::State& state) {
    using namespace tw;
    const char* env = std::getenv("TW_HEAVY_PRESET");
    const std::string preset = env != nullptr && *env != '\0' ? env : TW_BENCH_DIR "/heavy_chain.pre";
    std::string why;
    if (!setup_program_folder("", &why) && !why.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    enable_flush_to_zero();
    ChainEditor editor;
    MainForm::show_chain(editor);
    if (!load_preset(editor, preset)) {
        state.SkipWithError(("cannot load the preset " + preset).c_str());
        return;
    }
    constexpr int kFrames = 512;
    constexpr int kRate = 48000;
    std::vector<float> src(2 * kFrames), buf(2 * kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const float v = static_cast<float>(9000.0 * std::sin(0.04 * i) * std::exp(-i / 800.0));
        src[2 * i] = v;
        src[2 * i + 1] = 0.8f * v;
    }
    for (auto _ : state) {
        buf = src;
        process_chain(kFrames, kRate, 2, buf.data());
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    tw::bench::set_frame_counters(state, kFrames, kRate);
    reset_engine();
}

void BM_Chain16Gain(benchmark::State& state) { run_chain_bench(state, false); }
void BM_Chain16GainChorus(benchmark::State& state) { run_chain_bench(state, true); }

}  // namespace

BENCHMARK(BM_Chain16Gain);
BENCHMARK(BM_Chain16GainChorus);
BENCHMARK(BM_Chain16Heavy)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
