#include "fx/band_pass.h"

#include <cmath>
#include <numbers>

namespace tw {

BandPassCoefs band_pass_design(double centre_hz, double width_hz) {
    const double lo = (centre_hz - width_hz / 2.0) / 48000.0;
    const double hi = (centre_hz + width_hz / 2.0) / 48000.0;
    const double d = std::numbers::pi * (hi - lo);
    const double s = std::sin(d);
    const double c = std::cos(d);
    if (!(std::fabs(s) > 1e-12) || !(std::fabs(c) > 1e-12)) {
        // Degenerate band: pass nothing instead of dividing by zero.
        return BandPassCoefs{1.0e12, 0.0, 0.0};
    }
    const double U = c / s;
    const double V = std::cos(std::numbers::pi * (hi + lo)) / c;
    return BandPassCoefs{U + 1.0, -2.0 * V * U, U - 1.0};
}

}  // namespace tw
