#include "engine/audio_pulse.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace tw::audio {
namespace {

using Clock = std::chrono::steady_clock;
// How long listing the devices may wait for the server.
constexpr auto kListTimeout = std::chrono::seconds(2);

int env_int(const char* name, int fallback, int lo, int hi) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return fallback;
    return std::clamp(std::atoi(v), lo, hi);
}

struct PaDevice {
    std::string pa_name;  // the server's name (tw_null, tw_null.monitor)
    BackendDevice shown;
};

// The sinks and sources of the server, or nothing when none answers in time.
std::vector<PaDevice> list_server_devices() {
    struct Listing {
        std::vector<PaDevice> out;
        int pending = 2;
        bool failed = false;
    } l;
    pa_mainloop* ml = pa_mainloop_new();
    if (ml == nullptr) return {};
    pa_context* ctx = pa_context_new(pa_mainloop_get_api(ml), "tonewarp-list");
    bool asked = false;
    if (ctx != nullptr && pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = Clock::now() + kListTimeout;
        while (Clock::now() < deadline && !l.failed && l.pending > 0) {
            const pa_context_state_t st = pa_context_get_state(ctx);
            if (st == PA_CONTEXT_FAILED || st == PA_CONTEXT_TERMINATED) break;
            if (st == PA_CONTEXT_READY && !asked) {
                asked = true;
                auto sink_cb = [](pa_context*, const pa_sink_info* i, int eol, void* u) {
                    auto* ls = static_cast<Listing*>(u);
                    if (eol != 0) {
                        --ls->pending;
                        return;
                    }
                    if (i == nullptr) return;
                    ls->out.push_back({i->name, {kPulseLabel + std::string(i->description ? i->description : i->name),
                                                0, static_cast<int>(i->sample_spec.channels), true}});
                };
                auto source_cb = [](pa_context*, const pa_source_info* i, int eol, void* u) {
                    auto* ls = static_cast<Listing*>(u);
                    if (eol != 0) {
                        --ls->pending;
                        return;
                    }
                    if (i == nullptr) return;
                    ls->out.push_back({i->name, {kPulseLabel + std::string(i->description ? i->description : i->name),
                                                static_cast<int>(i->sample_spec.channels), 0, true}});
                };
                if (pa_operation* o = pa_context_get_sink_info_list(ctx, sink_cb, &l)) pa_operation_unref(o);
                else l.failed = true;
                if (pa_operation* o = pa_context_get_source_info_list(ctx, source_cb, &l)) pa_operation_unref(o);
                else l.failed = true;
            }
            if (pa_mainloop_iterate(ml, 0, nullptr) < 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        pa_context_disconnect(ctx);
    }
    if (ctx != nullptr) pa_context_unref(ctx);
    pa_mainloop_free(ml);
    if (l.pending > 0) return {};
    return l.out;
}

// One stream and the thread that drives it.
struct Stream {
    pa_simple* pa = nullptr;
    std::thread thread;
    std::atomic<bool> run{false};
    std::atomic<bool> lost{false};
    std::atomic<double> latency_ms{0.0};
    std::vector<float> buf;
    int frames = 256;
    int channels = 2;

    // The stream's thread. Blocks in the server's read / write.
    void capture_loop(CaptureFn fn, void* user) {
        const std::size_t bytes = buf.size() * sizeof(float);
        while (run.load(std::memory_order_relaxed)) {
            int err = 0;
            if (pa_simple_read(pa, buf.data(), bytes, &err) < 0) {
                lost.store(true);
                return;
            }
            fn(user, buf.data(), frames);
            note_latency();
        }
    }
    void playback_loop(PlaybackFn fn, void* user) {
        const std::size_t bytes = buf.size() * sizeof(float);
        while (run.load(std::memory_order_relaxed)) {
            fn(user, buf.data(), frames);
            int err = 0;
            if (pa_simple_write(pa, buf.data(), bytes, &err) < 0) {
                lost.store(true);
                return;
            }
            note_latency();
        }
    }
    void note_latency() {
        int err = 0;
        const pa_usec_t us = pa_simple_get_latency(pa, &err);
        if (us != static_cast<pa_usec_t>(-1)) latency_ms.store(static_cast<double>(us) / 1000.0, std::memory_order_relaxed);
    }

    void close() {
        run.store(false);
        if (thread.joinable()) thread.join();
        if (pa != nullptr) pa_simple_free(pa);
        pa = nullptr;
        latency_ms.store(0.0);
    }
};

class PulseBackend final : public AudioBackend {
public:
    ~PulseBackend() override {
        stop_capture();
        stop_playback();
    }

    std::vector<BackendDevice> devices() override {
        known_ = list_server_devices();
        std::vector<BackendDevice> out;
        for (const auto& d : known_) out.push_back(d.shown);
        return out;
    }

    int min_buffer_frames(const std::string&, int, int) override {
        return env_int("TONEWARP_PULSE_PERIOD", 256, 64, 4096);
    }

    std::string start_capture(const StreamRequest& r, int& frames_out, CaptureFn fn, void* user) override {
        stop_capture();
        std::string err = open(capture_, r, true);
        if (!err.empty()) return err;
        frames_out = capture_.frames;
        capture_.run.store(true);
        capture_.thread = std::thread([this, fn, user] { capture_.capture_loop(fn, user); });
        return {};
    }
    void stop_capture() override { capture_.close(); }

    std::string start_playback(const StreamRequest& r, int& frames_out, PlaybackFn fn, void* user) override {
        stop_playback();
        std::string err = open(playback_, r, false);
        if (!err.empty()) return err;
        frames_out = playback_.frames;
        playback_.run.store(true);
        playback_.thread = std::thread([this, fn, user] { playback_.playback_loop(fn, user); });
        return {};
    }
    void stop_playback() override { playback_.close(); }

    bool stream_lost() const override { return capture_.lost.load() || playback_.lost.load() || open_failed_lost_; }
    double capture_latency_ms() const override { return capture_.latency_ms.load(std::memory_order_relaxed); }
    double playback_latency_ms() const override { return playback_.latency_ms.load(std::memory_order_relaxed); }

private:
    // Connects the stream; the thread is started by the caller.
    std::string open(Stream& s, const StreamRequest& r, bool input) {
        open_failed_lost_ = false;
        s.lost.store(false);
        const char* what = input ? "input" : "output";
        const PaDevice* dev = nullptr;
        for (const auto& d : known_)
            if (d.shown.name == r.device_name && (input ? d.shown.input_channels : d.shown.output_channels) > 0) dev = &d;
        if (dev == nullptr) return "The " + std::string(what) + " device \"" + r.device_name + "\" is no longer there.";
        s.channels = r.channels == 1 ? 1 : 2;
        s.frames = std::clamp(r.frames, 16, 4096);
        s.buf.assign(static_cast<std::size_t>(s.frames) * static_cast<std::size_t>(s.channels), 0.0f);
        pa_sample_spec format{};
        format.format = PA_SAMPLE_FLOAT32NE;
        format.rate = static_cast<std::uint32_t>(r.sample_rate);
        format.channels = static_cast<std::uint8_t>(s.channels);
        const std::uint32_t period_bytes = static_cast<std::uint32_t>(s.buf.size() * sizeof(float));
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.prebuf = static_cast<std::uint32_t>(-1);
        if (input) {
            attr.tlength = static_cast<std::uint32_t>(-1);
            attr.minreq = static_cast<std::uint32_t>(-1);
            attr.fragsize = period_bytes;
        } else {
            attr.tlength = period_bytes * static_cast<std::uint32_t>(env_int("TONEWARP_PULSE_PERIODS", 2, 1, 16));
            attr.minreq = period_bytes;
            attr.fragsize = static_cast<std::uint32_t>(-1);
        }
        const std::string name = r.stream_name.empty() ? std::string("tonewarp") : r.stream_name;
        int err = 0;
        s.pa = pa_simple_new(nullptr, "tonewarp", input ? PA_STREAM_RECORD : PA_STREAM_PLAYBACK, dev->pa_name.c_str(),
                             name.c_str(), &format, nullptr, &attr, &err);
        if (s.pa == nullptr) {
            const bool gone = err == PA_ERR_CONNECTIONREFUSED || err == PA_ERR_CONNECTIONTERMINATED ||
                              err == PA_ERR_KILLED || err == PA_ERR_NOENTITY;
            open_failed_lost_ = gone && err != PA_ERR_NOENTITY;
            return r.device_name + " could not be opened at " + std::to_string(r.sample_rate) + " Hz (" +
                   pa_strerror(err) + "). Check that the sound server runs, then press START again.";
        }
        return {};
    }

    std::vector<PaDevice> known_;
    Stream capture_;
    Stream playback_;
    bool open_failed_lost_ = false;
};

}  // namespace

std::unique_ptr<AudioBackend> make_pulse_backend() { return std::make_unique<PulseBackend>(); }

}  // namespace tw::audio
