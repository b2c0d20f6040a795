// Fuzz target: the cabinet's IR file reader on arbitrary bytes.
// Build: clang++ -std=c++20 -fsanitize=fuzzer,address,undefined -Isrc \
//   tests/fuzz/ir_wav_fuzz.cpp src/fx/ir_wav.cpp src/fx/wav_header.cpp -o ir_wav_fuzz
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fx/ir_wav.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tw::MemorySource src({data, size});
    const tw::IrWavResult r = tw::read_ir_wav(src, 1.0);
    if (!r.ok) {
        if (r.message.empty()) std::abort();
        return 0;
    }
    // What a successful read promises: a rate in range, one or two channels
    // of equal length, at most one second of finite, bounded taps.
    const tw::IrWav& w = r.wav;
    if (w.sample_rate < tw::kIrMinRate || w.sample_rate > tw::kIrMaxRate) std::abort();
    if (w.taps[0].empty() || w.taps[0].size() > w.sample_rate) std::abort();
    if (!w.taps[1].empty() && w.taps[1].size() != w.taps[0].size()) std::abort();
    for (const auto& ch : w.taps)
        for (float v : ch)
            if (!std::isfinite(v) || std::fabs(v) > 16.0f) std::abort();
    return 0;
}
