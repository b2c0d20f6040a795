#include "fx/dsp/partitioned_convolver.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace tw::dsp {

namespace {

float* alloc_floats(std::size_t n) {
    auto* p = fftwf_alloc_real(n);
    if (p == nullptr) throw std::bad_alloc();
    std::fill_n(p, n, 0.0f);
    return p;
}

fftwf_complex* alloc_complex(std::size_t n) {
    auto* p = fftwf_alloc_complex(n);
    if (p == nullptr) throw std::bad_alloc();
    std::fill_n(&p[0][0], 2 * n, 0.0f);
    return p;
}

// Floats per part of a split spectrum: P + 1 bins, padded so every part
// starts on a 32-byte boundary (the interleaved scratch keeps FFTW's alignment).
constexpr std::size_t spectrum_stride(int p) { return static_cast<std::size_t>(p) + 8; }

// A spectrum slot holds `stride` real parts, then `stride` imaginary parts
// (split, so the products run as plain vector arithmetic).
inline void split_from(float* slot, const fftwf_complex* c, int bins, std::size_t stride) {
    for (int b = 0; b < bins; ++b) {
        slot[b] = c[b][0];
        slot[stride + static_cast<std::size_t>(b)] = c[b][1];
    }
}
inline void join_into(fftwf_complex* c, const float* slot, int bins, std::size_t stride) {
    for (int b = 0; b < bins; ++b) {
        c[b][0] = slot[b];
        c[b][1] = slot[stride + static_cast<std::size_t>(b)];
    }
}

// y += x * h over `bins` complex values in split slots.
inline void multiply_add(float* __restrict y, const float* __restrict x, const float* __restrict h, int bins,
                         std::size_t stride) {
    float* __restrict yi = y + stride;
    const float* __restrict xi = x + stride;
    const float* __restrict hi = h + stride;
    for (int b = 0; b < bins; ++b) {
        const float r = x[b] * h[b] - xi[b] * hi[b];
        const float i = x[b] * hi[b] + xi[b] * h[b];
        y[b] += r;
        yi[b] += i;
    }
}

// The head's dot product of 64 taps, in eight lanes.
inline float dot64(const float* __restrict a, const float* __restrict b) {
    float lane[8] = {};
    for (int j = 0; j < 64; j += 8)
        for (int l = 0; l < 8; ++l) lane[l] += a[j + l] * b[j + l];
    return ((lane[0] + lane[4]) + (lane[1] + lane[5])) + ((lane[2] + lane[6]) + (lane[3] + lane[7]));
}

}  // namespace

// One level of equal partitions: size P, first tap `start`, K spectra.
struct ConvolverIr::Level {
    int size = 0;
    std::size_t start = 0;
    int count = 0;
    float* spectra = nullptr;   // count split spectra of P + 1 bins, 1 / 2P folded in
    fftwf_plan forward = nullptr;       // 2P reals -> P + 1 bins
    fftwf_plan inverse = nullptr;       // P + 1 bins -> 2P reals

    ~Level() {
        if (forward) fftwf_destroy_plan(forward);
        if (inverse) fftwf_destroy_plan(inverse);
        fftwf_free(spectra);
    }
};

ConvolverIr::ConvolverIr(std::span<const float> taps) : length_(taps.size()) {
    head_rev_ = alloc_floats(kHead);
    for (int j = 0; j < kHead; ++j) {
        const std::size_t k = static_cast<std::size_t>(kHead - 1 - j);
        head_rev_[j] = k < taps.size() ? taps[k] : 0.0f;
    }
    // Partition offsets: a level of size P covers taps until the next size
    // may start (at least twice its own size in), up to 4096.
    std::vector<std::pair<int, std::vector<std::size_t>>> plan;
    int p = kTick;
    for (std::size_t at = kHead; at < taps.size(); at += static_cast<std::size_t>(p)) {
        if (p < kMaxPartition && at >= static_cast<std::size_t>(8 * p)) p *= 4;
        if (plan.empty() || plan.back().first != p) plan.push_back({p, {}});
        plan.back().second.push_back(at);
    }
    for (const auto& [size, offsets] : plan) {
        auto lv = std::make_unique<Level>();
        lv->size = size;
        lv->start = offsets.front();
        lv->count = static_cast<int>(offsets.size());
        const std::size_t stride = spectrum_stride(size);
        lv->spectra = alloc_floats(2 * stride * static_cast<std::size_t>(lv->count));
        float* tbuf = alloc_floats(2 * static_cast<std::size_t>(size));
        fftwf_complex* fbuf = alloc_complex(stride);
        lv->forward = fftwf_plan_dft_r2c_1d(2 * size, tbuf, fbuf, FFTW_ESTIMATE);
        lv->inverse = fftwf_plan_dft_c2r_1d(2 * size, fbuf, tbuf, FFTW_ESTIMATE);
        const float scale = 1.0f / static_cast<float>(2 * size);
        for (int k = 0; k < lv->count; ++k) {
            std::fill_n(tbuf, 2 * size, 0.0f);
            const std::size_t from = offsets[static_cast<std::size_t>(k)];
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), taps.size() - from);
            for (std::size_t i = 0; i < n; ++i) tbuf[i] = taps[from + i] * scale;
            fftwf_execute_dft_r2c(lv->forward, tbuf, fbuf);
            split_from(lv->spectra + 2 * stride * static_cast<std::size_t>(k), fbuf, size + 1, stride);
        }
        fftwf_free(fbuf);
        fftwf_free(tbuf);
        levels_.push_back(std::move(lv));
    }
}

