// tonewarp-chain-demo: runs a plucked-string test signal through a chain of
// Gain slots, buffer by buffer as the audio thread would, and reports the
// levels and the chain's CPU load. A quick check that the engine works on a
// machine with no sound card and no screen.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/denormals.h"
#include "engine/effects.h"
#include "fx/gain_form.h"
#include "fx/kinds.h"

namespace {

// A few plucked notes (Karplus-Strong) on the 16-bit scale, stereo.
std::vector<float> plucked_riff(int rate, double seconds) {
    const double notes[] = {82.41, 110.0, 146.83, 196.0, 146.83, 110.0};
    const int total = static_cast<int>(rate * seconds);
    const int per_note = total / 6;
    std::vector<float> out(2 * static_cast<std::size_t>(total), 0.0f);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (int n = 0; n < 6; ++n) {
        const int period = static_cast<int>(rate / notes[n]);
        std::vector<float> ring(period);
        for (float& v : ring) v = noise(rng);
        int pos = 0;
        for (int i = 0; i < per_note; ++i) {
            const int next = (pos + 1) % period;
            const float v = ring[pos];
            ring[pos] = 0.996f * 0.5f * (ring[pos] + ring[next]);
            pos = next;
            const std::size_t f = static_cast<std::size_t>(n) * per_note + i;
            out[2 * f] = out[2 * f + 1] = v * 12000.0f;
        }
    }
    return out;
}

float peak(const float* s, std::size_t n) {
    float p = 0.0f;
    for (std::size_t i = 0; i < n; ++i) p = std::max(p, std::fabs(s[i]));
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::puts("Usage: tonewarp-chain-demo\n"
                      "Runs a generated plucked-guitar signal (48 kHz stereo, 512-frame buffers)\n"
                      "through a chain of Gain slots and prints the levels and the CPU load.\n"
                      "Exit codes: 0 done, 2 command line not usable (it takes no arguments).");
            return 0;
        }
        std::fprintf(stderr, "tonewarp-chain-demo: %s is not an option it knows (see --help).\n", argv[i]);
        return 2;
    }
    using namespace tw;
    enable_flush_to_zero();
    constexpr int kRate = 48000;
    constexpr int kFrames = 512;
    EffectRegistry* reg = init_kind_registry();

    // Row 1: Gain +6 dB-ish (position 55 = x2); row 2: Gain x0.5 with Air off; row 3: empty.
    ChainTable t;
    t.count = 16;
    for (int i = 0; i < 16; ++i) {
        t.slot[i].process = reg->process[0];
        t.slot[i].params = reg->params[0];
    }
    auto put_gain = [&](int slot, int position, bool air) {
        t.slot[slot].process = reg->process[kKindGain];
        t.slot[slot].params = reg->params[kKindGain];
        t.slot[slot].kind = kKindGain;
        t.slot[slot].instance = reg->create[kKindGain]();
        t.slot[slot].enabled = 1;
        auto* g = static_cast<Tgain_form*>(t.slot[slot].instance);
        g->ScrollBar_Gain_Mono.set_position(position);
        g->CheckRadioBox_Air.set_checked(air);
    };
    put_gain(0, 55, false);
    put_gain(1, 45, false);
    put_gain(2, 60, false);
    commit_chain(t);

    std::vector<float> audio = plucked_riff(kRate, 3.0);
    const float in_peak = peak(audio.data(), audio.size());
    float max_load = 0.0f;
    const std::size_t buffers = audio.size() / (2 * kFrames);
    for (std::size_t b = 0; b < buffers; ++b) {
        process_chain(kFrames, kRate, 2, audio.data() + b * 2 * kFrames);
        max_load = std::max(max_load, cpu_load.load());
    }
    const float out_peak = peak(audio.data(), buffers * 2 * kFrames);
    std::printf("Chain: row 1 Gain (x2), row 2 Gain (x0.5), row 3 Gain (x3), rows 4-16 empty\n");
    std::printf("Processed %zu buffers of %d frames (%.2f s of 48 kHz stereo)\n", buffers, kFrames,
                buffers * kFrames / static_cast<double>(kRate));
    std::printf("Input peak  %8.1f (16-bit scale)\n", in_peak);
    std::printf("Output peak %8.1f (expected x3 = %.1f)\n", out_peak, in_peak * 3.0f);
    std::printf("Highest CPU load of one buffer: %.4f %%\n", max_load * 100.0f);
    reset_engine();
    for (int i = 0; i < 16; ++i) delete t.slot[i].instance;
    return 0;
}
