// RtAudio backends. Each stream gets a fresh RtAudio object (one RtAudio
// object carries one stream), so capture and playback open as two separate
// streams.
#include "engine/audio_rtaudio.h"

#include <dlfcn.h>
#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/alsa_duplex.h"

namespace tw::audio {
namespace {

// Errors RtAudio reports through the error callback (which has no user
// pointer) after a stream is open. Copied into a fixed buffer: no allocation
// on whatever thread reports them.
std::atomic<bool> g_stream_error{false};
char g_stream_error_text[256] = {};

void on_rtaudio_error(RtAudioError::Type type, const std::string& text) {
    if (type == RtAudioError::WARNING || type == RtAudioError::DEBUG_WARNING) return;
    const std::size_t n = std::min(text.size(), sizeof g_stream_error_text - 1);
    std::memcpy(g_stream_error_text, text.data(), n);
    g_stream_error_text[n] = '\0';
    g_stream_error.store(true, std::memory_order_relaxed);
}

int env_int(const char* name, int fallback, int lo, int hi) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return fallback;
    return std::clamp(std::atoi(v), lo, hi);
}

std::string api_label(RtAudio::Api api) {
    switch (api) {
        case RtAudio::LINUX_ALSA: return "ALSA";
        case RtAudio::LINUX_PULSE: return "PulseAudio";
        default: return {};
    }
}

struct Direction {
    std::atomic<unsigned long long>* xruns = nullptr;
    RtAudio* rt = nullptr;
    void* fn = nullptr;
    void* user = nullptr;
    int channels = 0;
};

class RtAudioBackend final : public AudioBackend {
public:
    explicit RtAudioBackend(RtAudio::Api api) : api_(api), label_(api_label(api)) {
        capture_.xruns = &xruns_;
        playback_.xruns = &xruns_;
    }
    ~RtAudioBackend() override {
        stop_capture();
        stop_playback();
    }

    std::vector<BackendDevice> devices() override {
        std::vector<BackendDevice> out;
        try {
            RtAudio rt(api_);
            rt.showWarnings(false);
            const unsigned n = rt.getDeviceCount();
            for (unsigned i = 0; i < n; ++i) {
                RtAudio::DeviceInfo info;
                try {
                    info = rt.getDeviceInfo(i);
                } catch (const RtAudioError&) {
                    continue;
                }
                if (!info.probed && info.name.empty()) continue;
                BackendDevice d;
                d.name = label_ + ": " + info.name;
                d.input_channels = static_cast<int>(info.inputChannels);
                d.output_channels = static_cast<int>(info.outputChannels);
                d.alternative = api_ == RtAudio::LINUX_PULSE || (api_ == RtAudio::LINUX_ALSA && info.name == "default");
                if (d.input_channels > 0 || d.output_channels > 0) out.push_back(std::move(d));
            }
        } catch (const RtAudioError&) {
        }
        return out;
    }

    int min_buffer_frames(const std::string& device_name, int sample_rate, int channels) override {
        // Open the device with a tiny buffer and see what it grants.
        try {
            RtAudio rt(api_);
            rt.showWarnings(false);
            const int id = find(rt, device_name, true);
            if (id < 0) return 0;
            RtAudio::StreamParameters p;
            p.deviceId = static_cast<unsigned>(id);
            p.nChannels = static_cast<unsigned>(channels == 1 ? 1 : 2);
            unsigned frames = 16;
            RtAudio::StreamOptions opt;
            opt.flags = RTAUDIO_MINIMIZE_LATENCY;
            opt.streamName = "tonewarp-probe";
            rt.openStream(nullptr, &p, RTAUDIO_FLOAT32, static_cast<unsigned>(sample_rate), &frames, &probe_cb,
                          nullptr, &opt);
            rt.closeStream();
            // Hardware through ALSA or a sound server grants very small buffers
            // it cannot then keep fed; the floor offered is 256 frames
            // (TONEWARP_ALSA_PERIOD overrides it: 64..4096).
            return std::max(env_int("TONEWARP_ALSA_PERIOD", 256, 64, 4096), static_cast<int>(frames));
        } catch (const RtAudioError&) {
            return 0;
        }
    }

    std::string start_capture(const StreamRequest& r, int& frames_out, CaptureFn fn, void* user) override {
        stop_capture();
        capture_.fn = reinterpret_cast<void*>(fn);
        capture_.user = user;
        if (duplex_pending_) {
            // The playback asked for the same cycle: one stream carries both.
            duplex_pending_ = false;
            if (duplex_request_.device_name != r.device_name || duplex_request_.sample_rate != r.sample_rate)
                return "The output was prepared for " + duplex_request_.device_name + " and cannot share a stream with " +
                       r.device_name + ".";
            return open_duplex(r, frames_out);
        }
        return open(capture_, r, true, frames_out);
    }
    void stop_capture() override {
        close(capture_);
        duplex_.close();
    }

