#include "engine/waves.h"

#include <algorithm>
#include <cmath>


namespace tw {

WaveIn::WaveIn(const DeviceCatalog& catalog) : catalog_(catalog) {}

WaveIn::~WaveIn() { stop_and_close_wave_in(); }

const WaveInDeviceList& WaveIn::get_waveIn_device_list() {
    devices_ = catalog_.inputs();
    list_.names.clear();
    for (const auto& d : devices_) list_.names.push_back(d.device.name);
    list_.highest = static_cast<std::int32_t>(devices_.size()) - 1;
    return list_;
}

void WaveIn::select_waveIn_device(std::int32_t index) { selected_ = index; }

std::int32_t WaveIn::get_min_buf_size_waveIn(std::int32_t sample_rate, std::int32_t channels) {
    if (selected_ < 0 || selected_ >= static_cast<std::int32_t>(devices_.size())) return 256;
    const DeviceRef& d = devices_[static_cast<std::size_t>(selected_)];
    const int frames = d.backend->min_buffer_frames(d.device.name, sample_rate, channels);
    return frames > 0 ? frames : 256;
}

float WaveIn::level_gain(std::int32_t level) {
    level = std::clamp(level, 0, 100);
    if (level == 0) return 0.0f;
    return static_cast<float>(std::pow(10.0, (level - 50) * 0.4 / 20.0));
}

void WaveIn::set_waveIn_level(std::int32_t level) { in_gain_.store(level_gain(level), std::memory_order_relaxed); }
void WaveIn::set_waveOut_level(std::int32_t level) { out_gain_.store(level_gain(level), std::memory_order_relaxed); }

std::int32_t WaveIn::setup_and_start_wave_In(std::int32_t sample_rate, std::int32_t channels,
                                             std::int32_t buffer_frames, ChainCallback callback, OutputEntry output,
                                             void* output_target) {
    stop_and_close_wave_in();
    last_error_.clear();
    if (selected_ < 0 || selected_ >= static_cast<std::int32_t>(devices_.size())) {
        last_error_ = "No input device is selected.";
        return -1;
    }
    if (sample_rate <= 0) {
        last_error_ = "The sample rate " + std::to_string(sample_rate) + " Hz is not usable.";
        return -1;
    }
    const DeviceRef& d = devices_[static_cast<std::size_t>(selected_)];
    sample_rate_ = sample_rate;
    channels_ = channels == 1 ? 1 : 2;
    piece_frames_ = std::clamp(buffer_frames, 1, 4096);
    callback_ = callback;
    output_ = output;
    output_target_ = output_target;
    work_.assign(static_cast<std::size_t>(piece_frames_ * channels_), 0.0f);
    // Peaks fall to half in 100 ms.
    decay_ = static_cast<float>(std::pow(0.5, 1.0 / (0.1 * sample_rate_)));
    in_peak_.store(0.0f, std::memory_order_relaxed);
    out_peak_.store(0.0f, std::memory_order_relaxed);
    buffers_.store(0, std::memory_order_relaxed);
    tap_.set_sample_rate(sample_rate_);

    audio::StreamRequest r;
    r.device_name = d.device.name;
    r.sample_rate = sample_rate_;
    r.channels = channels_;
    r.frames = piece_frames_;
    r.stream_name = "tonewarp-in";
    int frames = 0;
    std::string err = d.backend->start_capture(r, frames, &WaveIn::capture_thunk, this);
    if (!err.empty()) {
        last_error_ = std::move(err);
        return -1;
    }
    backend_ = d.backend;
    running_ = true;
    return 0;
}

void WaveIn::stop_and_close_wave_in() {
    if (backend_) backend_->stop_capture();
    backend_ = nullptr;
    running_ = false;
    in_peak_.store(0.0f, std::memory_order_relaxed);
    out_peak_.store(0.0f, std::memory_order_relaxed);
}

void WaveIn::capture_thunk(void* self, const float* in, int frames) { static_cast<WaveIn*>(self)->on_capture(in, frames); }

void WaveIn::on_capture(const float* in, int frames) {
    // Flush-to-zero is set by process_chain itself on this thread.
    buffers_.fetch_add(1, std::memory_order_relaxed);
    const float gin = in_gain_.load(std::memory_order_relaxed) * 32768.0f;
    const float gout = muted_.load(std::memory_order_relaxed) ? 0.0f : out_gain_.load(std::memory_order_relaxed);
    const int ch = channels_;
    tap_.write(in, frames, ch, 32768.0f);
    float in_pk = 0.0f, out_pk = 0.0f;
    float* w = work_.data();
    for (int done = 0; done < frames;) {
        const int n = std::min(piece_frames_, frames - done);
        const float* src = in + static_cast<std::ptrdiff_t>(done) * ch;
        for (int i = 0; i < n * ch; ++i) {
            // A NaN or infinity from the sound system enters the chain as
            // silence, as in the offline renderer.
            float v = src[i] * gin;
            if (!std::isfinite(v)) v = 0.0f;
            w[i] = v;
            in_pk = std::max(in_pk, std::fabs(v));
        }
        if (callback_) callback_(n, sample_rate_, ch, w);
        for (int i = 0; i < n * ch; ++i) {
            float v = w[i] * gout;
            if (!std::isfinite(v)) v = 0.0f;
            w[i] = v;
            out_pk = std::max(out_pk, std::fabs(v));
        }
        if (output_) output_(output_target_, n, ch, w);
        done += n;
    }
    const float fall = std::pow(decay_, static_cast<float>(frames));
    in_peak_.store(std::max(in_pk, in_peak_.load(std::memory_order_relaxed) * fall), std::memory_order_relaxed);
    out_peak_.store(std::max(out_pk, out_peak_.load(std::memory_order_relaxed) * fall), std::memory_order_relaxed);
}

}  // namespace tw
