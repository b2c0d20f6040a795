// The set of audio backends the device layer draws its device lists from, and
// the factory for the real set (JACK, then PipeWire, then ALSA through RtAudio, then PulseAudio, then the
// built-in demo input and null output).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/audio_backend.h"

namespace tw {

class WaveIn;
class DSound;

// One device as the device lists show it: the backend that offers it and its name.
struct DeviceRef {
    audio::AudioBackend* backend = nullptr;
    audio::BackendDevice device;
};

// Owns the backends, in the order their devices are listed. UI thread.
class DeviceCatalog {
public:
    DeviceCatalog() = default;
    explicit DeviceCatalog(std::vector<std::unique_ptr<audio::AudioBackend>> backends)
        : backends_(std::move(backends)) {}

    void add_backend(std::unique_ptr<audio::AudioBackend> b) { backends_.push_back(std::move(b)); }

    // Every capture-capable device, backends in order. UI thread.
    std::vector<DeviceRef> inputs() const;
    // Every playback-capable device; with `alternative_only`, only those on the
    // alternative output path. UI thread.
    std::vector<DeviceRef> outputs(bool alternative_only) const;
    // Sum of the backends' xrun counts. Any thread.
    unsigned long long xruns() const;
    // True when a running stream was closed by its sound system. UI thread.
    bool stream_lost() const;

private:
    std::vector<std::unique_ptr<audio::AudioBackend>> backends_;
};

struct DeviceOptions {
    // The demo loop's path has no default here: the engine knows no program
    // folder.
    explicit DeviceOptions(std::string demo_wav) : demo_wav_path(std::move(demo_wav)) {}
    // Offer "Demo guitar (built-in)" and "Null output (no sound card)" after the
    // real devices.
    bool builtin_devices = true;
    // Offer the devices of the sound systems (JACK, PipeWire, ALSA, PulseAudio).
    bool system_devices = true;
    // The loop "Demo guitar (built-in)" plays. The program passes its own
    // (MainForm::device_defaults); a path that cannot be read, or an empty
    // one, plays the same riff synthesised in memory.
    std::string demo_wav_path;
};

// The capture side, the output side and the catalog they share.
struct AudioDevices {
    explicit AudioDevices(std::vector<std::unique_ptr<audio::AudioBackend>> backends);
    ~AudioDevices();
    DeviceCatalog catalog;
    std::unique_ptr<WaveIn> waves;
    std::unique_ptr<DSound> dsound;
};

// The backends of this machine for `options`. UI thread.
std::vector<std::unique_ptr<audio::AudioBackend>> make_system_backends(const DeviceOptions& options);

}  // namespace tw
