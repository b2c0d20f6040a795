// Backends over RtAudio 5.2, one per host API (JACK, ALSA, PulseAudio).
#pragma once

#include <memory>
#include <vector>

#include "engine/audio_backend.h"

namespace tw::audio {

// One backend for each of JACK, ALSA and PulseAudio that this RtAudio was
// built with, in that order. UI thread.
std::vector<std::unique_ptr<AudioBackend>> make_rtaudio_backends();

}  // namespace tw::audio
