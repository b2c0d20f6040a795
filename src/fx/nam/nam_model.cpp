#include "fx/nam/nam_model.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "fx/wav_header.h"

namespace tw::nam {

namespace {

using nlohmann::json;

struct Refused {
    std::string message;
};

[[noreturn]] void refuse(std::string message) { throw Refused{std::move(message)}; }

// Deeper nesting than any model has would only exhaust the parser's stack.
constexpr int kMaxDepth = 64;

bool nesting_within(std::string_view text, int max_depth) {
    int depth = 0;
    bool in_string = false, escaped = false;
    for (const char ch : text) {
        if (in_string) {
            if (escaped) escaped = false;
            else if (ch == '\\') escaped = true;
            else if (ch == '"') in_string = false;
            continue;
        }
        if (ch == '"') in_string = true;
        else if (ch == '[' || ch == '{') {
            if (++depth > max_depth) return false;
        } else if (ch == ']' || ch == '}') {
            --depth;
        }
    }
    return true;
}

const json* member(const json& obj, const char* key) {
    if (!obj.is_object()) return nullptr;
    const auto it = obj.find(key);
    if (it == obj.end() || it->is_null()) return nullptr;
    return &*it;
}

int get_int(const json& obj, const char* key, int lo, int hi, std::optional<int> fallback = std::nullopt) {
    const json* v = member(obj, key);
    if (v == nullptr) {
        if (fallback) return *fallback;
        refuse(std::string("The model's configuration lacks \"") + key + "\".");
    }
    if (!v->is_number_integer() && !v->is_number_unsigned()) refuse(std::string("\"") + key + "\" in the model's configuration is not a whole number.");
    const long long x = v->is_number_unsigned() ? static_cast<long long>(std::min<unsigned long long>(v->get<unsigned long long>(), 1ull << 62)) : v->get<long long>();
    if (x < lo || x > hi) {
        char text[160];
        std::snprintf(text, sizeof text, "\"%s\" in the model's configuration is %lld, outside %d..%d.", key, x, lo, hi);
        refuse(text);
    }
    return static_cast<int>(x);
}

bool get_bool(const json& obj, const char* key, bool fallback) {
    const json* v = member(obj, key);
    if (v == nullptr) return fallback;
    if (!v->is_boolean()) refuse(std::string("\"") + key + "\" in the model's configuration is not true or false.");
    return v->get<bool>();
}

float get_param(const json& obj, const char* key, float fallback) {
    const json* v = member(obj, key);
    if (v == nullptr) return fallback;
    if (!v->is_number()) refuse(std::string("The activation's \"") + key + "\" is not a number.");
    const float f = static_cast<float>(v->get<double>());
    if (!std::isfinite(f)) refuse(std::string("The activation's \"") + key + "\" is not a finite number.");
    return f;
}

Activation parse_activation(const json& v) {
    const json* type = &v;
    if (v.is_object()) {
        type = member(v, "type");
        if (type == nullptr) type = member(v, "name");
        if (type == nullptr) refuse("An activation of the model has no type.");
    }
    if (!type->is_string()) refuse("An activation of the model is not named.");
    const std::string n = type->get<std::string>();
    Activation a;
    if (n == "Tanh") a.kind = Act::Tanh;
    else if (n == "Fasttanh" || n == "FastTanh") a.kind = Act::FastTanh;
    else if (n == "Hardtanh" || n == "HardTanh") a.kind = Act::Hardtanh;
    else if (n == "ReLU") a.kind = Act::ReLU;
    else if (n == "LeakyReLU") a.kind = Act::LeakyReLU;
    else if (n == "PReLU") a.kind = Act::PReLU;
    else if (n == "Sigmoid") a.kind = Act::Sigmoid;
    else if (n == "SiLU") a.kind = Act::SiLU;
    else if (n == "Hardswish") a.kind = Act::Hardswish;
    else if (n == "LeakyHardtanh" || n == "LeakyHardTanh") a.kind = Act::LeakyHardtanh;
    else if (n == "Softsign") a.kind = Act::Softsign;
    else refuse("The activation \"" + n.substr(0, 40) + "\" is not one this program plays.");
    if (v.is_object()) {
        a.negative_slope = get_param(v, "negative_slope", a.negative_slope);
        a.min_val = get_param(v, "min_val", a.min_val);
        a.max_val = get_param(v, "max_val", a.max_val);
        a.min_slope = get_param(v, "min_slope", a.min_slope);
        a.max_slope = get_param(v, "max_slope", a.max_slope);
    }
    return a;
}

// A per-layer key given once for the whole array or as a list of one entry per layer.
const json* per_layer(const json& v, std::size_t layer, std::size_t layers, const char* key) {
    if (!v.is_array()) return &v;
    if (v.size() != layers) refuse(std::string("\"") + key + "\" does not give one entry per layer.");
    return &v[layer];
}

void refuse_if_active(const json& arr, const char* key) {
    const json* v = member(arr, key);
    if (v == nullptr) return;
    if (v->is_boolean() && !v->get<bool>()) return;
    if (v->is_object()) {
        const json* active = member(*v, "active");
        if (active != nullptr && active->is_boolean() && !active->get<bool>()) return;
    }
    refuse(std::string("The model uses \"") + key + "\", which this program does not play yet.");
}

LayerArray parse_array(const json& a, std::size_t index) {
    if (!a.is_object()) refuse("A layer array of the model is not an object.");
    for (const char* key : {"head1x1", "condition_dsp", "slimmable", "conv_pre_film", "conv_post_film", "input_mixin_pre_film",
                            "input_mixin_post_film", "activation_pre_film", "activation_post_film", "layer1x1_post_film",
                            "head1x1_post_film"})
        refuse_if_active(a, key);
    for (const char* key : {"groups_input", "groups_input_mixin"})
        if (get_int(a, key, 1, 1, 1) != 1) refuse("The model uses grouped convolutions, which this program does not play.");

    LayerArray out;
    out.input_size = get_int(a, "input_size", 1, kMaxChannels);
    out.condition_size = get_int(a, "condition_size", 1, 1);
    out.channels = get_int(a, "channels", 1, kMaxChannels);
    out.bottleneck = get_int(a, "bottleneck", 1, kMaxChannels, out.channels);
    if (const json* head = member(a, "head"); head != nullptr && head->is_object()) {
        out.head_size = get_int(*head, "out_channels", 1, kMaxChannels);
        out.head_kernel = get_int(*head, "kernel_size", 1, kMaxKernel, 1);
        out.head_bias = get_bool(*head, "bias", false);
    } else {
        out.head_size = get_int(a, "head_size", 1, kMaxChannels);
        out.head_bias = get_bool(a, "head_bias", false);
    }

    const json* dil = member(a, "dilations");
    if (dil == nullptr || !dil->is_array() || dil->empty()) refuse("A layer array of the model has no list of dilations.");
    const std::size_t layers = dil->size();
    if (layers > static_cast<std::size_t>(kMaxLayers)) refuse("The model has more layers than this program plays.");
    const json* ks = member(a, "kernel_sizes");
    const json* act = member(a, "activation");
    if (act == nullptr) refuse("A layer array of the model names no activation.");
    const json* gating = member(a, "gating_mode");
    const json* second = member(a, "secondary_activation");
    bool residual = true;
    if (const json* l1 = member(a, "layer1x1"); l1 != nullptr) {
        if (!l1->is_object()) refuse("\"layer1x1\" in the model's configuration is not an object.");
        residual = get_bool(*l1, "active", true);
        if (get_int(*l1, "groups", 1, 1, 1) != 1) refuse("The model uses grouped convolutions, which this program does not play.");
    }
    if (!residual && out.bottleneck != out.channels) refuse("A layer without its 1x1 convolution needs a bottleneck equal to its channels.");
    const int kernel_all = ks == nullptr ? get_int(a, "kernel_size", 1, kMaxKernel) : 0;
    const bool gated_all = get_bool(a, "gated", false);

    for (std::size_t l = 0; l < layers; ++l) {
        WaveLayer w;
        const json& d = (*dil)[l];
        if (!d.is_number_integer() && !d.is_number_unsigned()) refuse("A dilation of the model is not a whole number.");
        const long long dv = d.is_number_unsigned() ? static_cast<long long>(std::min<unsigned long long>(d.get<unsigned long long>(), 1ull << 40)) : d.get<long long>();
        if (dv < 1 || dv > kMaxDilation) refuse("A dilation of the model is outside 1..65536.");
        w.dilation = static_cast<int>(dv);
        if (ks != nullptr) {
            if (!ks->is_array() || ks->size() != layers) refuse("\"kernel_sizes\" does not give one kernel size per layer.");
            const json& k = (*ks)[l];
            if (!k.is_number_integer() || k.get<long long>() < 1 || k.get<long long>() > kMaxKernel)
                refuse("A kernel size of the model is outside 1..64.");
            w.kernel = static_cast<int>(k.get<long long>());
        } else {
            w.kernel = kernel_all;
        }
        w.act = parse_activation(*per_layer(*act, l, layers, "activation"));
        w.gated = gated_all;
        if (gating != nullptr) {
            const json* g = per_layer(*gating, l, layers, "gating_mode");
            if (g->is_boolean()) w.gated = g->get<bool>();
            else if (g->is_string() && g->get<std::string>() == "none") w.gated = false;
            else if (g->is_string() && g->get<std::string>() == "gated") w.gated = true;
            else refuse("A gating mode of the model is not one this program plays (\"none\" or \"gated\").");
        }
        if (second != nullptr) {
            const json* s = per_layer(*second, l, layers, "secondary_activation");
            if (!s->is_null()) w.gate_act = parse_activation(*s);
        }
        w.residual_1x1 = residual;
        out.layers.push_back(w);
    }
    (void)index;
    return out;
}

std::size_t wavenet_weight_count(const std::vector<LayerArray>& arrays) {
    std::size_t n = 0;
    for (const LayerArray& a : arrays) {
        const std::size_t C = static_cast<std::size_t>(a.channels), B = static_cast<std::size_t>(a.bottleneck);
        n += C * static_cast<std::size_t>(a.input_size);
        for (const WaveLayer& l : a.layers) {
            const std::size_t Z = l.gated ? 2 * B : B;
            n += Z * C * static_cast<std::size_t>(l.kernel) + Z + Z * static_cast<std::size_t>(a.condition_size);
            if (l.residual_1x1) n += C * B + C;
        }
        n += static_cast<std::size_t>(a.head_size) * B * static_cast<std::size_t>(a.head_kernel) + (a.head_bias ? a.head_size : 0);
    }
    return n + 1;
}

std::size_t lstm_weight_count(const LstmShape& s) {
    std::size_t n = 0;
    const std::size_t H = static_cast<std::size_t>(s.hidden);
    for (int l = 0; l < s.layers; ++l) {
        const std::size_t I = l == 0 ? static_cast<std::size_t>(s.input_size) : H;
        n += 4 * H * (I + H) + 6 * H;
    }
    return n + H + 1;
}

void check_version(const json& root, Model& m) {
    const json* v = member(root, "version");
    if (v == nullptr || !v->is_string()) refuse("The file gives no format version; it is not a .nam model.");
    m.version = v->get<std::string>().substr(0, 32);
    unsigned a = 0, b = 0, c = 0;
    char tail = 0;
    if (std::sscanf(m.version.c_str(), "%3u.%3u.%3u%c", &a, &b, &c, &tail) != 3)
        refuse("The model's format version \"" + m.version + "\" is not of the form 0.5.0.");
    if (a == 0 && b < 5) refuse("The model's format version " + m.version + " is older than 0.5.0; export it again with a newer trainer.");
    if (a > 0 || b > 7) refuse("The model's format version " + m.version + " is newer than this program reads (0.7 at most).");
}

std::optional<double> metadata_number(const json* meta, const char* key) {
    if (meta == nullptr) return std::nullopt;
    const json* v = member(*meta, key);
    if (v == nullptr || !v->is_number()) return std::nullopt;
    const double d = v->get<double>();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

std::string shape_name(const Model& m) {
    if (m.arch == Architecture::Lstm) {
        const int L = m.lstm.layers, H = m.lstm.hidden;
        if (L == 1 && H == 24) return "standard";
        if (L == 2 && H == 8) return "lite";
        if (L == 1 && H == 16) return "feather";
        if (L == 1 && H == 12) return "nano";
        return "custom";
    }
    if (m.arrays.size() == 2 && m.arrays[0].layers.size() == 10 && m.arrays[1].layers.size() == 10 && m.arrays[0].channels == 16 &&
        m.arrays[1].channels == 8)
        return "standard";
    if (m.arrays.size() == 2 && m.arrays[0].layers.size() == 7 && m.arrays[1].layers.size() == 13) {
        switch (m.arrays[0].channels) {
            case 12: return "lite";
            case 8: return "feather";
            case 4: return "nano";
            default: break;
        }
    }
    return "custom";
}

Model parse_root(const json& root) {
    if (!root.is_object()) refuse("The file is not a .nam model (its text is not one JSON object).");
    Model m;
    check_version(root, m);
    const json* arch = member(root, "architecture");
    if (arch == nullptr || !arch->is_string()) refuse("The file names no architecture; it is not a .nam model.");
    const std::string an = arch->get<std::string>();
    const json* cfg = member(root, "config");
    if (cfg == nullptr || !cfg->is_object()) refuse("The model has no configuration.");
    std::size_t expected = 0;
    if (an == "WaveNet") {
        m.arch = Architecture::WaveNet;
        if (const json* head = member(*cfg, "head"); head != nullptr)
            refuse("The model has a head after its layer arrays, which this program does not play yet.");
        refuse_if_active(*cfg, "condition_dsp");
        if (get_int(*cfg, "in_channels", 1, 1, 1) != 1) refuse("The model takes more than one input channel.");
        const json* layers = member(*cfg, "layers");
        if (layers == nullptr || !layers->is_array() || layers->empty()) refuse("The WaveNet has no layer arrays.");
        if (layers->size() > static_cast<std::size_t>(kMaxArrays)) refuse("The WaveNet has more layer arrays than this program plays.");
        std::size_t total_layers = 0;
        for (std::size_t i = 0; i < layers->size(); ++i) {
            m.arrays.push_back(parse_array((*layers)[i], i));
            total_layers += m.arrays.back().layers.size();
        }
        if (total_layers > static_cast<std::size_t>(kMaxLayers)) refuse("The model has more layers than this program plays.");
        if (m.arrays.front().input_size != 1) refuse("The first layer array of the model does not take the one input channel.");
        for (std::size_t i = 1; i < m.arrays.size(); ++i) {
            if (m.arrays[i].input_size != m.arrays[i - 1].channels)
                refuse("A layer array's input does not match the channels of the array before it.");
            if (m.arrays[i].bottleneck != m.arrays[i - 1].head_size)
                refuse("A layer array's head does not match the width of the array after it.");
        }
        if (m.arrays.back().head_size != 1) refuse("The model's last layer array does not give one output channel.");
        std::size_t history = 0;
        for (const LayerArray& a : m.arrays) {
            for (const WaveLayer& l : a.layers)
                history += static_cast<std::size_t>(a.channels) * static_cast<std::size_t>(l.dilation) * static_cast<std::size_t>(l.kernel - 1);
            history += static_cast<std::size_t>(a.bottleneck) * static_cast<std::size_t>(a.head_kernel - 1);
        }
        if (history > kMaxHistory) refuse("The model's convolutions reach further back than this program holds.");
        expected = wavenet_weight_count(m.arrays);
    } else if (an == "LSTM") {
        m.arch = Architecture::Lstm;
        m.lstm.input_size = get_int(*cfg, "input_size", 1, 1);
        m.lstm.hidden = get_int(*cfg, "hidden_size", 1, kMaxHidden);
        m.lstm.layers = get_int(*cfg, "num_layers", 1, kMaxLstmLayers);
        expected = lstm_weight_count(m.lstm);
    } else {
        refuse("The architecture \"" + an.substr(0, 40) + "\" is not one this program plays (WaveNet and LSTM are).");
    }
    if (m.macs_per_sample() > kMaxMacs) refuse("The model is too large to play in real time.");

    const json* w = member(root, "weights");
    if (w == nullptr || !w->is_array()) refuse("The model has no weights.");
    if (w->size() != expected) {
        char text[200];
        std::snprintf(text, sizeof text, "The model holds %zu weights where its configuration needs %zu; the file is damaged.", w->size(), expected);
        refuse(text);
    }
    if (expected > kMaxWeights) refuse("The model has more weights than this program plays.");
    m.weights.reserve(expected);
    for (const json& x : *w) {
        if (!x.is_number()) refuse("A weight of the model is not a number; the file is damaged.");
        const float f = static_cast<float>(x.get<double>());
        if (!std::isfinite(f)) refuse("A weight of the model is not a finite number; the file is damaged.");
        m.weights.push_back(f);
    }

    if (const json* sr = member(root, "sample_rate"); sr != nullptr) {
        if (!sr->is_number()) refuse("The model's sample rate is not a number.");
        const double r = sr->get<double>();
        if (!std::isfinite(r) || r < 8000 || r > 384000) refuse("The model's sample rate is outside 8000..384000 Hz.");
        m.sample_rate = r;
    }
    const json* meta = member(root, "metadata");
    if (meta != nullptr && !meta->is_object()) meta = nullptr;
    m.loudness = metadata_number(meta, "loudness");
    m.input_level_dbu = metadata_number(meta, "input_level_dbu");
    m.output_level_dbu = metadata_number(meta, "output_level_dbu");
    if (meta != nullptr)
        if (const json* n = member(*meta, "name"); n != nullptr && n->is_string()) m.name = n->get<std::string>().substr(0, 200);
    m.shape_name = shape_name(m);
    return m;
}

}  // namespace

std::size_t Model::receptive_field() const {
    if (arch == Architecture::Lstm) return 1;
    std::size_t rf = 1;
    for (const LayerArray& a : arrays) {
        for (const WaveLayer& l : a.layers) rf += static_cast<std::size_t>(l.dilation) * static_cast<std::size_t>(l.kernel - 1);
        rf += static_cast<std::size_t>(a.head_kernel - 1);
    }
    return rf;
}

double Model::macs_per_sample() const {
    double n = 0;
    if (arch == Architecture::Lstm) {
        const double H = lstm.hidden;
        for (int l = 0; l < lstm.layers; ++l) n += 4 * H * ((l == 0 ? lstm.input_size : H) + H);
        return n + H;
    }
    for (const LayerArray& a : arrays) {
        const double C = a.channels, B = a.bottleneck;
        n += C * a.input_size;
        for (const WaveLayer& l : a.layers) {
            const double Z = l.gated ? 2 * B : B;
            n += Z * C * l.kernel + Z * a.condition_size + (l.residual_1x1 ? C * B : 0);
        }
        n += static_cast<double>(a.head_size) * B * a.head_kernel;
    }
    return n + 1;
}

std::string Model::summary() const {
    char text[160];
    const char* a = arch == Architecture::Lstm ? "LSTM" : "WaveNet";
    if (sample_rate > 0)
        std::snprintf(text, sizeof text, "%s (%s), %zu weights, %g kHz", a, shape_name.c_str(), weights.size(), sample_rate / 1000.0);
    else
        std::snprintf(text, sizeof text, "%s (%s), %zu weights, rate not given", a, shape_name.c_str(), weights.size());
    return text;
}

ReadResult parse_model(std::string_view text) {
    ReadResult r;
    if (text.size() > kMaxFileBytes) {
        r.message = "The file is larger than 64 MB; it is not a model this program plays.";
        return r;
    }
    if (!nesting_within(text, kMaxDepth)) {
        r.message = "The file is not a .nam model (its JSON is nested too deeply).";
        return r;
    }
    json root = json::parse(text, nullptr, false);
    if (root.is_discarded()) {
        r.message = "The file is not a .nam model (its text is not valid JSON).";
        return r;
    }
    try {
        r.model = parse_root(root);
        r.ok = true;
    } catch (const Refused& e) {
        r.message = e.message;
    } catch (const json::exception&) {
        r.message = "The file is not a .nam model this program can read (a value has the wrong type).";
    }
    return r;
}

ReadResult read_model_file(const std::string& path) {
    ReadResult r;
    const FileSource file(path);
    if (!file.is_open()) {
        r.message = "Could not open " + path + " for reading. Check that it is a .nam file you may read.";
        return r;
    }
    if (static_cast<std::size_t>(file.size()) > kMaxFileBytes) {
        r.message = "The file is larger than 64 MB; it is not a model this program plays.";
        return r;
    }
    std::string text(static_cast<std::size_t>(file.size()), '\0');
    if (file.read_at(0, text.data(), text.size()) != text.size()) {
        r.message = "Could not read all of " + path + ".";
        return r;
    }
    return parse_model(text);
}

}  // namespace tw::nam
