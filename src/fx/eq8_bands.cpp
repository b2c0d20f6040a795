#include "fx/eq8_bands.h"

#include <cmath>

#include "fx/band_pass.h"

namespace tw {

namespace {
struct BandRow {
    float centre, width;
};
constexpr BandRow kBandTable[EqBandSet::kBands] = {
    {62, 40}, {125, 100}, {250, 200}, {425, 400}, {850, 800}, {1700, 1200}, {3400, 2000}, {5500, 4000}, {8000, 3500},
};
}  // namespace

void EqBandSet::init() {
    eq_bands = kBands;
    band_gain.fill(10.0f);
    master_gain = 0.1f;
    a0.fill(1.0);   // padding lanes: a harmless step whose output is never weighted
    a1.fill(0.0);
    a2.fill(0.0);
    for (int i = 0; i < kBands; ++i) {
        centre_hz[i] = kBandTable[i].centre;
        width_hz[i] = kBandTable[i].width;
        const BandPassCoefs c = band_pass_design(centre_hz[i], width_hz[i]);
        a0[i] = static_cast<float>(c.a0);
        a1[i] = static_cast<float>(c.a1);
        a2[i] = static_cast<float>(c.a2);
    }
}

EqBandSet::Gains EqBandSet::snapshot() const {
    Gains g;
    for (int i = 0; i < kBands; ++i) g.band[i] = band_gain[i];
    g.master = master_gain;
    return g;
}

float band_curve(int a) {
    const double d = a;
    return static_cast<float>(d >= 50.0 ? ((d - 50.0) / 5.0 + 1.0) * 10.0 : 10.0 / (std::fabs(d - 50.0) / 5.0 + 1.0));
}

float master_curve(float v) {
    const double d = v;
    return static_cast<float>(d >= 50.0 ? ((d - 50.0) / 5.0 + 1.0) * 0.1 : 0.1 / (std::fabs(d - 50.0) / 5.0 + 1.0));
}

}  // namespace tw
