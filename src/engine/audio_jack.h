// The JACK backend, written straight on libjack. Devices are the JACK clients
// that own audio ports ("JACK: system"). Capture and playback share one client,
// "tonewarp", with ports "inport N" and "outport N" connected to the device's
// ports (not when RTAUDIO_JACK_DONT_CONNECT is set); in each period the
// capture side runs first, then the playback side.
//
// A server that goes away is survived: its shutdown notice only raises a flag
// (stream_lost), closing first makes sure no callback is inside the program's
// code (libjack cancels the client's audio thread wherever it stands), and no
// other client is opened while the stream's client lives. A start that fails
// because the server went away also counts as a lost stream, so a START
// during the server's death ends the same way as a stream lost later.
#pragma once

#include <memory>

#include "engine/audio_backend.h"

namespace tw::audio {

// Device names begin with this.
inline constexpr const char* kJackLabel = "JACK: ";

// UI thread.
std::unique_ptr<AudioBackend> make_jack_backend();

}  // namespace tw::audio
