#include "engine/dsound.h"

#include <algorithm>
#include <cmath>

namespace tw {
namespace {
constexpr int kScratchFrames = 1024;
}

DSound::DSound(const DeviceCatalog& catalog) : catalog_(catalog) {}

DSound::~DSound() { CloseDSound(); }

std::int32_t DSound::get_wdm_wavout_device_list(WdmDeviceList* list) {
    devices_ = catalog_.outputs(alternative_);
    if (devices_.size() > static_cast<std::size_t>(WdmDeviceList::kMaxDevices))
        devices_.resize(WdmDeviceList::kMaxDevices);
    if (list) {
        list->names.clear();
        for (const auto& d : devices_) list->names.push_back(d.device.name);
        list->count = static_cast<std::int32_t>(devices_.size());
    }
    return devices_.empty() ? 0 : 1;
}

void DSound::setup_ks_prefered() {
    alternative_ = true;
    devices_.clear();
    selected_ = -1;
    selected_backend_ = nullptr;
    selected_name_.clear();
}

void DSound::setup_standard_path() {
    setup_ks_prefered();
    alternative_ = false;
}

std::int32_t DSound::select_wdm_waveOut_device(std::int32_t index) {
    if (index < 0 || index >= static_cast<std::int32_t>(devices_.size())) return 0;
    selected_ = index;
    selected_backend_ = devices_[static_cast<std::size_t>(index)].backend;
    selected_name_ = devices_[static_cast<std::size_t>(index)].device.name;
    return 1;
}

std::int32_t DSound::WinMain1(void*) {
    CloseDSound();
    last_error_.clear();
    if (!selected_backend_) {
        last_error_ = "No output device is selected.";
        return -1;
    }
    if (setup_rate_ < 8000 || setup_rate_ > 192000) {
        last_error_ = "The sample rate " + std::to_string(setup_rate_) + " Hz is not usable.";
        return -1;
    }
    open_channels_ = setup_channels_;
    open_rate_ = setup_rate_;
    const std::int32_t b = std::clamp(setup_b_size_, 16, 4096);
    const std::int64_t latency_frames =
        static_cast<std::int64_t>(std::clamp(setup_latency_ms_, 10, 5000)) * open_rate_ / 1000;
    const std::int64_t extra_frames = static_cast<std::int64_t>(std::clamp(setup_extra_delay_ms_, 0, 1000)) * open_rate_ / 1000;
    const std::int64_t cap_frames = std::max<std::int64_t>(latency_frames + extra_frames, 8 * b) + 4096;
    queue_.reset(static_cast<std::size_t>(cap_frames * open_channels_));
    push_scratch_.assign(static_cast<std::size_t>(kScratchFrames * open_channels_), 0);
    pop_scratch_.assign(static_cast<std::size_t>(kScratchFrames * open_channels_), 0);
    if (extra_frames > 0) {
        std::vector<float> silence(static_cast<std::size_t>(extra_frames * open_channels_), 0.0f);
        queue_.push(silence.data(), silence.size());
    }
    open_b_size_ = b;
    open_same_cycle_ = setup_same_cycle_;
    open_delta_ = open_same_cycle_ ? 0 : std::clamp(setup_delta_delta_, 0, 10000);
    open_auto_ = open_same_cycle_ ? 0 : setup_auto_;
    // Same cycle: wait only for the first capture (until then there is
    // nothing to play, and nothing is missing).
    priming_ = open_same_cycle_ || open_auto_ != 0;
    owed_silence_ = 0;
    pending_insert_.store(0, std::memory_order_relaxed);
    pending_skip_.store(0, std::memory_order_relaxed);
    underflows_.store(0, std::memory_order_relaxed);
    overflows_.store(0, std::memory_order_relaxed);
    frames_played_.store(0, std::memory_order_relaxed);
    low_water_.store(-1, std::memory_order_relaxed);

    audio::StreamRequest r;
    r.device_name = selected_name_;
    r.sample_rate = open_rate_;
    r.channels = open_channels_;
    r.frames = b;
    r.stream_name = "tonewarp-out";
    r.same_cycle = open_same_cycle_;
    int frames = 0;
    accepting_.store(true, std::memory_order_relaxed);
    std::string err = selected_backend_->start_playback(r, frames, &DSound::playback_thunk, this);
    if (!err.empty()) {
        accepting_.store(false, std::memory_order_relaxed);
        last_error_ = std::move(err);
        return -1;
    }
    device_frames_ = frames;
    backend_ = selected_backend_;
    open_ = true;
    return 0;
}

void DSound::CloseDSound() {
    accepting_.store(false, std::memory_order_relaxed);
    if (backend_) backend_->stop_playback();
    backend_ = nullptr;
    open_ = false;
    // The storage stays (a late producer may still be inside push); only the
    // count of waiting audio goes to 0.
    queue_.pop(nullptr, queue_.size());
}

double DSound::get_audio_pos() const {
    if (!accepting_.load(std::memory_order_relaxed)) return 0.0;
    return static_cast<double>(queue_.size()) * 2.0;
}

void DSound::insert_buffer() {
    if (!accepting_.load(std::memory_order_relaxed)) return;
    pending_insert_.fetch_add(open_b_size_, std::memory_order_relaxed);
}

void DSound::skip_buffer() {
    if (!accepting_.load(std::memory_order_relaxed)) return;
    pending_skip_.fetch_add(open_b_size_, std::memory_order_relaxed);
}

void DSound::skip_frames(std::int64_t frames) {
    if (!accepting_.load(std::memory_order_relaxed) || frames <= 0) return;
    pending_skip_.fetch_add(frames, std::memory_order_relaxed);
}

void DSound::out_to_dsound(void* target, std::int32_t frames, std::int32_t channels, const float* samples) {
    static_cast<DSound*>(target)->push(frames, channels, samples);
}

void DSound::push(std::int32_t frames, std::int32_t channels, const float* samples) {
    if (!accepting_.load(std::memory_order_relaxed) || frames <= 0 || !samples) return;
    const int in_ch = channels == 1 ? 1 : 2;
    const int out_ch = open_channels_;
    float* s = push_scratch_.data();
    // Floats all the way to the device, clipped at full scale; a 16-bit
    // device is dithered by its backend at the very last step.
    auto clip = [](float v) -> float {
        if (!(v == v)) return 0.0f;  // NaN
        return std::clamp(v, -32768.0f, 32767.0f);
    };
    for (int done = 0; done < frames;) {
        const int n = std::min(kScratchFrames, frames - done);
        const float* src = samples + static_cast<std::ptrdiff_t>(done) * in_ch;
        for (int i = 0; i < n; ++i) {
            if (in_ch == out_ch) {
                for (int c = 0; c < out_ch; ++c) s[i * out_ch + c] = clip(src[i * in_ch + c]);
            } else if (out_ch == 2) {
                s[2 * i] = s[2 * i + 1] = clip(src[i]);
            } else {
                s[i] = clip(0.5f * (src[2 * i] + src[2 * i + 1]));
            }
        }
        if (!queue_.push(s, static_cast<std::size_t>(n * out_ch))) overflows_.fetch_add(1, std::memory_order_relaxed);
        done += n;
    }
}

void DSound::playback_thunk(void* self, float* out, int frames) { static_cast<DSound*>(self)->on_playback(out, frames); }

void DSound::on_playback(float* out, int frames) {
    const int ch = open_channels_;
    const std::size_t total = static_cast<std::size_t>(frames) * static_cast<std::size_t>(ch);
    std::fill(out, out + total, 0.0f);
    frames_played_.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed);

