#include "fx/amp_model_kernel.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {
constexpr float kScale = 32768.0f;   // the engine's full scale
}

void AmpModelKernel::reset() {
    cur_ = {};
    prev_ = {};
    fade_left_ = 0;
    gains_set_ = false;
    held_from_.store(0, std::memory_order_release);
}

void AmpModelKernel::render(Source& s, const float* x, float* y, int n) {
    if (s.model == nullptr) {
        std::copy_n(dry_.data(), n, y);   // no model: the signal as it came
        return;
    }
    s.model->process(x, y, n);
    // A model driven out of its range (weights that overflow) would hold a
    // value that is not finite in its state: silence, and the idle state again.
    bool bad = false;
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(y[i])) {
            y[i] = 0.0f;
            bad = true;
        }
    if (bad || s.model->state_broken()) s.model->settle();
}

void AmpModelKernel::process(const AudioBlock& block, const Params& p) {
    const int channels = block.mono() ? 1 : 2;
    if (p.serial > cur_.serial) {
        prev_ = cur_;
        cur_ = {p.model, p.serial, p.out_gain};
        // The first set a kernel sees starts at once; later ones fade in.
        fade_left_ = gains_set_ && (cur_.model != nullptr || prev_.model != nullptr) ? kFade : 0;
        if (fade_left_ == 0) prev_ = {};
    }
    if (cur_.model == nullptr && fade_left_ == 0) {
        gains_set_ = true;
        in_gain_ = p.in_gain;
        cur_.gain = p.out_gain;
        held_from_.store(cur_.serial, std::memory_order_release);
        return;   // no model: the signal passes dry
    }
    if (!gains_set_) {
        in_gain_ = p.in_gain;
        cur_.gain = p.out_gain;
        gains_set_ = true;
    }
    for (std::int32_t done = 0; done < block.frames;) {
        const int n = std::min<std::int32_t>(kPass, block.frames - done);
        float* buf = block.samples + static_cast<std::ptrdiff_t>(done) * channels;
        // The gains move in a ramp over the pass.
        const float gi0 = in_gain_, gi1 = p.in_gain, go0 = cur_.gain, go1 = p.out_gain;
        const float di = (gi1 - gi0) / static_cast<float>(n), dgo = (go1 - go0) / static_cast<float>(n);
        for (int i = 0; i < n; ++i) {
            float s = channels == 1 ? buf[i] : 0.5f * (buf[2 * i] + buf[2 * i + 1]);
            if (!std::isfinite(s)) s = 0.0f;   // one bad sample must not poison the model's state
            dry_[static_cast<std::size_t>(i)] = s / kScale;
            x_[static_cast<std::size_t>(i)] = s / kScale * (gi0 + di * static_cast<float>(i + 1));
        }
        render(cur_, x_.data(), y_.data(), n);
        if (cur_.model != nullptr)
            for (int i = 0; i < n; ++i) y_[static_cast<std::size_t>(i)] *= go0 + dgo * static_cast<float>(i + 1);
        cur_.gain = go1;
        in_gain_ = gi1;
        if (fade_left_ > 0) {
            render(prev_, x_.data(), yp_.data(), n);
            for (int i = 0; i < n; ++i) {
                const int left = std::max(fade_left_ - i - 1, 0);
                const float g = 1.0f - static_cast<float>(left) / kFade;
                auto& y = y_[static_cast<std::size_t>(i)];
                y = g * y + (1.0f - g) * yp_[static_cast<std::size_t>(i)] * (prev_.model != nullptr ? prev_.gain : 1.0f);
            }
            fade_left_ = std::max(fade_left_ - n, 0);
            if (fade_left_ == 0) prev_ = {};
        }
        for (int i = 0; i < n; ++i) {
            const float v = y_[static_cast<std::size_t>(i)] * kScale;
            for (int c = 0; c < channels; ++c) buf[i * channels + c] = v;
        }
        done += n;
    }
    held_from_.store(fade_left_ > 0 ? prev_.serial : cur_.serial, std::memory_order_release);
}

}  // namespace tw
