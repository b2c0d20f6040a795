#include "fx/curves.h"

#include <cmath>

#include "fx/dsp/one_pole.h"

namespace tw {

std::optional<float> gain_curve(float x) {
    if (!(x >= 0.0f && x < 101.0f)) return std::nullopt;
    const double xd = x;
    const double factor = xd >= 50.0 ? (xd - 50.0) / 5.0 + 1.0 : 1.0 / (std::fabs(xd - 50.0) / 5.0 + 1.0);
    return static_cast<float>(factor);
}

float colour_curve(float p) {
    float x = static_cast<float>(std::sqrt(static_cast<double>(p) / 100.0));
    if (!(x <= 0.999f)) x = 0.999f;  // also catches NaN from a negative p
    if (x < 0.001f) x = 0.001f;
    return x;
}

void FNC(float* samples, int count, float g, float& state) { dsp::one_pole_process(samples, count, g, state); }

}  // namespace tw
