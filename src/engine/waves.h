// The capture side of the device layer: input device list and selection,
// capture with the per-buffer callback, and the software mixer levels.
//
// For each captured buffer (audio thread): convert to float on the 16-bit
// scale, apply the input level (a non-finite sample becomes 0), call the
// per-buffer callback (process_chain)
// in pieces of at most the START buffer size, apply the output level and hand
// the piece to the output entry (out_to_dsound). The levels read back are the
// decaying peaks after the input level and after the output level. Before
// all of that, the input is copied to the input tap when a reader enabled it.
//
// Mixer level scale (set_waveIn_level / set_waveOut_level, 0..100): 0 is
// silence; otherwise the gain is 0.4 dB per step around unity at 50, so 100 is
// +20 dB (x10) and 1 is -19.6 dB.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/audio_devices.h"
#include "engine/input_tap.h"

namespace tw {

// Result of get_waveIn_device_list: the highest index (-1 = no input device)
// and one name per device.
struct WaveInDeviceList {
    std::int32_t highest = -1;
    std::vector<std::string> names;
};

// The per-buffer callback: process_chain. Audio thread.
using ChainCallback = std::int32_t (*)(std::int32_t frames, std::int32_t sample_rate, std::int32_t channels,
                                       float* samples);
// The output entry: out_to_dsound with its DSound as `target`. Audio thread.
using OutputEntry = void (*)(void* target, std::int32_t frames, std::int32_t channels, const float* samples);

class WaveIn {
public:
    explicit WaveIn(const DeviceCatalog& catalog);
    ~WaveIn();
    WaveIn(const WaveIn&) = delete;
    WaveIn& operator=(const WaveIn&) = delete;

    // Lists the capture devices now offered. UI thread.
    const WaveInDeviceList& get_waveIn_device_list();
    // The device (index into the last list) for the next start. UI thread.
    void select_waveIn_device(std::int32_t index);
    std::int32_t selected_device() const { return selected_; }
    // The backend of the selected device in the last list (null when none). UI thread.
    audio::AudioBackend* selected_backend() const {
        return selected_ >= 0 && selected_ < static_cast<std::int32_t>(devices_.size())
                   ? devices_[static_cast<std::size_t>(selected_)].backend
                   : nullptr;
    }
    // The selected device's name ("" when none). UI thread.
    std::string selected_device_name() const {
        return selected_ >= 0 && selected_ < static_cast<std::int32_t>(devices_.size())
                   ? devices_[static_cast<std::size_t>(selected_)].device.name
                   : std::string();
    }
    // Smallest buffer the selected device accepts, in frames (JACK: the
    // server's period). UI thread.
    std::int32_t get_min_buf_size_waveIn(std::int32_t sample_rate, std::int32_t channels);

    // Starts capture. Returns 0, or -1 when the device cannot be opened (the
    // reason is in last_error(); nothing is left running). UI thread.
    std::int32_t setup_and_start_wave_In(std::int32_t sample_rate, std::int32_t channels, std::int32_t buffer_frames,
                                         ChainCallback callback, OutputEntry output, void* output_target);
    // Stops and closes the capture; no callback runs after it returns. UI thread.
    void stop_and_close_wave_in();
    bool capturing() const { return running_; }

    // Software mixer levels 0..100 (50 = unity). Any thread.
    void set_waveIn_level(std::int32_t level);
    void set_waveOut_level(std::int32_t level);
    // Decaying peak of recent audio on the 16-bit scale. Any thread.
    float get_waveIn_level() const { return in_peak_.load(std::memory_order_relaxed); }
    float get_waveOut_level() const { return out_peak_.load(std::memory_order_relaxed); }

    // The gain factor of a mixer level (0..100, clamped). Any thread.
    static float level_gain(std::int32_t level);

    // The copy of the input (before the input level and the chain) that the
    // tuner reads. Enabled by its reader; any thread.
    InputTap& input_tap() { return tap_; }

    // Silences the output (the chain still runs). Any thread.
    void set_output_muted(bool muted) { muted_.store(muted, std::memory_order_relaxed); }
    bool output_muted() const { return muted_.load(std::memory_order_relaxed); }

    const std::string& last_error() const { return last_error_; }
    // What the input device's sound system itself holds (its buffers), in
    // ms; 0 when stopped or when it cannot tell. UI thread.
    double device_latency_ms() const { return backend_ ? backend_->capture_latency_ms() : 0.0; }
    // Buffers the backend delivered since the start. Any thread.
    std::uint64_t buffers() const { return buffers_.load(std::memory_order_relaxed); }

private:
    static void capture_thunk(void* self, const float* in, int frames);
    void on_capture(const float* in, int frames);  // audio thread

    const DeviceCatalog& catalog_;
    std::vector<DeviceRef> devices_;
    WaveInDeviceList list_;
    std::int32_t selected_ = 0;
    std::string last_error_;
    audio::AudioBackend* backend_ = nullptr;
    bool running_ = false;

    // Set up by the start, read by the audio thread.
    std::vector<float> work_;
    std::int32_t sample_rate_ = 48000;
    std::int32_t channels_ = 2;
    std::int32_t piece_frames_ = 256;
    ChainCallback callback_ = nullptr;
    OutputEntry output_ = nullptr;
    void* output_target_ = nullptr;
    float decay_ = 0.9f;

    InputTap tap_;
    std::atomic<bool> muted_{false};
    std::atomic<float> in_gain_{1.0f};
    std::atomic<float> out_gain_{1.0f};
    std::atomic<float> in_peak_{0.0f};
    std::atomic<float> out_peak_{0.0f};
    std::atomic<std::uint64_t> buffers_{0};
};

}  // namespace tw
