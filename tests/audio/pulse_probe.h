// The test's own PulseAudio client for the private server of
// pulse_fixture.sh: plays silence and then a 441 Hz sine (or a click) into the
// sink tw_src, and records the monitors of tw_src (what reaches the program's
// input) and tw_null (what the program played). Each recorder counts its
// frames and notes the wall-clock time of the first frame above a level, so
// the difference of the two arrival times is the program's round trip,
// whatever the probe's own buffers hold.
#pragma once

#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace tw::test {

class PulseProbe {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kRate = 48000;
    static constexpr int kChunk = 128;       // frames per read: about 2.7 ms
    static constexpr int kPlayChunk = 256;   // frames per write

    ~PulseProbe() { stop(); }

    // Connects the player and the two recorders; false when the server does
    // not answer. `seconds`: how much of the output monitor is kept.
    bool start(double seconds) {
        kept_.assign(static_cast<std::size_t>(seconds * kRate), 0.0f);
        pa_sample_spec play_format{PA_SAMPLE_FLOAT32NE, kRate, 1};
        // The recorders keep the channels apart (a mono mix would cancel a
        // channel whose phase an effect turned) and look at the left one.
        pa_sample_spec rec_format{PA_SAMPLE_FLOAT32NE, kRate, 2};
        pa_buffer_attr rec{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                           static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1), kChunk * 8};
        pa_buffer_attr play{static_cast<std::uint32_t>(-1), 4 * kPlayChunk * 4, static_cast<std::uint32_t>(-1),
                            kPlayChunk * 4, static_cast<std::uint32_t>(-1)};
        int err = 0;
        play_ = pa_simple_new(nullptr, "tw_probe", PA_STREAM_PLAYBACK, "tw_src", "probe out", &play_format, nullptr, &play, &err);
        src_ = pa_simple_new(nullptr, "tw_probe", PA_STREAM_RECORD, "tw_src.monitor", "probe in", &rec_format, nullptr, &rec, &err);
        out_ = pa_simple_new(nullptr, "tw_probe", PA_STREAM_RECORD, "tw_null.monitor", "probe out", &rec_format, nullptr,
                             &rec, &err);
        if (!play_ || !src_ || !out_) return false;
        run_.store(true);
        threads_.emplace_back([this] { play_loop(); });
        threads_.emplace_back([this] { record_loop(src_, src_arrival_, nullptr); });
        threads_.emplace_back([this] { record_loop(out_, out_arrival_, &kept_); });
        return true;
    }
    // A null sink left idle works in blocks of up to 2 s and only takes up
    // the small blocks its new streams ask for at its next block: waits
    // (at most `limit`) until both monitors deliver.
    bool wait_flowing(std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            if (src_frames_.load() > 0 && out_frames_.load() > 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void stop() {
        run_.store(false);
        for (auto& t : threads_) t.join();
        threads_.clear();
        for (pa_simple** s : {&play_, &src_, &out_})
            if (*s) {
                pa_simple_free(*s);
                *s = nullptr;
            }
    }

    // From now on the player plays the sine (amplitude `amp`); a click plays
    // one period of it, then silence.
    void start_sine(float amp, bool click = false) {
        amp_.store(amp);
        click_.store(click);
        src_arrival_.reset();
        out_arrival_.reset();
        armed_.store(true);
        sounding_.store(true);
    }
    // Milliseconds from the sine's arrival at the program's input to its
    // arrival at the output sink; negative while either is missing.
    double round_trip_ms() const {
        if (!src_arrival_.seen.load() || !out_arrival_.seen.load()) return -1.0;
        return std::chrono::duration<double, std::milli>(out_arrival_.at - src_arrival_.at).count();
    }
    // Frames of the output monitor kept so far, and the kept samples.
    std::size_t kept() const { return std::min(kept_.size(), out_frames_.load(std::memory_order_acquire)); }
    const std::vector<float>& out_samples() const { return kept_; }

private:
    struct Arrival {
        std::atomic<bool> seen{false};
        Clock::time_point at{};
        void reset() { seen.store(false); }
    };

    void play_loop() {
        std::vector<float> buf(kPlayChunk);
        double phase = 0.0;
        while (run_.load()) {
            const float amp = sounding_.load() ? amp_.load() : 0.0f;
            for (float& v : buf) {
                v = amp * static_cast<float>(std::sin(phase));
                phase += 2.0 * M_PI * 441.0 / kRate;
            }
            if (amp > 0.0f && click_.load() && phase > 2.0 * M_PI) sounding_.store(false);
            if (amp == 0.0f) phase = 0.0;
            int err = 0;
            if (pa_simple_write(play_, buf.data(), buf.size() * sizeof(float), &err) < 0) return;
        }
    }
    void record_loop(pa_simple* s, Arrival& a, std::vector<float>* keep) {
        std::vector<float> frames(2 * kChunk), buf(kChunk);
        while (run_.load()) {
            int err = 0;
            if (pa_simple_read(s, frames.data(), frames.size() * sizeof(float), &err) < 0) return;
            for (int i = 0; i < kChunk; ++i) buf[i] = frames[2 * i];
            const auto now = Clock::now();
            if (!a.seen.load() && armed_.load())
                for (int i = 0; i < kChunk; ++i)
                    if (std::fabs(buf[i]) > 0.02f) {
                        // The frame came in (kChunk - i) frames before the read returned.
                        a.at = now - std::chrono::microseconds((kChunk - i) * 1000000LL / kRate);
                        a.seen.store(true);
                        break;
                    }
            if (!keep) src_frames_.fetch_add(kChunk);
            if (keep) {
                const std::size_t f = out_frames_.load(std::memory_order_relaxed);
                for (int i = 0; i < kChunk && f + i < keep->size(); ++i) (*keep)[f + i] = buf[i];
                out_frames_.store(f + kChunk, std::memory_order_release);
            }
        }
    }

    pa_simple* play_ = nullptr;
    pa_simple* src_ = nullptr;
    pa_simple* out_ = nullptr;
    std::vector<std::thread> threads_;
    std::atomic<bool> run_{false};
    std::atomic<bool> sounding_{false};
    std::atomic<bool> armed_{false};  // the recorders look for the sine
    std::atomic<bool> click_{false};
    std::atomic<float> amp_{0.0f};
    Arrival src_arrival_, out_arrival_;
    std::vector<float> kept_;
    std::atomic<std::size_t> out_frames_{0};
    std::atomic<std::size_t> src_frames_{0};
};

}  // namespace tw::test
