// Every built effect kind (the equaliser with its side filters off, then all
// on) through its registered ProcessFn at 48 kHz stereo, 512-frame buffers;
// the Distortion (Simple) also in mono, in each mode; the multiband
// distortion also in mono and with Filter 2; the Gain also with its chorus;
// the WAV player mixing demo1.wav, the recorder recording.
// Reports ns per frame and the real-time factor (audio seconds per CPU second).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "app/program_folder.h"
#include "engine/denormals.h"
#include "engine/effects.h"
#include "frame_counters.h"
#include "fx/effect_form.h"
#include "fx/eq8.h"
#include "fx/gain_form.h"
#include "fx/record_wavs.h"
#include "fx/MultiTortions.h"
#include "fx/kinds.h"
#include "fx/limiter_form.h"

namespace {

constexpr int kFrames = 512;
constexpr int kRate = 48000;

// `setup` (may be null) adjusts the fresh instance before the run.
void run_kind(benchmark::State& state, int kind, void (*setup)(tw::Instance) = nullptr, int channels = 2) {
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
        reg->process[kind](kFrames, kRate, channels, buf.data(), inst);
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
void BM_Gain(benchmark::State& state) { run_kind(state, tw::kKindGain); }
void BM_GainChorus(benchmark::State& state) {
    run_kind(state, tw::kKindGain,
             [](tw::Instance inst) { static_cast<tw::Tgain_form*>(inst)->RadioBox_SimpleChorus.set_checked(true); });
}
// The playback kind mixing demo1.wav from the program folder in.
void BM_ReadWav(benchmark::State& state) {
    tw::setup_program_folder("", nullptr);
    run_kind(state, tw::kKindReadWav);
}
// The recording kind while it records (until its memory is full).
void BM_RecordWav(benchmark::State& state) {
    run_kind(state, tw::kKindRecordWav,
             [](tw::Instance inst) { static_cast<tw::TRecord_wav_form*>(inst)->Button_Save.click(); });
}

// Distortion (Simple) in each mode (0 clip, 1 soft limiter in mono / power
// law 0.707 in stereo, 2 power law), stereo and mono.
template <int Mode>
void limiter_mode(tw::Instance inst) {
    auto* f = static_cast<tw::Tlimiter_form*>(inst);
    f->params.mode = Mode;
    f->publish();
}
template <int Mode>
void BM_Limiter(benchmark::State& state) {
    run_kind(state, tw::kKindLimiter, &limiter_mode<Mode>, static_cast<int>(state.range(0)));
}

// Multiband distortion with the fold on (its default) and Filter 2 as given.
template <bool Filter2>
void multiband_setup(tw::Instance inst) {
    auto* f = static_cast<tw::TMultiTortion_form*>(inst);
    f->CheckBox_Standard.set_checked(true);
    f->CheckBox_Filter2.set_checked(Filter2);
}
template <bool Filter2>
void BM_MultiTortion(benchmark::State& state) {
    run_kind(state, tw::kKindMultiTortion, &multiband_setup<Filter2>, static_cast<int>(state.range(0)));
}

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
BENCHMARK(BM_Gain);
BENCHMARK(BM_GainChorus);
BENCHMARK(BM_ReadWav);
BENCHMARK(BM_RecordWav);
BENCHMARK(BM_Limiter<0>)->ArgName("channels")->Arg(2)->Arg(1);
BENCHMARK(BM_Limiter<1>)->ArgName("channels")->Arg(2)->Arg(1);
BENCHMARK(BM_Limiter<2>)->ArgName("channels")->Arg(2)->Arg(1);
BENCHMARK(BM_MultiTortion<false>)->ArgName("channels")->Arg(2)->Arg(1);
BENCHMARK(BM_MultiTortion<true>)->ArgName("channels")->Arg(2)->Arg(1);
BENCHMARK_MAIN();