ConvolverIr::~ConvolverIr() { fftwf_free(head_rev_); }

// The running state of one level: the spectra of the last K input blocks,
// the block's time buffer and the sum of products.
struct PartitionedConvolver::LevelState {
    const ConvolverIr::Level* ir = nullptr;
    int ticks_per_block = 1;
    float* history = nullptr;           // K split input spectra, newest at `newest`
    float* sum = nullptr;               // split, P + 1 bins
    fftwf_complex* fbuf = nullptr;      // the transforms' interleaved side
    float* tbuf = nullptr;              // 2P reals
    int newest = 0;
    std::uint64_t block_start = 0;      // time of the block being worked on

    ~LevelState() {
        fftwf_free(history);
        fftwf_free(sum);
        fftwf_free(fbuf);
        fftwf_free(tbuf);
    }
};

PartitionedConvolver::PartitionedConvolver(const ConvolverIr& ir) : ir_(ir) {
    lin_ = alloc_floats(2 * ConvolverIr::kTick);
    ring_ = alloc_floats(kRing);
    acc_ = alloc_floats(kAcc);
    for (const auto& lv : ir.levels()) {
        auto st = std::make_unique<LevelState>();
        st->ir = lv.get();
        st->ticks_per_block = lv->size / ConvolverIr::kTick;
        const std::size_t stride = spectrum_stride(lv->size);
        st->history = alloc_floats(2 * stride * static_cast<std::size_t>(lv->count));
        st->sum = alloc_floats(2 * stride);
        st->fbuf = alloc_complex(stride);
        st->tbuf = alloc_floats(2 * static_cast<std::size_t>(lv->size));
        levels_.push_back(std::move(st));
    }
}

PartitionedConvolver::~PartitionedConvolver() {
    fftwf_free(lin_);
    fftwf_free(ring_);
    fftwf_free(acc_);
}

void PartitionedConvolver::reset() {
    std::fill_n(lin_, 2 * ConvolverIr::kTick, 0.0f);
    std::fill_n(ring_, kRing, 0.0f);
    std::fill_n(acc_, kAcc, 0.0f);
    for (auto& st : levels_) {
        const std::size_t stride = spectrum_stride(st->ir->size);
        std::fill_n(st->history, 2 * stride * static_cast<std::size_t>(st->ir->count), 0.0f);
        st->newest = 0;
    }
    fill_ = 0;
    time_ = 0;
    ticks_ = 0;
}

