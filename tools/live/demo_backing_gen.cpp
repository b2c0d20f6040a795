// Writes demo1.wav, the backing track a fresh installation's "Playback wav
// file" plays: two bars of drums and bass in E minor at 120 BPM that loop
// seamlessly, 48000 Hz stereo 16-bit. Run by the build: demo_backing_gen OUTPUT.wav
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kStep = kRate / 4;          // an eighth note at 120 BPM
constexpr int kSteps = 16;                // two bars of 4/4
constexpr int kFrames = kStep * kSteps;   // 4 seconds
constexpr double kPi = 3.14159265358979323846;

struct Stereo {
    std::vector<float> l = std::vector<float>(kFrames, 0.0f);
    std::vector<float> r = std::vector<float>(kFrames, 0.0f);
    // Adds a sound at frame `at`; what runs past the end wraps to the start,
    // so the loop has no seam.
    void add(int at, const std::vector<float>& s, float left, float right) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            const std::size_t k = (static_cast<std::size_t>(at) + i) % kFrames;
            l[k] += s[i] * left;
            r[k] += s[i] * right;
        }
    }
};

// A repeatable noise source.
struct Noise {
    std::uint32_t state = 0x1234567u;
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<std::int32_t>(state)) / 2147483648.0f;
    }
};

std::vector<float> kick() {
    std::vector<float> s(kRate / 3);
    double phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double f = 45.0 + 75.0 * std::exp(-t * 30.0);   // pitch drops 120 -> 45 Hz
        phase += 2 * kPi * f / kRate;
        s[i] = static_cast<float>(std::sin(phase) * std::exp(-t * 9.0) * (1.0 - std::exp(-t * 2000.0)));
    }
    return s;
}

std::vector<float> snare(Noise& n) {
    std::vector<float> s(kRate / 4);
    float lp = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const float x = n.next();
        lp += 0.45f * (x - lp);   // soften the noise a little
        const double body = 0.5 * std::sin(2 * kPi * 185.0 * t) * std::exp(-t * 28.0);
        s[i] = static_cast<float>(body + 0.7 * lp * std::exp(-t * 18.0));
    }
    return s;
}

std::vector<float> hat(Noise& n, double decay) {
    std::vector<float> s(kRate / 12);
    float prev = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const float x = n.next();
        const float hp = x - prev;   // keeps the bright part
        prev = x;
        s[i] = static_cast<float>(0.5 * hp * std::exp(-t * decay));
    }
    return s;
}

// A plucked bass note: a few harmonics, darker as it fades.
std::vector<float> bass(double freq, int length) {
    std::vector<float> s(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double bright = std::exp(-t * 6.0);
        double v = 0;
        for (int h = 1; h <= 6; ++h) v += std::sin(2 * kPi * freq * h * t) / h * (h == 1 ? 1.0 : bright * 0.8);
        const double attack = 1.0 - std::exp(-t * 400.0);
        const double release = std::min(1.0, static_cast<double>(length - i) / (0.01 * kRate));
        s[i] = static_cast<float>(0.55 * v * attack * release * (0.6 + 0.4 * std::exp(-t * 3.0)));
    }
    return s;
}

Stereo backing() {
    Stereo mix;
    Noise noise;
    const auto k = kick();
    const auto sn = snare(noise);
    const auto hat_closed = hat(noise, 60.0);
    const auto hat_open = hat(noise, 25.0);
    const bool kicks[kSteps] = {1, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 0};
    const bool snares[kSteps] = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0};
    for (int st = 0; st < kSteps; ++st) {
        const int at = st * kStep;
        if (kicks[st]) mix.add(at, k, 0.9f, 0.9f);
        if (snares[st]) mix.add(at, sn, 0.55f, 0.65f);
        const bool beat = st % 2 == 0;
        mix.add(at, st == 15 ? hat_open : hat_closed, beat ? 0.22f : 0.14f, beat ? 0.32f : 0.2f);
    }
    // E minor: E E E E G G A A | E E E E D D B B (second octave).
    const double e = 82.41, g = 98.00, a = 110.00, d = 73.42, b = 61.74;
    const double notes[kSteps] = {e, e, e, e, g, g, a, a, e, e, e, e, d, d, b, b};
    for (int st = 0; st < kSteps; ++st) {
        const auto note = bass(notes[st], kStep - kRate / 100);
        mix.add(st * kStep, note, 0.8f, 0.8f);
    }
    return mix;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const std::string tmp = out + ".part";
    Stereo mix = backing();
    float peak = 0;
    for (int i = 0; i < kFrames; ++i) peak = std::max({peak, std::fabs(mix.l[i]), std::fabs(mix.r[i])});
    // Half of full scale at the loudest point leaves room for the guitar.
    const float scale = peak > 0 ? 0.5f / peak : 1.0f;
    std::vector<float> frames(2 * static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        frames[2 * i] = mix.l[i] * scale;
        frames[2 * i + 1] = mix.r[i] * scale;
    }
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(tmp.c_str(), SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "cannot write %s: %s\n", tmp.c_str(), sf_strerror(nullptr));
        return 1;
    }
    const bool ok = sf_writef_float(f, frames.data(), kFrames) == kFrames;
    sf_close(f);
    if (!ok || std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::remove(tmp.c_str());
        std::fprintf(stderr, "cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