    std::string start_playback(const StreamRequest& r, int& frames_out, PlaybackFn fn, void* user) override {
        stop_playback();
        playback_.fn = reinterpret_cast<void*>(fn);
        playback_.user = user;
        if (r.same_cycle && api_ == RtAudio::LINUX_ALSA) {
            // Opened with the capture that follows (start_capture).
            if (find_any(r.device_name, false) < 0)
                return "The output device \"" + r.device_name + "\" is no longer there.";
            duplex_pending_ = true;
            duplex_request_ = r;
            frames_out = std::max(16, r.frames);
            return {};
        }
        return open(playback_, r, false, frames_out);
    }
    void stop_playback() override {
        duplex_pending_ = false;
        // A duplex stream belongs to the capture side; closing it here too
        // keeps the output silent once STOP has begun.
        if (duplex_.is_open()) stop_capture();
        close(playback_);
    }

    // ALSA's "default" as both input and output (the desktop's sound server)
    // runs both directions in one loop; TONEWARP_ALSA_DUPLEX=0 keeps the queue.
    bool one_cycle_duplex_pair(const std::string& input_device, const std::string& output_device) const override {
        return api_ == RtAudio::LINUX_ALSA && input_device == label_ + ": default" && output_device == input_device &&
               env_int("TONEWARP_ALSA_DUPLEX", 1, 0, 1) == 1;
    }

    unsigned long long xruns() const override { return xruns_.load(std::memory_order_relaxed) + duplex_.xruns(); }

    // RtAudio's own count of the stream's buffering, in frames (ALSA: the
    // device buffer beyond the period). Read on the UI thread while the
    // stream runs.
    // The one-loop path gives its buffers as set up.
    double capture_latency_ms() const override {
        return duplex_.is_open() ? duplex_.capture_latency_ms() : latency_ms(capture_);
    }
    double playback_latency_ms() const override {
        return duplex_.is_open() ? duplex_.playback_latency_ms() : latency_ms(playback_);
    }

    bool stream_lost() const override {
        return (capture_.rt && !capture_.rt->isStreamOpen()) || (playback_.rt && !playback_.rt->isStreamOpen()) ||
               duplex_.lost();
    }

private:
    static double latency_ms(const Direction& d) {
        if (!d.rt || !d.rt->isStreamOpen()) return 0.0;
        try {
            const long frames = d.rt->getStreamLatency();
            const unsigned rate = d.rt->getStreamSampleRate();
            return rate > 0 ? 1000.0 * static_cast<double>(frames) / rate : 0.0;
        } catch (const RtAudioError&) {
            return 0.0;
        }
    }

    static int probe_cb(void*, void*, unsigned, double, RtAudioStreamStatus, void*) { return 0; }

    static int capture_cb(void*, void* in, unsigned frames, double, RtAudioStreamStatus status, void* user) {
        auto* d = static_cast<Direction*>(user);
        if (status) d->xruns->fetch_add(1, std::memory_order_relaxed);
        if (in) reinterpret_cast<CaptureFn>(d->fn)(d->user, static_cast<const float*>(in), static_cast<int>(frames));
        return 0;
    }
    static int playback_cb(void* out, void*, unsigned frames, double, RtAudioStreamStatus status, void* user) {
        auto* d = static_cast<Direction*>(user);
        if (status) d->xruns->fetch_add(1, std::memory_order_relaxed);
        if (out) reinterpret_cast<PlaybackFn>(d->fn)(d->user, static_cast<float*>(out), static_cast<int>(frames));
        return 0;
    }

    int find_any(const std::string& device_name, bool input) {
        try {
            RtAudio rt(api_);
            rt.showWarnings(false);
            return find(rt, device_name, input);
        } catch (const RtAudioError&) {
            return -1;
        }
    }

    // The desktop's "default" device in one loop (AlsaDuplex); the output
    // side's request came with start_playback.
    std::string open_duplex(const StreamRequest& r, int& frames_out) {
        AlsaDuplex::Request d;
        d.pcm = "default";
        d.sample_rate = r.sample_rate;
        d.in_channels = r.channels == 1 ? 1 : 2;
        d.out_channels = duplex_request_.channels == 1 ? 1 : 2;
        d.period = std::max(16, r.frames);
        d.periods = env_int("TONEWARP_ALSA_PERIODS", 2, 2, 16);
        capture_.channels = d.in_channels;
        return duplex_.open(d, reinterpret_cast<CaptureFn>(capture_.fn), capture_.user,
                            reinterpret_cast<PlaybackFn>(playback_.fn), playback_.user, frames_out);
    }

    int find(RtAudio& rt, const std::string& device_name, bool input) {
        const unsigned n = rt.getDeviceCount();
        for (unsigned i = 0; i < n; ++i) {
            try {
                RtAudio::DeviceInfo info = rt.getDeviceInfo(i);
                if (label_ + ": " + info.name != device_name) continue;
                if ((input ? info.inputChannels : info.outputChannels) == 0) continue;
                return static_cast<int>(i);
            } catch (const RtAudioError&) {
            }
        }
        return -1;
    }

