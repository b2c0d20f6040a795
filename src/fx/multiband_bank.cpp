#include "fx/multiband_bank.h"

#include <new>

#include "fx/band_pass.h"
#include "fx/multiband_kernel.h"

namespace tw {

namespace multiband {
void run_kernel_baseline(Work* const* w, float* const* x, int banks, int flags, int count) {
    run_banks(w, x, banks, flags, count);
}
}  // namespace multiband

namespace {

using multiband::D4;
using multiband::Work;
constexpr int N = kBandCount;
static_assert(N == multiband::kBands);

void put(D4* v, int b, double x) { v[b / 4][b % 4] = x; }
double get(const D4* v, int b) { return v[b / 4][b % 4]; }

// Bands whose second stage runs: the right bank borrows band b + 1's first
// filter, so its two highest bands have none.
int second_stage_bands(BankSide side) { return side == BankSide::Right ? N - 2 : N; }

void load(Work& w, const BandBank& bank, BankSide side, const BandSettings& s) {
    const int second = second_stage_bands(side);
    for (int b = 0; b < N; ++b) {
        put(w.a0, b, bank.a0[b]);
        put(w.a1, b, bank.a1[b]);
        put(w.a2, b, bank.a2[b]);
        put(w.y1, b, bank.y1[b]);
        put(w.y2, b, bank.y2[b]);
        put(w.p1, b, bank.p1[b]);
        put(w.p2, b, bank.p2[b]);
        put(w.q1, b, bank.q1[b]);
        put(w.q2, b, bank.q2[b]);
        put(w.thr, b, s.clip_thr[b]);
        put(w.gain, b, s.gain[b]);
        put(w.out, b, bank.band_out[b]);
        put(w.out2, b, bank.band_out2[b]);
        put(w.live2, b, b < second ? 1.0 : 0.0);
        if (side == BankSide::Left) {
            put(w.c0, b, bank.c0[b]);
            put(w.c1, b, bank.c1[b]);
            put(w.c2, b, bank.c2[b]);
        } else if (b < second) {
            put(w.c0, b, bank.a0[b + 1]);
            put(w.c1, b, bank.a1[b + 1]);
            put(w.c2, b, bank.a2[b + 1]);
        } else {
            // No second stage: a harmless pass-through whose result is dropped.
            put(w.c0, b, 1.0);
            put(w.c1, b, 0.0);
            put(w.c2, b, 0.0);
        }
    }
    // Every band is fed the same input, so band 0's input memories are all of them.
    w.x1 = bank.x1[0];
    w.x2 = bank.x2[0];
    w.fold_level = bank.fold_level;
    w.k = s.soft_slope;
    w.acc = bank.acc;
}

void store(const Work& w, BandBank& bank, BankSide side) {
    const int second = second_stage_bands(side);
    for (int b = 0; b < N; ++b) {
        bank.x1[b] = static_cast<float>(w.x1);
        bank.x2[b] = static_cast<float>(w.x2);
        bank.y1[b] = static_cast<float>(get(w.y1, b));
        bank.y2[b] = static_cast<float>(get(w.y2, b));
        bank.band_out[b] = static_cast<float>(get(w.out, b));
        // The right bank's two highest bands keep their memories and output (0).
        if (b < second) {
            bank.p1[b] = static_cast<float>(get(w.p1, b));
            bank.p2[b] = static_cast<float>(get(w.p2, b));
            bank.q1[b] = static_cast<float>(get(w.q1, b));
            bank.q2[b] = static_cast<float>(get(w.q2, b));
            bank.band_out2[b] = static_cast<float>(get(w.out2, b));
        }
    }
    bank.acc = w.acc;
}

bool processor_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}
// Decided once when the program starts, never on the audio thread.
const bool kHasAvx2 = processor_has_avx2();

}  // namespace

BandBank::BandBank() {
    for (int b = 0; b < N; ++b) {
        centre[b] = static_cast<float>(100 * b + 50);
        width[b] = b == 0 ? 50.0f : 180.0f;
    }
}

