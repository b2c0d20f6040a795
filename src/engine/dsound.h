// The output side of the device layer: output device list and selection, the
// output settings, and the output queue between the capture thread and the
// output device.
//
// out_to_dsound (capture thread) clips each processed buffer at full scale
// and pushes its float frames into a lock-free single-producer/single-consumer
// queue (no quantisation on the way: a device that takes floats gets them); the output device's callback pulls from it and plays silence on
// underflow (counted). The two devices may run on separate clocks; the queue
// and the latency guard of the stream control keep them in step.
//
// Settings, stored by the setup_* calls and applied at the next WinMain1:
// - setup_stereo(n): channels of the output stream (1 = mono, else stereo).
// - setup_freq_22_44(hz): the output stream's sample rate.
// - setup_b_size(frames): the buffer size asked of the output device, and the
//   amount insert_buffer / skip_buffer add or drop.
// - setup_latency(ms): the queue's capacity; a buffer that does not fit is
//   dropped (counted as an overflow).
// - setup_auto(n): non-zero = after the start and after every underflow the
//   output waits (playing silence) until the queue holds the priming level
//   below, so one late buffer does not turn into a run of crackles; 0 = play
//   whatever is there.
// - setup_delta_delta(pct): the priming level, in percent of one buffer.
// - setup_max_chorus_delay(ms): extra silence queued at the open (0 = none).
// - setup_bits_per_sample(n): stored and ignored; the queue holds floats, and
//   a backend whose device takes only 16-bit samples dithers at its last step.
//
// The alternative output path (setup_ks_prefered) lists only the devices of
// the desktop sound server: the PulseAudio devices (also served by
// PipeWire) and ALSA's "default" device, plus the built-in null output.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/audio_devices.h"
#include "engine/spsc_queue.h"

namespace tw {

// Result of get_wdm_wavout_device_list: at most 32 names.
struct WdmDeviceList {
    static constexpr int kMaxDevices = 32;
    std::int32_t count = 0;
    std::vector<std::string> names;
};

class DSound {
public:
    explicit DSound(const DeviceCatalog& catalog);
    ~DSound();
    DSound(const DSound&) = delete;
    DSound& operator=(const DSound&) = delete;

    // Fills `list` with the output devices of the current path; returns
    // non-zero when there is at least one, 0 when there is none. UI thread.
    std::int32_t get_wdm_wavout_device_list(WdmDeviceList* list);
    // Switches later lists and selections to the alternative output path. UI thread.
    void setup_ks_prefered();
    // Back to the standard output path (every output device). UI thread.
    void setup_standard_path();
    bool alternative_path() const { return alternative_; }
    // Selects device `index` of the last list for the next open; non-zero =
    // selected, 0 = no such device. UI thread.
    std::int32_t select_wdm_waveOut_device(std::int32_t index);

    // Output settings for the next open (see the top of this file). UI thread.
    void setup_stereo(std::int32_t channels) { setup_channels_ = channels == 1 ? 1 : 2; }
    void setup_auto(std::int32_t on) { setup_auto_ = on; }
    void setup_delta_delta(std::int32_t percent) { setup_delta_delta_ = percent; }
    void setup_freq_22_44(std::int32_t hz) { setup_rate_ = hz; }
    void setup_latency(std::int32_t ms) { setup_latency_ms_ = ms; }
    void setup_b_size(std::int32_t frames) { setup_b_size_ = frames; }
    void setup_max_chorus_delay(std::int32_t ms) { setup_extra_delay_ms_ = ms; }
    void setup_bits_per_sample(std::int32_t bits) { setup_bits_ = bits; }
    // The capture hands its audio on in the same callback, just before the
    // output runs (one_cycle_duplex of the backend): the output plays what
    // came in this cycle. No priming beyond the first buffer and none after
    // an underflow, so the queue adds nothing unless Increase Delay puts
    // buffers in on purpose. Applied at the next WinMain1. UI thread.
    void setup_same_cycle(bool on) { setup_same_cycle_ = on; }
    bool same_cycle() const { return open_same_cycle_; }
    // The backend of the selected device (null when none is selected). UI thread.
    audio::AudioBackend* selected_backend() const { return selected_backend_; }
    // The selected output device's name ("" when none). UI thread.
    const std::string& selected_device_name() const { return selected_name_; }

