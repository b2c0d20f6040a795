// A neural amp model as a .nam file describes it: the architecture (a WaveNet
// of one or more layer arrays, or an LSTM), its shape, its weights in file
// order and what its metadata tells (name, loudness, levels, rate).
//
// The reader takes the file as untrusted: every size is checked against the
// weights and against fixed caps before anything is allocated for it, and
// anything it does not play is refused with a sentence saying why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::nam {

enum class Act { Tanh, FastTanh, Hardtanh, ReLU, LeakyReLU, PReLU, Sigmoid, SiLU, Hardswish, LeakyHardtanh, Softsign };

struct Activation {
    Act kind = Act::Tanh;
    float negative_slope = 0.01f;                  // LeakyReLU, PReLU
    float min_val = -1.0f, max_val = 1.0f;         // LeakyHardtanh
    float min_slope = 0.01f, max_slope = 0.01f;    // LeakyHardtanh
};

struct WaveLayer {
    int kernel = 3;
    int dilation = 1;
    Activation act;
    bool gated = false;
    Activation gate_act{Act::Sigmoid};
    bool residual_1x1 = true;   // false: the layer's residual output is its input
};

struct LayerArray {
    int input_size = 1;
    int condition_size = 1;
    int channels = 1;
    int bottleneck = 1;   // rows of the conv, the skip sum and the head's input (= channels unless given)
    int head_size = 1;
    int head_kernel = 1;
    bool head_bias = false;
    std::vector<WaveLayer> layers;
};

struct LstmShape {
    int input_size = 1;
    int hidden = 1;
    int layers = 1;
};

enum class Architecture { WaveNet, Lstm };

struct Model {
    Architecture arch = Architecture::WaveNet;
    std::vector<LayerArray> arrays;   // WaveNet
    LstmShape lstm;                   // LSTM
    std::vector<float> weights;       // in file order
    double sample_rate = -1;          // -1: the file does not say
    std::optional<double> loudness, input_level_dbu, output_level_dbu;
    std::string version;
    std::string name;                 // metadata's name, or ""
    std::string shape_name;           // "standard", "lite", "feather", "nano" or "custom"

    // Samples an impulse's answer lasts (WaveNet), 1 for an LSTM. Any thread.
    std::size_t receptive_field() const;
    // Multiply-adds per output sample. Any thread.
    double macs_per_sample() const;
    // "WaveNet (standard), 13802 weights, 48 kHz". Any thread.
    std::string summary() const;
};

struct ReadResult {
    bool ok = false;
    std::string message;   // why it was refused, as a sentence
    Model model;
};

// Caps on what a file may ask for.
inline constexpr std::size_t kMaxFileBytes = 64u << 20;
inline constexpr std::size_t kMaxWeights = 4u << 20;
inline constexpr int kMaxChannels = 256;
inline constexpr int kMaxKernel = 64;
inline constexpr int kMaxDilation = 1 << 16;
inline constexpr int kMaxLayers = 256;   // over all arrays
inline constexpr int kMaxArrays = 16;
inline constexpr int kMaxHidden = 512;
inline constexpr int kMaxLstmLayers = 16;
inline constexpr std::size_t kMaxHistory = 1u << 20;    // history samples over all convolutions
inline constexpr double kMaxMacs = 2.0e6;               // per sample: beyond that no machine plays it live

// Reads the text of a .nam file. Any thread (allocates).
ReadResult parse_model(std::string_view text);
// Reads a .nam file (a regular file of at most kMaxFileBytes). Any thread.
ReadResult read_model_file(const std::string& path);

}  // namespace tw::nam
