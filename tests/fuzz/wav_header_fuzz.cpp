// Fuzz target: the playback effect's WAV header reader on arbitrary bytes.
// Build: clang++ -std=c++20 -fsanitize=fuzzer,address,undefined -Isrc \
//   tests/fuzz/wav_header_fuzz.cpp src/fx/wav_header.cpp -o wav_header_fuzz
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fx/wav_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tw::MemorySource src({data, size});
    const tw::WavHeaderResult r = tw::read_wav_header(src);
    if (r.ok) {
        // What a successful read promises: the data begins inside the search
        // window and the format block's tail past fmt_size is zero.
        const std::int64_t lo = 20 + static_cast<std::int64_t>(r.header.fmt_size) + 8;
        if (r.header.fmt_size < tw::kMinFormatSize || r.header.fmt_size > tw::kFormatBlockBytes) std::abort();
        if (r.header.data_offset < lo || r.header.data_offset > lo + tw::kLastDataSearchAttempt) std::abort();
        if (static_cast<std::size_t>(r.header.data_offset) > size) std::abort();
        for (std::size_t i = r.header.fmt_size; i < tw::kFormatBlockBytes; ++i)
            if (r.header.fmt_block[i] != 0) std::abort();
        (void)tw::unplayable_reason(r.header);
    } else if (r.message.empty()) {
        std::abort();
    }
    return 0;
}
