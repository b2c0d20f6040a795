// Every built effect kind (the equaliser with its side filters off, then all
// on) through its registered ProcessFn at 48 kHz stereo, 512-frame buffers.
// Reports ns per frame and the real-time factor (audio seconds per CPU second).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/denormals.h"
#include "engine/effects.h"
#include "frame_counters.h"
#include "fx/effect_form.h"
#include "fx/eq8.h"
#include "fx/kinds.h"

namespace {

constexpr int kFrames = 512;
constexpr int kRate = 48000;

void run_kind(benchmark::State& state, int kind, void (*setup)(tw::Instance) = nullptr) {
    using namespace tw;
    enable_flush_to_zero();
    EffectRegistry* reg = init_kind_registry();
    Instance inst = reg->create[kind]();
    if (setup != nullptr) setup(inst);
    // A guitar-like signal: a loud decaying note over a quiet hum, refilled
    // each buffer so every kind sees the same input.
    std::vector<float> src(2 * kFrames), buf(2 * kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const float v = static_cast<float>(9000.0 * std::sin(0.04 * i) * std::exp(-i / 800.0) + 30.0 * std::sin(0.007 * i));
        src[2 * i] = v;
        src[2 * i + 1] = 0.8f * v;
    }
    for (auto _ : state) {
        buf = src;
        reg->process[kind](kFrames, kRate, 2, buf.data(), inst);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    tw::bench::set_frame_counters(state, kFrames, kRate);
    delete inst;
}

void BM_NoiseGate(benchmark::State& state) { run_kind(state, tw::kKindNoiseGate); }
void BM_Distortion1(benchmark::State& state) { run_kind(state, tw::kKindDistortion1); }
void BM_CompTortion(benchmark::State& state) { run_kind(state, tw::kKindCompTortion); }
void BM_Delay(benchmark::State& state) { run_kind(state, tw::kKindDelay); }
void BM_Flanger(benchmark::State& state) { run_kind(state, tw::kKindFlanger); }
void BM_Reverb(benchmark::State& state) { run_kind(state, tw::kKindReverb); }
void BM_EQ8(benchmark::State& state) { run_kind(state, tw::kKindEQ8); }
void BM_EQ8_AllFilters(benchmark::State& state) {
    run_kind(state, tw::kKindEQ8, [](tw::Instance inst) {
        auto* eq = static_cast<tw::TEQ8_form*>(inst);
        for (tw::ui::CheckBox* c : {&eq->CheckRadioBox_FVC_OnOff, &eq->CheckRadioBox_FNC_OnOff, &eq->CheckRadioBox_Shelf,
                                    &eq->CheckRadioBox_fnc_2000_OnOff, &eq->CheckRadioBox_Filter_Notch})
            c->set_checked(true);
    });
}
void BM_Wah(benchmark::State& state) { run_kind(state, tw::kKindWah); }

}  // namespace

BENCHMARK(BM_NoiseGate);
BENCHMARK(BM_Distortion1);
BENCHMARK(BM_CompTortion);
BENCHMARK(BM_Delay);
BENCHMARK(BM_Flanger);
BENCHMARK(BM_Reverb);
BENCHMARK(BM_EQ8);
BENCHMARK(BM_EQ8_AllFilters);
BENCHMARK(BM_Wah);
BENCHMARK_MAIN();
