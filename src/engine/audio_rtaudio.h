// The ALSA backend over RtAudio 5.2 (JACK and PulseAudio have backends of
// their own, engine/audio_jack.h and engine/audio_pulse.h).
//
// Buffer sizes (read at each start): TONEWARP_ALSA_PERIOD, the smallest
// period offered (default 256 frames, 64..4096), and TONEWARP_ALSA_PERIODS,
// the periods in the device buffer (default 2, 2..16). "ALSA: default" as
// both input and output runs in one loop (engine/alsa_duplex.h) unless
// TONEWARP_ALSA_DUPLEX=0.
#pragma once

#include <memory>
#include <vector>

#include "engine/audio_backend.h"

namespace tw::audio {

// The ALSA backend when this RtAudio was built with it. UI thread.
std::vector<std::unique_ptr<AudioBackend>> make_rtaudio_backends();

}  // namespace tw::audio
