#include "engine/audio_jack.h"

#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace tw::audio {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxChannels = 2;
// Frames interleaved per pass; a longer period is handed on in pieces.
constexpr jack_nframes_t kPassFrames = 4096;
// How long a stop waits for a callback in progress to leave the program's code.
constexpr auto kCallbackWait = std::chrono::seconds(2);
// Once the server is gone, libjack's own thread may still be returning from
// the shutdown notice; the client is freed only after this pause.
constexpr auto kShutdownGrace = std::chrono::milliseconds(200);
// After a failed request, how long to wait for the server's shutdown notice
// before calling it an ordinary failure.
constexpr auto kShutdownNoticeWait = std::chrono::milliseconds(300);

void quiet(const char*) {}

jack_client_t* open_client(const char* name) {
    jack_status_t status{};
    return jack_client_open(name, JackNoStartServer, &status);
}

// The device's ports we read from (input) or write to (output), in the server's order.
std::vector<std::string> device_ports(jack_client_t* c, const std::string& device, bool input) {
    std::vector<std::string> out;
    const char** ports = jack_get_ports(c, nullptr, JACK_DEFAULT_AUDIO_TYPE, input ? JackPortIsOutput : JackPortIsInput);
    if (ports == nullptr) return out;
    const std::string prefix = device + ":";
    for (int i = 0; ports[i] != nullptr; ++i)
        if (std::strncmp(ports[i], prefix.c_str(), prefix.size()) == 0) out.emplace_back(ports[i]);
    jack_free(ports);
    return out;
}

// One direction of the client: its ports and the device layer's callback.
struct Part {
    bool input = false;
    int channels = 0;
    std::array<jack_port_t*, kMaxChannels> ports{};
    CaptureFn capture = nullptr;
    PlaybackFn playback = nullptr;
    void* user = nullptr;
    std::vector<float> interleaved;
    std::atomic<bool> on{false};  // the callback runs this part

    // Audio thread of the client.
    void run(jack_nframes_t frames) {
        float* buf[kMaxChannels] = {};
        for (int c = 0; c < channels; ++c) {
            buf[c] = static_cast<float*>(jack_port_get_buffer(ports[c], frames));
            if (buf[c] == nullptr) return;
        }
        for (jack_nframes_t done = 0; done < frames;) {
            const jack_nframes_t n = std::min(kPassFrames, frames - done);
            float* w = interleaved.data();
            if (input) {
                for (jack_nframes_t i = 0; i < n; ++i)
                    for (int c = 0; c < channels; ++c) w[i * channels + c] = buf[c][done + i];
                capture(user, w, static_cast<int>(n));
            } else {
                playback(user, w, static_cast<int>(n));
                for (jack_nframes_t i = 0; i < n; ++i)
                    for (int c = 0; c < channels; ++c) buf[c][done + i] = w[i * channels + c];
            }
            done += n;
        }
    }
};

// The one client both directions share. A second client is never opened
// while this one lives: once libjack has seen its server die, opening any
// client makes it close and free every other client of the process, which
// would pull this one out from under us.
struct Session {
    jack_client_t* client = nullptr;
    Part capture;
    Part playback;
    std::atomic<unsigned long long>* xruns = nullptr;
    std::atomic<bool> lost{false};         // the server shut the client down
    std::atomic<bool> in_callback{false};  // a process callback is inside the program's code

    Session() { capture.input = true; }

    // The flags are sequentially consistent: a stop either sees the callback
    // inside, or the callback sees the part switched off and stays out.
    static int process(jack_nframes_t frames, void* arg) {
        auto* s = static_cast<Session*>(arg);
        s->in_callback.store(true);
        if (s->capture.on.load()) s->capture.run(frames);
        if (s->playback.on.load()) s->playback.run(frames);
        s->in_callback.store(false);
        return 0;
    }
    // libjack's notification or audio thread: only a flag, read by the UI thread.
    static void shutdown(jack_status_t, const char*, void* arg) { static_cast<Session*>(arg)->lost.store(true); }
    static int xrun(void* arg) {
        static_cast<Session*>(arg)->xruns->fetch_add(1, std::memory_order_relaxed);
        return 0;
    }

