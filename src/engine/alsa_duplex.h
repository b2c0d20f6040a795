// One ALSA PCM device's capture and playback run by one thread in one loop:
// wait for a period of input, hand it to the capture function, let the
// playback function fill a period, write it. The output starts with a full
// buffer of silence, so it keeps periods-1 periods in hand while the loop
// waits for the input (RtAudio's duplex stream starts its output with a
// single period, which left no room for the input's jitter). After an xrun
// the two are set up again the same way.
//
// Threads: open/close and the getters on the UI thread (getters: any
// thread); the functions are called on the stream's own thread, which only
// calls alsa-lib and the clock besides them.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/tpdf_dither.h"

#include "engine/audio_backend.h"

typedef struct _snd_pcm snd_pcm_t;

namespace tw::audio {

class AlsaDuplex {
public:
    AlsaDuplex() = default;
    ~AlsaDuplex() { close(); }
    AlsaDuplex(const AlsaDuplex&) = delete;
    AlsaDuplex& operator=(const AlsaDuplex&) = delete;

    struct Request {
        std::string pcm = "default";
        int sample_rate = 48000;
        int in_channels = 2;
        int out_channels = 2;
        int period = 256;  // frames
        int periods = 2;   // periods in each device buffer
    };
    // Opens both directions and starts the loop. "" or why it failed (then
    // nothing is left open); `period_out` is the period granted. UI thread.
    std::string open(const Request& r, CaptureFn capture, void* capture_user, PlaybackFn playback,
                     void* playback_user, int& period_out);
    // Stops the loop (within about 100 ms) and closes the device. UI thread.
    void close();

    bool is_open() const { return thread_.joinable(); }
    // True once the device failed under the loop (a sound server gone). Any thread.
    bool lost() const { return lost_.load(std::memory_order_relaxed); }
    unsigned long long xruns() const { return xruns_.load(std::memory_order_relaxed); }
    // The device buffering of each direction as set up, in ms: one period
    // of input, the output's buffer. Any thread.
    double capture_latency_ms() const { return is_open() ? 1000.0 * period_ / rate_ : 0.0; }
    double playback_latency_ms() const { return is_open() ? 1000.0 * period_ * periods_ / rate_ : 0.0; }

private:
    void run();
    bool restart();

    snd_pcm_t* cap_ = nullptr;
    snd_pcm_t* play_ = nullptr;
    CaptureFn capture_ = nullptr;
    PlaybackFn playback_ = nullptr;
    void* capture_user_ = nullptr;
    void* playback_user_ = nullptr;
    int rate_ = 48000, in_ch_ = 2, out_ch_ = 2, period_ = 256, periods_ = 2;
    std::vector<float> in_, out_, silence_;
    // A device that takes no float: 16-bit samples, dithered on the way out.
    bool in_s16_ = false, out_s16_ = false;
    std::vector<std::int16_t> in16_, out16_;
    TpdfDither dither_;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> lost_{false};
    std::atomic<unsigned long long> xruns_{0};
};

}  // namespace tw::audio
