// Small .nam models with random weights (deterministic seeds) for the tests
// and benchmarks: WaveNets of any layer-array shape and LSTMs.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

namespace tw::test {

struct ArrayShape {
    int input_size = 1, channels = 4, head_size = 1, kernel = 3, head_kernel = 1;
    std::vector<int> dilations{1, 2};
    bool gated = false, head_bias = true;
    std::string activation = "Tanh";
};

inline std::vector<float> random_weights(std::size_t n, std::uint32_t seed, float scale) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-scale, scale);
    std::vector<float> w(n);
    for (float& x : w) x = u(rng);
    return w;
}

inline std::size_t wavenet_weights(const std::vector<ArrayShape>& arrays) {
    std::size_t n = 0;
    for (const ArrayShape& a : arrays) {
        const std::size_t C = a.channels, Z = a.gated ? 2 * C : C, K = a.kernel;
        n += C * a.input_size;
        n += a.dilations.size() * (Z * C * K + Z + Z + C * C + C);
        n += a.head_size * C * a.head_kernel + (a.head_bias ? a.head_size : 0);
    }
    return n + 1;
}

// A WaveNet's file text; the trailing head scale is `head_scale`.
inline std::string wavenet_json(const std::vector<ArrayShape>& arrays, std::uint32_t seed, float scale = 0.3f,
                                float head_scale = 0.5f) {
    nlohmann::json layers = nlohmann::json::array();
    for (const ArrayShape& a : arrays) {
        nlohmann::json j = {{"input_size", a.input_size}, {"condition_size", 1}, {"channels", a.channels},
                            {"dilations", a.dilations}, {"activation", a.activation}, {"gated", a.gated}};
        if (a.head_kernel == 1) {
            j["kernel_size"] = a.kernel;
            j["head_size"] = a.head_size;
            j["head_bias"] = a.head_bias;
        } else {
            j["kernel_sizes"] = std::vector<int>(a.dilations.size(), a.kernel);
            j["head"] = {{"out_channels", a.head_size}, {"kernel_size", a.head_kernel}, {"bias", a.head_bias}};
        }
        layers.push_back(j);
    }
    std::vector<float> w = random_weights(wavenet_weights(arrays), seed, scale);
    w.back() = head_scale;
    nlohmann::json root = {{"version", "0.5.4"}, {"architecture", "WaveNet"},
                           {"config", {{"layers", layers}, {"head", nullptr}, {"head_scale", head_scale}}},
                           {"weights", w}, {"sample_rate", 48000}, {"metadata", {{"name", "test", }, {"loudness", -12.0}}}};
    return root.dump();
}

inline std::size_t lstm_weights(int layers, int hidden) {
    std::size_t n = 0;
    for (int l = 0; l < layers; ++l) n += 4 * hidden * ((l == 0 ? 1 : hidden) + hidden) + 6 * hidden;
    return n + hidden + 1;
}

inline std::string lstm_json(int layers, int hidden, std::uint32_t seed, float scale = 0.4f) {
    nlohmann::json root = {{"version", "0.5.2"}, {"architecture", "LSTM"},
                           {"config", {{"input_size", 1}, {"hidden_size", hidden}, {"num_layers", layers}}},
                           {"weights", random_weights(lstm_weights(layers, hidden), seed, scale)}, {"sample_rate", 48000}};
    return root.dump();
}

// The trainer's WaveNet shapes: standard, lite, feather, nano.
inline std::vector<ArrayShape> trainer_wavenet(const std::string& name) {
    int c0 = 16, h0 = 8;
    std::vector<int> d0, d1;
    if (name == "standard") {
        for (int d = 1; d <= 512; d *= 2) d0.push_back(d);
        d1 = d0;
    } else {
        c0 = name == "lite" ? 12 : name == "feather" ? 8 : 4;
        h0 = c0 / 2;
        for (int d = 1; d <= 64; d *= 2) d0.push_back(d);
        d1 = {128, 256, 512};
        for (int d = 1; d <= 512; d *= 2) d1.push_back(d);
    }
    ArrayShape a0{1, c0, h0, 3, 1, d0, false, false, "Tanh"};
    ArrayShape a1{c0, h0, 1, 3, 1, d1, false, true, "Tanh"};
    return {a0, a1};
}

}  // namespace tw::test
