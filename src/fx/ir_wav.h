// Reading an impulse response from a WAV file: the RIFF chunks walked one by
// one, the "fmt " chunk (PCM 16/24/32-bit, IEEE float 32/64-bit, plain or
// WAVE_FORMAT_EXTENSIBLE) and the "data" chunk, at most `max_seconds` of it,
// as floats (a full-scale sample is 1.0). The file is untrusted: nothing is
// read outside what the source holds, every size is checked, and a failure
// comes back as a sentence that says what to do.
//
// Threads: any (the source belongs to the caller); the cabinet effect uses it
// on the UI thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fx/wav_header.h"

namespace tw {

inline constexpr std::uint32_t kIrMinRate = 8000;
inline constexpr std::uint32_t kIrMaxRate = 384000;

struct IrWav {
    std::int32_t channels = 0;       // channels in the file
    std::uint32_t sample_rate = 0;
    std::vector<float> taps[2];      // the first (and second) channel
    bool cut = false;                // the file held more than max_seconds
    double file_seconds = 0;         // the whole data chunk's length
};

struct IrWavResult {
    bool ok = false;
    std::string message;   // the sentence for the user when !ok
    IrWav wav;
};

// Reads the IR from `source`. Any thread.
IrWavResult read_ir_wav(const ByteSource& source, double max_seconds = 1.0);

// Opens `path` (read only, without waiting on a pipe or device, regular files
// only) and reads its IR. Any thread.
IrWavResult read_ir_wav_file(const std::string& path, double max_seconds = 1.0);

}  // namespace tw
