// The built-in devices, offered after the real ones: "Demo guitar (built-in)"
// plays the bundled dry guitar loop as if it were a capture device, and
// "Null output (no sound card)" consumes audio. Each stream runs on a thread
// of its own that paces the buffers in real time with the steady clock.
#pragma once

#include <memory>
#include <string>

#include "engine/audio_backend.h"

namespace tw::audio {

inline constexpr const char* kDemoInputName = "Demo guitar (built-in)";
inline constexpr const char* kNullOutputName = "Null output (no sound card)";
// Buffer size the built-in devices use when asked for less.
inline constexpr int kBuiltinMinFrames = 256;

// `demo_wav_path`: the loop to play; when it cannot be read the same riff is
// synthesised in memory instead. UI thread.
std::unique_ptr<AudioBackend> make_builtin_backend(const std::string& demo_wav_path);

}  // namespace tw::audio
