// The four-pole resonant low-pass step shared by the wah and the
// equaliser's resonant low-pass: four one-pole stages with a zero each and
// feedback from the last stage, all in 64-bit floats.
//
// Audio thread (or any thread on its own state): no allocation.
#pragma once

namespace tw::dsp {

struct FourPoleState {
    double input = 0, out1 = 0, out2 = 0, out3 = 0, out4 = 0, in1 = 0, in2 = 0, in3 = 0, in4 = 0;

    void reset() { *this = FourPoleState{}; }
};

// One sample x with cut-off factor f and feedback fb (for a resonance r the
// callers use fb = (1 - 0.15*f*f) * r); returns the fourth stage's output.
inline double four_pole_step(FourPoleState& s, double x, double f, double fb) {
    s.input = x - s.out4 * fb;
    s.input = (f * f) * 0.35013 * (f * f) * s.input;
    s.out1 = 0.3 * s.in1 + s.input + (1.0 - f) * s.out1;
    s.in1 = s.input;
    s.out2 = 0.3 * s.in2 + s.out1 + (1.0 - f) * s.out2;
    s.in2 = s.out1;
    s.out3 = 0.3 * s.in3 + s.out2 + (1.0 - f) * s.out3;
    s.in3 = s.out2;
    s.out4 = 0.3 * s.in4 + s.out3 + (1.0 - f) * s.out4;
    s.in4 = s.out3;
    return s.out4;
}

}  // namespace tw::dsp
