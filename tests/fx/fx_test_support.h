// Test signals and checks shared by the effect tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace tw::test {

// A guitar-ish test signal on the 16-bit scale: a low tone plus a bright one.
inline std::vector<float> guitar_like(int samples, float amp = 12000.0f) {
    std::vector<float> v(samples);
    for (int i = 0; i < samples; ++i)
        v[i] = static_cast<float>(amp * std::sin(0.031 * i) + 0.3 * amp * std::sin(0.57 * i));
    return v;
}

// A call longer than the work buffers gives the same output as the same audio
// in 1000-frame calls (mono and stereo), and a stereo call of exactly 2048
// frames writes nothing past its buffer.
template <class Form>
void expect_long_buffers_run_in_passes() {
    for (int channels : {1, 2}) {
        auto whole = std::make_unique<Form>();
        auto parts = std::make_unique<Form>();
        const int frames = 5000;
        std::vector<float> a = guitar_like(frames * channels);
        std::vector<float> b = a;
        whole->process(frames, 48000, channels, a.data());
        for (int done = 0; done < frames; done += 1000)
            parts->process(1000, 48000, channels, b.data() + done * channels);
        EXPECT_EQ(a, b) << channels;
    }
    auto f = std::make_unique<Form>();
    std::vector<float> big = guitar_like(2 * 2048 + 1);
    big.back() = 77.0f;  // guard sample past the buffer
    f->process(2048, 48000, 2, big.data());
    EXPECT_EQ(big.back(), 77.0f);
}

}  // namespace tw::test
