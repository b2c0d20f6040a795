#include "fx/multiband_bank.h"

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

// The bank's coefficients and the pass's settings into its lanes; the
// memories stay as the last pass left them.
void prepare(BandBank& bank, BankSide side, const BandSettings& s) {
    Work& w = bank.work;
    const int second = second_stage_bands(side);
    for (int b = 0; b < N; ++b) {
        put(w.a0, b, bank.a0[b]);
        put(w.a1, b, bank.a1[b]);
        put(w.a2, b, bank.a2[b]);
        put(w.thr, b, s.clip_thr[b]);
        put(w.gain, b, s.gain[b]);
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
    w.fold_level = bank.fold_level;
    w.k = s.soft_slope;
}

// Lanes of v as 32-bit values (they hold 32-bit values, so this is exact).
BandArray lanes_of(const D4* v) {
    BandArray a;
    for (int b = 0; b < N; ++b) a[b] = static_cast<float>(get(v, b));
    return a;
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

// Every band is fed the same input, so one pair of input memories serves all.
BandArray BandBank::x1() const {
    BandArray a;
    a.fill(static_cast<float>(work.x1));
    return a;
}
BandArray BandBank::x2() const {
    BandArray a;
    a.fill(static_cast<float>(work.x2));
    return a;
}
BandArray BandBank::y1() const { return lanes_of(work.y1); }
BandArray BandBank::y2() const { return lanes_of(work.y2); }
BandArray BandBank::band_out() const { return lanes_of(work.out); }
BandArray BandBank::p1() const { return lanes_of(work.p1); }
BandArray BandBank::p2() const { return lanes_of(work.p2); }
BandArray BandBank::q1() const { return lanes_of(work.q1); }
BandArray BandBank::q2() const { return lanes_of(work.q2); }
BandArray BandBank::band_out2() const { return lanes_of(work.out2); }

bool band_bank_uses_avx2() { return kHasAvx2; }

namespace {
int pass_flags(const BandSettings& s) {
    return (s.fold_on ? multiband::kFold : 0) | (s.soft_clip_on ? multiband::kClip : 0) |
           (s.filter2_on ? multiband::kFilter2 : 0);
}

void run_kernel(Work* const* w, float* const* x, int banks, int flags, int count, BankKernel kernel) {
    if (kHasAvx2 && kernel == BankKernel::Fastest) multiband::run_kernel_avx2(w, x, banks, flags, count);
    else multiband::run_kernel_baseline(w, x, banks, flags, count);
}
}  // namespace

void run_band_bank(BandBank& bank, BankSide side, const BandSettings& s, float* samples, int count,
                   BankKernel kernel) {
    if (samples == nullptr || count <= 0) return;
    prepare(bank, side, s);
    Work* const ws[1] = {&bank.work};
    float* const xs[1] = {samples};
    run_kernel(ws, xs, 1, pass_flags(s), count, kernel);
}

void run_band_bank_pair(const BankRun& first, const BankRun& second, int count, BankKernel kernel) {
    if (first.samples == nullptr || second.samples == nullptr || count <= 0) return;
    prepare(*first.bank, first.side, *first.settings);
    prepare(*second.bank, second.side, *second.settings);
    Work* const ws[2] = {&first.bank->work, &second.bank->work};
    float* const xs[2] = {first.samples, second.samples};
    // The stages' flags are shared by both banks of the effect.
    run_kernel(ws, xs, 2, pass_flags(*first.settings), count, kernel);
}

}  // namespace tw