    const std::int64_t skip = pending_skip_.exchange(0, std::memory_order_relaxed);
    if (skip > 0) {
        const std::size_t avail = queue_.size() / static_cast<std::size_t>(ch);
        queue_.pop(nullptr, std::min<std::size_t>(avail, static_cast<std::size_t>(skip)) * static_cast<std::size_t>(ch));
    }
    owed_silence_ += pending_insert_.exchange(0, std::memory_order_relaxed);

    int pos = 0;
    if (owed_silence_ > 0) {
        const int n = static_cast<int>(std::min<std::int64_t>(owed_silence_, frames));
        owed_silence_ -= n;
        pos = n;
    }
    if (pos == frames) return;
    const int want = frames - pos;
    if (priming_) {
        const std::int64_t prime =
            std::max<std::int64_t>(static_cast<std::int64_t>(open_delta_) * open_b_size_ / 100, want);
        if (static_cast<std::int64_t>(queue_.size() / static_cast<std::size_t>(ch)) < prime) return;
        priming_ = false;
    }
    int got = 0;
    while (got < want) {
        const int n = std::min(kScratchFrames, want - got);
        const std::size_t taken = queue_.pop(pop_scratch_.data(), static_cast<std::size_t>(n * ch));
        float* dst = out + static_cast<std::ptrdiff_t>(pos + got) * ch;
        for (std::size_t i = 0; i < taken; ++i) dst[i] = pop_scratch_[i] * (1.0f / 32768.0f);
        got += static_cast<int>(taken) / ch;
        if (static_cast<int>(taken) < n * ch) break;
    }
    if (got < want) {
        underflows_.fetch_add(1, std::memory_order_relaxed);
        if (open_auto_ != 0) priming_ = true;
    }
    const auto level = static_cast<std::int64_t>(queue_.size() / static_cast<std::size_t>(ch));
    const std::int64_t low = low_water_.load(std::memory_order_relaxed);
    if (low < 0 || level < low) low_water_.store(level, std::memory_order_relaxed);
}

}  // namespace tw
