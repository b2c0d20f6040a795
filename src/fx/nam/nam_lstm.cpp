// The LSTM's forward pass, one sample at a time (the recurrence allows no
// other), each layer's gates one product over its rows.
#include <algorithm>
#include <cmath>

#include "fx/nam/nam_dsp.h"

namespace tw::nam {

namespace {

int padded_rows(int h) { return (h + kRowLanes - 1) / kRowLanes * kRowLanes; }

class Lstm final : public Dsp {
public:
    Lstm(const Model& m, const DspOptions& o) : ops_(ops_for(o.isa)), fast_(o.fast_tanh) {
        const float* w = m.weights.data();
        const int H = m.lstm.hidden, Hp = padded_rows(H);
        for (int li = 0; li < m.lstm.layers; ++li) {
            Layer l;
            l.I = li == 0 ? m.lstm.input_size : H;
            l.H = H;
            l.Hp = Hp;
            const int cols = l.I + H;
            // Rows in the file: 4 blocks of H (i, f, g, o), each row the input
            // then the hidden state; here column by column, blocks padded to Hp.
            l.w_cols.assign(static_cast<std::size_t>(cols) * 4 * Hp, 0.0f);
            for (int g = 0; g < 4; ++g)
                for (int r = 0; r < H; ++r)
                    for (int c = 0; c < cols; ++c)
                        l.w_cols[static_cast<std::size_t>(c) * 4 * Hp + g * Hp + r] = w[(static_cast<std::ptrdiff_t>(g) * H + r) * cols + c];
            w += static_cast<std::ptrdiff_t>(4) * H * cols;
            l.b.assign(static_cast<std::size_t>(4 * Hp), 0.0f);
            for (int g = 0; g < 4; ++g)
                for (int r = 0; r < H; ++r) l.b[static_cast<std::size_t>(g * Hp + r)] = w[g * H + r];
            w += 4 * H;
            l.h0.assign(static_cast<std::size_t>(Hp), 0.0f);
            l.c0.assign(static_cast<std::size_t>(Hp), 0.0f);
            std::copy(w, w + H, l.h0.begin());
            w += H;
            std::copy(w, w + H, l.c0.begin());
            w += H;
            l.h = l.h0;
            l.c = l.c0;
            layers_.push_back(std::move(l));
        }
        w_out_.assign(w, w + H);
        b_out_ = w[H];
        in_.assign(static_cast<std::size_t>(H + std::max(H, m.lstm.input_size)), 0.0f);
        gates_.assign(static_cast<std::size_t>(4 * Hp), 0.0f);
        prewarm_ = m.sample_rate > 0 ? static_cast<int>(std::floor(0.5 * m.sample_rate)) : 1;
        settle();
    }

    void settle() override {
        for (Layer& l : layers_) {
            l.h = l.h0;
            l.c = l.c0;
        }
        float zero = 0.0f, out = 0.0f;
        for (int i = 0; i < prewarm_; ++i) process(&zero, &out, 1);
        // Where the silence itself drives the state out of range, the stored
        // start is the idle state.
        if (state_broken())
            for (Layer& l : layers_) {
                l.h = l.h0;
                l.c = l.c0;
            }
    }

    bool state_broken() const override {
        for (const Layer& l : layers_)
            for (int k = 0; k < l.H; ++k)
                if (!std::isfinite(l.h[static_cast<std::size_t>(k)]) || !std::isfinite(l.c[static_cast<std::size_t>(k)])) return true;
        return false;
    }

    void process(const float* in, float* out, int n) override {
        const int H = static_cast<int>(w_out_.size());
        for (int t = 0; t < n; ++t) {
            const float x = in[t];
            const float* u = &x;
            for (Layer& l : layers_) {
                ops_.lstm_step(l.w_cols.data(), l.b.data(), u, l.I, l.h.data(), l.c.data(), l.H, l.Hp, fast_, in_.data(), gates_.data());
                u = l.h.data();
            }
            float y = b_out_;
            for (int k = 0; k < H; ++k) y += w_out_[static_cast<std::size_t>(k)] * u[k];
            out[t] = y;
        }
    }

private:
    struct Layer {
        int I = 1, H = 1, Hp = 8;
        std::vector<float> w_cols, b, h, c, h0, c0;
    };
    const Ops& ops_;
    bool fast_;
    int prewarm_ = 1;
    std::vector<Layer> layers_;
    std::vector<float> w_out_;
    float b_out_ = 0;
    std::vector<float> in_, gates_;
};

}  // namespace

std::unique_ptr<Dsp> make_wavenet(const Model& m, const DspOptions& o);

std::unique_ptr<Dsp> make_dsp(const Model& m, const DspOptions& o) {
    if (m.arch == Architecture::Lstm) return std::make_unique<Lstm>(m, o);
    return make_wavenet(m, o);
}

}  // namespace tw::nam
