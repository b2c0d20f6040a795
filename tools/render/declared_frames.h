// How many frames a WAV (RIFF/RF64) file's header says it holds, read from
// the file's first bytes; the renderer compares it with what it could read
// and warns about a cut-off file.
//
// Threads: any.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tw::render {

// Frames the header declares, from the start of a file (`head`, its first
// bytes); nothing when it is no WAV file, its format block gives no frame
// size or the data chunk is not among these bytes. An RF64 file's size comes
// from its ds64 chunk.
std::optional<std::int64_t> declared_frames(std::span<const std::uint8_t> head);

// The same for a regular file (its first 64 KiB); nothing for other files.
std::optional<std::int64_t> declared_frames_of_file(const std::string& path);

}  // namespace tw::render
