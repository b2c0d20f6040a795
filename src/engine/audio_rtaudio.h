// Backends over RtAudio 5.2, one per host API (ALSA, PulseAudio; JACK has a
// backend of its own, engine/audio_jack.h).
#pragma once

#include <memory>
#include <vector>

#include "engine/audio_backend.h"

namespace tw::audio {

// One backend for each of ALSA and PulseAudio that this RtAudio was built
// with, in that order. UI thread.
std::vector<std::unique_ptr<AudioBackend>> make_rtaudio_backends();

}  // namespace tw::audio