void PartitionedConvolver::process(const float* in, float* out, std::int32_t n, std::int32_t stride) {
    constexpr int kTick = ConvolverIr::kTick;
    const float* head = ir_.head_reversed();
    while (n > 0) {
        const std::int32_t chunk = std::min<std::int32_t>(n, kTick - fill_);
        // The chunk's input first (in may be out), then the head over the
        // whole chunk tap by tap, vectorised across the samples.
        float* x = lin_ + kTick + fill_;
        for (std::int32_t i = 0; i < chunk; ++i) x[i] = in[static_cast<std::ptrdiff_t>(i) * stride];
        const std::size_t at = static_cast<std::size_t>(time_ & (kRing - 1));
        const std::size_t first = std::min<std::size_t>(static_cast<std::size_t>(chunk), kRing - at);
        std::memcpy(ring_ + at, x, sizeof(float) * first);
        std::memcpy(ring_, x + first, sizeof(float) * (static_cast<std::size_t>(chunk) - first));
        alignas(32) float y[kTick];
        const std::size_t acc_at = static_cast<std::size_t>(time_ & (kAcc - 1));
        // acc_ holds kAcc samples and a tick never crosses its end (both are
        // multiples of kTick), so the chunk is one span.
        float* ahead = acc_ + acc_at;
        for (std::int32_t i = 0; i < chunk; ++i) y[i] = ahead[i];
        std::fill_n(ahead, chunk, 0.0f);
        // y[i] += sum over k of h[k] x[i - k]; head[j] = h[63 - j], and
        // x[i - k] = lin_[kTick + fill_ + i - k].
        const float* base = lin_ + fill_ + 1;
        if (chunk >= 8) {
            for (int j = 0; j < ConvolverIr::kHead; ++j) {
                const float h = head[j];
                const float* xs = base + j;
                for (std::int32_t i = 0; i < chunk; ++i) y[i] += h * xs[i];
            }
        } else {
            // A few samples (small host blocks): one dot product each.
            for (std::int32_t i = 0; i < chunk; ++i) y[i] += dot64(head, base + i);
        }
        for (std::int32_t i = 0; i < chunk; ++i) out[static_cast<std::ptrdiff_t>(i) * stride] = y[i];
        in += static_cast<std::ptrdiff_t>(chunk) * stride;
        out += static_cast<std::ptrdiff_t>(chunk) * stride;
        n -= chunk;
        fill_ += chunk;
        time_ += static_cast<std::uint64_t>(chunk);
        if (fill_ == kTick) {
            std::memcpy(lin_, lin_ + kTick, sizeof(float) * kTick);
            fill_ = 0;
            ++ticks_;
            tick();
        }
    }
}

void PartitionedConvolver::tick() {
    for (auto& stp : levels_) {
        LevelState& st = *stp;
        const ConvolverIr::Level& lv = *st.ir;
        const int per_block = st.ticks_per_block;
        if (ticks_ < static_cast<std::uint64_t>(per_block)) continue;   // no block complete yet
        const int step = static_cast<int>(ticks_ % static_cast<std::uint64_t>(per_block));
        const int size = lv.size;
        const std::size_t stride = spectrum_stride(size);
        if (step == 0) {
            // The block [time - P, time) is complete: transform it with the
            // block before it (overlap-save) into the newest history slot.
            st.block_start = time_ - static_cast<std::uint64_t>(size);
            const std::uint64_t from = time_ - 2 * static_cast<std::uint64_t>(size);
            const std::size_t at = static_cast<std::size_t>(from & (kRing - 1));
            const std::size_t first = std::min<std::size_t>(2 * static_cast<std::size_t>(size), kRing - at);
            std::memcpy(st.tbuf, ring_ + at, sizeof(float) * first);
            std::memcpy(st.tbuf + first, ring_, sizeof(float) * (2 * static_cast<std::size_t>(size) - first));
            st.newest = (st.newest + 1) % lv.count;
            fftwf_execute_dft_r2c(lv.forward, st.tbuf, st.fbuf);
            split_from(st.history + 2 * stride * static_cast<std::size_t>(st.newest), st.fbuf, size + 1, stride);
            std::fill_n(st.sum, 2 * stride, 0.0f);
        }
        // This step's share of the products, partition k with the block k
        // blocks back.
        const int k_from = step * lv.count / per_block;
        const int k_to = (step + 1) * lv.count / per_block;
        for (int k = k_from; k < k_to; ++k) {
            const int slot = (st.newest + lv.count - k) % lv.count;
            multiply_add(st.sum, st.history + 2 * stride * static_cast<std::size_t>(slot),
                         lv.spectra + 2 * stride * static_cast<std::size_t>(k), size + 1, stride);
        }
        if (step == per_block - 1) {
            // The block's answer, due from block_start + start on (at least
            // one block ahead of now for the larger levels).
            join_into(st.fbuf, st.sum, size + 1, stride);
            fftwf_execute_dft_c2r(lv.inverse, st.fbuf, st.tbuf);
            const std::uint64_t to = st.block_start + lv.start;
            // Blocks of P start at multiples of P, so the span never wraps.
            float* dst = acc_ + (to & (kAcc - 1));
            for (int i = 0; i < size; ++i) dst[i] += st.tbuf[size + i];
        }
    }
}

}  // namespace tw::dsp
