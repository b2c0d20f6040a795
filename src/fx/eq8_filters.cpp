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

void speaker_process(FifthOrderState& st, const SpeakerSet& set, float* samples, int count, int stride) {
    // The histories live in registers for the call; shifting them is the
    // same as shifting the arrays.
    double x0 = st.x[0], x1 = st.x[1], x2 = st.x[2], x3 = st.x[3], x4 = st.x[4], x5 = st.x[5];
    double y0 = st.y[0], y1 = st.y[1], y2 = st.y[2], y3 = st.y[3], y4 = st.y[4], y5 = st.y[5];
    const double g = set.gain;
    const double c0 = set.c[0], c1 = set.c[1], c2 = set.c[2], c3 = set.c[3], c4 = set.c[4];
    for (int i = 0; i < count; ++i) {
        float& s = samples[static_cast<long>(i) * stride];
        x0 = x1; x1 = x2; x2 = x3; x3 = x4; x4 = x5;
        x5 = s / g;
        y0 = y1; y1 = y2; y2 = y3; y3 = y4; y4 = y5;
        y5 = (x0 + x5) + 5.0 * (x1 + x4) + 10.0 * (x2 + x3) + c0 * y0 + c1 * y1 + c2 * y2 + c3 * y3 + c4 * y4;
        s = static_cast<float>(y5);
    }
    st.x = {x0, x1, x2, x3, x4, x5};
    st.y = {y0, y1, y2, y3, y4, y5};
}

void low_cut_process(FifthOrderState& st, float* samples, int count) {
    double x0 = st.x[0], x1 = st.x[1], x2 = st.x[2], x3 = st.x[3], x4 = st.x[4], x5 = st.x[5];
    double y0 = st.y[0], y1 = st.y[1], y2 = st.y[2], y3 = st.y[3], y4 = st.y[4], y5 = st.y[5];
    for (int i = 0; i < count; ++i) {
        x0 = x1; x1 = x2; x2 = x3; x3 = x4; x4 = x5;
        x5 = samples[i] / kLowCutGain;
        y0 = y1; y1 = y2; y2 = y3; y3 = y4; y4 = y5;
        y5 = (x5 - x0) + 5.0 * (x1 - x4) + 10.0 * (x3 - x2) + 0.961746123 * y0 - 4.8462783871 * y1 +
             9.7683493471 * y2 - 9.8448479614 * y3 + 4.961030878 * y4;
        samples[i] = static_cast<float>(y5);
    }
    st.x = {x0, x1, x2, x3, x4, x5};
    st.y = {y0, y1, y2, y3, y4, y5};
}

}  // namespace tw