    // Switches a part off and returns once no callback can be inside it. UI thread.
    void switch_off(Part& p) {
        p.on.store(false);
        const auto deadline = Clock::now() + kCallbackWait;
        while (in_callback.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // True once the shutdown notice has come, waiting a little for it. UI thread.
    bool server_gone() {
        const auto deadline = Clock::now() + kShutdownNoticeWait;
        while (!lost.load() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return lost.load();
    }
};

// Closes the client whatever state its server is in. Both parts must be off. UI thread.
void close_session(std::unique_ptr<Session>& s) {
    if (!s) return;
    s->switch_off(s->capture);
    s->switch_off(s->playback);
    if (s->client != nullptr) {
        if (s->lost.load()) std::this_thread::sleep_for(kShutdownGrace);
        // Deactivates (stopping the client's audio thread, which is now
        // outside the program's code) and closes.
        jack_client_close(s->client);
    }
    s.reset();
}

class JackBackend final : public AudioBackend {
public:
    ~JackBackend() override { close_session(session_); }

    std::vector<BackendDevice> devices() override {
        std::vector<BackendDevice> out;
        if (session_) return out;  // no second client while one lives (see Session)
        jack_client_t* c = open_client("tonewarp-list");
        if (c == nullptr) return out;
        if (const char** ports = jack_get_ports(c, nullptr, JACK_DEFAULT_AUDIO_TYPE, 0)) {
            for (int i = 0; ports[i] != nullptr; ++i) {
                const char* colon = std::strchr(ports[i], ':');
                jack_port_t* port = jack_port_by_name(c, ports[i]);
                if (colon == nullptr || port == nullptr) continue;
                const std::string name = kJackLabel + std::string(ports[i], colon);
                auto it = std::find_if(out.begin(), out.end(), [&](const BackendDevice& d) { return d.name == name; });
                if (it == out.end()) it = out.insert(out.end(), BackendDevice{name, 0, 0, false});
                const int flags = jack_port_flags(port);
                // A device's outputs are what we capture; its inputs what we play to.
                if (flags & JackPortIsOutput) ++it->input_channels;
                if (flags & JackPortIsInput) ++it->output_channels;
            }
            jack_free(ports);
        }
        jack_client_close(c);
        return out;
    }

    int min_buffer_frames(const std::string&, int, int) override {
        if (session_) return session_->lost.load() ? 0 : static_cast<int>(jack_get_buffer_size(session_->client));
        jack_client_t* c = open_client("tonewarp-probe");
        if (c == nullptr) return 0;
        const int frames = static_cast<int>(jack_get_buffer_size(c));
        jack_client_close(c);
        return frames;
    }

    std::string start_capture(const StreamRequest& r, int& frames_out, CaptureFn fn, void* user) override {
        stop_capture();
        return start(true, r, frames_out, fn, nullptr, user);
    }
    void stop_capture() override { stop(true); }

    std::string start_playback(const StreamRequest& r, int& frames_out, PlaybackFn fn, void* user) override {
        stop_playback();
        return start(false, r, frames_out, nullptr, fn, user);
    }
    void stop_playback() override { stop(false); }

    unsigned long long xruns() const override { return xruns_.load(std::memory_order_relaxed); }

    bool stream_lost() const override { return open_failed_lost_ || (session_ && session_->lost.load()); }

    bool one_cycle_duplex() const override { return true; }

    // The server's own latency for our ports: from the device's capture to
    // our input port, and from our output port to the device's playback
    // (the largest of each range, over the channels). UI thread.
    double capture_latency_ms() const override { return port_latency_ms(true); }
    double playback_latency_ms() const override { return port_latency_ms(false); }

private:
    double port_latency_ms(bool input) const {
        if (!session_ || session_->lost.load()) return 0.0;
        const Part& p = input ? session_->capture : session_->playback;
        if (!p.on.load()) return 0.0;
        jack_nframes_t most = 0;
        for (int c = 0; c < p.channels; ++c) {
            if (p.ports[c] == nullptr) continue;
            jack_latency_range_t range{};
            jack_port_get_latency_range(p.ports[c], input ? JackCaptureLatency : JackPlaybackLatency, &range);
            most = std::max(most, range.max);
        }
        const jack_nframes_t rate = jack_get_sample_rate(session_->client);
        return rate > 0 ? 1000.0 * most / rate : 0.0;
    }

    // Opens the client and starts it running (with no part on yet).
    std::string open_session(const std::string& shown) {
        auto s = std::make_unique<Session>();
        s->xruns = &xruns_;
        s->client = open_client("tonewarp");
        if (s->client == nullptr) {
            open_failed_lost_ = true;
            return "The JACK server does not answer (it has stopped); " + shown +
                   " cannot be opened. Start the server and press START again.";
        }
        jack_set_process_callback(s->client, &Session::process, s.get());
        jack_on_info_shutdown(s->client, &Session::shutdown, s.get());
        jack_set_xrun_callback(s->client, &Session::xrun, s.get());
        if (jack_activate(s->client) != 0) {
            bool gone = s->server_gone();
            close_session(s);
            gone = gone || !server_answers();
            open_failed_lost_ = gone;
            return gone ? server_stopped(shown) : "JACK would not start a client for " + shown + ".";
        }
        session_ = std::move(s);
        return {};
    }

    static std::string server_stopped(const std::string& shown) {
        return "The JACK server stopped while " + shown + " was being opened. Start the server and press START again.";
    }

    // Undoes a half-started part; the whole client goes when no part is left.
    // The failure is the server's going away when its shutdown notice has
    // come (waited for a little after a refused request), or (with our client
    // closed, so a probe is safe) when it no longer answers.
    std::string fail(Part& p, const std::string& shown, const std::string& why, bool jack_refused = true) {
        bool gone = jack_refused ? session_->server_gone() : session_->lost.load();
        unregister(p);
        if (!session_->capture.on.load() && !session_->playback.on.load()) {
            close_session(session_);
            gone = gone || !server_answers();
        }
        open_failed_lost_ = gone;
        return gone ? server_stopped(shown) : why;
    }

    // Only while no client of ours is open. UI thread.
    static bool server_answers() {
        jack_client_t* c = open_client("tonewarp-check");
        if (c == nullptr) return false;
        jack_client_close(c);
        return true;
    }

    void unregister(Part& p) {
        for (jack_port_t*& port : p.ports) {
            if (port != nullptr && session_ && !session_->lost.load()) jack_port_unregister(session_->client, port);
            port = nullptr;
        }
    }

    std::string start(bool input, const StreamRequest& r, int& frames_out, CaptureFn cfn, PlaybackFn pfn, void* user) {
        open_failed_lost_ = false;
        const std::string what = input ? "input" : "output";
        const std::string& shown = r.device_name;
        const std::string label(kJackLabel);
        if (shown.compare(0, label.size(), label) != 0)
            return "The " + what + " device \"" + shown + "\" is not a JACK device.";
        const std::string device = shown.substr(label.size());

        if (session_ && session_->lost.load()) {
            open_failed_lost_ = true;
            return server_stopped(shown);
        }
        if (!session_) {
            std::string err = open_session(shown);
            if (!err.empty()) return err;
        }
        Session& s = *session_;
        Part& p = input ? s.capture : s.playback;
        p.channels = r.channels == 1 ? 1 : 2;
        p.capture = cfn;
        p.playback = pfn;
        p.user = user;
        p.interleaved.assign(static_cast<std::size_t>(kPassFrames) * static_cast<std::size_t>(p.channels), 0.0f);

        const auto rate = static_cast<int>(jack_get_sample_rate(s.client));
        if (rate != r.sample_rate)
            return fail(p, shown,
                        "The JACK server runs at " + std::to_string(rate) + " Hz; " + std::to_string(r.sample_rate) +
                            " Hz cannot be used with it. Choose " + std::to_string(rate) + " Hz.",
                        false);
        const std::vector<std::string> targets = device_ports(s.client, device, input);
        if (targets.empty()) return fail(p, shown, "The " + what + " device \"" + shown + "\" is no longer there.");
        if (static_cast<int>(targets.size()) < p.channels)
            return fail(p, shown,
                        shown + " has " + std::to_string(targets.size()) + " " + what + " channel(s); " +
                            std::to_string(p.channels) + " are needed. Choose Mono or another device.",
                        false);
        for (int c = 0; c < p.channels; ++c) {
            const std::string port = (input ? "inport " : "outport ") + std::to_string(c);
            p.ports[c] = jack_port_register(s.client, port.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                            input ? JackPortIsInput : JackPortIsOutput, 0);
            if (p.ports[c] == nullptr) return fail(p, shown, "JACK refused the port \"" + port + "\".");
        }
        // The variable RtAudio's JACK backend honours, kept for setups that use it.
        if (std::getenv("RTAUDIO_JACK_DONT_CONNECT") == nullptr) {
            for (int c = 0; c < p.channels; ++c) {
                const char* ours = jack_port_name(p.ports[c]);
                const int rc = input ? jack_connect(s.client, targets[c].c_str(), ours)
                                     : jack_connect(s.client, ours, targets[c].c_str());
                if (rc != 0 && rc != EEXIST)
                    return fail(p, shown, "JACK could not connect " + std::string(ours) + " and " + targets[c] + ".");
            }
        }
        if (s.lost.load()) return fail(p, shown, server_stopped(shown));
        frames_out = static_cast<int>(jack_get_buffer_size(s.client));
        p.on.store(true);
        return {};
    }

    void stop(bool input) {
        if (!session_) return;
        Part& p = input ? session_->capture : session_->playback;
        session_->switch_off(p);
        Part& other = input ? session_->playback : session_->capture;
        if (!other.on.load()) {
            close_session(session_);
        } else {
            unregister(p);
        }
    }

    std::atomic<unsigned long long> xruns_{0};
    std::unique_ptr<Session> session_;
    bool open_failed_lost_ = false;  // the last start failed because the server had gone
};

}  // namespace

std::unique_ptr<AudioBackend> make_jack_backend() {
    // libjack prints its connection failures (no server, server gone); the
    // device lists and stream messages already say what matters.
    jack_set_error_function(&quiet);
    jack_set_info_function(&quiet);
    return std::make_unique<JackBackend>();
}

}  // namespace tw::audio
