// The WaveNet's forward pass over runs of at most kChunk samples. Each
// convolution's input is kept in a history of its own (one row per channel,
// time contiguous), so a layer over a run is one matrix product: the rows of
// the product are the input channels at each tap's delay, plus the mixin's
// row (the model's input).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fx/nam/nam_dsp.h"

namespace tw::nam {

namespace {

constexpr int kChunk = 128;
constexpr int kPad = kTimeLanes;
constexpr int kRun = kChunk + kPad;   // columns of a run buffer

int padded(int n) { return (n + kTimeLanes - 1) / kTimeLanes * kTimeLanes; }

// The input history of one convolution: `rows` channels, `hist` past columns
// kept before the current run.
struct History {
    int rows = 0, hist = 0;
    std::ptrdiff_t stride = 0;
    std::ptrdiff_t pos = 0;   // the current run's first column
    std::vector<float> data;

    void init(int r, int h) {
        rows = r;
        hist = h;
        stride = h + std::max(4 * kChunk, h) + kPad;
        pos = h;
        data.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(stride), 0.0f);
    }
    float* col(int row) { return data.data() + row * stride + pos; }
    // Moves the history to the front when the next run would pass the end.
    void make_room() {
        if (pos + kRun <= stride) return;
        for (int r = 0; r < rows; ++r) {
            float* base = data.data() + r * stride;
            std::memmove(base, base + pos - hist, static_cast<std::size_t>(hist) * sizeof(float));
        }
        pos = hist;
    }
};

struct Layer {
    int K = 1, d = 1, Z = 1, R = 1;
    Activation act, gate_act;
    bool gated = false, residual = true;
    std::vector<float> w_conv, b_conv, w_res, b_res;
    History in;                      // h of the layer before
    std::vector<const float*> rows;  // the product's rows for the current run
};

struct Array {
    int C = 1, B = 1, H = 1, Kh = 1, in_rows = 1;
    bool head_bias = false;
    std::vector<float> w_re, w_head, b_head;
    std::vector<Layer> layers;
    History head_in;   // the skip sum, when the head reaches back (Kh > 1)
    std::vector<const float*> head_rows;
};

class WaveNet final : public Dsp {
public:
    WaveNet(const Model& m, const DspOptions& opt) : ops_(ops_for(opt.isa)), fast_(opt.fast_tanh), rf_(m.receptive_field()) {
        const float* w = m.weights.data();
        const auto take = [&](std::size_t n) {
            std::vector<float> v(w, w + n);
            w += n;
            return v;
        };
        const auto packed = [&](int Z, int R) {
            std::vector<float> raw = take(static_cast<std::size_t>(Z) * static_cast<std::size_t>(R));
            std::vector<float> p(raw.size());
            pack_rows(raw.data(), Z, R, p.data());
            return p;
        };
        int max_rows = 1;
        for (const LayerArray& la : m.arrays) {
            Array a;
            a.C = la.channels;
            a.B = la.bottleneck;
            a.H = la.head_size;
            a.Kh = la.head_kernel;
            a.in_rows = la.input_size;
            a.head_bias = la.head_bias;
            a.w_re = packed(a.C, a.in_rows);
            for (const WaveLayer& wl : la.layers) {
                Layer l;
                l.K = wl.kernel;
                l.d = wl.dilation;
                l.Z = wl.gated ? 2 * a.B : a.B;
                l.R = a.C * l.K + la.condition_size;
                l.act = wl.act;
                l.gate_act = wl.gate_act;
                l.gated = wl.gated;
                l.residual = wl.residual_1x1;
                // The file keeps the conv's taps (o, i, j), its bias, then the
                // mixin (o, c): one row of the product per (i, j), then the mixin.
                std::vector<float> conv = take(static_cast<std::size_t>(l.Z) * a.C * l.K);
                l.b_conv = take(static_cast<std::size_t>(l.Z));
                std::vector<float> mix = take(static_cast<std::size_t>(l.Z) * la.condition_size);
                std::vector<float> full(static_cast<std::size_t>(l.Z) * l.R);
                for (int o = 0; o < l.Z; ++o) {
                    for (int r = 0; r < a.C * l.K; ++r) full[static_cast<std::size_t>(o) * l.R + r] = conv[static_cast<std::size_t>(o) * a.C * l.K + r];
                    for (int c = 0; c < la.condition_size; ++c)
                        full[static_cast<std::size_t>(o) * l.R + a.C * l.K + c] = mix[static_cast<std::size_t>(o) * la.condition_size + c];
                }
                l.w_conv.resize(full.size());
                pack_rows(full.data(), l.Z, l.R, l.w_conv.data());
                if (l.residual) {
                    l.w_res = packed(a.C, a.B);
                    l.b_res = take(static_cast<std::size_t>(a.C));
                }
                l.in.init(a.C, l.d * (l.K - 1));
                l.rows.resize(static_cast<std::size_t>(l.R));
                max_rows = std::max({max_rows, l.Z, a.C});
                a.layers.push_back(std::move(l));
            }
            a.w_head = packed(a.H, a.B * a.Kh);
            if (a.head_bias) a.b_head = take(static_cast<std::size_t>(a.H));
            if (a.Kh > 1) a.head_in.init(a.B, a.Kh - 1);
            a.head_rows.resize(static_cast<std::size_t>(a.B * a.Kh));
            max_rows = std::max({max_rows, a.B, a.H});
            arrays_.push_back(std::move(a));
        }
        head_scale_ = *w;
        rows_ = max_rows;
        x_.assign(kRun, 0.0f);
        z_.assign(static_cast<std::size_t>(rows_) * kRun, 0.0f);
        s_.assign(static_cast<std::size_t>(rows_) * kRun, 0.0f);
        r_.assign(static_cast<std::size_t>(rows_) * kRun, 0.0f);
        q_.assign(static_cast<std::size_t>(rows_) * kRun, 0.0f);
        u_rows_.resize(static_cast<std::size_t>(rows_));
        settle();
    }