void BandBank::init_mb_dsp() {
    for (int b = 0; b < N; ++b) {
        const BandPassCoefs c = band_pass_design(centre[b], width[b]);
        a0[b] = static_cast<float>(c.a0);
        a1[b] = static_cast<float>(c.a1);
        a2[b] = static_cast<float>(c.a2);
    }
}

void BandBank::init_EQ_dsp() {
    for (int b = 0; b < N; ++b) {
        const BandPassCoefs c = band_pass_design(2.0 * centre[b], 2.0 * width[b]);
        c0[b] = static_cast<float>(c.a0);
        c1[b] = static_cast<float>(c.a1);
        c2[b] = static_cast<float>(c.a2);
    }
}

bool band_bank_uses_avx2() { return kHasAvx2; }

namespace {
int pass_flags(const BandSettings& s) {
    return (s.fold_on ? multiband::kFold : 0) | (s.soft_clip_on ? multiband::kClip : 0) |
           (s.filter2_on ? multiband::kFilter2 : 0);
}

static_assert(sizeof(Work) <= kBankScratchBytes && alignof(Work) <= alignof(BankScratch));

void run_kernel(Work* const* w, float* const* x, int banks, int flags, int count, BankKernel kernel) {
    if (kHasAvx2 && kernel == BankKernel::Fastest) multiband::run_kernel_avx2(w, x, banks, flags, count);
    else multiband::run_kernel_baseline(w, x, banks, flags, count);
}

void run_single(BandBank& bank, BankSide side, const BandSettings& s, float* samples, int count, BankKernel kernel,
                Work& w) {
    load(w, bank, side, s);
    Work* const ws[1] = {&w};
    float* const xs[1] = {samples};
    run_kernel(ws, xs, 1, pass_flags(s), count, kernel);
    store(w, bank, side);
}

[[gnu::noinline]] void run_single_on_stack(BandBank& bank, BankSide side, const BandSettings& s, float* samples,
                                           int count, BankKernel kernel) {
    Work w;
    run_single(bank, side, s, samples, count, kernel, w);
}

void run_pair(const BankRun& first, const BankRun& second, int count, BankKernel kernel, Work& wa, Work& wb) {
    load(wa, *first.bank, first.side, *first.settings);
    load(wb, *second.bank, second.side, *second.settings);
    Work* const ws[2] = {&wa, &wb};
    float* const xs[2] = {first.samples, second.samples};
    // The stages' flags are shared by both banks of the effect.
    run_kernel(ws, xs, 2, pass_flags(*first.settings), count, kernel);
    store(wa, *first.bank, first.side);
    store(wb, *second.bank, second.side);
}

[[gnu::noinline]] void run_pair_on_stack(const BankRun& first, const BankRun& second, int count, BankKernel kernel) {
    Work wa;
    Work wb;
    run_pair(first, second, count, kernel, wa, wb);
}
}  // namespace

void run_band_bank(BandBank& bank, BankSide side, const BandSettings& s, float* samples, int count,
                   BankKernel kernel, BankScratch* scratch) {
    if (samples == nullptr || count <= 0) return;
    if (scratch == nullptr) {
        run_single_on_stack(bank, side, s, samples, count, kernel);
        return;
    }
    run_single(bank, side, s, samples, count, kernel, *::new (static_cast<void*>(scratch->bytes)) Work);
}

void run_band_bank_pair(const BankRun& first, const BankRun& second, int count, BankKernel kernel) {
    if (first.samples == nullptr || second.samples == nullptr || count <= 0) return;
    if (first.scratch == nullptr || second.scratch == nullptr) {
        run_pair_on_stack(first, second, count, kernel);
        return;
    }
    run_pair(first, second, count, kernel, *::new (static_cast<void*>(first.scratch->bytes)) Work,
             *::new (static_cast<void*>(second.scratch->bytes)) Work);
}

}  // namespace tw
