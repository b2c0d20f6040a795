#include "fx/cabinet_ir.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tw {

int cabinet_rate_index(std::int32_t rate) {
    int best = 0;
    for (int i = 1; i < static_cast<int>(kCabinetRates.size()); ++i)
        if (std::abs(kCabinetRates[static_cast<std::size_t>(i)] - rate) <
            std::abs(kCabinetRates[static_cast<std::size_t>(best)] - rate))
            best = i;
    return best;
}

std::vector<float> resample_ir(const std::vector<float>& taps, std::uint32_t from, std::int32_t to) {
    if (static_cast<std::int64_t>(from) == to || taps.empty()) return taps;
    const double ratio = static_cast<double>(to) / from;
    std::vector<float> out(static_cast<std::size_t>(std::ceil(static_cast<double>(taps.size()) * ratio)));
    std::size_t done = 0;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_error_t err = soxr_oneshot(from, to, 1, taps.data(), taps.size(), nullptr, out.data(), out.size(),
                                          &done, &io, &q, nullptr);
    if (err != nullptr) return {};
    out.resize(done);
    return out;
}

CabinetIrSet::CabinetIrSet(const IrWav& wav) : channels_(wav.taps[1].empty() ? 1 : 2) {
    for (std::size_t r = 0; r < kCabinetRates.size(); ++r) {
        const std::int32_t rate = kCabinetRates[r];
        AtRate& a = rates_[r];
        double louder = 0;
        for (int c = 0; c < channels_; ++c) {
            std::vector<float> taps = resample_ir(wav.taps[c], wav.sample_rate, rate);
            if (taps.size() > static_cast<std::size_t>(rate)) taps.resize(static_cast<std::size_t>(rate));
            double e = 0;
            for (float t : taps) e += static_cast<double>(t) * t;
            louder = std::max(louder, e);
            a.ir[c] = std::make_unique<dsp::ConvolverIr>(taps);
        }
        a.normalize = louder > 0 ? static_cast<float>(1.0 / std::sqrt(louder)) : 1.0f;
        for (int c = 0; c < 2; ++c) a.run[c] = std::make_unique<dsp::PartitionedConvolver>(*a.ir[channels_ == 2 ? c : 0]);
    }
}

}  // namespace tw