    void settle() override {
        for (Array& a : arrays_) {
            for (Layer& l : a.layers) std::fill(l.in.data.begin(), l.in.data.end(), 0.0f);
            std::fill(a.head_in.data.begin(), a.head_in.data.end(), 0.0f);
        }
        // After a receptive field of silence every history holds what it
        // would after silence forever.
        float zeros[kChunk] = {};
        float out[kChunk];
        for (std::size_t done = 0; done < rf_; done += kChunk) run(zeros, out, kChunk);
    }

    bool state_broken() const override { return broken_; }

    void process(const float* in, float* out, int n) override {
        broken_ = false;
        while (n > 0) {
            const int k = std::min(n, kChunk);
            run(in, out, k);
            for (int i = 0; i < k; ++i)
                if (!std::isfinite(out[i])) broken_ = true;
            in += k;
            out += k;
            n -= k;
        }
    }

private:
    float* buf(std::vector<float>& v, int row) { return v.data() + static_cast<std::ptrdiff_t>(row) * kRun; }

    void run(const float* in, float* out, int n) {
        const int np = padded(n);
        std::memcpy(x_.data(), in, static_cast<std::size_t>(n) * sizeof(float));
        for (std::size_t ai = 0; ai < arrays_.size(); ++ai) {
            Array& a = arrays_[ai];
            const bool last_array = ai + 1 == arrays_.size();
            for (Layer& l : a.layers) l.in.make_room();
            if (a.Kh > 1) a.head_in.make_room();
            // Rechannel into the first layer's history.
            for (int r = 0; r < a.in_rows; ++r) u_rows_[static_cast<std::size_t>(r)] = ai == 0 ? x_.data() : buf(r_, r);
            History& h0 = a.layers.front().in;
            ops_.gemm(a.w_re.data(), nullptr, a.C, a.in_rows, u_rows_.data(), h0.col(0), h0.stride, nullptr, 0, np);
            // The skip sum starts at the head of the array before.
            if (ai == 0)
                std::fill(s_.begin(), s_.begin() + static_cast<std::ptrdiff_t>(a.B) * kRun, 0.0f);
            else
                std::copy(q_.begin(), q_.begin() + static_cast<std::ptrdiff_t>(a.B) * kRun, s_.begin());
            for (std::size_t li = 0; li < a.layers.size(); ++li) {
                Layer& l = a.layers[li];
                int r = 0;
                for (int i = 0; i < a.C; ++i)
                    for (int j = 0; j < l.K; ++j) l.rows[static_cast<std::size_t>(r++)] = l.in.col(i) - static_cast<std::ptrdiff_t>(l.d) * (l.K - 1 - j);
                l.rows[static_cast<std::size_t>(r)] = x_.data();
                ops_.gemm(l.w_conv.data(), l.b_conv.data(), l.Z, l.R, l.rows.data(), z_.data(), kRun, nullptr, 0, np);
                for (int c = 0; c < a.B; ++c) ops_.activate(l.act, fast_, buf(z_, c), np);
                if (l.gated) {
                    for (int c = 0; c < a.B; ++c) {
                        float* g = buf(z_, a.B + c);
                        ops_.activate(l.gate_act, fast_, g, np);
                        float* v = buf(z_, c);
                        for (int t = 0; t < np; ++t) v[t] *= g[t];
                    }
                }
                for (int c = 0; c < a.B; ++c) {
                    float* s = buf(s_, c);
                    const float* v = buf(z_, c);
                    for (int t = 0; t < np; ++t) s[t] += v[t];
                }
                const bool last_layer = li + 1 == a.layers.size();
                // The last array's residual output reaches nothing.
                if (last_layer && last_array) continue;
                float* dst = last_layer ? r_.data() : a.layers[li + 1].in.col(0);
                const std::ptrdiff_t ds = last_layer ? kRun : a.layers[li + 1].in.stride;
                if (l.residual) {
                    for (int c = 0; c < a.B; ++c) u_rows_[static_cast<std::size_t>(c)] = buf(z_, c);
                    ops_.gemm(l.w_res.data(), l.b_res.data(), a.C, a.B, u_rows_.data(), dst, ds, l.in.col(0), l.in.stride, np);
                } else {
                    for (int c = 0; c < a.C; ++c) std::memcpy(dst + c * ds, l.in.col(c), static_cast<std::size_t>(np) * sizeof(float));
                }
            }
            // Head.
            if (a.Kh > 1) {
                for (int c = 0; c < a.B; ++c) std::memcpy(a.head_in.col(c), buf(s_, c), static_cast<std::size_t>(np) * sizeof(float));
                int r = 0;
                for (int i = 0; i < a.B; ++i)
                    for (int j = 0; j < a.Kh; ++j) a.head_rows[static_cast<std::size_t>(r++)] = a.head_in.col(i) - (a.Kh - 1 - j);
            } else {
                for (int c = 0; c < a.B; ++c) a.head_rows[static_cast<std::size_t>(c)] = buf(s_, c);
            }
            ops_.gemm(a.w_head.data(), a.head_bias ? a.b_head.data() : nullptr, a.H, a.B * a.Kh, a.head_rows.data(), q_.data(), kRun,
                      nullptr, 0, np);
            for (Layer& l : a.layers) l.in.pos += n;
            if (a.Kh > 1) a.head_in.pos += n;
        }
        for (int t = 0; t < n; ++t) out[t] = head_scale_ * q_[static_cast<std::size_t>(t)];
    }

    const Ops& ops_;
    bool fast_;
    std::size_t rf_;
    float head_scale_ = 1.0f;
    int rows_ = 1;
    bool broken_ = false;
    std::vector<Array> arrays_;
    std::vector<float> x_, z_, s_, r_, q_;
    std::vector<const float*> u_rows_;
};

}  // namespace

std::unique_ptr<Dsp> make_wavenet(const Model& m, const DspOptions& o) { return std::make_unique<WaveNet>(m, o); }

}  // namespace tw::nam
