#include "fx/cabinet_kernel.h"

#include <algorithm>

namespace tw {

void CabinetKernel::reset() {
    cur_ = {};
    prev_ = {};
    fade_left_ = 0;
    rate_index_ = -1;
    gains_set_ = false;
    cur_norm_ = -1.0f;
    held_from_.store(0, std::memory_order_release);
}

void CabinetKernel::restart(CabinetIrSet* set, int rate_index) {
    if (set == nullptr) return;
    for (auto& r : set->at(rate_index).run) r->reset();
}

void CabinetKernel::render(const Source& src, int ri, int channels, int n, float d0, float d1, float w0, float w1) {
    auto& out = (&src == &cur_) ? y_ : yp_;
    for (int c = 0; c < channels; ++c) {
        const float* x = x_[static_cast<std::size_t>(c)].data();
        float* y = out[static_cast<std::size_t>(c)].data();
        if (src.set == nullptr) {
            std::copy_n(x, n, y);
            continue;
        }
        CabinetIrSet::AtRate& a = src.set->at(ri);
        a.run[c]->process(x, w_.data(), n, 1);
        const float dd = (d1 - d0) / static_cast<float>(n), dw = (w1 - w0) / static_cast<float>(n);
        for (int i = 0; i < n; ++i) {
            const float fi = static_cast<float>(i + 1);
            y[i] = (d0 + dd * fi) * x[i] + (w0 + dw * fi) * w_[static_cast<std::size_t>(i)];
        }
    }
}

void CabinetKernel::process(const AudioBlock& block, const Params& p) {
    const int channels = block.mono() ? 1 : 2;
    const int ri = cabinet_rate_index(block.sample_rate);
    if (p.serial > cur_.serial) {
        // The new set fades in over the old one; a fade still under way is
        // cut short (its older set is dropped).
        prev_ = cur_;
        cur_ = {p.set, p.serial};
        cur_norm_ = -1.0f;
        fade_left_ = kFade;
        if (ri == rate_index_) restart(cur_.set, ri);
    }
    if (ri != rate_index_) {
        // Another rate: that rate's convolvers start from silence.
        restart(cur_.set, ri);
        if (rate_index_ >= 0) {
            prev_ = {};
            fade_left_ = 0;
        } else {
            restart(prev_.set, ri);
        }
        rate_index_ = ri;
        cur_norm_ = -1.0f;
    }
    if (!gains_set_) {
        dry_ = p.dry;
        wet_ = p.wet;
        gains_set_ = true;
    }
    const auto norm = [&](const Source& s) {
        return p.normalize && s.set != nullptr ? s.set->at(ri).normalize : 1.0f;
    };
    for (std::int32_t done = 0; done < block.frames;) {
        const int n = std::min<std::int32_t>(kPass, block.frames - done);
        float* buf = block.samples + static_cast<std::ptrdiff_t>(done) * channels;
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) x_[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] = buf[i * channels + c];
        // The gains reach their new values over the first pass.
        const float d1 = p.dry, w1 = p.wet;
        // The normalization follows the check box in the same ramp.
        const float nc = norm(cur_);
        if (cur_norm_ < 0) cur_norm_ = nc;
        render(cur_, ri, channels, n, dry_, d1, wet_ * cur_norm_, w1 * nc);
        cur_norm_ = nc;
        if (fade_left_ > 0) {
            const float np = norm(prev_);
            render(prev_, ri, channels, n, dry_, d1, wet_ * np, w1 * np);
            for (int i = 0; i < n; ++i) {
                const int left = std::max(fade_left_ - i - 1, 0);
                const float g = 1.0f - static_cast<float>(left) / kFade;
                for (int c = 0; c < channels; ++c) {
                    auto& y = y_[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)];
                    y = g * y + (1.0f - g) * yp_[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)];
                }
            }
            fade_left_ = std::max(fade_left_ - n, 0);
            if (fade_left_ == 0) prev_ = {};
        }
        dry_ = d1;
        wet_ = w1;
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c) buf[i * channels + c] = y_[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)];
        done += n;
    }
    held_from_.store(fade_left_ > 0 ? prev_.serial : cur_.serial, std::memory_order_release);
}

}  // namespace tw
