#include "app/tuner_analyser.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tw {

namespace {

constexpr double kLowPassHz = 2000.0;
constexpr double kHighPassHz = 25.0;
constexpr double kAnalysisRate = 24000.0;

double cents_between(double a, double b) { return 1200.0 * std::log2(a / b); }

}  // namespace

void TunerAnalyser::configure(int rate) {
    rate_ = std::max(rate, 8000);
    decimation_ = std::max(1, static_cast<int>(std::lround(rate_ / kAnalysisRate)));
    const double fa = static_cast<double>(rate_) / decimation_;
    const int window = static_cast<int>(std::lround(kWindowSeconds * fa));
    hop_ = std::max(1, static_cast<int>(std::lround(kHopSeconds * fa)));
    detector_.configure(static_cast<float>(fa), window);
    window_.assign(static_cast<std::size_t>(window), 0.0f);
    scratch_.assign(static_cast<std::size_t>(hop_), 0.0f);
    phase_ = 0;
    since_hop_ = 0;

    // Butterworth sections (bilinear transform): one second-order high-pass,
    // and a fourth-order low-pass as two sections.
    const double k_lp = std::tan(std::numbers::pi * kLowPassHz / rate_);
    const double k_hp = std::tan(std::numbers::pi * kHighPassHz / rate_);
    auto low_pass = [](double k, double q) {
        Biquad f;
        const double n = 1.0 / (1.0 + k / q + k * k);
        f.b0 = k * k * n;
        f.b1 = 2.0 * f.b0;
        f.b2 = f.b0;
        f.a1 = 2.0 * (k * k - 1.0) * n;
        f.a2 = (1.0 - k / q + k * k) * n;
        return f;
    };
    Biquad hp;
    {
        const double q = std::numbers::sqrt2 / 2.0;
        const double n = 1.0 / (1.0 + k_hp / q + k_hp * k_hp);
        hp.b0 = n;
        hp.b1 = -2.0 * n;
        hp.b2 = n;
        hp.a1 = 2.0 * (k_hp * k_hp - 1.0) * n;
        hp.a2 = (1.0 - k_hp / q + k_hp * k_hp) * n;
    }
    filters_ = {hp, low_pass(k_lp, 0.54119610), low_pass(k_lp, 1.30656296)};

    history_.fill(0.0);
    count_ = next_ = misses_ = 0;
    shown_hz_ = 0.0;
    last_ = {};
}

void TunerAnalyser::feed(const float* x, std::size_t n) {
    if (window_.empty()) return;
    for (std::size_t i = 0; i < n; ++i) {
        double v = x[i];
        if (!std::isfinite(v)) v = 0.0;
        for (Biquad& f : filters_) v = f.step(v);
        if (++phase_ < decimation_) continue;
        phase_ = 0;
        scratch_[static_cast<std::size_t>(since_hop_)] = static_cast<float>(v);
        if (++since_hop_ < hop_) continue;
        // The window is a plain array (it starts as silence) shifted once per
        // hop, cheap next to the detector, so the detector sees it oldest first.
        const auto h = static_cast<std::ptrdiff_t>(hop_);
        std::move(window_.begin() + h, window_.end(), window_.begin());
        std::copy_n(scratch_.begin(), h, window_.end() - h);
        since_hop_ = 0;
        analyse();
    }
}

void TunerAnalyser::analyse() {
    last_ = detector_.estimate(window_.data());
    track(last_.hz);
}

void TunerAnalyser::track(double hz) {
    if (hz <= 0.0) {
        if (++misses_ >= kMissesToClear) {
            count_ = next_ = 0;
            shown_hz_ = 0.0;
        }
        return;
    }
    misses_ = 0;
    if (count_ > 0) {
        const int latest = (next_ + kMeanOf - 1) % kMeanOf;
        if (std::fabs(cents_between(hz, history_[static_cast<std::size_t>(latest)])) > kSameNoteCents)
            count_ = next_ = 0;  // another note: start again
    }
    history_[static_cast<std::size_t>(next_)] = hz;
    next_ = (next_ + 1) % kMeanOf;
    count_ = std::min(count_ + 1, kMeanOf);
    if (count_ < 2) return;  // the previous reading stays until this one is confirmed
    double sum = 0.0;
    for (int i = 0; i < count_; ++i) sum += history_[static_cast<std::size_t>((next_ + kMeanOf - 1 - i) % kMeanOf)];
    shown_hz_ = sum / count_;
}

}  // namespace tw
