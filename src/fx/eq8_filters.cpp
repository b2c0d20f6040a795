#include "fx/eq8_filters.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {
constexpr SpeakerSet kSpeaker[kSpeakerSets] = {
    {79249.31199, {0.6336952704, -3.3995811835, 7.3674538128, -8.0661749703, 4.4642032817}},
    {27378.15898, {0.5655430721, -3.0679824667, 6.7591833652, -7.5659363135, 4.308023528}},
    {11588.52026, {0.5048078043, -2.7620823998, 6.1768464404, -7.0664866071, 4.1441534087}},
    {5641.398882, {0.4506870507, -2.4807459866, 5.6224108613, -6.5712003287, 3.9731760513}},
    {3041.405688, {0.4024625183, -2.2227455784, 5.097326135, -6.0832227372, 3.7956582115}},
    {1772.16991, {0.3594917375, -1.9867946045, 4.60256738, -5.6054686491, 3.6121471769}},
};
}  // namespace

dsp::BiquadCoefs<float> two_pole_design(double fs, double f, double r) {
    const double t = std::tan(3.141592653589 * f / fs);
    const double t2 = t * t;
    return {static_cast<float>(t2 + r * t + 1.0), static_cast<float>(-(2.0 - t2)), static_cast<float>(t2 - r * t + 1.0)};
}

const SpeakerSet& speaker_set(int p) { return kSpeaker[std::clamp(p, 0, kSpeakerSets - 1)]; }

}  // namespace tw
