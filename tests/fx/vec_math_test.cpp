// The AVX2 block versions of the distortions' arctangent and power steps
// against the scalar ones (the plain path), over the whole input range: at
// most one unit in the last place of the 32-bit result.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "fx/distortion1_kernel.h"
#include "fx/vec_math.h"

namespace tw::vec {
namespace {

// Distance in representable floats (0 for equal values, both NaN, or +0/-0).
std::int64_t ulp_distance(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b) ? 0 : INT64_MAX;
    auto ordered = [](float f) {
        const auto bits = static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(f));
        return bits < 0 ? static_cast<std::int64_t>(INT32_MIN) - bits : static_cast<std::int64_t>(bits);
    };
    const std::int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

// Positive floats from 0 to `top` (denormals, tiny values and every binade up
// to top, stepping through the bit patterns), each also negated. The odd
// count leaves a tail that is not a whole vector.
std::vector<float> full_range(float top) {
    std::vector<float> v{0.0f, -0.0f, 1.0e-30f, 5.0e-39f};
    const std::uint32_t end = std::bit_cast<std::uint32_t>(top);
    for (std::uint32_t bits = 0x00800000u; bits <= end; bits += 3001u) {
        const float f = std::bit_cast<float>(bits);
        v.push_back(f);
        v.push_back(-f);
    }
    v.push_back(top);
    if (v.size() % 4 == 0) v.push_back(1.0f);
    return v;
}

using Block = std::function<void(float*, int)>;

// Runs `scalar` and `block` over copies of `in`; returns the largest distance.
std::int64_t worst(const std::vector<float>& in, const Block& scalar, const Block& block, float* worst_input) {
    std::vector<float> a = in, b = in;
    scalar(a.data(), static_cast<int>(a.size()));
    block(b.data(), static_cast<int>(b.size()));
    std::int64_t most = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::int64_t d = ulp_distance(a[i], b[i]);
        if (d > most) {
            most = d;
            *worst_input = in[i];
        }
    }
    return most;
}

TEST(VecMath, SoftHardCurveWithinOneUlpOverTheWholeRange) {
    const std::vector<float> in = full_range(2.0e6f);
    struct Setting {
        int knee_in, knee_out;
        float level, k;
    };
    // Creation values, the bars' extremes, and the smooth range ends.
    for (const Setting s : {Setting{1000, 10000, 0.49f, 0.1f}, Setting{50, 30000, 1.0f, 0.2f},
                            Setting{1000, 5000, 0.3f, 0.005f}, Setting{500, 15000, 0.8f, 0.02f}}) {
        const CurveCoeffs c = Distortion1Kernel::curve_coeffs(s.knee_in, s.knee_out, s.level, s.k);
        if (!uses_avx2()) break;
        float at = 0.0f;
        const std::int64_t d = worst(
            in, [&](float* p, int n) { curve_scalar(c, p, n); }, [&](float* p, int n) { avx2::curve_block(c, p, n); },
            &at);
        EXPECT_LE(d, 1) << "knee " << s.knee_in << "/" << s.knee_out << " k " << s.k << " at " << at;
    }
    // The curve itself: an input of 100 at the creation values gives 490.
    float x[3] = {100.0f, -100.0f, 0.0f};
    curve_block(Distortion1Kernel::curve_coeffs(1000, 10000, 0.49f, 0.1f), x, 3);
    EXPECT_NEAR(x[0], 490.0f, 0.01f);
    EXPECT_EQ(x[1], -x[0]);
    EXPECT_NEAR(x[2], 0.0f, 1e-3f);
}

TEST(VecMath, CompressorGainWithinOneUlpOverTheWholeRange) {
    // Bases: window means from silence to far beyond full scale; the sample
    // multiplied by the gain runs over the same range, in reverse order.
    std::vector<float> base = full_range(4.0e6f);
    for (float& b : base) b = std::fabs(b);
    std::vector<float> v(base.rbegin(), base.rend());
    for (std::size_t i = 0; i < v.size(); i += 2) v[i] = -v[i];
    // Exponent 1..2 (Distortion bar), S 1e7..5e8 (Sharp bar), output gains.
    for (const float e : {1.0f, 1.25f, 1.5f, 2.0f}) {
        for (const float S : {1.0e7f, 6.0e7f, 5.0e8f}) {
            if (!uses_avx2()) break;
            const float gain_out = e == 1.25f ? 1.0f / 11.0f : 11.0f;
            std::vector<float> a = v, b = v;
            comp_gain_scalar(base.data(), a.data(), static_cast<int>(a.size()), e, S, gain_out);
            avx2::comp_gain_block(base.data(), b.data(), static_cast<int>(b.size()), e, S, gain_out);
            std::int64_t most = 0;
            for (std::size_t i = 0; i < a.size(); ++i) most = std::max(most, ulp_distance(a[i], b[i]));
            EXPECT_LE(most, 1) << "e " << e << " S " << S;
        }
    }
    // Known points of the curve (S 6e7, e 1.25): mean 10000 gives 0.376;
    // a zero base gives exactly 1.
    float b2[2] = {10000.0f, 0.0f}, x2[2] = {1.0f, 3.0f};
    comp_gain_block(b2, x2, 2, 1.25f, 6.0e7f, 1.0f);
    EXPECT_NEAR(x2[0], 0.376f, 0.0005f);
    EXPECT_EQ(x2[1], 3.0f);
}

TEST(VecMath, SignedPowerWithinOneUlpOverTheWholeRange) {
    const std::vector<float> in = full_range(1.0e7f);
    for (const float e : {0.85f, 0.707f}) {
        if (!uses_avx2()) break;
        float at = 0.0f;
        const std::int64_t d = worst(
            in, [&](float* p, int n) { signed_power_scalar(p, n, e); },
            [&](float* p, int n) { avx2::signed_power_block(p, n, e); }, &at);
        EXPECT_LE(d, 1) << "e " << e << " at " << at;
    }
    float x[3] = {-16.0f, 0.0f, 10000.0f};
    signed_power_block(x, 3, 0.5f);
    EXPECT_FLOAT_EQ(x[0], -4.0f);
    EXPECT_EQ(x[1], 0.0f);
    EXPECT_FLOAT_EQ(x[2], 100.0f);
    // The ends of the float range and what lies beyond it, as libm gives them.
    const float inf = INFINITY;
    for (const float e : {0.707f, 2.0f, 30.0f}) {
        float ends[6] = {FLT_MAX, -FLT_MAX, inf, -inf, NAN, FLT_TRUE_MIN};
        float want[6];
        std::copy(ends, ends + 6, want);
        signed_power_scalar(want, 6, e);
        signed_power_block(ends, 6, e);
        for (int i = 0; i < 6; ++i) EXPECT_LE(ulp_distance(ends[i], want[i]), 1) << "e " << e << " item " << i;
    }
}

}  // namespace
}  // namespace tw::vec
