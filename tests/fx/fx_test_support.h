// Test signals and checks shared by the effect tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
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

// One NaN or infinity in a buffer does not silence the effect for good: from
// the next buffer on every output is finite, and once the filter memory and
// the window have turned over the output is that of an instance that got a 0
// in its place (within `tolerance` on the 16-bit scale).
template <class Form>
void expect_recovery_from_non_finite_input(float tolerance) {
    constexpr int kFrames = 512;
    for (int channels : {1, 2}) {
        for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
            auto poisoned = std::make_unique<Form>();
            auto clean = std::make_unique<Form>();
            std::vector<float> audio = guitar_like(5 * kFrames * channels);
            std::vector<float> a = audio, b = audio;
            a[100 * channels] = bad;
            b[100 * channels] = 0.0f;
            for (int buf = 0; buf < 5; ++buf) {
                float* pa = a.data() + buf * kFrames * channels;
                float* pb = b.data() + buf * kFrames * channels;
                poisoned->process(kFrames, 48000, channels, pa);
                clean->process(kFrames, 48000, channels, pb);
                if (buf == 0) continue;
                float worst = 0.0f;
                for (int i = 0; i < kFrames * channels; ++i) {
                    ASSERT_TRUE(std::isfinite(pa[i])) << "buffer " << buf << " sample " << i << " channels " << channels;
                    worst = std::max(worst, std::fabs(pa[i] - pb[i]));
                }
                if (buf >= 3) {
                    EXPECT_LE(worst, tolerance) << "buffer " << buf << " channels " << channels;
                }
            }
        }
    }
}

}  // namespace tw::test
