#include "render_pipeline.h"

#include <algorithm>
#include <cmath>

namespace tw::render {

std::vector<std::int32_t> choose_splits(const std::vector<double>& cost, int stages, double head, double tail) {
    const auto slots = static_cast<std::int32_t>(cost.size());
    stages = std::max(stages, 1);
    // prefix[i]: work done once slots 0 .. i-1 have run (the head included).
    std::vector<double> prefix(cost.size() + 1, std::max(head, 0.0));
    for (std::size_t i = 0; i < cost.size(); ++i)
        prefix[i + 1] = prefix[i] + (std::isfinite(cost[i]) ? std::max(cost[i], 0.0) : 0.0);
    const double total = prefix.back() + std::max(tail, 0.0);
    std::vector<std::int32_t> splits(static_cast<std::size_t>(stages) + 1, slots);
    splits[0] = 0;
    std::int32_t at = 0;
    for (int k = 1; k < stages; ++k) {
        const double target = total * k / stages;
        // The boundary whose work before it is nearest the target.
        while (at < slots && std::fabs(prefix[at + 1] - target) <= std::fabs(prefix[at] - target)) ++at;
        splits[static_cast<std::size_t>(k)] = at;
    }
    return splits;
}

}  // namespace tw::render
