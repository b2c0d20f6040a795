#include "engine/demo_guitar.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tw::audio {
namespace {

// One plucked note: a burst of filtered noise circulating in a delay line of
// one period, averaged (low-passed) and damped on every pass.
void pluck(std::vector<float>& out, std::size_t start, double freq, double seconds, float amp, int rate,
           std::uint32_t& seed, double damping) {
    const double period = rate / freq;
    const std::size_t n = static_cast<std::size_t>(std::max(2.0, std::floor(period)));
    const double frac = period - static_cast<double>(n);  // fractional delay by a one-pole all-pass
    const double ap = (1.0 - frac) / (1.0 + frac);
    std::vector<double> line(n);
    double prev = 0.0;
    for (auto& v : line) {
        seed = seed * 1664525u + 1013904223u;
        const double white = static_cast<double>(seed >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
        prev = 0.6 * prev + 0.4 * white;  // a softer pick: low-passed noise
        v = prev;
    }
    double mean = 0.0;
    for (double v : line) mean += v;
    mean /= static_cast<double>(n);
    for (auto& v : line) v -= mean;

    const std::size_t len = static_cast<std::size_t>(seconds * rate);
    std::size_t pos = 0;
    double ap_x1 = 0.0, ap_y1 = 0.0;
    for (std::size_t i = 0; i < len && start + i < out.size(); ++i) {
        const double a = line[pos];
        const double b = line[(pos + 1) % n];
        const double avg = damping * 0.5 * (a + b);
        const double y = ap * avg + ap_x1 - ap * ap_y1;  // all-pass tunes the fractional period
        ap_x1 = avg;
        ap_y1 = y;
        line[pos] = y;
        pos = (pos + 1) % n;
        // A short release at the end of the note (a fretting hand lifting).
        const double tail = static_cast<double>(len - i) / (0.02 * rate);
        out[start + i] += static_cast<float>(a * amp * std::min(1.0, tail));
    }
}

double midi_hz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

}  // namespace

std::vector<float> synthesize_demo_guitar(int sample_rate) {
    const int rate = std::clamp(sample_rate, 8000, 192000);
    const double beat = 60.0 / 112.0;  // 112 bpm
    // The riff: (start in eighths, length in eighths, MIDI notes of the chord).
    struct Hit {
        int at, len;
        std::vector<int> notes;
    };
    const std::vector<Hit> riff = {
        {0, 2, {40, 47, 52}},  {2, 1, {40}},          {3, 1, {43}},      {4, 2, {45, 52, 57}},
        {6, 1, {40}},          {7, 1, {47}},          {8, 2, {43, 50, 55}}, {10, 1, {40}},
        {11, 1, {42}},         {12, 3, {38, 45, 50}}, {15, 1, {40}},
        {16, 2, {40, 47, 52}}, {18, 1, {40}},         {19, 1, {43}},     {20, 2, {45, 52, 57}},
        {22, 1, {48}},         {23, 1, {47}},         {24, 2, {43, 50, 55}}, {26, 1, {45}},
        {27, 1, {43}},         {28, 4, {40, 47, 52, 55, 59, 64}},
    };
    const double eighth = beat / 2.0;
    const std::size_t total = static_cast<std::size_t>(32 * eighth * rate);
    std::vector<float> out(total, 0.0f);
    std::uint32_t seed = 20240611u;
    for (const Hit& h : riff) {
        const std::size_t start = static_cast<std::size_t>(h.at * eighth * rate);
        double strum = 0.0;
        for (int note : h.notes) {
            const std::size_t s = start + static_cast<std::size_t>(strum * rate);
            pluck(out, s, midi_hz(note), h.len * eighth + 0.05, 0.5f / std::sqrt(static_cast<float>(h.notes.size())),
                  rate, seed, 0.998);
            strum += 0.012;  // a downstroke: low strings first
        }
    }
    float peak = 0.0f;
    for (float v : out) peak = std::max(peak, std::fabs(v));
    if (peak > 0.0f)
        for (float& v : out) v *= 0.5f / peak;
    return out;
}

std::vector<float> load_loop(const std::string& path, int sample_rate) {
    if (sample_rate <= 0) return {};
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<float> mono;
    if (info.channels >= 1 && info.channels <= 64 && info.samplerate >= 1000 && info.samplerate <= 768000 &&
        info.frames > 0) {
        const sf_count_t keep = std::min<sf_count_t>(info.frames, static_cast<sf_count_t>(info.samplerate) * 60);
        std::vector<float> inter(static_cast<std::size_t>(keep) * static_cast<std::size_t>(info.channels));
        const sf_count_t got = sf_readf_float(f, inter.data(), keep);
        if (got > 0) {
            mono.resize(static_cast<std::size_t>(got));
            for (sf_count_t i = 0; i < got; ++i) {
                float s = 0.0f;
                for (int c = 0; c < info.channels; ++c) s += inter[static_cast<std::size_t>(i * info.channels + c)];
                s /= static_cast<float>(info.channels);
                mono[static_cast<std::size_t>(i)] = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
            }
        }
    }
    const int src_rate = info.samplerate;
    sf_close(f);
    if (mono.empty() || src_rate == sample_rate) return mono;
    const double step = static_cast<double>(src_rate) / sample_rate;
    const std::size_t n = static_cast<std::size_t>(static_cast<double>(mono.size()) / step);
    std::vector<float> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = i * step;
        const std::size_t k = static_cast<std::size_t>(x);
        const float t = static_cast<float>(x - static_cast<double>(k));
        const float a = mono[std::min(k, mono.size() - 1)];
        const float b = mono[std::min(k + 1, mono.size() - 1)];
        out[i] = a + (b - a) * t;
    }
    return out;
}

}  // namespace tw::audio
