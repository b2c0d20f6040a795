// A loaded cabinet IR made ready for every sample rate the program offers
// (22050, 32075, 44100, 48000 Hz): resampled with libsoxr, cut to one second,
// transformed, with each rate's running convolvers. Built whole on the UI
// thread; the audio thread then only runs it (CabinetKernel picks the rate).
//
// libsoxr (Debian's libsoxr0) resamples: a one-shot, band-limited, linear
// phase resampler for any ratio (32075 Hz included), with no added delay, so
// the resampled IR stays sample-aligned.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "fx/dsp/partitioned_convolver.h"
#include "fx/ir_wav.h"

namespace tw {

// The sample rates the program offers (the stream settings' list).
inline constexpr std::array<std::int32_t, 4> kCabinetRates = {22050, 32075, 44100, 48000};

// Index in kCabinetRates of the rate nearest to `rate`. Any thread.
int cabinet_rate_index(std::int32_t rate);

class CabinetIrSet {
public:
    // The IR of `wav` at every offered rate (at most one second each). UI
    // thread; allocates, plans FFTs.
    explicit CabinetIrSet(const IrWav& wav);

    struct AtRate {
        std::unique_ptr<dsp::ConvolverIr> ir[2];              // ir[1] null for a mono IR
        std::unique_ptr<dsp::PartitionedConvolver> run[2];    // left, right (a mono IR on both)
        float normalize = 1.0f;   // scales the louder channel's squared taps to a sum of 1
    };

    // The IR made for rate index i. Any thread.
    AtRate& at(int i) { return rates_[static_cast<std::size_t>(i)]; }
    const AtRate& at(int i) const { return rates_[static_cast<std::size_t>(i)]; }
    // Channels of the IR (1 or 2). Any thread.
    int channels() const { return channels_; }

private:
    std::array<AtRate, kCabinetRates.size()> rates_;
    int channels_ = 1;
};

// Resamples `taps` from `from` Hz to `to` Hz (libsoxr, high quality). UI
// thread (any thread; it allocates).
std::vector<float> resample_ir(const std::vector<float>& taps, std::uint32_t from, std::int32_t to);

}  // namespace tw
