// Two-pole filter steps in direct form I (the inputs and outputs of the two
// previous samples are kept), with the coefficient a0 dividing the sum:
//   band-pass:  y = (x - x[n-2] - a1*y[n-1] - a2*y[n-2]) / a0
//   high-pass:  y = ((x - (x[n-1] + x[n-1])) + x[n-2] - (a1*y[n-1] + a2*y[n-2])) / a0
// Float variant: coefficients and memories of 32 bits, each stored value
// rounded to 32 bits, the arithmetic between stores in double. Double
// variant: everything in double.
//
// Audio thread (or any thread on its own state): no allocation.
#pragma once

namespace tw::dsp {

template <typename T>
struct BiquadCoefs {
    T a0 = 1;
    T a1 = 0;
    T a2 = 0;
};

template <typename T>
struct BiquadState {
    T x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    void reset() { *this = BiquadState{}; }
    // Shifts the memories after output y for input x.
    void push(T x, T y) {
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
    }
};

// One band-pass sample (zeros at DC and at half the sample rate).
template <typename C, typename T>
inline T band_pass_step(const BiquadCoefs<C>& c, BiquadState<T>& s, T x) {
    const double num = static_cast<double>(x) - static_cast<double>(s.x2) -
                       static_cast<double>(c.a1) * static_cast<double>(s.y1) -
                       static_cast<double>(c.a2) * static_cast<double>(s.y2);
    const T y = static_cast<T>(num / static_cast<double>(c.a0));
    s.push(x, y);
    return y;
}

// One high-pass sample (numerator 1, -2, 1: two zeros at DC).
template <typename C, typename T>
inline T high_pass_step(const BiquadCoefs<C>& c, BiquadState<T>& s, T x) {
    const double x1 = s.x1;
    const double num = ((static_cast<double>(x) - (x1 + x1)) + static_cast<double>(s.x2)) -
                       (static_cast<double>(c.a1) * static_cast<double>(s.y1) +
                        static_cast<double>(c.a2) * static_cast<double>(s.y2));
    const T y = static_cast<T>(num / static_cast<double>(c.a0));
    s.push(x, y);
    return y;
}

// `count` samples in place, every `stride`-th one.
template <typename C, typename T>
inline void band_pass_process(const BiquadCoefs<C>& c, BiquadState<T>& s, T* samples, int count, int stride = 1) {
    for (int i = 0; i < count; ++i) samples[i * stride] = band_pass_step(c, s, samples[i * stride]);
}
template <typename C, typename T>
inline void high_pass_process(const BiquadCoefs<C>& c, BiquadState<T>& s, T* samples, int count, int stride = 1) {
    for (int i = 0; i < count; ++i) samples[i * stride] = high_pass_step(c, s, samples[i * stride]);
}

}  // namespace tw::dsp
