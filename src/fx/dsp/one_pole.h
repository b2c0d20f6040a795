// The one-pole smoother: state = g*state + (1-g)*x, in 32-bit floats; the
// sample becomes the new state. A larger g gives a lower corner.
//
// Audio thread (or any thread on its own state): no allocation.
#pragma once

namespace tw::dsp {

// One sample, with one_minus_g = 1 - g worked out once by the caller.
inline float one_pole_step(float& state, float g, float one_minus_g, float x) {
    state = g * state + one_minus_g * x;
    return state;
}

// `count` samples in place, every `stride`-th one, carrying `state`.
inline void one_pole_process(float* samples, int count, float g, float& state, int stride = 1) {
    const float one_minus_g = 1.0f - g;
    float s = state;
    for (int i = 0; i < count; ++i) samples[i * stride] = one_pole_step(s, g, one_minus_g, samples[i * stride]);
    state = s;
}

// A smoother that owns its state.
struct OnePole {
    float state = 0.0f;

    void reset(float s = 0.0f) { state = s; }
    float process(float g, float x) { return one_pole_step(state, g, 1.0f - g, x); }
    void process(float* samples, int count, float g, int stride = 1) {
        one_pole_process(samples, count, g, state, stride);
    }
};

}  // namespace tw::dsp
