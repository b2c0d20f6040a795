#include "engine/audio_devices.h"

#include "engine/audio_builtin.h"
#include "engine/audio_jack.h"
#include "engine/audio_pipewire.h"
#include "engine/audio_pulse.h"
#include "engine/audio_rtaudio.h"
#include "engine/dsound.h"
#include "engine/waves.h"

namespace tw {

std::vector<DeviceRef> DeviceCatalog::inputs() const {
    std::vector<DeviceRef> out;
    for (const auto& b : backends_)
        for (auto& d : b->devices())
            if (d.input_channels > 0) out.push_back({b.get(), std::move(d)});
    return out;
}

std::vector<DeviceRef> DeviceCatalog::outputs(bool alternative_only) const {
    std::vector<DeviceRef> out;
    for (const auto& b : backends_)
        for (auto& d : b->devices())
            if (d.output_channels > 0 && (!alternative_only || d.alternative)) out.push_back({b.get(), std::move(d)});
    return out;
}

unsigned long long DeviceCatalog::xruns() const {
    unsigned long long n = 0;
    for (const auto& b : backends_) n += b->xruns();
    return n;
}

bool DeviceCatalog::stream_lost() const {
    for (const auto& b : backends_)
        if (b->stream_lost()) return true;
    return false;
}

AudioDevices::AudioDevices(std::vector<std::unique_ptr<audio::AudioBackend>> backends)
    : catalog(std::move(backends)), waves(std::make_unique<WaveIn>(catalog)), dsound(std::make_unique<DSound>(catalog)) {}

AudioDevices::~AudioDevices() {
    // Streams first, then the backends they run on.
    waves.reset();
    dsound.reset();
}

std::vector<std::unique_ptr<audio::AudioBackend>> make_system_backends(const DeviceOptions& options) {
    std::vector<std::unique_ptr<audio::AudioBackend>> out;
    if (options.system_devices) {
        out.push_back(audio::make_jack_backend());
        out.push_back(audio::make_pipewire_backend());
        for (auto& b : audio::make_rtaudio_backends()) out.push_back(std::move(b));
        out.push_back(audio::make_pulse_backend());
    }
    if (options.builtin_devices) out.push_back(audio::make_builtin_backend(options.demo_wav_path));
    return out;
}

}  // namespace tw
