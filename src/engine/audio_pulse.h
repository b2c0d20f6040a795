// The PulseAudio backend, written on libpulse (PipeWire's pulse service
// serves it too). Devices are the server's sinks and sources, shown as
// "PulseAudio: " + the description ("PulseAudio: Null Output", "PulseAudio:
// Monitor of Null Output").
//
// Each stream is a pa_simple connection with small buffer attributes driven by
// a thread of its own: capture reads one period and hands it on; playback
// asks for one period and writes it. The server's own latency for each stream
// (pa_simple_get_latency, read after every period) is what the status line
// adds to the program's queue. A server that goes away makes the next read or
// write fail: the thread ends and stream_lost() turns true.
//
// Buffer sizes (read at each start; the defaults give about 11 ms of output
// buffering at 48000 Hz):
//   TONEWARP_PULSE_PERIOD   frames per read / write (default 256, 64..4096)
//   TONEWARP_PULSE_PERIODS  output buffer (tlength) in periods (default 2, 1..16)
#pragma once

#include <memory>

#include "engine/audio_backend.h"

namespace tw::audio {

inline constexpr const char* kPulseLabel = "PulseAudio: ";

// UI thread.
std::unique_ptr<AudioBackend> make_pulse_backend();

}  // namespace tw::audio
