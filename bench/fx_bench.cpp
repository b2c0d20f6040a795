// Every built effect kind (the equaliser with its side filters off, then all
// on) through its registered ProcessFn at 48 kHz stereo, 512-frame buffers;
// the Distortion (Simple) also in mono, in each mode; the multiband
// distortion also in mono and with Filter 2; the Gain also with its chorus;
// the WAV player mixing demo1.wav, the recorder recording.
// The Amp model's neural models (the trainer's WaveNet and LSTM shapes, random
// weights) alone on one core at 64-frame mono blocks (the standard WaveNet
// also at 512), in the build for any x86-64 and the AVX2/FMA one.
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
#include "fx/nam/nam_dsp.h"
#include "fx/nam_test_models.h"

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

// A model alone: `which` 0..3 the WaveNets standard, lite, feather, nano;
// 4..6 the LSTMs 1 x 16, 1 x 24, 2 x 8. range(1): 0 plain, 1 AVX2/FMA.
void BM_NamModel(benchmark::State& state) {
    using namespace tw;
    enable_flush_to_zero();
    const int which = static_cast<int>(state.range(0));
    const nam::Isa isa = state.range(1) == 1 ? nam::Isa::Avx2 : nam::Isa::Plain;
    const int block = static_cast<int>(state.range(2));
    if (isa == nam::Isa::Avx2 && nam::best_isa() != nam::Isa::Avx2) {
        state.SkipWithError("no AVX2/FMA here");
        return;
    }
    static const char* const kWaveNets[] = {"standard", "lite", "feather", "nano"};
    static const int kLstm[][2] = {{1, 16}, {1, 24}, {2, 8}};
    const std::string text = which < 4 ? test::wavenet_json(test::trainer_wavenet(kWaveNets[which]), 1)
                                       : test::lstm_json(kLstm[which - 4][0], kLstm[which - 4][1], 1);
    const nam::ReadResult r = nam::parse_model(text);
    auto dsp = nam::make_dsp(r.model, {isa, true});
    std::vector<float> x(48000), y(48000);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(0.3 * std::sin(0.02 * i) * std::exp(-static_cast<double>(i % 4800) / 1500.0) + 0.01 * std::sin(0.3 * i));
    std::size_t at = 0;
    for (auto _ : state) {
        dsp->process(x.data() + at, y.data() + at, block);
        at = at + 2 * static_cast<std::size_t>(block) > x.size() ? 0 : at + static_cast<std::size_t>(block);
        benchmark::ClobberMemory();
    }
    state.SetLabel(which < 4 ? std::string("WaveNet ") + kWaveNets[which]
                             : "LSTM " + std::to_string(kLstm[which - 4][0]) + "x" + std::to_string(kLstm[which - 4][1]));
    tw::bench::set_frame_counters(state, block, kRate);
}
BENCHMARK(BM_NamModel)->ArgNames({"model", "avx2", "block"})->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {0, 1}, {64}});
BENCHMARK(BM_NamModel)->ArgNames({"model", "avx2", "block"})->Args({0, 1, 512})->Args({0, 0, 512});
BENCHMARK_MAIN();
