#include "fx/eq8_kernel.h"

#include "fx/eq8_loop.h"
#include "fx/vec_math.h"

namespace tw {

bool eq8_kernel_uses_avx2() { return vec::uses_avx2(); }

void Eq8Kernel::process(const AudioBlock& b, const Params& p) {
    last_rate_.store(static_cast<float>(b.sample_rate), std::memory_order_relaxed);
    if (b.frames <= 0 || b.samples == nullptr) return;
    const bool stereo = !b.mono();
    // The low cut runs in mono only.
    const bool cut = !stereo && p.lowcut_on;
    const int stages = (p.eq_on ? eq8::kEq : 0) | (p.hp_on ? eq8::kHp : 0) | (p.lp_on ? eq8::kLp : 0) |
                       (p.shelf_on ? eq8::kShelf : 0) | (p.spk_on ? eq8::kSpeaker : 0) | (cut ? eq8::kLowCut : 0);
    if (stages == 0) return;
    if (use_avx2_) eq8::run_kernel_avx2(p, mem_, stages, b.samples, b.frames, stereo);
    else eq8::run_kernel(p, mem_, stages, b.samples, b.frames, stereo);
}

}  // namespace tw
