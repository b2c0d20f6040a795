// A 32-bit float WAV written front to back, for outputs that cannot seek
// (a pipe or FIFO), which libsndfile will not write: the header comes first,
// with the true sizes when the length is known in advance, else the
// "unknown, read to the end" value 0xFFFFFFFF that stream readers accept.
//
// Threads: any (each object belongs to one thread).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tw::render {

// A plain WAV holds at most this many bytes (its sizes are 32-bit), less
// room for the header and the chunks libsndfile adds.
inline constexpr std::uint64_t kPlainWavLimit = 0xFFFFFFFFull - 4096;

// Whether `frames` frames of 32-bit float samples need RF64 instead of a
// plain WAV: when they pass `limit` bytes, or nobody knows how many will come.
bool needs_rf64(std::optional<std::int64_t> frames, int channels, std::uint64_t limit = kPlainWavLimit);

// The 46-byte header; `frames` is the number of frames that will follow,
// if known.
std::vector<std::uint8_t> float_wav_header(int rate, int channels, std::optional<std::int64_t> frames);

// Appends `count` samples as little-endian IEEE floats.
void append_float_samples(std::vector<std::uint8_t>& out, const float* samples, std::size_t count);

}  // namespace tw::render
