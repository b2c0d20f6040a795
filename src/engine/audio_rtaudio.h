// The ALSA backend over RtAudio 5.2 (JACK and PulseAudio have backends of
// their own, engine/audio_jack.h and engine/audio_pulse.h).
#pragma once

#include <memory>
#include <vector>

#include "engine/audio_backend.h"

namespace tw::audio {

// The ALSA backend when this RtAudio was built with it. UI thread.
std::vector<std::unique_ptr<AudioBackend>> make_rtaudio_backends();

}  // namespace tw::audio