    std::string open(Direction& d, const StreamRequest& r, bool input, int& frames_out) {
        const char* what = input ? "input" : "output";
        auto* rt = new RtAudio(api_);
        rt->showWarnings(false);
        try {
            const int id = find(*rt, r.device_name, input);
            if (id < 0) {
                delete rt;
                return "The " + std::string(what) + " device \"" + r.device_name + "\" is no longer there.";
            }
            RtAudio::DeviceInfo info = rt->getDeviceInfo(static_cast<unsigned>(id));
            const unsigned have = input ? info.inputChannels : info.outputChannels;
            RtAudio::StreamParameters p;
            p.deviceId = static_cast<unsigned>(id);
            p.nChannels = static_cast<unsigned>(r.channels == 1 ? 1 : 2);
            if (have < p.nChannels) {
                delete rt;
                return r.device_name + " has " + std::to_string(have) + " " + what + " channel(s); " +
                       std::to_string(p.nChannels) + " are needed. Choose Mono or another device.";
            }
            RtAudio::StreamOptions opt;
            opt.flags = RTAUDIO_MINIMIZE_LATENCY | RTAUDIO_SCHEDULE_REALTIME;
            // Periods in the device buffer (TONEWARP_ALSA_PERIODS: 2..16).
            opt.numberOfBuffers = static_cast<unsigned>(env_int("TONEWARP_ALSA_PERIODS", 2, 2, 16));
            opt.streamName = r.stream_name.empty() ? std::string("tonewarp") : r.stream_name;
            unsigned frames = static_cast<unsigned>(std::max(16, r.frames));
            d.channels = static_cast<int>(p.nChannels);
            g_stream_error.store(false, std::memory_order_relaxed);
            if (input)
                rt->openStream(nullptr, &p, RTAUDIO_FLOAT32, static_cast<unsigned>(r.sample_rate), &frames, &capture_cb,
                               &d, &opt, &on_rtaudio_error);
            else
                rt->openStream(&p, nullptr, RTAUDIO_FLOAT32, static_cast<unsigned>(r.sample_rate), &frames,
                               &playback_cb, &d, &opt, &on_rtaudio_error);
            if (!rt->isStreamOpen()) {
                delete rt;
                return r.device_name + " could not be opened at " + std::to_string(r.sample_rate) + " Hz.";
            }
            rt->startStream();
            if (!rt->isStreamRunning()) {
                std::string why = g_stream_error.load(std::memory_order_relaxed) ? g_stream_error_text : "";
                if (rt->isStreamOpen()) rt->closeStream();
                delete rt;
                return r.device_name + " could not be started. " + why;
            }
            frames_out = static_cast<int>(frames);
            d.rt = rt;
            return {};
        } catch (const RtAudioError& e) {
            delete rt;
            std::string msg = r.device_name + " cannot run at " + std::to_string(r.sample_rate) + " Hz with " +
                              std::to_string(r.channels == 1 ? 1 : 2) + " channel(s): " + e.getMessage();
            return msg;
        }
    }

    void close(Direction& d) {
        if (!d.rt) return;
        try {
            if (d.rt->isStreamRunning()) d.rt->stopStream();
        } catch (const RtAudioError&) {
        }
        try {
            if (d.rt->isStreamOpen()) d.rt->closeStream();
        } catch (const RtAudioError&) {
        }
        delete d.rt;
        d.rt = nullptr;
    }

    RtAudio::Api api_;
    std::string label_;
    std::atomic<unsigned long long> xruns_{0};
    Direction capture_;
    Direction playback_;
    // The same-cycle path: the playback's request waits for the capture,
    // which opens both directions in one loop.
    StreamRequest duplex_request_;
    bool duplex_pending_ = false;
    AlsaDuplex duplex_;
};

// ALSA prints its probing failures (no card) to stderr; the device lists
// already say what is there, so the library is quietened. Its handler is
// looked up at run time: libasound is loaded by RtAudio.
void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}

void quieten_libraries() {
    using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetAlsaHandler = int (*)(AlsaHandler);
    if (void* f = dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"))
        reinterpret_cast<SetAlsaHandler>(f)(&quiet_alsa);
}

}  // namespace

std::vector<std::unique_ptr<AudioBackend>> make_rtaudio_backends() {
    quieten_libraries();
    std::vector<RtAudio::Api> compiled;
    RtAudio::getCompiledApi(compiled);
    std::vector<std::unique_ptr<AudioBackend>> out;
    for (RtAudio::Api api : {RtAudio::LINUX_ALSA})
        if (std::find(compiled.begin(), compiled.end(), api) != compiled.end())
            out.push_back(std::make_unique<RtAudioBackend>(api));
    return out;
}

}  // namespace tw::audio
