// The test's own probe on a PipeWire graph, written on the JACK API and run
// through pipewire-jack (the tests' LD_LIBRARY_PATH, as pw-jack sets it):
// one client plays silence, then a sine, into a node's input ports, another
// records a node's output ports (a sink's monitor). Two clients, so the
// graph has no loop of its own. Both count in the graph's frames, so the
// frames from the sine's onset to its first arrival are the round trip.
#pragma once

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <vector>

namespace tw::test {

class GraphProbe {
public:
    static constexpr int kRate = 48000;

    ~GraphProbe() { close(); }

    // Opens both clients and links them: the player to `play_ports` (two
    // names), the recorder's left input from `record_port`. Keeps `seconds`
    // of the recording. False with the reason in `why`. Test thread.
    bool open(const std::string& play_l, const std::string& play_r, const std::string& record_port, double seconds,
              std::string& why) {
        kept_.assign(static_cast<std::size_t>(seconds * kRate), 0.0f);
        src_ = jack_client_open("tw_probe_src", JackNoStartServer, nullptr);
        sink_ = jack_client_open("tw_probe_sink", JackNoStartServer, nullptr);
        if (src_ == nullptr || sink_ == nullptr) {
            why = "the probe's clients could not connect to the graph";
            return false;
        }
        out_ = jack_port_register(src_, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        in_ = jack_port_register(sink_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(src_, &GraphProbe::play, this);
        jack_set_process_callback(sink_, &GraphProbe::listen, this);
        if (out_ == nullptr || in_ == nullptr || jack_activate(src_) != 0 || jack_activate(sink_) != 0) {
            why = "the probe's ports could not be made";
            return false;
        }
        for (const std::string& p : {play_l, play_r})
            if (jack_connect(src_, jack_port_name(out_), p.c_str()) != 0) {
                why = "cannot link the probe to " + p;
                return false;
            }
        if (jack_connect(sink_, record_port.c_str(), jack_port_name(in_)) != 0) {
            why = "cannot link " + record_port + " to the probe";
            return false;
        }
        return true;
    }
    void close() {
        for (jack_client_t** c : {&src_, &sink_})
            if (*c != nullptr) {
                jack_deactivate(*c);
                jack_client_close(*c);
                *c = nullptr;
            }
    }

    // The sine of `amp` starts a little ahead, on the graph's clock. Test thread.
    void start_sine(float amp) {
        amp_.store(amp);
        arrival_.store(-1);
        onset_.store(jack_frame_time(src_) + 256);
    }
    // Silence from now on. Test thread.
    void silence() { onset_.store(~0ul); }
    // Frames from the onset to the first frame above a quarter of the sine, or -1.
    long round_trip_frames() const {
        const long a = arrival_.load();
        return a >= 0 ? a - static_cast<long>(onset_.load()) : -1;
    }
    // Frames recorded since open (at most the kept length). Any thread.
    std::size_t kept() const { return kept_count_.load(); }
    const std::vector<float>& recorded() const { return kept_; }

    // The smallest and largest peak of the `block`-frame blocks of the
    // recording in [from, to). Test thread.
    void block_peaks(std::size_t from, std::size_t to, std::size_t block, float& lo, float& hi) const {
        lo = 1e9f;
        hi = 0.0f;
        for (std::size_t b = from; b + block <= to; b += block) {
            float pk = 0.0f;
            for (std::size_t f = b; f < b + block; ++f) pk = std::max(pk, std::fabs(kept_[f]));
            lo = std::min(lo, pk);
            hi = std::max(hi, pk);
        }
    }

private:
    static int play(jack_nframes_t n, void* arg) {
        auto* s = static_cast<GraphProbe*>(arg);
        auto* o = static_cast<float*>(jack_port_get_buffer(s->out_, n));
        const unsigned long f0 = jack_last_frame_time(s->src_);
        const unsigned long on = s->onset_.load(std::memory_order_relaxed);
        const float amp = s->amp_.load(std::memory_order_relaxed);
        for (jack_nframes_t k = 0; k < n; ++k) {
            const unsigned long f = f0 + k;
            o[k] = f >= on ? amp * static_cast<float>(std::sin(2.0 * M_PI * 441.0 * static_cast<double>(f - on) / kRate))
                           : 0.0f;
        }
        return 0;
    }
    static int listen(jack_nframes_t n, void* arg) {
        auto* s = static_cast<GraphProbe*>(arg);
        const auto* i = static_cast<const float*>(jack_port_get_buffer(s->in_, n));
        const unsigned long f0 = jack_last_frame_time(s->sink_);
        const unsigned long on = s->onset_.load(std::memory_order_relaxed);
        const float amp = s->amp_.load(std::memory_order_relaxed);
        std::size_t at = s->kept_count_.load(std::memory_order_relaxed);
        for (jack_nframes_t k = 0; k < n; ++k) {
            if (f0 + k >= on && s->arrival_.load(std::memory_order_relaxed) < 0 && std::fabs(i[k]) > 0.25f * amp)
                s->arrival_.store(static_cast<long>(f0 + k), std::memory_order_relaxed);
            if (at < s->kept_.size()) s->kept_[at++] = i[k];
        }
        s->kept_count_.store(at, std::memory_order_release);
        return 0;
    }

    jack_client_t* src_ = nullptr;
    jack_client_t* sink_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_port_t* in_ = nullptr;
    std::vector<float> kept_;
    std::atomic<std::size_t> kept_count_{0};
    std::atomic<float> amp_{0.0f};
    std::atomic<unsigned long> onset_{~0ul};
    std::atomic<long> arrival_{-1};
};

}  // namespace tw::test
