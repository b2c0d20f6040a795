#include "fx/vec_math.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tw::vec {

namespace {
// TW_PLAIN_MATH=1 in the environment keeps the plain path on any processor
// (to measure or check it).
bool processor_has_avx2() {
    const char* plain = std::getenv("TW_PLAIN_MATH");
    if (plain != nullptr && std::strcmp(plain, "1") == 0) return false;
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
#else
    return false;
#endif
}
const bool kHasAvx2 = processor_has_avx2();

inline float f32(double v) { return static_cast<float>(v); }
}  // namespace

bool uses_avx2() { return kHasAvx2; }

void curve_block(const CurveCoeffs& c, float* buf, int count) {
    if (kHasAvx2) avx2::curve_block(c, buf, count);
    else curve_scalar(c, buf, count);
}

void comp_gain_block(const float* base, float* v, int count, float e, float S, float gain_out) {
    if (kHasAvx2) avx2::comp_gain_block(base, v, count, e, S, gain_out);
    else comp_gain_scalar(base, v, count, e, S, gain_out);
}

void signed_power_block(float* buf, int count, float e) {
    if (kHasAvx2) avx2::signed_power_block(buf, count, e);
    else signed_power_scalar(buf, count, e);
}

void curve_scalar(const CurveCoeffs& c, float* buf, int count) {
    for (int i = 0; i < count; ++i) {
        const double v = buf[i];
        const double a = v >= 0.0 ? v : -v;
        const float w = f32(std::atan((a - c.A) * c.k) * 0.318309886183871 + 0.5);
        const float y = f32(((c.s1 - c.ds * w) * a + c.c2 * w) * c.scale - c.offset);
        buf[i] = v >= 0.0 ? y : -y;
    }
}

void comp_gain_scalar(const float* base, float* v, int count, float e, float S, float gain_out) {
    for (int i = 0; i < count; ++i) {
        const double du = base[i];
        const float g = f32((std::pow(du, static_cast<double>(e)) + S) / (du * du + S));
        v[i] = f32(static_cast<double>(gain_out) * v[i] * g);
    }
}

void signed_power_scalar(float* buf, int count, float e) {
    for (int i = 0; i < count; ++i) {
        const float m = std::pow(std::fabs(buf[i]), e);
        buf[i] = buf[i] < 0.0f ? -m : m;
    }
}

}  // namespace tw::vec
