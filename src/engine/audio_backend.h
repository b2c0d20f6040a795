// The interface every audio backend implements (RtAudio per host API, the
// built-in demo input and null output, and the fake of the unit tests). The
// device layer (waves / dsound) only ever talks to backends through it.
//
// A backend runs at most one capture stream and one playback stream at a time.
// Its stream callbacks run on the backend's own audio thread and must only do
// what the device layer's callbacks allow (no allocation, no lock, no I/O).
#pragma once

#include <string>
#include <vector>

namespace tw::audio {

// One device as a backend offers it.
struct BackendDevice {
    std::string name;          // shown to the user, e.g. "JACK: system"
    int input_channels = 0;    // 0 = cannot capture
    int output_channels = 0;   // 0 = cannot play
    bool alternative = false;  // belongs to the alternative output path (desktop sound server)
};

// Receives `frames` interleaved frames of captured audio, full scale +-1.0.
// Audio thread of the backend.
using CaptureFn = void (*)(void* user, const float* in, int frames);
// Fills `frames` interleaved frames of audio to play, full scale +-1.0.
// Audio thread of the backend.
using PlaybackFn = void (*)(void* user, float* out, int frames);

struct StreamRequest {
    std::string device_name;  // as in BackendDevice::name
    int sample_rate = 48000;
    int channels = 2;
    int frames = 256;         // wished buffer size; the backend may change it
    std::string stream_name;  // e.g. the JACK client name
    // Playback only: the capture started next on this backend runs in the
    // same callback (one_cycle_duplex_pair was true for the two devices).
    bool same_cycle = false;
};

class AudioBackend {
public:
    virtual ~AudioBackend() = default;

    // Every device this backend offers now. UI thread.
    virtual std::vector<BackendDevice> devices() = 0;

    // The smallest buffer, in frames, the device accepts at that rate (for JACK:
    // the server's period); 0 if it cannot tell. UI thread.
    virtual int min_buffer_frames(const std::string& device_name, int sample_rate, int channels) = 0;

    // Opens and starts a capture stream. On success returns "" and stores the
    // buffer size actually used in `frames_out`; on failure returns a message
    // saying why, and nothing is left open. UI thread.
    virtual std::string start_capture(const StreamRequest& request, int& frames_out, CaptureFn fn, void* user) = 0;
    // Stops and closes the capture stream; no callback runs after it returns.
    // Harmless when nothing is open. UI thread.
    virtual void stop_capture() = 0;

    // Same for playback.
    virtual std::string start_playback(const StreamRequest& request, int& frames_out, PlaybackFn fn, void* user) = 0;
    virtual void stop_playback() = 0;

    // Buffers the sound system itself reported late or lost (xruns) since
    // this backend was made; 0 when it cannot tell. Any thread.
    virtual unsigned long long xruns() const { return 0; }
    // True when a stream this backend started has been closed under it (the
    // JACK server went away). UI thread.
    virtual bool stream_lost() const { return false; }
    // What the sound system itself holds of the running capture / playback
    // stream (its buffers and the device's), in ms; 0 when nothing runs or it
    // cannot tell. Any thread.
    virtual double capture_latency_ms() const { return 0.0; }
    virtual double playback_latency_ms() const { return 0.0; }
    // The period, in frames, and the rate the sound system runs the stream
    // at now (PipeWire's graph may change its quantum while the stream runs);
    // 0 when nothing runs or it cannot tell. Any thread.
    virtual int graph_frames() const { return 0; }
    virtual int graph_rate() const { return 0; }
    // True when this backend runs its capture and its playback in one
    // callback of one clock, the capture first (JACK): what the capture hands
    // on in a cycle can be played in the same cycle. Any thread.
    virtual bool one_cycle_duplex() const { return false; }
    // The same for one pair of this backend's devices (ALSA runs one device's
    // capture and playback in one stream). Any thread.
    virtual bool one_cycle_duplex_pair(const std::string& /*input_device*/, const std::string& /*output_device*/) const {
        return one_cycle_duplex();
    }
};

}  // namespace tw::audio
