// Fuzz target: the amp model's .nam reader on arbitrary bytes, and a model it
// accepts made ready and run for a block.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "fx/nam/nam_dsp.h"
#include "fx/nam/nam_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tw::nam::ReadResult r = tw::nam::parse_model(text);
    if (!r.ok) {
        if (r.message.empty() || r.message.back() != '.') std::abort();
        return 0;
    }
    // What a successful read promises: finite weights within the cap, a
    // playable size.
    const tw::nam::Model& m = r.model;
    if (m.weights.empty() || m.weights.size() > tw::nam::kMaxWeights) std::abort();
    for (float w : m.weights)
        if (!std::isfinite(w)) std::abort();
    if (m.macs_per_sample() > tw::nam::kMaxMacs) std::abort();
    // Small models also run (large ones would only slow the search down).
    if (m.macs_per_sample() * static_cast<double>(m.receptive_field() + 64) > 2e7) return 0;
    if (m.arch == tw::nam::Architecture::Lstm && m.macs_per_sample() * 0.5 * (m.sample_rate > 0 ? m.sample_rate : 1) > 2e7) return 0;
    auto dsp = tw::nam::make_dsp(m, {tw::nam::best_isa(), true});
    std::vector<float> x(67);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.1f * static_cast<float>(i));
    dsp->process(x.data(), x.data(), 67);
    return 0;
}
