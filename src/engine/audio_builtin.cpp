#include "engine/audio_builtin.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/demo_guitar.h"

namespace tw::audio {
namespace {

using Clock = std::chrono::steady_clock;

// A thread that runs `tick` once per buffer period until stopped. A period is
// frames / rate seconds; when the thread falls far behind (a suspended
// machine) it starts counting afresh instead of bursting to catch up.
class PacedThread {
public:
    template <class Tick>
    void start(int frames, int rate, Tick tick) {
        stop();
        stop_.store(false, std::memory_order_relaxed);
        const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
            static_cast<double>(frames) / static_cast<double>(rate)));
        thread_ = std::thread([this, period, tick]() mutable {
            auto next = Clock::now();
            while (!stop_.load(std::memory_order_relaxed)) {
                tick();
                next += period;
                const auto now = Clock::now();
                if (now - next > 8 * period) next = now;
                std::this_thread::sleep_until(next);
            }
        });
    }
    void stop() {
        stop_.store(true, std::memory_order_relaxed);
        if (thread_.joinable()) thread_.join();
    }
    ~PacedThread() { stop(); }

private:
    std::thread thread_;
    std::atomic<bool> stop_{true};
};

class BuiltinBackend final : public AudioBackend {
public:
    explicit BuiltinBackend(std::string demo_path) : demo_path_(std::move(demo_path)) {}
    ~BuiltinBackend() override {
        stop_capture();
        stop_playback();
    }

    std::vector<BackendDevice> devices() override {
        BackendDevice in;
        in.name = kDemoInputName;
        in.input_channels = 2;
        BackendDevice out;
        out.name = kNullOutputName;
        out.output_channels = 2;
        out.alternative = true;
        return {in, out};
    }

    int min_buffer_frames(const std::string&, int, int) override { return kBuiltinMinFrames; }

    std::string start_capture(const StreamRequest& r, int& frames_out, CaptureFn fn, void* user) override {
        stop_capture();
        if (r.device_name != kDemoInputName) return "There is no built-in input called \"" + r.device_name + "\".";
        if (r.sample_rate < 8000 || r.sample_rate > 192000)
            return "The demo guitar cannot play at " + std::to_string(r.sample_rate) + " Hz.";
        loop_ = load_loop(demo_path_, r.sample_rate);
        if (loop_.size() < 1024) loop_ = synthesize_demo_guitar(r.sample_rate);
        const int frames = std::clamp(r.frames, kBuiltinMinFrames, 4096);
        const int ch = r.channels == 1 ? 1 : 2;
        capture_buf_.assign(static_cast<std::size_t>(frames * ch), 0.0f);
        loop_pos_ = 0;
        capture_thread_.start(frames, r.sample_rate, [this, fn, user, frames, ch]() {
            float* b = capture_buf_.data();
            const std::size_t n = loop_.size();
            for (int i = 0; i < frames; ++i) {
                const float s = loop_[loop_pos_];
                loop_pos_ = loop_pos_ + 1 == n ? 0 : loop_pos_ + 1;
                for (int c = 0; c < ch; ++c) b[i * ch + c] = s;
            }
            fn(user, b, frames);
        });
        frames_out = frames;
        return {};
    }
    void stop_capture() override { capture_thread_.stop(); }

    std::string start_playback(const StreamRequest& r, int& frames_out, PlaybackFn fn, void* user) override {
        stop_playback();
        if (r.device_name != kNullOutputName) return "There is no built-in output called \"" + r.device_name + "\".";
        if (r.sample_rate < 8000 || r.sample_rate > 192000)
            return "The null output cannot run at " + std::to_string(r.sample_rate) + " Hz.";
        const int frames = std::clamp(r.frames, kBuiltinMinFrames, 4096);
        const int ch = r.channels == 1 ? 1 : 2;
        playback_buf_.assign(static_cast<std::size_t>(frames * ch), 0.0f);
        playback_thread_.start(frames, r.sample_rate, [this, fn, user, frames]() { fn(user, playback_buf_.data(), frames); });
        frames_out = frames;
        return {};
    }
    void stop_playback() override { playback_thread_.stop(); }

private:
    std::string demo_path_;
    std::vector<float> loop_;
    std::size_t loop_pos_ = 0;
    std::vector<float> capture_buf_;
    std::vector<float> playback_buf_;
    PacedThread capture_thread_;
    PacedThread playback_thread_;
};

}  // namespace

std::unique_ptr<AudioBackend> make_builtin_backend(const std::string& demo_wav_path) {
    return std::make_unique<BuiltinBackend>(demo_wav_path);
}

}  // namespace tw::audio