    // Opens and starts the output (the queue is made afresh, so call it with
    // the capture stopped). Returns 0, or -1 on failure (the reason is in
    // last_error(); nothing is left open). UI thread.
    std::int32_t WinMain1(void* window_handle);
    // Closes the output; harmless when nothing is open. UI thread.
    void CloseDSound();
    bool is_open() const { return open_; }

    // The audio waiting in the queue as bytes of 16-bit samples (2 per sample,
    // the unit the latency figures are computed in; 0 when closed). Any thread.
    double get_audio_pos() const;
    // One buffer more delay (silence is played ahead of the queue) or one
    // buffer less (the oldest queued audio is dropped). Done by the output
    // callback at its next run. Any thread.
    void insert_buffer();
    void skip_buffer();
    // Drops up to `frames` frames of the oldest queued audio at the output
    // callback's next run (the latency guard's catch-up). Any thread.
    void skip_frames(std::int64_t frames);
    // The fewest frames the queue held after an output callback since the
    // last call (-1 when no callback ran), and starts a new count. UI thread.
    std::int64_t take_low_water() { return low_water_.exchange(-1, std::memory_order_relaxed); }
    // What the output device's sound system itself holds (its buffers), in
    // ms; 0 when closed or when it cannot tell. UI thread.
    double device_latency_ms() const { return backend_ ? backend_->playback_latency_ms() : 0.0; }

    // Statistics since the open. Any thread.
    std::uint64_t underflows() const { return underflows_.load(std::memory_order_relaxed); }
    std::uint64_t overflows() const { return overflows_.load(std::memory_order_relaxed); }
    std::uint64_t frames_played() const { return frames_played_.load(std::memory_order_relaxed); }
    std::int32_t device_frames() const { return device_frames_; }
    std::int32_t open_channels() const { return open_channels_; }
    std::int32_t open_rate() const { return open_rate_; }
    std::int32_t b_size() const { return setup_b_size_; }

    const std::string& last_error() const { return last_error_; }

    // The output entry (capture thread): `samples` holds `frames` frames of
    // `channels` on the 16-bit scale; clipped at full scale and queued. `target`
    // is the DSound.
    static void out_to_dsound(void* target, std::int32_t frames, std::int32_t channels, const float* samples);

private:
    static void playback_thunk(void* self, float* out, int frames);
    void on_playback(float* out, int frames);  // audio thread
    void push(std::int32_t frames, std::int32_t channels, const float* samples);  // capture thread

    const DeviceCatalog& catalog_;
    std::vector<DeviceRef> devices_;
    bool alternative_ = false;
    std::int32_t selected_ = -1;
    std::string selected_name_;
    audio::AudioBackend* selected_backend_ = nullptr;
    audio::AudioBackend* backend_ = nullptr;
    bool open_ = false;
    std::string last_error_;

    std::int32_t setup_channels_ = 2;
    std::int32_t setup_auto_ = 1;
    std::int32_t setup_delta_delta_ = 150;
    std::int32_t setup_rate_ = 48000;
    std::int32_t setup_latency_ms_ = 750;
    std::int32_t setup_b_size_ = 256;
    std::int32_t setup_extra_delay_ms_ = 0;
    std::int32_t setup_bits_ = 16;
    bool setup_same_cycle_ = false;
    bool open_same_cycle_ = false;

    // Fixed at the open; read by both audio threads.
    std::int32_t open_channels_ = 2;
    std::int32_t open_rate_ = 48000;
    std::int32_t device_frames_ = 0;
    std::int32_t open_b_size_ = 256;
    std::int32_t open_delta_ = 150;
    std::int32_t open_auto_ = 1;
    audio::SpscQueue queue_;
    std::vector<float> push_scratch_;  // capture thread
    std::vector<float> pop_scratch_;   // output thread
    bool priming_ = true;                     // output thread
    std::int64_t owed_silence_ = 0;           // output thread, frames

    std::atomic<bool> accepting_{false};
    std::atomic<std::int64_t> pending_insert_{0};  // frames
    std::atomic<std::int64_t> pending_skip_{0};    // frames
    std::atomic<std::uint64_t> underflows_{0};
    std::atomic<std::uint64_t> overflows_{0};
    std::atomic<std::uint64_t> frames_played_{0};
    std::atomic<std::int64_t> low_water_{-1};  // frames; written by the output thread
};

}  // namespace tw
